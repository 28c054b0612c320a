// ICO and CUR reader. A directory entry is either a PNG stream (read by the
// PNG codec) or a headerless bitmap whose height counts the colour rows and
// the AND mask together: the BMP reader decodes the colour rows from a copy
// whose header says the real height, and the AND mask is applied here.
#include <algorithm>
#include <cstring>
#include <vector>

#include "codecs/bmp/bmp.h"
#include "codecs/ico/ico.h"
#include "codecs/png/png.h"
#include "imageio/bitmap.h"
#include "imageio/byteorder.h"
#include "imageio/checked.h"
#include "imageio/ioparams.h"
#include "imageio/progress.h"
#include "imageio/readerutil.h"
#include "imageio/stream.h"

namespace lumora {

namespace {

constexpr int kDirectoryHeaderSize = 6;
constexpr int kEntrySize = 16;
constexpr int kInfoHeaderSize = 40;
constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

struct TIcoEntry {
  int Width = 0, Height = 0;  // size bytes as stored (0 means 256)
  int ColorCount = 0;
  int PlanesOrHotX = 0, BitCountOrHotY = 0;
  uint32_t Size = 0, Offset = 0;
};

TIcoEntry ParseEntry(const uint8_t* p) {
  TIcoEntry e;
  e.Width = p[0];
  e.Height = p[1];
  e.ColorCount = p[2];
  e.PlanesOrHotX = ReadLE16(p + 4);
  e.BitCountOrHotY = ReadLE16(p + 6);
  e.Size = ReadLE32(p + 8);
  e.Offset = ReadLE32(p + 12);
  return e;
}

// The smallest b with 2^b >= count (0 for no count).
int BitsForColors(int count) {
  if (count <= 0) return 0;
  int b = 0;
  while ((1 << b) < count) ++b;
  return b;
}

// What the directory says of an entry's depth, for IcoBitCounts.
int EntryBitCount(const TIcoEntry& e) {
  if (e.BitCountOrHotY != 0) return e.BitCountOrHotY;
  const int b = BitsForColors(e.ColorCount);
  return b != 0 ? b : 24;
}

class TIcoReader {
 public:
  TIcoReader(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, TIOProgress& progress, bool cursor)
      : stream_(stream), bitmap_(bitmap), params_(params), progress_(progress), cursor_(cursor) {}

  void Read(bool ignoreTransparency, TLmMask* mask, bool paramsOnly);

 private:
  bool ChooseEntry(int64_t start, TIcoEntry& chosen);
  bool ReadHeaderlessEntry(TIcoEntry& chosen);
  void ReadPngEntry(int64_t offset, bool paramsOnly);
  void ReadBitmapEntry(const TIcoEntry& entry, bool ignoreTransparency, TLmMask* mask, bool paramsOnly);
  void ApplyAndMask(const uint8_t* andData, size_t andBytes, uint64_t andRowLen, int bits, bool topDown,
                    bool ignoreTransparency, TLmMask* mask, bool alphaFromPixels);
  void SetDepthParams(int bits);

