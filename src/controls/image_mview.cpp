#include "controls/image_mview.h"

#include <algorithm>

namespace lumora {

TImageMView::TImageMView(const CreateArgs& args) {
  TCreateArgs create;
  create.parent = args.parent;
  CreateHandle(L"LumoraImageMView", create);
}

void TImageMView::SetThumbWidth(int width) {
  thumbWidth_ = std::max(1, width);
  Invalidate();
}

void TImageMView::SetThumbHeight(int height) {
  thumbHeight_ = std::max(1, height);
  Invalidate();
}

}  // namespace lumora
