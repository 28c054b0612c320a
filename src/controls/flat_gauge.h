// TFlatGauge: a flat progress bar with its percentage written across it.
#pragma once

#include <string>

#include "controls/control.h"

namespace lumora {

class TFlatGauge : public TControl {
 public:
  struct CreateArgs {
    TControl* parent = nullptr;
    int left = 0, top = 0, width = 100, height = 16;
    bool visible = true;
  };
  explicit TFlatGauge(const CreateArgs& args);

  int MinValue() const { return minValue_; }
  int MaxValue() const { return maxValue_; }
  void SetRange(int minValue, int maxValue);
  int Progress() const { return progress_; }
  // Kept within MinValue .. MaxValue.
  void SetProgress(int progress);
  // Whole percent of the range done.
  int PercentDone() const;

  COLORREF ColorBorder() const { return colorBorder_; }
  void SetColorBorder(COLORREF colour);
  // Percentage (0 to 100) by which the border is drawn darker than
  // ColorBorder; 0 draws it in ColorBorder itself.
  int AdvColorBorder() const { return advColorBorder_; }
  void SetAdvColorBorder(int percent);
  COLORREF BarColor() const { return barColor_; }
  void SetBarColor(COLORREF colour);

  // printf-style text with one %d for the percentage, drawn centred.
  const std::wstring& TextFormat() const { return textFormat_; }
  void SetTextFormat(std::wstring format);
  // The text shown now.
  std::wstring Caption() const;

 protected:
  void Paint(HDC dc, const RECT& client) override;

 private:
  int minValue_ = 0;
  int maxValue_ = 100;
  int progress_ = 0;
  COLORREF colorBorder_ = RGB(128, 128, 128);
  int advColorBorder_ = 0;
  COLORREF barColor_ = RGB(102, 153, 204);
  std::wstring textFormat_ = L"%d%%";
};

}  // namespace lumora
