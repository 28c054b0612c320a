// Streams, OS files, checked sizes and byte order: the helpers every codec
// stands on.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <numeric>
#include <vector>

#include "imageio/byteorder.h"
#include "imageio/checked.h"
#include "imageio/errors.h"
#include "imageio/osfile.h"
#include "imageio/stream.h"

namespace lumora {
namespace {

std::vector<uint8_t> Bytes(size_t n) {
  std::vector<uint8_t> v(n);
  std::iota(v.begin(), v.end(), uint8_t{0});
  return v;
}

// A temporary folder for one test, removed afterwards.
class TTempDir {
 public:
  TTempDir() {
    path_ = std::filesystem::temp_directory_path() /
            ("lumora-test-" + std::to_string(reinterpret_cast<uintptr_t>(this)) + "-" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(path_);
  }
  ~TTempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  std::filesystem::path operator/(const char* name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

TEST(CheckedSizes, RowLengths) {
  EXPECT_EQ(PaddedRowLength(3, 24), 12u);
  EXPECT_EQ(PaddedRowLength(9, 1), 4u);
  EXPECT_EQ(PaddedRowLength(1, 48), 8u);
  EXPECT_EQ(PaddedRowLength(5, 4, 8), 3u);
  EXPECT_EQ(PaddedRowLength(0, 24), 0u);
  EXPECT_EQ(PaddedRowLength(UINT64_MAX / 2, 24), std::nullopt);
  EXPECT_EQ(PaddedRowLength(10, 8, 0), std::nullopt);
  EXPECT_EQ(ImageByteSize(UINT64_MAX / 2, 3), std::nullopt);
  EXPECT_EQ(CheckedAdd(UINT64_MAX, 1), std::nullopt);
}

TEST(CheckedSizes, DimensionsKeepInvalidApartFromOverLimit) {
  EXPECT_EQ(CheckImageDimensions(20000, 20000, 24), TSizeCheck::Ok);
  EXPECT_EQ(CheckImageDimensions(0, 10, 24), TSizeCheck::Invalid);
  EXPECT_EQ(CheckImageDimensions(10, -1, 24), TSizeCheck::Invalid);
  EXPECT_EQ(CheckImageDimensions(kMaxImageDimension + 1, 1, 8), TSizeCheck::OverLimit);
  EXPECT_EQ(CheckImageDimensions(kMaxImageDimension, kMaxImageDimension, 8), TSizeCheck::OverLimit);  // pixels

  const TImageLimits saved = ImageLimits();
  SetImageLimits({.MaxDimension = 100, .MaxPixels = 1000, .MaxReadBlock = 64});
  EXPECT_EQ(CheckImageDimensions(100, 10, 8), TSizeCheck::Ok);
  EXPECT_EQ(CheckImageDimensions(100, 11, 8), TSizeCheck::OverLimit);
  EXPECT_EQ(CheckReadBlock(65, 1, -1), TSizeCheck::OverLimit);
  SetImageLimits(saved);

  EXPECT_EQ(CheckReadBlock(10, 4, 40), TSizeCheck::Ok);
  EXPECT_EQ(CheckReadBlock(10, 4, 39), TSizeCheck::Invalid);  // more than the stream holds
  EXPECT_EQ(CheckReadBlock(UINT64_MAX, 2, -1), TSizeCheck::Invalid);
}

TEST(ByteOrder, ReadsWritesAndTheBoundedCursor) {
  const uint8_t b[8] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08};
  EXPECT_EQ(ReadLE16(b), 0x0201);
  EXPECT_EQ(ReadBE16(b), 0x0102);
  EXPECT_EQ(ReadLE32(b), 0x04030201u);
  EXPECT_EQ(ReadBE32(b), 0x01020304u);
  EXPECT_EQ(ReadLE64(b), 0x0807060504030201ull);
  uint8_t w[4];
  WriteBE32(w, 0xA1B2C3D4);
  EXPECT_EQ(ReadBE32(w), 0xA1B2C3D4u);
  WriteLE16(w, 0xBEEF);
  EXPECT_EQ(ReadLE16(w), 0xBEEF);

  TByteCursor cursor(b);
  EXPECT_EQ(cursor.U32(), 0x04030201u);
  cursor.SetBigEndian(true);
  EXPECT_EQ(cursor.U16(), 0x0506);
  EXPECT_TRUE(cursor.Ok());
  EXPECT_EQ(cursor.U32(), 0u);  // only 2 bytes left
  EXPECT_FALSE(cursor.Ok());
  EXPECT_FALSE(cursor.Seek(9));
  EXPECT_FALSE(cursor.Skip(1));
}

TEST(Streams, BufferedReaderRelativeToTheSourcePosition) {
  TLmMemoryStream source(Bytes(100));
  source.SetPosition(10);
  TLmBufferedReadStream s(source, 16, /*relative=*/true);
  EXPECT_EQ(s.Size(), 90);
  uint8_t b[40];
  ASSERT_EQ(s.Read(b, 1), 1u);
  EXPECT_EQ(b[0], 10);
  // Within the buffer, then a refill, then a large read past the buffer size.
  s.Seek(5, TSeekOrigin::Current);
  ASSERT_EQ(s.Read(b, 20), 20u);
  EXPECT_EQ(b[0], 16);
  EXPECT_EQ(b[19], 35);
  s.SetPosition(50);
  ASSERT_EQ(s.Read(b, 40), 40u);
  EXPECT_EQ(b[39], 99);
  EXPECT_FALSE(s.EndReached());
  EXPECT_EQ(s.Read(b, 1), 0u);
  EXPECT_TRUE(s.EndReached());

  // A seek at or past the end stops at the end; a short read sets the flag.
  TLmBufferedReadStream t(source, 16, /*relative=*/false);
  EXPECT_EQ(t.Seek(500, TSeekOrigin::Begin), 100);
  EXPECT_TRUE(t.EndReached());
  t.Seek(-3, TSeekOrigin::End);
  EXPECT_EQ(t.Read(b, 10), 3u);
  EXPECT_EQ(b[0], 97);
  try {
    t.Write(b, 1);
    FAIL() << "a buffered reader must not write";
  } catch (const ELmStreamError& e) {
    EXPECT_STREQ(e.what(), "TLmBufferedReadStream cannot write!");
  }
  EXPECT_THROW(t.Seek(-1, TSeekOrigin::Begin), ELmStreamError);
}

TEST(Streams, MemoryViewAndWindow) {
  TLmMemoryStream m;
  m.SetPosition(4);  // past the end: a write fills the gap with zeros
  const uint8_t x[2] = {7, 8};
  EXPECT_EQ(m.Write(x, 2), 2u);
  EXPECT_EQ(m.Data(), (std::vector<uint8_t>{0, 0, 0, 0, 7, 8}));
  m.SetSize(1);
  EXPECT_EQ(m.Position(), 1);
  EXPECT_EQ(m.BytesLeft(), 0);

  const auto data = Bytes(20);
  TLmByteViewStream view(data);
  EXPECT_THROW(view.Write(x, 1), ELmStreamError);
  TLmSubStream window(view, 5, 10);
  uint8_t b[16];
  EXPECT_EQ(window.Read(b, 16), 10u);
  EXPECT_EQ(b[0], 5);
  EXPECT_EQ(b[9], 14);
  EXPECT_EQ(window.Size(), 10);
}

TEST(Streams, FilesOpenCreateAndReportErrors) {
  TTempDir dir;
  const auto missing = dir / "missing.bmp";
  try {
    TLmWideFileStream s(missing, TFileOpenMode::ReadDenyWrite);
    FAIL() << "opening a missing file must throw";
  } catch (const ELmFileError& e) {
    const std::string text = e.what();
    EXPECT_EQ(text.rfind("Cannot open file \"", 0), 0u) << text;
    EXPECT_NE(text.find("missing.bmp\". "), std::string::npos) << text;
    EXPECT_NE(e.SystemError(), 0);
  }
  // A name outside ASCII survives the trip through the system.
  const auto name = dir / "\xD1\x84\xD0\xBE\xD1\x82\xD0\xBE.bin";  // "фото"
  const auto path = Utf8ToPath(PathToUtf8(name));
  {
    TLmWideFileStream s(path, TFileOpenMode::Create);
    const auto data = Bytes(10);
    EXPECT_EQ(s.Write(data.data(), data.size()), 10u);
    s.SetSize(6);
    EXPECT_EQ(s.Size(), 6);
  }
  EXPECT_TRUE(IsExistingFile(path));
  EXPECT_FALSE(IsExistingFile(dir / "."));
  TLmWideFileStream r(path, TFileOpenMode::ReadDenyWrite);
  uint8_t b[10];
  EXPECT_EQ(r.Read(b, 10), 6u);
  EXPECT_EQ(b[5], 5);
  EXPECT_THROW(r.Write(b, 1), ELmStreamError);
}

TEST(Streams, TemporaryFileVanishesWhenClosed) {
  TTempDir dir;
  const auto name = dir / "IMG-0000ABCD.tmp";
  int error = 0;
  {
    TOsFile file = TOsFile::CreateTemporary(name, error);
    ASSERT_TRUE(file.IsOpen()) << SystemErrorText(error);
    const uint8_t row[3] = {1, 2, 3};
    EXPECT_EQ(file.WriteAt(1000, row, 3), 3u);
    uint8_t back[3] = {};
    EXPECT_EQ(file.ReadAt(1000, back, 3), 3u);
    EXPECT_EQ(back[2], 3);
    EXPECT_EQ(file.Size(), 1003);
  }
  EXPECT_FALSE(std::filesystem::exists(name));
}

}  // namespace
}  // namespace lumora
