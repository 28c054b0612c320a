#include "imageio/progress.h"

namespace lumora {

const char* FailureKindName(TIOFailureKind kind) {
  switch (kind) {
    case TIOFailureKind::None: return "no failure";
    case TIOFailureKind::InvalidData: return "invalid data";
    case TIOFailureKind::OverLimit: return "over a limit";
    case TIOFailureKind::Unsupported: return "unsupported variant";
    case TIOFailureKind::IOError: return "I/O error";
    case TIOFailureKind::Cancelled: return "cancelled";
  }
  return "unknown failure";
}

std::string TIOFailure::Describe() const {
  std::string text = FailureKindName(Kind);
  if (!Text.empty()) text += ": " + Text;
  return text;
}

}  // namespace lumora
