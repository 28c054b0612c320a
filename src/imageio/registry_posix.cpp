#include "imageio/registry.h"

namespace lumora {

// The HD Photo codec is a Windows imaging component; elsewhere it is absent.
bool HdPhotoCodecAvailable() { return false; }

}  // namespace lumora
