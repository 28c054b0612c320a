#include <sys/resource.h>

#include "imgtool_platform.h"

namespace imgtool {

std::vector<std::filesystem::path> Arguments(int argc, char** argv) {
  return std::vector<std::filesystem::path>(argv + 1, argv + argc);
}

uint64_t PeakMemory() {
  rusage usage{};
  if (getrusage(RUSAGE_SELF, &usage) != 0) return 0;
  return static_cast<uint64_t>(usage.ru_maxrss) * 1024;  // kilobytes on Linux
}

}  // namespace imgtool
