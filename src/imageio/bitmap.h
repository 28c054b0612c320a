// TLmBitmap: the one pixel container of the I/O layer, and TLmMask, the
// transparency mask that readers hand back beside it.
//
// A codec author needs little of this file:
//
//   if (!AcceptImageSize(w, h, 24, progress)) return;   // readerutil.h: the limits check
//   if (!bitmap.Allocate(w, h, pf24RGB)) {              // out of memory and disk
//     progress.Abort();
//     return;
//   }
//   for (int y = 0; y < h; ++y) {
//     uint8_t* row = bitmap.ScanLine(y);  // row 0 is the top; valid until the next ScanLine
//     ...fill RowLen() bytes...
//   }
//
// Pixels live in one of three places, chosen by size when the image is
// allocated: a memory block (or, when one block cannot be had, several
// segments), a temporary file that holds the rows while only one row is in
// memory, or (Windows) a DIB section. ScanLine hides the difference; in the
// file location a row pointer is only valid until the next ScanLine call on
// the same bitmap, so codecs fetch it once per row and never keep it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>

#include "imageio/color.h"
#include "imageio/errors.h"

namespace lumora {

// In-memory pixel formats. The values are our own; no file stores them.
enum TLmPixelFormat : uint8_t {
  pfNone = 0,
  pf1g = 1,      // 1 bit, most significant bit first; 1 = white, 0 = black
  pf8p = 2,      // palette index
  pf8g = 3,      // gray 0..255
  pf16g = 4,     // gray 0..65535, little-endian word
  pf24RGB = 5,   // bytes blue, green, red
  pf32f = 6,     // gray as a 32-bit float, 0.0 black .. 1.0 white
  pfCMYK = 7,    // bytes cyan, magenta, yellow, black, each inverted (255 = no ink)
  pfRGB48 = 8,   // 16-bit words red, green, blue (red first, unlike pf24RGB)
  pfCIELab = 9,  // bytes L (0..100 scaled to 0..255), a, b (signed bytes)
  pf32RGB = 10,  // bytes blue, green, red, fourth byte
};
inline constexpr int kPixelFormatCount = 11;

int PixelFormatBits(TLmPixelFormat format);      // bits per pixel, 0 for pfNone
int PixelFormatChannels(TLmPixelFormat format);  // channels, 0 for pfNone
const char* PixelFormatName(TLmPixelFormat format);

enum TLmLocation : uint8_t { locMemory = 0, locFile = 1, locSysBitmap = 2 };

// Access to rows in the file location: rows are read from the temporary file
// only with accRead and written back only with accWrite.
enum TLmAccessFlag : uint8_t { accRead = 1, accWrite = 2 };
using TLmAccess = uint8_t;
inline constexpr TLmAccess accReadWrite = accRead | accWrite;

// Raised when a whole-image operation other than Allocate cannot get the
// memory or temporary file it needs (Assign, resizing, conversions, the alpha
// channel). Allocate itself answers false instead.
class ELmOutOfMemory : public ELmIOError {
 public:
  using ELmIOError::ELmIOError;
};

// Raised for requests a bitmap cannot carry out, such as a pixel format that
// cannot live in a system bitmap.
class ELmBitmapError : public ELmIOError {
 public:
  using ELmIOError::ELmIOError;
};

// Process-wide policy of the pixel container. Set once at start-up (or by a
// test), before bitmaps are allocated; not synchronised.
struct TLmBitmapPolicy {
  // Image size in bytes above which pixels go to a temporary file; -1 means
  // automatic (physical memory / 1.3, capped in 32-bit processes).
  int64_t FileThreshold = -1;
  // When one block cannot be had, try the image in segments.
  bool UseSegments = true;
  // When memory (block and segments) fails, fall back to a temporary file.
  bool UseFileFallback = true;
  // Largest single block tried before segments; lower it to exercise the
  // segment path on small images.
  uint64_t MaxBlockSize = UINT64_MAX;
  // Smallest segment worth having once more than four are needed; lower it
  // to exercise the segment path on small images.
  uint64_t MinSegmentSize = 0xA00000;
  // Folder of the temporary files; empty means the system temporary folder.
  std::filesystem::path TempDirectory;
};
void SetBitmapPolicy(const TLmBitmapPolicy& policy);
const TLmBitmapPolicy& BitmapPolicy();
// The automatic file threshold of this process (policy value -1).
int64_t AutomaticFileThreshold();

class TLmBitmap;

// An 8- or 1-bit transparency mask as readers produce it: 0 transparent, 255
// (or bit 1) opaque. Rows are stored bottom-up like a DIB (row y at position
// height - 1 - y); ScanLine(y) takes the picture's row number.
class TLmMask {
 public:
  // Zero-filled (fully transparent) mask; false when the size is invalid,
  // over the image limits or cannot be had.
  bool Allocate(int width, int height, int bitsPerPixel = 8);
  void Free();

