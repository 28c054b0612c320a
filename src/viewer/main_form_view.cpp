// TfmMain: view commands (zoom, fit, interpolation, mouse mode, full screen).
#include <algorithm>
#include <cmath>
#include <vector>

#include "controls/application.h"
#include "draw/dib_surface.h"
#include "draw/effect_text.h"
#include "viewer/main_form.h"

namespace lumora {

namespace {

constexpr LONG kCaptionBits = WS_BORDER | WS_DLGFRAME;  // WS_CAPTION
constexpr BYTE kOverlayAlpha = 76;                      // about 30 percent
constexpr int kOverlayLeft = 10;
constexpr int kOverlayTop = 10;

// Turns `source` a quarter turn into `target` (counter-clockwise when
// `left`): pixels, palette and alpha channel. Works row by row through a
// copy of the source, so bitmaps kept in a temporary file work as well.
void RotateQuarter(const TLmBitmap& source, TLmBitmap& target, bool left) {
  const int w = source.Width();
  const int h = source.Height();
  const int bits = source.BitCount();
  if (!target.Allocate(h, w, source.PixelFormat())) throw ELmOutOfMemory("the turned image does not fit in memory");
  source.CopyPaletteTo(target);
  std::vector<uint8_t> pixels(source.RowLen() * static_cast<size_t>(h));
  for (int y = 0; y < h; ++y) std::copy_n(source.ScanLine(y), source.RowLen(), pixels.data() + source.RowLen() * y);
  for (int ty = 0; ty < w; ++ty) {
    uint8_t* row = target.ScanLine(ty);
    for (int tx = 0; tx < h; ++tx) {
      // Target (tx, ty) comes from source (sx, sy).
      int sx = left ? w - 1 - ty : ty;
      int sy = left ? tx : h - 1 - tx;
      const uint8_t* from = pixels.data() + source.RowLen() * sy;
      if (bits == 1) {
        bool on = from[sx >> 3] & (0x80 >> (sx & 7));
        uint8_t mask = static_cast<uint8_t>(0x80 >> (tx & 7));
        row[tx >> 3] = on ? (row[tx >> 3] | mask) : (row[tx >> 3] & ~mask);
      } else {
        int bytes = bits / 8;
        std::copy_n(from + static_cast<size_t>(sx) * bytes, bytes, row + static_cast<size_t>(tx) * bytes);
      }
    }
  }
  target.FlushRow();
}

}  // namespace

void TfmMain::RotateImage(int degrees) {
  TLmBitmap& bitmap = ImageView->Bitmap();
  if (bitmap.IsEmpty() || (degrees != 90 && degrees != -90)) return;
  bool left = degrees > 0;
  TLmBitmap turned;
  RotateQuarter(bitmap, turned, left);
  if (bitmap.HasAlphaChannel()) RotateQuarter(bitmap.AlphaChannel(), turned.AlphaChannel(), left);
  ImageView->Deselect();
  turned.SwapTo(bitmap);
  ImageView->UpdateView();
  UpdateZoomPanel(0);
}

void TfmMain::UpdateZoomPanel(int zoom) {
  // The view's zoom rounded to the nearest integer, halves to even.
  if (zoom == 0) zoom = static_cast<int>(std::nearbyint(ImageView->Zoom()));
  StatusBar1->SetPanelText(3, std::to_wstring(zoom) + L"%");
  if (mnuMouseSelect->Checked()) {
    ImageView->SetCursor(crDefault);
    return;
  }
  if (FitZoom() >= ImageView->Zoom()) {
    ImageView->SetMouseInteract(miSelect);
    ImageView->SetCursor(crDefault);
  } else {
    ImageView->Deselect();
    ImageView->SetMouseInteract(miScroll);
    ImageView->SetCursor(crHand);
  }
}

void TfmMain::mnu100percentClick(TMenuItem& sender) {
  ImageView->SetZoom(100);
  UpdateZoomPanel(0);
}

void TfmMain::mnuFitClick(TMenuItem& sender) {
  ImageView->Fit();
  UpdateZoomPanel(0);
}

void TfmMain::mnuInterpolationClick(TMenuItem& sender) {
  ImageView->SetZoomFilter(mnuInterpolation->Checked() ? TResampleFilter::rfFastLinear : TResampleFilter::rfNone);
}

void TfmMain::mnuMouseSelectClick(TMenuItem& sender) {
  ImageView->SetMouseInteract(mnuMouseSelect->Checked() ? miSelect : miScroll);
  UpdateZoomPanel(0);
}

void TfmMain::mnuFullScreenClick(TMenuItem& sender) {
  // An embedded Lister's window belongs to its parent: only the mark changes.
  if (HostIsChild) return;
  mnuFullScreen2->SetChecked(mnuFullScreen->Checked());
  LONG style = GetWindowLongW(HostWindow, GWL_STYLE);
  if (mnuFullScreen->Checked()) {
    ImageView->SetBackground(RGB(0, 0, 0));
    StatusBar1->Hide();
    SetWindowLongW(HostWindow, GWL_STYLE, style & ~kCaptionBits);
    // The frame that is left lies just outside the screen.
    SetWindowPos(HostWindow, HWND_TOP, -3, -3, GetSystemMetrics(SM_CXSCREEN) + 6, GetSystemMetrics(SM_CYSCREEN) + 6,
                 SWP_SHOWWINDOW);
    SetMenu(HostWindow, nullptr);
  } else {
    ImageView->SetBackground(GetSysColor(COLOR_BTNFACE));
    StatusBar1->Show();
    SetWindowLongW(HostWindow, GWL_STYLE, style | kCaptionBits);
    SetMenu(HostWindow, HostMenu);
    // The frame changed size: let the window lay out its client area anew.
    SetWindowPos(HostWindow, nullptr, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
  }
  ImageView->SetTag(0);
  FormResize(*this);
}

void TfmMain::mnuFullScreen2Click(TMenuItem& sender) { mnuFullScreen->Click(); }

void TfmMain::ImageViewZoomIn(TImageView& sender, double zoom) {
  UpdateZoomPanel(static_cast<int>(std::nearbyint(zoom)));
}

void TfmMain::ImageViewDblClick(TImageView& sender) { mnuThumbsClick(*mnuThumbs); }

std::wstring TfmMain::OverlayText() const {
  size_t cut = CurrentFile.find_last_of(L"\\/:");
  std::wstring name = cut == std::wstring::npos ? CurrentFile : CurrentFile.substr(cut + 1);
  return L"[" + StatusBar1->PanelText(0) + L"] - " + name;
}

void TfmMain::ImageViewDrawCanvas(TImageView& sender, HDC dc, const RECT& rect) {
  if (!mnuFullScreen->Checked()) return;
  // A dark translucent box with the position and the name, over the image.
  ScopedFont font(CreateFontW(-MulDiv(10, GetDeviceCaps(dc, LOGPIXELSY), 72), 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE,
                              DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                              DEFAULT_PITCH, L"Tahoma"));
  HGDIOBJ oldFont = SelectObject(dc, font.Get());
  COLORREF oldColour = SetTextColor(dc, RGB(255, 255, 255));
  int oldMode = SetBkMode(dc, TRANSPARENT);
  std::wstring text = OverlayText();
  SIZE textSize{}, wy{};
  GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &textSize);
  GetTextExtentPoint32W(dc, L"Wy", 2, &wy);
  int boxWidth = textSize.cx + 12;
  int boxHeight = static_cast<int>(std::lround(wy.cy * 1.5));
  TDibSurface box(boxWidth, boxHeight);
  box.Fill(RGB(0, 0, 0));
  BLENDFUNCTION blend{AC_SRC_OVER, 0, kOverlayAlpha, 0};
  AlphaBlend(dc, kOverlayLeft, kOverlayTop, boxWidth, boxHeight, box.Dc(), 0, 0, boxWidth, boxHeight, blend);
  DrawEffectText(dc, text, kOverlayLeft + 7, kOverlayTop + boxHeight / 2 - wy.cy / 2, TextAlignment::Left,
                 TextEffect::None);
  SetBkMode(dc, oldMode);
  SetTextColor(dc, oldColour);
  SelectObject(dc, oldFont);
}

void TfmMain::ppViewPopup(TPopupMenu& sender) {
  // One "copy" and one "save" item: for the selection when there is one,
  // for the whole image otherwise.
  bool selection = ImageView->HasSelection();
  mnuCopy->SetVisible(selection);
  mnuSaveSel->SetVisible(mnuCopy->Visible());
  mnuSave->SetVisible(!mnuCopy->Visible());
  mnuCopyAll->SetVisible(!mnuCopy->Visible());
}

}  // namespace lumora
