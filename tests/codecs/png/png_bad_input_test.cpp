// Hostile and damaged files: the reader ends with the aborting flag or a
// clean partial image, never a crash, a hang or an unbounded allocation.

#include <gtest/gtest.h>

#include <zlib.h>

#include <cstring>
#include <random>

#include "imageio/checked.h"
#include "imageio/errors.h"
#include "imageio/progress.h"
#include "imageio/stream.h"
#include "png_test_util.h"

namespace lumora::pngtest {
namespace {

// 64 rows of noise: deflate cannot shrink them, so a cut in the middle of
// the image data lands in the middle of the rows.
TPngSpec NoiseSpec(int width = 64, int height = 64) {
  TPngSpec spec = MakeSpec(width, height, PNG_COLOR_TYPE_RGB, 8);
  std::mt19937 random(7);
  for (uint8_t& b : spec.Rows) b = static_cast<uint8_t>(random());
  return spec;
}

TChunkRef FindChunk(const std::vector<uint8_t>& file, const std::string& type) {
  for (const TChunkRef& ref : ListChunks(file))
    if (ref.Type == type) return ref;
  throw std::runtime_error("no chunk " + type);
}

std::vector<uint8_t> BeBytes(uint32_t v) {
  return {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8),
          static_cast<uint8_t>(v)};
}

// A file whose IHDR claims another size, with a correct CRC.
std::vector<uint8_t> WithSize(std::vector<uint8_t> file, uint32_t width, uint32_t height) {
  TChunkRef ihdr = FindChunk(file, "IHDR");
  std::vector<uint8_t> w = BeBytes(width), h = BeBytes(height);
  std::copy(w.begin(), w.end(), file.begin() + static_cast<ptrdiff_t>(ihdr.Offset + 8));
  std::copy(h.begin(), h.end(), file.begin() + static_cast<ptrdiff_t>(ihdr.Offset + 12));
  FixCrc(file, ihdr);
  return file;
}

// Signature, IHDR and IEND of a given file around one IDAT of our making.
std::vector<uint8_t> WithImageData(const std::vector<uint8_t>& file, const std::vector<uint8_t>& zlibData) {
  std::vector<uint8_t> out(file.begin(), file.begin() + 8);
  TChunkRef ihdr = FindChunk(file, "IHDR");
  out.insert(out.end(), file.begin() + static_cast<ptrdiff_t>(ihdr.Offset),
             file.begin() + static_cast<ptrdiff_t>(ihdr.Offset + 12 + ihdr.Length));
  std::vector<uint8_t> end = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};
  out.insert(out.end(), end.begin(), end.end());
  InsertChunk(out, "IEND", "IDAT", zlibData);
  return out;
}

TEST(PngBadInput, CrcErrorInImageDataAborts) {
  std::vector<uint8_t> file = EncodeWithLibpng(NoiseSpec());
  TChunkRef idat = FindChunk(file, "IDAT");
  file[idat.Offset + 8 + idat.Length / 2] ^= 0x55;
  TDecoded out;
  DecodeWithCodec(file, out);
  EXPECT_TRUE(out.Aborting);
}

TEST(PngBadInput, CrcErrorInTextChunkOnlyDropsTheText) {
  TPngSpec spec = NoiseSpec(8, 8);
  spec.Texts = {{"Title", "damaged"}};
  std::vector<uint8_t> file = EncodeWithLibpng(spec);
  TChunkRef text = FindChunk(file, "tEXt");
  file[text.Offset + 10] ^= 0x01;
  TDecoded out;
  DecodeWithCodec(file, out);
  EXPECT_FALSE(out.Aborting);
  EXPECT_TRUE(out.Params.PngTextKeys.empty());
  EXPECT_EQ(out.Bitmap.Width(), 8);
}

TEST(PngBadInput, TruncatedImageDataKeepsTheRowsDecoded) {
  TPngSpec spec = NoiseSpec();
  std::vector<uint8_t> file = EncodeWithLibpng(spec);
  TChunkRef idat = FindChunk(file, "IDAT");
  file.resize(idat.Offset + 8 + idat.Length / 2);
  TDecoded out;
  DecodeWithCodec(file, out);
  EXPECT_TRUE(out.Aborting);
  ASSERT_EQ(out.Bitmap.Height(), 64);
  // The cut lies past row 16 (noise rows do not compress): the rows before
  // it are the file's; the bottom row was never reached and is black.
  for (int y : {0, 10}) {
    const uint8_t* row = out.Bitmap.ScanLine(y);
    const uint8_t* want = &spec.Rows[spec.RowBytes() * y];
    for (int x = 0; x < 64; ++x) {
      ASSERT_EQ(row[3 * x + 2], want[3 * x]) << y;
      ASSERT_EQ(row[3 * x], want[3 * x + 2]) << y;
    }
  }
  const uint8_t* bottom = out.Bitmap.ScanLine(63);
  EXPECT_TRUE(std::all_of(bottom, bottom + 3 * 64, [](uint8_t b) { return b == 0; }));
}

