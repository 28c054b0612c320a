// The thin layer between our codec and libpng: ownership of libpng's
// structures, the stream callbacks, the limits every read runs under, and
// the one place where libpng's error return is caught.
//
// Why setjmp and not exceptions: libpng reports a fatal error by calling our
// error function, which must not return. Throwing a C++ exception from there
// would unwind through libpng's C frames, which is only defined when libpng
// was compiled with unwind tables (-fexceptions); the cross-built static
// library for 32-bit Windows is not, and we do not want the reader's safety
// to depend on how a dependency was built. So the error function longjmps,
// and the jump lands in PngGuarded, a frame of its own that holds nothing
// with a destructor. The rules that keep this sound:
//  - only PngGuarded calls setjmp, and the step it runs calls libpng and
//    touches plain data only: no object with a destructor is alive in a
//    frame that a longjmp can skip;
//  - the stream callbacks never let an exception escape into libpng: they
//    catch it in a separate function, park it in TPngCallbackState and then
//    call png_error, so the exception can be rethrown (writer) or turned into
//    the aborting flag (reader) after the guard has returned;
//  - objects that own memory (buffers, temporary bitmaps, the quantizer, the
//    libpng structures themselves) live in the codec's ordinary C++ frames
//    outside the guard, and are released by their destructors on every path.
#pragma once

#include <png.h>

#include <csetjmp>
#include <cstddef>
#include <exception>

namespace lumora {

class TLmStream;

// What the libpng callbacks reach through libpng's I/O pointer.
struct TPngCallbackState {
  TLmStream* Stream = nullptr;     // not owned
  std::exception_ptr StreamError;  // raised by the stream inside a callback
  bool ShortWrite = false;         // the stream took fewer bytes than written
};

// Runs `step`, a few libpng calls over plain data, and answers false when
// libpng reported a fatal error on the way (its error function jumps back
// here). Never inlined by the compilers (setjmp), so each call is one frame.
template <class TStep>
[[nodiscard]] bool PngGuarded(png_structp png, TStep&& step) {
  if (setjmp(png_jmpbuf(png))) return false;
  step();
  return true;
}

// libpng's read structure with its info structure. Owns both; Valid() is
// false when libpng could not create them.
class TPngReadStruct {
 public:
  explicit TPngReadStruct(TPngCallbackState& state);
  ~TPngReadStruct();
  TPngReadStruct(const TPngReadStruct&) = delete;
  TPngReadStruct& operator=(const TPngReadStruct&) = delete;

  bool Valid() const { return png_ != nullptr && info_ != nullptr; }
  png_structp Png() const { return png_; }
  png_infop Info() const { return info_; }

 private:
  png_structp png_ = nullptr;  // owned
  png_infop info_ = nullptr;   // owned
};

// libpng's write structure with its info structure; as above.
class TPngWriteStruct {
 public:
  explicit TPngWriteStruct(TPngCallbackState& state);
  ~TPngWriteStruct();
  TPngWriteStruct(const TPngWriteStruct&) = delete;
  TPngWriteStruct& operator=(const TPngWriteStruct&) = delete;

  bool Valid() const { return png_ != nullptr && info_ != nullptr; }
  png_structp Png() const { return png_; }
  png_infop Info() const { return info_; }

 private:
  png_structp png_ = nullptr;  // owned
  png_infop info_ = nullptr;   // owned
};

}  // namespace lumora
