// lister.exe in scripted runs prints the plugin's message boxes and closes
// them itself, so no run waits for a user.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "test_host.h"

namespace lumora::test {
namespace {

struct TRun {
  DWORD exitCode = 0xFFFFFFFF;
  std::vector<std::string> lines;
  bool Has(const std::string& line) const {
    for (const std::string& l : lines) {
      if (l == line) return true;
    }
    return false;
  }
};

TRun RunLister(const std::wstring& arguments) {
  TRun run;
  SECURITY_ATTRIBUTES inherit{sizeof(inherit), nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return run;
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  std::wstring commandLine = L"\"" + WindowsPath(LUMORA_LISTER_PATH) + L"\" " + arguments;
  PROCESS_INFORMATION process{};
  BOOL started = CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                                &process);
  CloseHandle(writeEnd);
  std::string output;
  if (started) {
    auto drain = [&] {
      DWORD available = 0;
      while (PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
        char buffer[4096];
        DWORD got = 0;
        if (!ReadFile(readEnd, buffer, std::min<DWORD>(available, sizeof(buffer)), &got, nullptr) || got == 0) break;
        output.append(buffer, got);
      }
    };
    DWORD start = GetTickCount();
    while (WaitForSingleObject(process.hProcess, 50) != WAIT_OBJECT_0 && GetTickCount() - start < 60000) drain();
    drain();
    GetExitCodeProcess(process.hProcess, &run.exitCode);
    if (run.exitCode == STILL_ACTIVE) TerminateProcess(process.hProcess, 99);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  }
  CloseHandle(readEnd);
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    run.lines.push_back(line);
  }
  return run;
}

TEST(ListerMessages, MessageBoxesArePrintedAndDismissed) {
  std::wstring folder = MakeTempFolder();
  std::wstring broken = folder + L"\\broken.bmp";
  std::ofstream(std::filesystem::path(broken), std::ios::binary) << "BM not a bitmap";
  std::wstring missing = folder + L"\\gone.bmp";

  TRun run = RunLister(L"--quit \"" + broken + L"\"");
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_TRUE(run.Has("message: Невозможно загрузить изображение: \"broken.bmp\""));
  EXPECT_TRUE(run.Has("closed: no"));

  run = RunLister(L"--quit \"" + missing + L"\"");
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_TRUE(run.Has(Narrow(L"message: Файл не найден: \"" + missing + L"\"")));
  std::string all;
  for (const std::string& line : run.lines) all += line + "\n";
  EXPECT_TRUE(run.Has("closed: yes")) << all;

  DeleteFileW(broken.c_str());
  RemoveDirectoryW(folder.c_str());
}

}  // namespace
}  // namespace lumora::test
