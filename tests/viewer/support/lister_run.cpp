#include "lister_run.h"

#include <algorithm>
#include <sstream>

#include "test_host.h"

namespace lumora::test {

bool TListerRun::Has(const std::string& line) const {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TListerRun RunLister(const std::wstring& listerPath, const std::wstring& arguments) {
  TListerRun run;
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return run;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  std::wstring commandLine = L"\"" + listerPath + L"\" " + arguments;
  PROCESS_INFORMATION process{};
  BOOL started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                                &process);
  CloseHandle(writeEnd);
  if (started) {
    // Read what is there while waiting for the exit, answering messages so
    // the child never waits on us. The end of the pipe is not awaited: a
    // helper process that Wine starts on the child's behalf may inherit it.
    auto drain = [&] {
      DWORD available = 0;
      while (PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
        char buffer[4096];
        DWORD got = 0;
        if (!ReadFile(readEnd, buffer, std::min<DWORD>(available, sizeof(buffer)), &got, nullptr) || got == 0) break;
        run.output.append(buffer, got);
      }
    };
    DWORD start = GetTickCount();
    while (MsgWaitForMultipleObjects(1, &process.hProcess, FALSE, 50, QS_ALLINPUT) != WAIT_OBJECT_0 &&
           GetTickCount() - start < 60000) {
      drain();
      PumpMessages(0);
    }
    drain();
    GetExitCodeProcess(process.hProcess, &run.exitCode);
    if (run.exitCode == STILL_ACTIVE) TerminateProcess(process.hProcess, 99);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  CloseHandle(readEnd);
  std::istringstream lines(run.output);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t colon = line.find(": ");
    if (colon != std::string::npos) run.values[line.substr(0, colon)] = line.substr(colon + 2);
    run.lines.push_back(std::move(line));
  }
  return run;
}

}  // namespace lumora::test
