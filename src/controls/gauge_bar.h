// TGaugeBar: a horizontal slider over an integer range, with a step button
// at each end and a handle that can be dragged or placed by a click on the
// track.
#pragma once

#include <functional>

#include "controls/control.h"

namespace lumora {

class TGaugeBar : public TControl {
 public:
  struct CreateArgs {
    TControl* parent = nullptr;
    int left = 0, top = 0, width = 150, height = 15;
    int min = 0, max = 100, position = 0;
    bool visible = true;
  };
  explicit TGaugeBar(const CreateArgs& args);

  int Min() const { return min_; }
  int Max() const { return max_; }
  int Position() const { return position_; }
  // Kept within Min .. Max; OnChange runs when the position changes.
  void SetPosition(int position);

  std::function<void(TGaugeBar& sender)> OnChange;

  // Geometry, in client coordinates (exposed for tests and painting).
  RECT DecrementButton() const;
  RECT IncrementButton() const;
  RECT HandleRect() const;

 protected:
  void Paint(HDC dc, const RECT& client) override;
  void MouseDown(TMouseButton button, TShiftState shift, int x, int y) override;
  void MouseMove(TShiftState shift, int x, int y) override;
  void MouseUp(TMouseButton button, TShiftState shift, int x, int y) override;
  bool MouseWheel(int delta, TShiftState shift, POINT client) override;

 private:
  RECT Track() const;
  int HandleWidth() const;
  int PositionAt(int x) const;

  int min_;
  int max_;
  int position_;
  bool dragging_ = false;
  int dragOffset_ = 0;  // pointer x minus handle left while dragging
};

}  // namespace lumora
