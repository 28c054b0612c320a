// Runs lister.exe in its scripted use and collects what it prints.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace lumora::test {

struct TListerRun {
  DWORD exitCode = 0xFFFFFFFF;
  std::string output;                          // everything printed, as UTF-8
  std::vector<std::string> lines;              // the output line by line, without CR
  std::map<std::string, std::string> values;   // "key: value" lines; the last one of a key wins

  bool Has(const std::string& line) const;
};

// Starts `listerPath` with `arguments`, waits up to a minute for it to exit
// (answering this thread's messages meanwhile) and returns its output.
TListerRun RunLister(const std::wstring& listerPath, const std::wstring& arguments);

}  // namespace lumora::test
