// Exceptions of the I/O layer.
//
// Exceptions are for resources and streams only: a file that cannot be
// opened or created, a stream that cannot seek or write, a library that
// cannot set itself up (zlib, "Error on creating PNG"). Bad data is never an
// exception: a reader that meets it sets the aborting flag of its progress
// context and returns, and the load still finishes normally.
//
// Messages are UTF-8.
#pragma once

#include <stdexcept>
#include <string>

namespace lumora {

// Base of every exception the I/O layer raises.
class ELmIOError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A file could not be opened, created, read or written at the OS level.
// The message already carries the file name and the system's error text
// ("Cannot open file \"x\". No such file or directory").
class ELmFileError : public ELmIOError {
 public:
  ELmFileError(const std::string& message, int systemError)
      : ELmIOError(message), systemError_(systemError) {}
  int SystemError() const { return systemError_; }

 private:
  int systemError_;  // errno on POSIX, GetLastError() on Windows
};

// A stream operation that the stream cannot do (writing to a read-only
// stream, seeking a pipe, a failed seek).
class ELmStreamError : public ELmIOError {
 public:
  using ELmIOError::ELmIOError;
};

// A codec library failed for reasons other than the data: it could not be
// initialised or ran out of resources (zlib, libpng, OpenJPEG).
class ELmCodecError : public ELmIOError {
 public:
  using ELmIOError::ELmIOError;
};

}  // namespace lumora
