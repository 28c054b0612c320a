// TImageList: a list of equally sized small pictures (menu icons), over the
// system image list.
#pragma once

#include <windows.h>
#include <commctrl.h>

namespace lumora {

class TImageList {
 public:
  TImageList(int width, int height);
  ~TImageList();
  TImageList(const TImageList&) = delete;
  TImageList& operator=(const TImageList&) = delete;

  // Appends the pictures of a bitmap resource laid out side by side; pixels
  // of `transparent` colour become transparent. Returns false when the
  // resource cannot be loaded.
  bool AddFromResource(HINSTANCE module, const wchar_t* name, COLORREF transparent);

  int Count() const;
  int Width() const { return width_; }
  int Height() const { return height_; }
  HIMAGELIST Handle() const { return handle_; }

  // Draws picture `index` with its top-left corner at (x, y); nothing for
  // an index outside the list.
  void Draw(HDC dc, int index, int x, int y, UINT style = ILD_TRANSPARENT) const;

 private:
  int width_;
  int height_;
  HIMAGELIST handle_ = nullptr;  // owned
};

}  // namespace lumora
