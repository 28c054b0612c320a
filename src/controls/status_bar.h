// TStatusBar: a row of panels along the bottom of a form.
//
// Panels keep their texts; owner-drawn panels are painted by OnDrawPanel,
// the others by the bar itself (sunken frame and text). Like the common
// status control the bar answers SB_GETPARTS, SB_GETTEXTW,
// SB_GETTEXTLENGTHW, SB_SETTEXTW and SB_GETRECT, with the panel texts also
// for owner-drawn panels, so screen readers, the stand-in host and tests
// can read what the user sees.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "controls/control.h"

namespace lumora {

enum class TAlignment { taLeftJustify, taRightJustify, taCenter };

struct TStatusPanel {
  std::wstring Text;
  int Width = 50;
  TAlignment Alignment = TAlignment::taLeftJustify;
  bool OwnerDraw = false;
};

class TStatusBar : public TControl {
 public:
  struct CreateArgs {
    TControl* parent = nullptr;
    int height = 19;
  };
  explicit TStatusBar(const CreateArgs& args);

  void AddPanel(int width, TAlignment alignment, bool ownerDraw);
  int PanelCount() const { return static_cast<int>(panels_.size()); }
  const TStatusPanel& Panel(int index) const { return panels_.at(static_cast<size_t>(index)); }
  const std::wstring& PanelText(int index) const { return Panel(index).Text; }
  // Out-of-range indexes are ignored.
  void SetPanelText(int index, std::wstring text);

  // Right edges of the panels in client coordinates; the last panel
  // reaches to the bar's right edge (-1, as SB_GETPARTS reports it).
  std::vector<int> PanelEdges() const;
  // The area of a panel, including its frame.
  RECT PanelBounds(int index) const;
  // The rectangle handed to OnDrawPanel: the panel without its outer ring.
  RECT PanelRect(int index) const;

  // Paints an owner-drawn panel. The DC carries the bar's font.
  std::function<void(TStatusBar& sender, int panel, HDC dc, const RECT& rect)> OnDrawPanel;

 protected:
  LRESULT WndProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
  void Paint(HDC dc, const RECT& client) override;

 private:
  void PaintPanelDefault(HDC dc, int index, const RECT& rect) const;
  void InvalidatePanel(int index);

  std::vector<TStatusPanel> panels_;
};

}  // namespace lumora
