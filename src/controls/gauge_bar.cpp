#include "controls/gauge_bar.h"

#include <algorithm>

#include "controls/win_util.h"
#include "draw/gdi.h"

namespace lumora {

TGaugeBar::TGaugeBar(const CreateArgs& args)
    : min_(args.min), max_(std::max(args.min, args.max)), position_(std::clamp(args.position, min_, max_)) {
  TCreateArgs create;
  create.parent = args.parent;
  create.left = args.left;
  create.top = args.top;
  create.width = args.width;
  create.height = args.height;
  create.visible = args.visible;
  CreateHandle(L"LumoraGaugeBar", create);
}

void TGaugeBar::SetPosition(int position) {
  position = std::clamp(position, min_, max_);
  if (position == position_) return;
  position_ = position;
  Invalidate();
  if (OnChange) OnChange(*this);
}

RECT TGaugeBar::DecrementButton() const {
  RECT client = ClientRect();
  return RECT{0, 0, std::min(client.bottom, client.right / 2), client.bottom};
}

RECT TGaugeBar::IncrementButton() const {
  RECT client = ClientRect();
  return RECT{std::max(client.right - client.bottom, client.right / 2), 0, client.right, client.bottom};
}

RECT TGaugeBar::Track() const {
  RECT client = ClientRect();
  return RECT{DecrementButton().right, 0, IncrementButton().left, client.bottom};
}

int TGaugeBar::HandleWidth() const {
  RECT track = Track();
  return std::min<int>(track.right - track.left, std::max<int>(8, track.bottom - track.top));
}

RECT TGaugeBar::HandleRect() const {
  RECT track = Track();
  int free = (track.right - track.left) - HandleWidth();
  int offset = max_ > min_ ? static_cast<int>(static_cast<long long>(free) * (position_ - min_) / (max_ - min_)) : 0;
  return RECT{track.left + offset, track.top, track.left + offset + HandleWidth(), track.bottom};
}

int TGaugeBar::PositionAt(int handleLeft) const {
  RECT track = Track();
  int free = (track.right - track.left) - HandleWidth();
  if (free <= 0) return position_;
  int offset = std::clamp(handleLeft - static_cast<int>(track.left), 0, free);
  return min_ + static_cast<int>((static_cast<long long>(offset) * (max_ - min_) + free / 2) / free);
}

void TGaugeBar::Paint(HDC dc, const RECT& client) {
  FillSolidRect(dc, client, GetSysColor(COLOR_BTNFACE));
  RECT track = Track();
  RECT groove{track.left, (track.top + track.bottom) / 2 - 2, track.right, (track.top + track.bottom) / 2 + 2};
  DrawEdge(dc, &groove, EDGE_SUNKEN, BF_RECT);
  for (RECT button : {DecrementButton(), IncrementButton()}) {
    DrawEdge(dc, &button, EDGE_RAISED, BF_RECT | BF_MIDDLE);
    // A small triangle pointing outwards.
    bool left = button.left == 0;
    int cx = (button.left + button.right) / 2;
    int cy = (button.top + button.bottom) / 2;
    for (int i = 0; i < 4; ++i) {
      int x = left ? cx - 2 + i : cx + 1 - i;
      RECT column{x, cy - i, x + 1, cy + i + 1};
      FillSolidRect(dc, column, GetSysColor(IsWindowEnabled(Handle()) ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
    }
  }
  RECT handle = HandleRect();
  DrawEdge(dc, &handle, EDGE_RAISED, BF_RECT | BF_MIDDLE);
}

void TGaugeBar::MouseDown(TMouseButton button, TShiftState shift, int x, int y) {
  if (button != TMouseButton::mbLeft) return;
  SetFocus();
  POINT point{x, y};
  RECT handle = HandleRect();
  RECT decrement = DecrementButton();
  RECT increment = IncrementButton();
  if (PtInRect(&decrement, point)) {
    SetPosition(position_ - 1);
  } else if (PtInRect(&increment, point)) {
    SetPosition(position_ + 1);
  } else {
    if (!PtInRect(&handle, point)) {
      // A click on the track puts the handle's middle under the pointer.
      SetPosition(PositionAt(x - HandleWidth() / 2));
      handle = HandleRect();
    }
    dragging_ = true;
    dragOffset_ = x - handle.left;
    SetCapture(Handle());
  }
}

void TGaugeBar::MouseMove(TShiftState shift, int x, int y) {
  if (dragging_) SetPosition(PositionAt(x - dragOffset_));
}

void TGaugeBar::MouseUp(TMouseButton button, TShiftState shift, int x, int y) {
  if (!dragging_) return;
  dragging_ = false;
  ReleaseCapture();
}

bool TGaugeBar::MouseWheel(int delta, TShiftState shift, POINT client) {
  SetPosition(position_ + (delta > 0 ? 1 : -1));
  return true;
}

}  // namespace lumora
