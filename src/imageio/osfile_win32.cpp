// Windows side of TOsFile: wide file names, sharing modes, delete-on-close
// temporary files.
#include <windows.h>

#include <algorithm>

#include "imageio/errors.h"
#include "imageio/osfile.h"

namespace lumora {

namespace {
HANDLE AsHandle(void* h) { return static_cast<HANDLE>(h); }

// ReadFile and WriteFile take 32-bit counts; large transfers go in pieces
// until all is done or a piece moves nothing (end of file, disk full).
template <typename Byte, typename Transfer>
size_t TransferInPieces(Byte* data, size_t count, Transfer transfer) {
  size_t done = 0;
  while (done < count) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(count - done, 1u << 30)), moved = 0;
    transfer(data + done, chunk, &moved);
    if (moved == 0) break;
    done += moved;
  }
  return done;
}

std::string WideToUtf8(const wchar_t* text, int length) {
  int bytes = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string out(bytes > 0 ? bytes : 0, '\0');
  if (bytes > 0) WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), bytes, nullptr, nullptr);
  return out;
}
}  // namespace

std::string SystemErrorText(int code) {
  wchar_t* text = nullptr;
  DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                               FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0,
                           nullptr);
  if (n == 0 || !text) return "System error " + std::to_string(code) + ".";
  std::string out = WideToUtf8(text, static_cast<int>(n));
  LocalFree(text);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ')) out.pop_back();
  return out;
}

int LastSystemError() { return static_cast<int>(GetLastError()); }

TOsFile TOsFile::TryOpen(const std::filesystem::path& name, TFileOpenMode mode, int& systemError) {
  DWORD access = GENERIC_READ, share = FILE_SHARE_READ | FILE_SHARE_WRITE, disposition = OPEN_EXISTING;
  switch (mode) {
    case TFileOpenMode::Read: break;
    case TFileOpenMode::ReadDenyWrite: share = FILE_SHARE_READ; break;
    case TFileOpenMode::ReadWrite: access |= GENERIC_WRITE; break;
    case TFileOpenMode::Create:
      access |= GENERIC_WRITE;
      share = FILE_SHARE_READ;
      disposition = CREATE_ALWAYS;
      break;
  }
  TOsFile file;
  systemError = 0;
  HANDLE h = CreateFileW(name.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    systemError = LastSystemError();
    return file;
  }
  file.handle_ = h;
  file.name_ = name;
  return file;
}

TOsFile TOsFile::CreateTemporary(const std::filesystem::path& name, int& systemError) {
  TOsFile file;
  systemError = 0;
  HANDLE h = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                         FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    systemError = LastSystemError();
    return file;
  }
  file.handle_ = h;
  file.name_ = name;
  return file;
}

bool TOsFile::IsOpen() const { return AsHandle(handle_) != INVALID_HANDLE_VALUE; }

void TOsFile::Close() {
  if (IsOpen()) CloseHandle(AsHandle(handle_));
  handle_ = INVALID_HANDLE_VALUE;
}

int64_t TOsFile::Size() const {
  LARGE_INTEGER size;
  if (!GetFileSizeEx(AsHandle(handle_), &size)) Fail("Cannot read the size of file");
  return size.QuadPart;
}

int64_t TOsFile::Seek(int64_t offset, TSeekOrigin origin) {
  LARGE_INTEGER distance, pos;
  distance.QuadPart = offset;
  DWORD method = origin == TSeekOrigin::Begin ? FILE_BEGIN : origin == TSeekOrigin::Current ? FILE_CURRENT : FILE_END;
  if (!SetFilePointerEx(AsHandle(handle_), distance, &pos, method)) Fail("Cannot seek in file");
  return pos.QuadPart;
}

int64_t TOsFile::Position() const {
  LARGE_INTEGER zero, pos;
  zero.QuadPart = 0;
  if (!SetFilePointerEx(AsHandle(handle_), zero, &pos, FILE_CURRENT)) Fail("Cannot seek in file");
  return pos.QuadPart;
}

size_t TOsFile::Read(void* buffer, size_t count) {
  return TransferInPieces(static_cast<uint8_t*>(buffer), count, [&](uint8_t* at, DWORD chunk, DWORD* got) {
    if (!ReadFile(AsHandle(handle_), at, chunk, got, nullptr)) Fail("Cannot read file");
  });
}

size_t TOsFile::Write(const void* buffer, size_t count) {
  return TransferInPieces(static_cast<const uint8_t*>(buffer), count, [&](const uint8_t* at, DWORD chunk, DWORD* put) {
    if (!WriteFile(AsHandle(handle_), at, chunk, put, nullptr)) Fail("Cannot write file");
  });
}

size_t TOsFile::ReadAt(int64_t offset, void* buffer, size_t count) {
  Seek(offset, TSeekOrigin::Begin);
  return Read(buffer, count);
}

size_t TOsFile::WriteAt(int64_t offset, const void* buffer, size_t count) {
  Seek(offset, TSeekOrigin::Begin);
  return Write(buffer, count);
}

void TOsFile::SetSize(int64_t size) {
  int64_t keep = Position();
  Seek(size, TSeekOrigin::Begin);
  if (!SetEndOfFile(AsHandle(handle_))) Fail("Cannot set the size of file");
  Seek(std::min(keep, size), TSeekOrigin::Begin);
}

}  // namespace lumora