  TLmStream& stream_;
  TLmBitmap& bitmap_;
  TIOParamsVals& params_;
  TIOProgress& progress_;
  const bool cursor_;
  int entryIndex_ = -1;  // position of the chosen entry; -1 when headerless
  int imageCount_ = 1;   // entries in the directory
};

void TIcoReader::Read(bool ignoreTransparency, TLmMask* mask, bool paramsOnly) {
  const int64_t start = stream_.Position();
  const bool headerless = params_.BmpHeaderless;
  if (!headerless && !cursor_) {
    // An icon file that is really a BMP.
    uint8_t signature[2];
    if (stream_.ReadExact(signature, 2) && signature[0] == 'B' && signature[1] == 'M') {
      stream_.SetPosition(start);
      TBmpReadOptions options;
      options.BlockSize = stream_.BytesLeft();
      options.IgnoreAlpha = ignoreTransparency;
      options.Mask = mask;
      options.ParamsOnly = paramsOnly;
      BmpRead(stream_, bitmap_, params_, options, progress_);
      return;
    }
    stream_.SetPosition(start);
  }
  TIcoEntry entry;
  if (!(headerless ? ReadHeaderlessEntry(entry) : ChooseEntry(start, entry))) return;

  uint8_t head[8] = {};
  const size_t got = stream_.Read(head, sizeof head);
  stream_.Seek(-static_cast<int64_t>(got), TSeekOrigin::Current);
  if (got == sizeof head && std::memcmp(head, kPngSignature, sizeof head) == 0) {
    ReadPngEntry(stream_.Position(), paramsOnly);
  } else {
    ReadBitmapEntry(entry, ignoreTransparency, mask, paramsOnly);
  }
  params_.ImageCount = imageCount_;
}

// Reads the directory, fills IcoSizes and IcoBitCounts and leaves the stream
// at the chosen entry's data.
bool TIcoReader::ChooseEntry(int64_t start, TIcoEntry& chosen) {
  uint8_t header[kDirectoryHeaderSize];
  if (!stream_.ReadExact(header, sizeof header)) {
    progress_.Fail(TIOFailureKind::InvalidData, "icon directory cut short");
    return false;
  }
  const int count = ReadLE16(header + 4);
  if (count == 0) {
    progress_.Fail(TIOFailureKind::InvalidData, "icon directory without images");
    return false;
  }
  std::vector<uint8_t> directory;
  if (!ReadWholeBlock(stream_, uint64_t{kEntrySize} * count, directory, progress_)) return false;
  std::vector<TIcoEntry> entries;
  for (int i = 0; i < count; ++i) entries.push_back(ParseEntry(directory.data() + kEntrySize * i));
  imageCount_ = count;

  const int index = cursor_ ? params_.CurImageIndex : params_.IcoImageIndex;
  if (index < 0 || index >= count) {
    progress_.Fail(TIOFailureKind::InvalidData, "image index beyond the icon directory");
    return false;
  }
  params_.IcoSizes.fill({});
  for (int i = 0; i < std::min(count, kIcoMaxSizes); ++i) {
    if (entries[i].Width == 0 || entries[i].Height == 0) continue;
    params_.IcoSizes[i] = {entries[i].Width, entries[i].Height};
    params_.IcoBitCounts[i] = EntryBitCount(entries[i]);
  }
  // Icons take the entry at the index unless its size bytes say 256, which
  // sends them to the last entry; cursors take the entry at the index.
  entryIndex_ = index;
  if (!cursor_ && (entries[index].Width == 0 || entries[index].Height == 0)) entryIndex_ = count - 1;
  chosen = entries[entryIndex_];
  if (cursor_) {
    params_.CurHotSpotX = chosen.PlanesOrHotX;
    params_.CurHotSpotY = chosen.BitCountOrHotY;
  }
  if (chosen.Offset >= static_cast<uint64_t>(stream_.Size() - start)) {
    progress_.Fail(TIOFailureKind::InvalidData, "icon image offset outside the file");
    return false;
  }
  stream_.SetPosition(start + chosen.Offset);
  return true;
}

// A single image without directory (a cursor's hot spot first); the entry
// takes its size from the bitmap header.
bool TIcoReader::ReadHeaderlessEntry(TIcoEntry& chosen) {
  if (cursor_) {
    uint8_t hot[4];
    if (!stream_.ReadExact(hot, 4)) {
      progress_.Fail(TIOFailureKind::InvalidData, "cursor hot spot cut short");
      return false;
    }
    params_.CurHotSpotX = ReadLE16(hot);
    params_.CurHotSpotY = ReadLE16(hot + 2);
  } else {
    params_.IcoImageIndex = 0;
  }
  chosen = {};
  return true;
}

void TIcoReader::ReadPngEntry(int64_t offset, bool paramsOnly) {
  TLmSubStream png(stream_, offset, stream_.Size() - offset);
  PngReadStream(png, bitmap_, params_, paramsOnly, progress_);
}

void TIcoReader::SetDepthParams(int bits) {
  if (cursor_) {
    params_.BitsPerSample = bits;
    params_.SamplesPerPixel = 1;
  } else if (bits == 32) {
    params_.BitsPerSample = 8, params_.SamplesPerPixel = 4;
  } else if (bits > 8) {
    params_.BitsPerSample = 8, params_.SamplesPerPixel = 3;
  } else {
    params_.BitsPerSample = bits, params_.SamplesPerPixel = 1;
  }
}

void TIcoReader::ReadBitmapEntry(const TIcoEntry& entry, bool ignoreTransparency, TLmMask* mask, bool paramsOnly) {
  uint8_t h[kInfoHeaderSize];
  if (!stream_.ReadExact(h, sizeof h)) {
    progress_.Fail(TIOFailureKind::InvalidData, "icon image header cut short");
    return;
  }
  stream_.Seek(-kInfoHeaderSize, TSeekOrigin::Current);
  const uint32_t headerSize = ReadLE32(h);
  const int64_t width = static_cast<int32_t>(ReadLE32(h + 4));
  const int64_t storedHeight = static_cast<int32_t>(ReadLE32(h + 8));
  int bits = ReadLE16(h + 14);
  const uint32_t compression = ReadLE32(h + 16);
  const uint32_t colorsUsed = ReadLE32(h + 32);
  if (headerSize < kInfoHeaderSize) {
    progress_.Fail(TIOFailureKind::Unsupported, "icon image with an OS/2 header");
    return;
  }
  if (bits == 0 && !cursor_) bits = entry.BitCountOrHotY;
  if (bits == 0) bits = BitsForColors(entry.ColorCount == 255 && cursor_ ? 256 : entry.ColorCount);
  if (bits == 0) {
    progress_.Fail(TIOFailureKind::InvalidData, "icon image depth unknown");
    return;
  }
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) {
    progress_.Fail(TIOFailureKind::Unsupported, "icon image depth not supported");
    return;
  }
  if (compression != 0 && compression != 3) {
    progress_.Fail(TIOFailureKind::Unsupported, "compressed icon bitmaps not supported");
    return;
  }
  const int64_t height = storedHeight / 2;
  const uint64_t rows = static_cast<uint64_t>(height < 0 ? -height : height);
  if (width <= 0 || rows == 0) {
    progress_.Fail(TIOFailureKind::InvalidData, "icon image size impossible");
    return;
  }
  if (!AcceptImageSize(width, static_cast<int64_t>(rows), 32, progress_)) return;

