// An operating-system file handle with RAII, 64-bit sizes and positions.
//
// File names across the I/O layer are std::filesystem::path: UTF-16 on
// Windows (so any name the shell gives us opens), UTF-8 on Linux. The POSIX
// implementation is in osfile.cpp, the Windows one in osfile_win32.cpp.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace lumora {

enum class TFileOpenMode {
  Read,           // existing file, read only, others may read and write
  ReadDenyWrite,  // existing file, read only, others may read but not write (loads)
  ReadWrite,      // existing file, read and write
  Create,         // create or truncate, read and write, others may read (saves)
};

enum class TSeekOrigin { Begin, Current, End };

class TOsFile {
 public:
  TOsFile() = default;
  ~TOsFile();
  TOsFile(TOsFile&& other) noexcept;
  TOsFile& operator=(TOsFile&& other) noexcept;
  TOsFile(const TOsFile&) = delete;
  TOsFile& operator=(const TOsFile&) = delete;

  // Opens or creates; throws ELmFileError with "Cannot open file \"%s\". %s"
  // or, for TFileOpenMode::Create, "Cannot create file \"%s\". %s" (the
  // absolute file name and the system's error text).
  static TOsFile Open(const std::filesystem::path& name, TFileOpenMode mode);
  // The same without the exception: a closed file and the system error code.
  static TOsFile TryOpen(const std::filesystem::path& name, TFileOpenMode mode, int& systemError);
  // A new file (fails when the name exists) for reading and writing, not
  // shared, that the system deletes when it is closed or the process ends.
  static TOsFile CreateTemporary(const std::filesystem::path& name, int& systemError);

  bool IsOpen() const;
  const std::filesystem::path& Name() const { return name_; }
  void Close();

  // All of these throw ELmFileError when the system call fails. Read and
  // Write return the bytes transferred; Read returns fewer only at the end
  // of the file.
  int64_t Size() const;
  int64_t Seek(int64_t offset, TSeekOrigin origin);
  int64_t Position() const;
  size_t Read(void* buffer, size_t count);
  size_t Write(const void* buffer, size_t count);
  size_t ReadAt(int64_t offset, void* buffer, size_t count);
  size_t WriteAt(int64_t offset, const void* buffer, size_t count);
  void SetSize(int64_t size);

 private:
  [[noreturn]] void Fail(const char* what) const;

#ifdef _WIN32
  void* handle_ = reinterpret_cast<void*>(static_cast<intptr_t>(-1));  // owned HANDLE
#else
  int fd_ = -1;  // owned descriptor
#endif
  std::filesystem::path name_;
};

// Text of a system error code (errno / GetLastError), UTF-8, no trailing newline.
std::string SystemErrorText(int code);
// The calling thread's last system error code.
int LastSystemError();

// UTF-8 form of a file name, for messages and for matching extensions.
std::string PathToUtf8(const std::filesystem::path& name);
// A file name from UTF-8 text (tools and tests that take names as UTF-8).
std::filesystem::path Utf8ToPath(const std::string& utf8);
// The absolute name, as messages show it; the name itself when that fails.
std::filesystem::path ExpandFileName(const std::filesystem::path& name);

// True when the name is an existing file (not a directory).
bool IsExistingFile(const std::filesystem::path& name);

// The system temporary directory, or an empty path when there is none.
std::filesystem::path SystemTemporaryDirectory();

}  // namespace lumora