  int Width() const { return width_; }
  int Height() const { return height_; }
  int BitsPerPixel() const { return bits_; }
  size_t RowLen() const { return rowLen_; }
  bool IsEmpty() const { return width_ == 0; }

  uint8_t* ScanLine(int y) { return data_.data() + rowLen_ * static_cast<size_t>(height_ - 1 - y); }
  const uint8_t* ScanLine(int y) const { return data_.data() + rowLen_ * static_cast<size_t>(height_ - 1 - y); }
  // 0..255 (a 1-bit mask answers 0 or 255); 0 outside the mask.
  uint8_t Pixel(int x, int y) const;
  void SetPixel(int x, int y, uint8_t value);
  void Fill(uint8_t value);

  // Recomputes Full (every pixel opaque) and the bounding rectangle of the
  // pixels that are not fully transparent; answers Full.
  bool ScanOpacity();
  bool Full = false;
  int BoundLeft = 0, BoundTop = 0, BoundRight = 0, BoundBottom = 0;  // right/bottom exclusive

  // Builds an 8-bit mask from a bitmap's alpha channel (all 255 when it has
  // none). False when the mask cannot be allocated.
  bool AssignAlpha(TLmBitmap& bitmap);

 private:
  int width_ = 0, height_ = 0, bits_ = 0;
  size_t rowLen_ = 0;
  std::vector<uint8_t> data_;
};

class TLmBitmap {
 public:
  TLmBitmap();
  ~TLmBitmap();
  TLmBitmap(const TLmBitmap&) = delete;             // copies are explicit: Assign
  TLmBitmap& operator=(const TLmBitmap&) = delete;

  // ---- Size and format -------------------------------------------------

  // Allocates width x height pixels of `format`; the contents are undefined.
  // Answers true at once when nothing changed. False (and a 0 x 0 bitmap)
  // for a non-positive size, a size over the image limits, or when neither
  // memory nor a temporary file can hold the image; never throws for those.
  bool Allocate(int width, int height, TLmPixelFormat format);
  // Frees pixels, palette, row buffer and temporary file; with `withAlpha`
  // also the alpha channel.
  void FreeImage(bool withAlpha = true);
  bool IsEmpty() const { return width_ == 0; }

  int Width() const { return width_; }
  int Height() const { return height_; }
  TLmPixelFormat PixelFormat() const { return format_; }
  int BitCount() const { return PixelFormatBits(format_); }
  int ChannelCount() const { return PixelFormatChannels(format_); }
  size_t RowLen() const { return rowLen_; }

  // ---- Rows ------------------------------------------------------------

  // Row `row` (0 = top). No bounds check: callers keep 0 <= row < Height().
  // In the file location the pointer stays valid until the next ScanLine
  // call on this bitmap. Throws ELmFileError when the temporary file fails.
  uint8_t* ScanLine(int row) {
    if (rowOrigin_) return rowOrigin_ + rowStep_ * row;
    return ScanLineSlow(row);
  }
  const uint8_t* ScanLine(int row) const {
    if (rowOrigin_) return rowOrigin_ + rowStep_ * row;
    return ScanLineSlow(row);
  }
  // Writes the row buffer of the file location back to the file now (it is
  // otherwise written back by the next ScanLine or a whole-image operation).
  void FlushRow() const;