TEST(PngBadInput, TruncatedInterlacedFileStaysDefined) {
  TPngSpec spec = NoiseSpec();
  spec.ColorType = PNG_COLOR_TYPE_RGB_ALPHA;
  spec.Rows.resize(spec.RowBytes() * spec.Height, 77);
  spec.Interlaced = true;
  std::vector<uint8_t> file = EncodeWithLibpng(spec);
  file.resize(file.size() * 2 / 3);
  TDecoded out;
  DecodeWithCodec(file, out);
  EXPECT_TRUE(out.Aborting);
  // Every byte of the bitmap is defined (checked by the sanitizers and by
  // reading them all).
  std::vector<uint8_t> rgba = BitmapRgba(out.Bitmap);
  EXPECT_EQ(rgba.size(), 64u * 64u * 4u);
}

TEST(PngBadInput, MissingEndAfterCompleteImageAbortsButKeepsPixels) {
  TPngSpec spec = NoiseSpec(16, 16);
  std::vector<uint8_t> file = EncodeWithLibpng(spec);
  file.resize(FindChunk(file, "IEND").Offset);
  TDecoded out;
  DecodeWithCodec(file, out);
  EXPECT_TRUE(out.Aborting);
  EXPECT_EQ(out.Bitmap.ScanLine(15)[2], spec.Rows[15 * spec.RowBytes()]);
}

TEST(PngBadInput, EveryTruncationEndsCleanly) {
  TPngSpec spec = NoiseSpec(9, 9);
  spec.Interlaced = true;
  spec.Texts = {{"a", "b"}};
  std::vector<uint8_t> file = EncodeWithLibpng(spec);
  for (size_t length = 0; length < file.size(); ++length) {
    std::vector<uint8_t> cut(file.begin(), file.begin() + static_cast<ptrdiff_t>(length));
    TDecoded out;
    DecodeWithCodec(cut, out);
    ASSERT_TRUE(out.Aborting) << length;
  }
}

TEST(PngBadInput, HugeDimensionsAbortBeforeAllocating) {
  std::vector<uint8_t> small = EncodeWithLibpng(MakeSpec(1, 1, PNG_COLOR_TYPE_RGB_ALPHA, 8));
  const uint32_t side = static_cast<uint32_t>(ImageLimits().MaxDimension);
  struct {
    uint32_t Width, Height;
  } cases[] = {
      {0x7FFFFFFF, 1},        // libpng's own ceiling
      {side + 1, 1},          // one side over our limit
      {side, side},           // each side allowed, the pixel count is not
      {0, 5},                 // invalid
  };
  for (const auto& c : cases) {
    TDecoded out;
    DecodeWithCodec(WithSize(small, c.Width, c.Height), out);
    EXPECT_TRUE(out.Aborting) << c.Width << "x" << c.Height;
    EXPECT_TRUE(out.Bitmap.IsEmpty()) << c.Width << "x" << c.Height;
  }
}

TEST(PngBadInput, ChunkLongerThanTheFileIsNotRead) {
  // A text chunk claiming 1.5 GB in a file of a few hundred bytes: libpng
  // would allocate and clear the whole claimed length before reading it.
  std::vector<uint8_t> file = EncodeWithLibpng(MakeSpec(4, 4, PNG_COLOR_TYPE_RGB, 8));
  InsertChunk(file, "IDAT", "iTXt", {'K', 0, 0, 0, 0, 0, 'v'});
  TChunkRef text = FindChunk(file, "iTXt");
  std::vector<uint8_t> length = BeBytes(0x5F000019);
  std::copy(length.begin(), length.end(), file.begin() + static_cast<ptrdiff_t>(text.Offset));
  TLmByteViewStream stream(file);
  TLmBitmap bitmap;
  TIOParamsVals params;
  TIOProgress progress;
  PngReadStream(stream, bitmap, params, false, progress);
  EXPECT_TRUE(progress.Aborting());
  // Stopped at the chunk header, without asking for the chunk's data.
  EXPECT_EQ(stream.Position(), static_cast<int64_t>(text.Offset + 8));
}

