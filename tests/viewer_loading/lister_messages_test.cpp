// lister.exe in scripted runs prints the plugin's message boxes and closes
// them itself, so no run waits for a user.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "lister_run.h"
#include "test_host.h"

namespace lumora::test {
namespace {

TListerRun RunLister(const std::wstring& arguments) { return test::RunLister(WindowsPath(LUMORA_LISTER_PATH), arguments); }

TEST(ListerMessages, MessageBoxesArePrintedAndDismissed) {
  std::wstring folder = MakeTempFolder();
  std::wstring broken = folder + L"\\broken.bmp";
  std::ofstream(std::filesystem::path(broken), std::ios::binary) << "BM not a bitmap";
  std::wstring missing = folder + L"\\gone.bmp";

  TListerRun run = RunLister(L"--quit \"" + broken + L"\"");
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
