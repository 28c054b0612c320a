// POSIX side of the file layer (the Windows side is osfile_win32.cpp).
#include "imageio/osfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <utility>

#include "imageio/errors.h"

namespace lumora {

std::string SystemErrorText(int code) { return std::strerror(code); }

int LastSystemError() { return errno; }

TOsFile TOsFile::TryOpen(const std::filesystem::path& name, TFileOpenMode mode, int& systemError) {
  // POSIX has no mandatory sharing modes; ReadDenyWrite is a plain read here.
  int flags = O_CLOEXEC;
  switch (mode) {
    case TFileOpenMode::Read:
    case TFileOpenMode::ReadDenyWrite: flags |= O_RDONLY; break;
    case TFileOpenMode::ReadWrite: flags |= O_RDWR; break;
    case TFileOpenMode::Create: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
  }
  TOsFile file;
  systemError = 0;
  int fd;
  do {
    fd = ::open(name.c_str(), flags, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    systemError = errno;
    return file;
  }
  struct stat st;
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
    ::close(fd);
    systemError = EISDIR;
    return file;
  }
  file.fd_ = fd;
  file.name_ = name;
  return file;
}

TOsFile TOsFile::CreateTemporary(const std::filesystem::path& name, int& systemError) {
  TOsFile file;
  systemError = 0;
  int fd = ::open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) {
    systemError = errno;
    return file;
  }
  // Unlinking at once gives delete-on-close: the data lives while the
  // descriptor does and vanishes with it, even when the process dies.
  ::unlink(name.c_str());
  file.fd_ = fd;
  file.name_ = name;
  return file;
}

bool TOsFile::IsOpen() const { return fd_ >= 0; }

void TOsFile::Close() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

int64_t TOsFile::Size() const {
  struct stat st;
  if (::fstat(fd_, &st) != 0) Fail("Cannot read the size of file");
  return st.st_size;
}

int64_t TOsFile::Seek(int64_t offset, TSeekOrigin origin) {
  int whence = origin == TSeekOrigin::Begin ? SEEK_SET : origin == TSeekOrigin::Current ? SEEK_CUR : SEEK_END;
  off_t pos = ::lseek(fd_, static_cast<off_t>(offset), whence);
  if (pos < 0) Fail("Cannot seek in file");
  return pos;
}

int64_t TOsFile::Position() const {
  off_t pos = ::lseek(fd_, 0, SEEK_CUR);
  if (pos < 0) Fail("Cannot seek in file");
  return pos;
}

namespace {
// Linux transfers at most about 2 GB per call; loop until done or the end.
template <class Op>
size_t TransferAll(size_t count, Op op) {
  size_t done = 0;
  while (done < count) {
    size_t chunk = std::min<size_t>(count - done, size_t{1} << 30);
    ssize_t n = op(done, chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      return static_cast<size_t>(-1);
    }
    if (n == 0) break;
    done += static_cast<size_t>(n);
  }
  return done;
}
}  // namespace

size_t TOsFile::Read(void* buffer, size_t count) {
  auto* p = static_cast<uint8_t*>(buffer);
  size_t n = TransferAll(count, [&](size_t done, size_t chunk) { return ::read(fd_, p + done, chunk); });
  if (n == static_cast<size_t>(-1)) Fail("Cannot read file");
  return n;
}

size_t TOsFile::Write(const void* buffer, size_t count) {
  auto* p = static_cast<const uint8_t*>(buffer);
  size_t n = TransferAll(count, [&](size_t done, size_t chunk) { return ::write(fd_, p + done, chunk); });
  if (n == static_cast<size_t>(-1)) Fail("Cannot write file");
  return n;
}

size_t TOsFile::ReadAt(int64_t offset, void* buffer, size_t count) {
  auto* p = static_cast<uint8_t*>(buffer);
  size_t n = TransferAll(count, [&](size_t done, size_t chunk) {
    return ::pread(fd_, p + done, chunk, static_cast<off_t>(offset + static_cast<int64_t>(done)));
  });
  if (n == static_cast<size_t>(-1)) Fail("Cannot read file");
  return n;
}

size_t TOsFile::WriteAt(int64_t offset, const void* buffer, size_t count) {
  auto* p = static_cast<const uint8_t*>(buffer);
  size_t n = TransferAll(count, [&](size_t done, size_t chunk) {
    return ::pwrite(fd_, p + done, chunk, static_cast<off_t>(offset + static_cast<int64_t>(done)));
  });
  if (n == static_cast<size_t>(-1)) Fail("Cannot write file");
  return n;
}

void TOsFile::SetSize(int64_t size) {
  if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) Fail("Cannot set the size of file");
}

}  // namespace lumora