  // ---- Storage ---------------------------------------------------------

  TLmLocation Location() const { return location_; }
  // Moves the image (and its alpha channel) to another location, or sets the
  // location the next Allocate starts from. Throws ELmOutOfMemory when the
  // image cannot be had there (it then stays where it was).
  void SetLocation(TLmLocation location);
  TLmAccess Access() const { return access_; }
  void SetAccess(TLmAccess access);
  // Row padding in bits (8, 16, 32, ... 512); 32 by default, so RowLen() is
  // ((width * bits + 31) / 32) * 4. 512 gives 64-byte aligned rows in memory.
  int RowAlignment() const { return rowAlignment_; }
  void SetRowAlignment(int bits);
  // Image size in bytes above which Allocate puts the pixels in a temporary
  // file. Starts as the process policy's value.
  int64_t FileThreshold() const { return fileThreshold_; }
  void SetFileThreshold(int64_t bytes);  // also the alpha channel's

  // Colour to pf1g: 0 ordered dither, 1 threshold chosen from the image.
  int OneBitConversion = 1;
  // Palette size when another format is converted to pf8p.
  int TargetColorCount = 256;

  // ---- Palette -----------------------------------------------------------

  const TLmRGBTriple* Palette() const { return palette_.data(); }
  TLmRGBTriple* Palette() { return palette_.data(); }
  int PaletteLength() const { return static_cast<int>(palette_.size()); }
  // Black for an index outside the palette.
  TLmRGBTriple GetPaletteColor(int index) const;
  // Ignored for an index outside the palette.
  void SetPaletteColor(int index, TLmRGBTriple color);
  void SetPaletteColor(int index, TLmColor color) { SetPaletteColor(index, TLmRGBTriple::FromColor(color)); }
  // Replaces the palette with `count` entries (at most 256). A pf8p image
  // keeps 256 entries, the ones past `count` black, so every index has one.
  void SetPalette(const TLmRGBTriple* colors, int count);
  // Replaces the target's palette and TargetColorCount with this bitmap's.
  void CopyPaletteTo(TLmBitmap& target) const;

  // ---- Conversion --------------------------------------------------------

  // Converts the pixels in place; nothing when the format is the same or the
  // bitmap is empty. Throws ELmOutOfMemory when the converted image cannot be
  // allocated (the bitmap is then unchanged).
  void SetPixelFormat(TLmPixelFormat format);
  // Converts every pixel of `source` (same size) into this bitmap's format;
  // nothing when the sizes differ or this bitmap is a system bitmap.
  void CopyAndConvertFormat(const TLmBitmap& source);
  // Sets every pixel: pf1g white for any non-zero value; pf8p and pf8g the
  // low byte; pf16g the low 16 bits; pf32f the low byte / 255; the colour
  // formats the value as a 24-bit colour.
  void Fill(TLmColor value);

  // Resizes keeping the top-left part; new pixels are 0 (new alpha 255).
  // False when the new size cannot be had (the image is then unchanged).
  bool Resize(int width, int height);
  // Resize that throws ELmOutOfMemory on failure.
  void SetWidth(int width);
  void SetHeight(int height);

  // ---- Alpha channel -----------------------------------------------------

  // A pf8g bitmap of the same size, 0 transparent .. 255 opaque, created
  // all-opaque on first request in this bitmap's location (throws
  // ELmOutOfMemory when it cannot be had). An alpha channel has none itself.
  TLmBitmap& AlphaChannel();
  bool HasAlphaChannel() const { return alpha_ != nullptr; }
  bool IsAlphaChannel() const { return isAlphaChannel_; }
  // 255 when there is no alpha channel (none is created for reading).
  uint8_t Alpha(int x, int y) const;
  void SetAlpha(int x, int y, uint8_t value);
  // With `merge`, pf24RGB and pf32RGB pixels are first blended over
  // `background` by their alpha; then the alpha channel is freed.
  void RemoveAlphaChannel(bool merge = false, TLmColor background = 0);
  // Copies a reader's mask into the alpha channel (8-bit values as they are,
  // 1-bit values as 0/255); no mask sets the channel to 255 everywhere.
  void SetAlphaFromMask(const TLmMask* mask);
  // True when there is no alpha channel or every value in it is 255.
  bool AlphaIsOpaque() const;

