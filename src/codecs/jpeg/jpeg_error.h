// The error side of our use of libjpeg: its error manager, the message text
// of a library code, and the guard that turns the library's non-local error
// exit into a C++ exception.
//
// libjpeg is C code built without unwind tables on MinGW, so a C++ exception
// must never travel through it. Its fatal errors leave through longjmp to a
// setjmp taken in JpegGuard, right around the one library call; the guard
// then throws EIEJpegException from our own frame. Callbacks that we hand to
// the library (source, destination, progress) catch everything themselves
// and report through JpegFailFromCallback.
#pragma once

#include <csetjmp>
#include <cstddef>
#include <cstdio>  // jpeglib.h uses FILE and size_t without including them

#include <jpeglib.h>
#include <jerror.h>

#include <string>

#include "imageio/errors.h"
#include "imageio/progress.h"

namespace lumora {

// A fatal error of the JPEG library, carrying the library's message text.
class EIEJpegException : public ELmIOError {
 public:
  using ELmIOError::ELmIOError;
};

// The library's message for `code`, from its standard table, with "?" in
// place of every numeric placeholder and `text` in place of "%s"; "Corrupted"
// for a code that is not in the table.
std::string JpegMessageText(int code, const char* text = "");

// Installed in every compressor and decompressor (as cinfo->err). The
// library's own manager comes first so that the library can use this one
// through its jpeg_error_mgr pointer.
struct TJpegErrorManager {
  jpeg_error_mgr Base;
  std::jmp_buf Jump;
  TIOProgress* Progress = nullptr;  // whose aborting flag a fatal error sets; not owned
  int WarningCount = 0;
  int LastWarningCode = 0;
  // The text of the last fatal error, filled before the jump (a fixed buffer:
  // nothing may allocate or throw on the way out of the library).
  char Message[JMSG_LENGTH_MAX + 80] = {};
};

// Prepares `manager` and returns the pointer to store in cinfo->err.
jpeg_error_mgr* InitJpegErrorManager(TJpegErrorManager& manager, TIOProgress& progress);

// Fails the current library call from inside one of our callbacks: sets the
// aborting flag, records `message` and leaves through the error exit.
[[noreturn]] void JpegFailFromCallback(j_common_ptr cinfo, const char* message);

// Runs `call` (a library call without C++ objects of its own that need
// destruction) and returns true, or returns false when the library took its
// error exit. No C++ exception may leave `call`.
template <class Call>
bool JpegTry(TJpegErrorManager& manager, Call&& call) {
  if (setjmp(manager.Jump) != 0) return false;
  call();
  return true;
}

// JpegTry that throws EIEJpegException with the library's message on failure.
template <class Call>
void JpegGuard(TJpegErrorManager& manager, Call&& call) {
  if (!JpegTry(manager, call)) throw EIEJpegException(manager.Message);
}

}  // namespace lumora
