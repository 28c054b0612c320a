#include "controls/status_bar.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>

#include "controls/win_util.h"
#include "draw/gdi.h"

namespace lumora {

namespace {

// Gap between two panels and the band above them, as in the common control.
constexpr int kPanelGap = 2;
constexpr int kTopBorder = 2;
constexpr int kTextIndent = 4;

}  // namespace

TStatusBar::TStatusBar(const CreateArgs& args) {
  TCreateArgs create;
  create.parent = args.parent;
  create.height = args.height;
  CreateHandle(L"LumoraStatusBar", create);
  SetAlign(TAlign::alBottom);
}

void TStatusBar::AddPanel(int width, TAlignment alignment, bool ownerDraw) {
  TStatusPanel panel;
  panel.Width = width;
  panel.Alignment = alignment;
  panel.OwnerDraw = ownerDraw;
  panels_.push_back(std::move(panel));
  Invalidate();
}

void TStatusBar::SetPanelText(int index, std::wstring text) {
  if (index < 0 || index >= PanelCount()) return;
  TStatusPanel& panel = panels_[static_cast<size_t>(index)];
  if (panel.Text == text) return;
  panel.Text = std::move(text);
  InvalidatePanel(index);
}

std::vector<int> TStatusBar::PanelEdges() const {
  std::vector<int> edges;
  int right = 0;
  for (size_t i = 0; i < panels_.size(); ++i) {
    right += panels_[i].Width;
    edges.push_back(i + 1 == panels_.size() ? -1 : right);
  }
  return edges;
}

RECT TStatusBar::PanelBounds(int index) const {
  RECT client = ClientRect();
  RECT r{0, kTopBorder, 0, client.bottom};
  if (index < 0 || index >= PanelCount()) return RECT{0, 0, 0, 0};
  int left = 0;
  for (int i = 0; i < index; ++i) left += panels_[static_cast<size_t>(i)].Width;
  r.left = index == 0 ? 0 : left + kPanelGap;
  r.right = index + 1 == PanelCount() ? client.right : left + panels_[static_cast<size_t>(index)].Width;
  if (r.right < r.left) r.right = r.left;
  return r;
}

RECT TStatusBar::PanelRect(int index) const {
  RECT r = PanelBounds(index);
  if (r.right - r.left >= 2) InflateRect(&r, -1, -1);
  return r;
}

void TStatusBar::InvalidatePanel(int index) {
  if (!Handle()) return;
  RECT r = PanelBounds(index);
  InvalidateRect(Handle(), &r, FALSE);
}

void TStatusBar::Paint(HDC dc, const RECT& client) {
  FillSolidRect(dc, client, Color());
  for (int i = 0; i < PanelCount(); ++i) {
    RECT bounds = PanelBounds(i);
    if (bounds.right <= bounds.left) continue;
    int saved = SaveDC(dc);
    IntersectClipRect(dc, bounds.left, bounds.top, bounds.right, bounds.bottom);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    if (panels_[static_cast<size_t>(i)].OwnerDraw && OnDrawPanel) {
      OnDrawPanel(*this, i, dc, PanelRect(i));
    } else {
      PaintPanelDefault(dc, i, bounds);
    }
    RestoreDC(dc, saved);
  }
}

void TStatusBar::PaintPanelDefault(HDC dc, int index, const RECT& bounds) const {
  RECT r = bounds;
  DrawEdge(dc, &r, BDR_SUNKENOUTER, BF_RECT);
  const TStatusPanel& panel = panels_[static_cast<size_t>(index)];
  UINT format = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS;
  switch (panel.Alignment) {
    case TAlignment::taCenter:
      format |= DT_CENTER;
      break;
    case TAlignment::taRightJustify:
      format |= DT_RIGHT;
      r.right -= kTextIndent;
      break;
    case TAlignment::taLeftJustify:
      r.left += kTextIndent;
      break;
  }
  DrawTextW(dc, panel.Text.c_str(), static_cast<int>(panel.Text.size()), &r, format);
}

LRESULT TStatusBar::WndProc(UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case SB_GETPARTS: {
      std::vector<int> edges = PanelEdges();
      if (auto* out = reinterpret_cast<int*>(lParam)) {
        size_t count = std::min(edges.size(), static_cast<size_t>(wParam));
        std::copy_n(edges.begin(), count, out);
      }
      return static_cast<LRESULT>(edges.size());
    }
    case SB_GETTEXTW:
    case SB_GETTEXTLENGTHW: {
      int index = LOWORD(wParam);
      if (index >= PanelCount()) return 0;
      const std::wstring& text = PanelText(index);
      if (msg == SB_GETTEXTW && lParam) {
        std::memcpy(reinterpret_cast<wchar_t*>(lParam), text.c_str(), (text.size() + 1) * sizeof(wchar_t));
      }
      return MAKELONG(static_cast<WORD>(text.size()), 0);
    }
    case SB_SETTEXTW: {
      int index = LOBYTE(LOWORD(wParam));
      const auto* text = reinterpret_cast<const wchar_t*>(lParam);
      if (index >= PanelCount()) return FALSE;
      SetPanelText(index, text ? text : L"");
      return TRUE;
    }
    case SB_GETRECT: {
      int index = static_cast<int>(wParam);
      if (index >= PanelCount() || !lParam) return FALSE;
      *reinterpret_cast<RECT*>(lParam) = PanelBounds(index);
      return TRUE;
    }
    case WM_SIZE: {
      // The last panel stretches with the bar.
      LRESULT result = TControl::WndProc(msg, wParam, lParam);
      Invalidate();
      return result;
    }
  }
  return TControl::WndProc(msg, wParam, lParam);
}

}  // namespace lumora
