#include "controls/image_list.h"

#include "controls/win_util.h"
#include "draw/gdi.h"

namespace lumora {

TImageList::TImageList(int width, int height)
    : width_(width), height_(height), handle_(ImageList_Create(width, height, ILC_COLOR24 | ILC_MASK, 16, 4)) {}

TImageList::~TImageList() {
  if (handle_) ImageList_Destroy(handle_);
}

bool TImageList::AddFromResource(HINSTANCE module, const wchar_t* name, COLORREF transparent) {
  if (!handle_) return false;
  ScopedBitmap strip(static_cast<HBITMAP>(LoadImageW(module, name, IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION)));
  if (!strip) return false;
  return ImageList_AddMasked(handle_, strip.Get(), transparent) >= 0;
}

int TImageList::Count() const { return handle_ ? ImageList_GetImageCount(handle_) : 0; }

void TImageList::Draw(HDC dc, int index, int x, int y, UINT style) const {
  if (!handle_ || index < 0 || index >= Count()) return;
  ImageList_Draw(handle_, index, dc, x, y, style);
}

}  // namespace lumora
