#include "controls/drop_target.h"

namespace lumora {

TDropTarget::TDropTarget(TControl& target) : target_(target) {
  target_.SetDropHandler([this](POINT point, const std::vector<std::wstring>& names) {
    if (OnDrop && !names.empty()) OnDrop(*this, point, names);
  });
}

TDropTarget::~TDropTarget() { target_.SetDropHandler(nullptr); }

}  // namespace lumora
