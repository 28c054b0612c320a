// Replays fuzz inputs without libFuzzer: each argument is a file or a folder
// of files, each file one input. The test run replays the kept corpora under
// the sanitizers this way, so a reader change that breaks on a known input
// fails the tests, not only a later fuzzing session.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

std::vector<std::filesystem::path> Inputs(const std::filesystem::path& where) {
  std::vector<std::filesystem::path> files;
  if (std::filesystem::is_directory(where)) {
    for (const auto& entry : std::filesystem::directory_iterator(where))
      if (entry.is_regular_file()) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
  } else if (std::filesystem::is_regular_file(where)) {
    files.push_back(where);
  }
  return files;
}

}  // namespace

int main(int argc, char** argv) {
  if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
  int replayed = 0;
  for (int i = 1; i < argc; ++i) {
    for (const auto& file : Inputs(argv[i])) {
      std::ifstream in(file, std::ios::binary);
      std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      LLVMFuzzerTestOneInput(data.data(), data.size());
      ++replayed;
    }
  }
  std::printf("replayed %d inputs\n", replayed);
  // No input at all means the corpus went missing: that must not pass.
  return replayed > 0 ? 0 : 1;
}