  // ---- Copies and storage transfer --------------------------------------

  // Copies size, format, alignment, rows, palette, OneBitConversion,
  // TargetColorCount and the alpha channel; keeps this bitmap's location
  // preference. Throws ELmOutOfMemory when the copy cannot be allocated.
  void Assign(const TLmBitmap& source);
  // Moves the whole storage (pixels, palette, alpha, location, temporary
  // file) to `target`, whose own image is freed first; this bitmap is left
  // empty.
  void SwapTo(TLmBitmap& target);
  // Adopts an outside block of width x height rows of `format` with this
  // bitmap's RowLen, without owning it. Rows run bottom-up like a DIB unless
  // `topDown`. The block must outlive the bitmap's use of it.
  void WrapMemory(int width, int height, TLmPixelFormat format, void* block, bool topDown);

#ifdef _WIN32
  // Adopts a DIB section (HBITMAP) without owning it. With `freeFirst` the
  // current image is freed first.
  void EncapsulateTBitmap(void* dibSection, bool freeFirst = true);
  // Moves the image to a DIB section and returns its HBITMAP (owned by this
  // bitmap; valid until the image is freed or moved).
  void* VclBitmap();
#endif

 private:
  struct TStore;

  uint8_t* ScanLineSlow(int row) const;
  bool AllocateStorage();
  bool AllocateMemory(uint64_t size);
  bool AllocateSegments();
  bool AllocateFile(uint64_t size);
  bool AllocateSysBitmap();
  void ReleaseStorage();
  void UpdateRowAccess();
  void ResetGeometry();
  void TakeImage(TLmBitmap& other);
  std::unique_ptr<TLmBitmap> MakeSibling(TLmLocation location) const;
  void CopyRowsFrom(const TLmBitmap& source);

  // Fast row access: set when every row lies at rowOrigin_ + rowStep_ * row
  // (one block, a wrapped block or a DIB section); null for segments and the
  // file location, which go through ScanLineSlow.
  uint8_t* rowOrigin_ = nullptr;  // not owned: points into the storage
  ptrdiff_t rowStep_ = 0;

  int width_ = 0, height_ = 0;
  TLmPixelFormat format_ = pfNone;
  size_t rowLen_ = 0;
  int rowAlignment_ = 32;
  TLmLocation location_ = locFile;  // resolved by size at allocation
  TLmAccess access_ = accReadWrite;
  int64_t fileThreshold_;
  bool sizeChanged_ = true;
  bool isAlphaChannel_ = false;
  std::vector<TLmRGBTriple> palette_;
  std::unique_ptr<TStore> store_;      // owned pixel storage; mutable through const row access
  std::unique_ptr<TLmBitmap> alpha_;   // owned alpha channel
};

// Sets a bitmap's Access for a scope and restores it on every path. Writers
// that only read rows use it so that a file-located image is not written
// back row by row:  TLmAccessScope readOnly(bitmap, accRead);
class TLmAccessScope {
 public:
  TLmAccessScope(TLmBitmap& bitmap, TLmAccess access) : bitmap_(bitmap), saved_(bitmap.Access()) {
    bitmap.SetAccess(access);
  }
  // A write-back that fails here is dropped (destructors must not throw):
  // a scope that writes calls FlushRow() before it ends to see the error.
  ~TLmAccessScope() {
    try {
      bitmap_.SetAccess(saved_);
    } catch (const ELmIOError&) {
    }
  }
  TLmAccessScope(const TLmAccessScope&) = delete;
  TLmAccessScope& operator=(const TLmAccessScope&) = delete;

 private:
  TLmBitmap& bitmap_;  // not owned
  TLmAccess saved_;
};

}  // namespace lumora