  // Where the parts lie: header, colour table, bit-field masks, colour
  // rows, AND rows.
  const uint64_t tableEntries = bits > 8 ? 0 : (colorsUsed == 0 || colorsUsed > 256 ? 1u << bits : colorsUsed);
  const uint64_t masksBytes = compression == 3 && headerSize == kInfoHeaderSize ? 12 : 0;
  const uint64_t xorRowLen = *PaddedRowLength(static_cast<uint64_t>(width), static_cast<uint32_t>(bits));
  const uint64_t andRowLen = *PaddedRowLength(static_cast<uint64_t>(width), 1);
  const uint64_t xorStart = uint64_t{headerSize} + tableEntries * 4 + masksBytes;
  const uint64_t andStart = xorStart + xorRowLen * rows;
  const uint64_t needed = andStart + andRowLen * rows;
  const uint64_t available = static_cast<uint64_t>(std::max<int64_t>(stream_.BytesLeft(), 0));
  // Uncompressed rows: data for less than a quarter of them cannot be the
  // image the header claims (a cut-off file still shows the rows it has).
  if (available < xorStart || (available - xorStart) < xorRowLen * rows / 4) {
    progress_.Fail(TIOFailureKind::InvalidData, "icon image data too short for its size");
    return;
  }
  std::vector<uint8_t> block;
  if (!ReadWholeBlock(stream_, std::min(needed, available), block, progress_)) return;
  // The BMP reader sees the colour rows alone: the real height, and the
  // depth the directory supplied when the header had none.
  WriteLE32(block.data() + 8, static_cast<uint32_t>(static_cast<int32_t>(height)));
  WriteLE16(block.data() + 14, static_cast<uint16_t>(bits));

  const bool native = params_.NativePixelFormat;
  if (cursor_) params_.NativePixelFormat = false;
  TLmMask pixelAlpha;
  const bool wantPixelAlpha = bits == 32 && !ignoreTransparency;
  TLmByteViewStream bmp(block);
  TBmpReadOptions options;
  options.BlockSize = static_cast<int64_t>(block.size());
  options.IgnoreAlpha = !wantPixelAlpha;
  options.Mask = wantPixelAlpha ? &pixelAlpha : nullptr;
  options.Headerless = true;
  options.ParamsOnly = paramsOnly;
  BmpRead(bmp, bitmap_, params_, options, progress_);
  params_.NativePixelFormat = native;
  SetDepthParams(bits);
  if (!cursor_ && entryIndex_ < 0) params_.IcoSizes[0] = {static_cast<int32_t>(width), static_cast<int32_t>(rows)};
  if (progress_.Aborting() || paramsOnly) return;

