// TDropTarget: makes a control accept files dropped from the shell and
// hands their names to OnDrop.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "controls/control.h"

namespace lumora {

class TDropTarget {
 public:
  explicit TDropTarget(TControl& target);
  ~TDropTarget();
  TDropTarget(const TDropTarget&) = delete;
  TDropTarget& operator=(const TDropTarget&) = delete;

  TControl& Target() const { return target_; }

  // The drop point in the target's client coordinates and the dropped names.
  std::function<void(TDropTarget& sender, POINT point, const std::vector<std::wstring>& names)> OnDrop;

 private:
  TControl& target_;  // not owned; outlives this object
};

}  // namespace lumora
