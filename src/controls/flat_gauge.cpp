#include "controls/flat_gauge.h"

#include <algorithm>
#include <cwchar>

#include "controls/win_util.h"
#include "draw/gdi.h"

namespace lumora {

TFlatGauge::TFlatGauge(const CreateArgs& args) {
  TCreateArgs create;
  create.parent = args.parent;
  create.left = args.left;
  create.top = args.top;
  create.width = args.width;
  create.height = args.height;
  create.visible = args.visible;
  CreateHandle(L"LumoraFlatGauge", create);
  SetColor(RGB(239, 233, 224));
}

void TFlatGauge::SetRange(int minValue, int maxValue) {
  minValue_ = minValue;
  maxValue_ = std::max(minValue, maxValue);
  SetProgress(progress_);
  Invalidate();
}

void TFlatGauge::SetProgress(int progress) {
  progress = std::clamp(progress, minValue_, maxValue_);
  if (progress == progress_) return;
  progress_ = progress;
  Invalidate();
}

int TFlatGauge::PercentDone() const {
  if (maxValue_ == minValue_) return 0;
  return static_cast<int>(100LL * (progress_ - minValue_) / (maxValue_ - minValue_));
}

void TFlatGauge::SetColorBorder(COLORREF colour) {
  colorBorder_ = colour;
  Invalidate();
}

void TFlatGauge::SetAdvColorBorder(int percent) {
  advColorBorder_ = std::clamp(percent, 0, 100);
  Invalidate();
}

void TFlatGauge::SetBarColor(COLORREF colour) {
  barColor_ = colour;
  Invalidate();
}

void TFlatGauge::SetTextFormat(std::wstring format) {
  textFormat_ = std::move(format);
  Invalidate();
}

std::wstring TFlatGauge::Caption() const {
  wchar_t text[128];
  int n = std::swprintf(text, sizeof(text) / sizeof(text[0]), textFormat_.c_str(), PercentDone());
  return n > 0 ? std::wstring(text, static_cast<size_t>(n)) : std::wstring();
}

void TFlatGauge::Paint(HDC dc, const RECT& client) {
  RECT r = client;
  FillSolidRect(dc, r, Color());
  // Border ring, then the bar inside it.
  auto frame = [dc](RECT ring, COLORREF colour) {
    ScopedBrush brush(CreateSolidBrush(colour));
    FrameRect(dc, &ring, brush.Get());
  };
  auto darker = [this](int channel) { return channel * (100 - advColorBorder_) / 100; };
  frame(r, RGB(darker(GetRValue(colorBorder_)), darker(GetGValue(colorBorder_)), darker(GetBValue(colorBorder_))));
  InflateRect(&r, -1, -1);
  if (r.right > r.left && r.bottom > r.top) {
    RECT bar = r;
    bar.right = bar.left + (r.right - r.left) * PercentDone() / 100;
    if (bar.right > bar.left) FillSolidRect(dc, bar, barColor_);
  }
  std::wstring caption = Caption();
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
  RECT text = client;
  DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &text,
            DT_SINGLELINE | DT_VCENTER | DT_CENTER | DT_NOPREFIX);
}

}  // namespace lumora