  const uint8_t* andData = andStart < block.size() ? block.data() + andStart : nullptr;
  const size_t andBytes = andData ? block.size() - static_cast<size_t>(andStart) : 0;
  if (mask) *mask = std::move(pixelAlpha);
  ApplyAndMask(andData, andBytes, andRowLen, bits, height < 0, ignoreTransparency, mask, mask && !mask->IsEmpty());
  if (mask && !cursor_ && !mask->IsEmpty() && mask->ScanOpacity()) mask->Free();
}

// The AND mask: 1 marks a pixel that shows the background (its colour
// bits 0) or inverts it. Palette images show the background colour there;
// true-colour images keep their colours and only get the transparency, and
// only from a complete mask. 32-bit images whose alpha bytes say something
// ignore it.
void TIcoReader::ApplyAndMask(const uint8_t* andData, size_t andBytes, uint64_t andRowLen, int bits, bool topDown,
                              bool ignoreTransparency, TLmMask* mask, bool alphaFromPixels) {
  const int width = bitmap_.Width(), height = bitmap_.Height();
  const uint64_t fullMask = andRowLen * static_cast<uint64_t>(height);
  const bool trueColour = bits > 8;
  if (!andData || alphaFromPixels || (trueColour && andBytes < fullMask)) return;
  const bool setAlpha = !ignoreTransparency && mask;
  if (setAlpha) {
    if (!mask->Allocate(width, height, 8)) {
      progress_.Fail(TIOFailureKind::OverLimit, "no memory for the transparency");
      return;
    }
    mask->Fill(255);
  }
  const TLmColor background = cursor_ ? params_.CurBackground : params_.IcoBackground;
  const TLmRGBTriple back = TLmRGBTriple::FromColor(background);
  const bool whiteBackground = (background & 0xFFFFFF) == 0xFFFFFF;
  const TLmPixelFormat format = bitmap_.PixelFormat();
  const size_t rowsPresent = static_cast<size_t>(std::min<uint64_t>(andBytes / andRowLen, height));
  for (size_t k = 0; k < rowsPresent; ++k) {
    const int y = topDown ? static_cast<int>(k) : height - 1 - static_cast<int>(k);
    const uint8_t* bitsRow = andData + k * andRowLen;
    uint8_t* alpha = setAlpha ? mask->ScanLine(y) : nullptr;
    uint8_t* row = bitmap_.ScanLine(y);
    for (int x = 0; x < width; ++x) {
      if (!((bitsRow[x >> 3] >> (7 - (x & 7))) & 1)) continue;
      if (alpha) alpha[x] = 0;
      if (trueColour) continue;
      if (format == pf1g) {
        if (whiteBackground) row[x >> 3] ^= static_cast<uint8_t>(0x80 >> (x & 7));
      } else if (format == pf24RGB) {
        row[3 * x] = back.b;
        row[3 * x + 1] = back.g;
        row[3 * x + 2] = back.r;
      }
    }
  }
}

void ReadWithMask(bool cursor, TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, bool paramsOnly,
                  TIOProgress& progress) {
  TLmMask mask;
  TIcoReader(stream, bitmap, params, progress, cursor).Read(paramsOnly, &mask, paramsOnly);
  if (!paramsOnly && !mask.IsEmpty() && !bitmap.IsEmpty()) bitmap.SetAlphaFromMask(&mask);
}

}  // namespace

void IcoRead(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, bool ignoreTransparency, TLmMask* mask,
             TIOProgress& progress, bool paramsOnly) {
  TIcoReader(stream, bitmap, params, progress, false).Read(ignoreTransparency, mask, paramsOnly);
}

void CurRead(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, bool ignoreTransparency, TLmMask* mask,
             TIOProgress& progress, bool paramsOnly) {
  TIcoReader(stream, bitmap, params, progress, true).Read(ignoreTransparency, mask, paramsOnly);
}

void ReadIco(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, bool paramsOnly, TIOProgress& progress) {
  ReadWithMask(false, stream, bitmap, params, paramsOnly, progress);
}

void ReadCur(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, bool paramsOnly, TIOProgress& progress) {
  ReadWithMask(true, stream, bitmap, params, paramsOnly, progress);
}

int CountIco(TLmStream& stream) {
  TStreamPositionGuard keep(stream);
  uint8_t header[kDirectoryHeaderSize];
  if (!stream.ReadExact(header, sizeof header)) return 0;
  if (header[0] == 'B' && header[1] == 'M') return 1;
  return ReadLE16(header + 4);
}

}  // namespace lumora
