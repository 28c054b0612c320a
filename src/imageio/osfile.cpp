#include "imageio/osfile.h"

#include <algorithm>
#include <system_error>
#include <utility>

#include "imageio/errors.h"

namespace lumora {

std::string PathToUtf8(const std::filesystem::path& name) {
  std::u8string s = name.u8string();
  return std::string(s.begin(), s.end());
}

std::filesystem::path Utf8ToPath(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::filesystem::path ExpandFileName(const std::filesystem::path& name) {
  std::error_code ec;
  auto full = std::filesystem::absolute(name, ec);
  return ec ? name : full;
}

bool IsExistingFile(const std::filesystem::path& name) {
  std::error_code ec;
  auto status = std::filesystem::status(name, ec);
  return !ec && std::filesystem::exists(status) && !std::filesystem::is_directory(status);
}

std::filesystem::path SystemTemporaryDirectory() {
  std::error_code ec;
  auto dir = std::filesystem::temp_directory_path(ec);
  return ec ? std::filesystem::path() : dir;
}

TOsFile::TOsFile(TOsFile&& other) noexcept { *this = std::move(other); }

TOsFile& TOsFile::operator=(TOsFile&& other) noexcept {
  if (this != &other) {
    Close();
#ifdef _WIN32
    std::swap(handle_, other.handle_);
#else
    std::swap(fd_, other.fd_);
#endif
    name_ = std::move(other.name_);
  }
  return *this;
}

TOsFile::~TOsFile() { Close(); }

TOsFile TOsFile::Open(const std::filesystem::path& name, TFileOpenMode mode) {
  int error = 0;
  TOsFile file = TryOpen(name, mode, error);
  if (!file.IsOpen()) {
    const char* verb = mode == TFileOpenMode::Create ? "Cannot create file \"" : "Cannot open file \"";
    throw ELmFileError(verb + PathToUtf8(ExpandFileName(name)) + "\". " + SystemErrorText(error), error);
  }
  return file;
}

void TOsFile::Fail(const char* what) const {
  int error = LastSystemError();
  throw ELmFileError(std::string(what) + " \"" + PathToUtf8(name_) + "\". " + SystemErrorText(error), error);
}


}  // namespace lumora