TEST(PngBadInput, ImageDataBombStopsAtTheImageSize) {
  // 16 x 16 RGB needs 16 * 49 bytes; the stream inflates to 16 MB.
  TPngSpec spec = MakeSpec(16, 16, PNG_COLOR_TYPE_RGB, 8);
  std::vector<uint8_t> raw(16u << 20, 0);
  std::vector<uint8_t> file = WithImageData(EncodeWithLibpng(spec), Deflate(raw));
  TDecoded out;
  DecodeWithCodec(file, out);
  // Extra data is a harmless oddity; the image itself is complete.
  EXPECT_FALSE(out.Aborting);
  EXPECT_EQ(out.Bitmap.Width(), 16);
}

TEST(PngBadInput, CompressedTextBombIsCapped) {
  std::vector<uint8_t> file = EncodeWithLibpng(MakeSpec(4, 4, PNG_COLOR_TYPE_RGB, 8));
  std::vector<uint8_t> data = {'B', 'o', 'm', 'b', 0, 0};  // keyword, NUL, method 0
  std::vector<uint8_t> compressed = Deflate(std::vector<uint8_t>(32u << 20, 'a'));
  data.insert(data.end(), compressed.begin(), compressed.end());
  InsertChunk(file, "IDAT", "zTXt", data);
  TDecoded out;
  DecodeWithCodec(file, out);
  EXPECT_FALSE(out.Aborting);
  EXPECT_EQ(out.Bitmap.Width(), 4);
  size_t total = 0;
  for (const std::string& value : out.Params.PngTextValues) total += value.size();
  EXPECT_LT(total, 16u << 20);
}

TEST(PngBadInput, PaletteIndexBeyondThePaletteIsBlack) {
  TPngSpec spec = MakeSpec(4, 1, PNG_COLOR_TYPE_PALETTE, 8);
  spec.Palette = {png_color{1, 2, 3}, png_color{4, 5, 6}};
  spec.SetSample(1, 0, 0, 1);
  spec.SetSample(2, 0, 0, 200);
  TDecoded out;
  DecodeWithCodec(EncodeWithLibpng(spec), out);
  EXPECT_EQ(PixelRgba(out.Bitmap, 1, 0), (TRgba{4, 5, 6, 255}));
  EXPECT_EQ(PixelRgba(out.Bitmap, 2, 0), (TRgba{0, 0, 0, 255}));
}

// A stream whose medium fails: the reader must not let the exception cross
// libpng, and ends with the aborting flag.
class TFailingStream : public TLmByteViewStream {
 public:
  TFailingStream(std::span<const uint8_t> data, size_t failAt) : TLmByteViewStream(data), failAt_(failAt) {}
  size_t Read(void* buffer, size_t count) override {
    if (Position() + static_cast<int64_t>(count) > static_cast<int64_t>(failAt_)) throw ELmStreamError("read failed");
    return TLmByteViewStream::Read(buffer, count);
  }

 private:
  size_t failAt_;
};

TEST(PngBadInput, StreamErrorSetsAborting) {
  std::vector<uint8_t> file = EncodeWithLibpng(NoiseSpec());
  for (size_t failAt : {size_t{4}, size_t{40}, file.size() / 2, file.size() - 4}) {
    TFailingStream stream(file, failAt);
    TLmBitmap bitmap;
    TIOParamsVals params;
    TIOProgress progress;
    EXPECT_NO_THROW(PngReadStream(stream, bitmap, params, false, progress));
    EXPECT_TRUE(progress.Aborting()) << failAt;
  }
}

TEST(PngBadInput, CancellingStopsTheRead) {
  std::vector<uint8_t> file = EncodeWithLibpng(NoiseSpec());
  TLmByteViewStream stream(file);
  std::atomic<bool> aborting{false};
  int calls = 0;
  TIOProgress progress(aborting, [&](int percent) {
    ++calls;
    if (percent >= 50) aborting = true;
  });
  TLmBitmap bitmap;
  TIOParamsVals params;
  PngReadStream(stream, bitmap, params, false, progress);
  EXPECT_TRUE(aborting);
  EXPECT_LT(calls, 40);
}

}  // namespace
}  // namespace lumora::pngtest
