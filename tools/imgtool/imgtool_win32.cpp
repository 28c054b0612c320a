#include <windows.h>
#include <psapi.h>
#include <shellapi.h>

#include <algorithm>

#include "imgtool_platform.h"

namespace imgtool {

std::vector<std::filesystem::path> Arguments(int, char**) {
  std::vector<std::filesystem::path> result;
  int count = 0;
  wchar_t** args = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!args) return result;
  for (int i = 1; i < count; ++i) result.emplace_back(args[i]);
  LocalFree(args);
  return result;
}

uint64_t PeakMemory() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
  // The larger of resident and committed memory: in a 32-bit process the
  // committed part is what competes for address space.
  return std::max<uint64_t>(counters.PeakWorkingSetSize, counters.PeakPagefileUsage);
}

}  // namespace imgtool
