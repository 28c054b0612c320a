#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "imageio/imageio.h"
#include "imageio/stream.h"

namespace lumora {
namespace {

TEST(RawBitmap, ReadsIntoTheCallersBitmap) {
  // 2 x 1 RGB pixels after a 3-byte header, rows padded to 32 bits.
  const std::vector<uint8_t> data = {9, 9, 9, 10, 20, 30, 40, 50, 60, 0, 0};
  TImageIO io;
  io.Bitmap().Allocate(2, 1, pf24RGB);
  io.Params.RawHeaderSize = 3;
  io.Params.RawRowAlignment = 32;
  TLmByteViewStream stream(data);
  io.LoadImageFromStreamAs(stream, ftRawBitmap);
  ASSERT_FALSE(io.Aborting);
  const uint8_t* row = io.Bitmap().ScanLine(0);
  EXPECT_EQ((std::vector<uint8_t>(row, row + 6)), (std::vector<uint8_t>{30, 20, 10, 60, 50, 40}));

  // Planar, blue first.
  const std::vector<uint8_t> planes = {1, 2, 3, 4, 5, 6};  // blue plane, green plane, red plane
  io.Params.RawHeaderSize = 0;
  io.Params.RawRowAlignment = 8;
  io.Params.RawPlanar = true;
  io.Params.RawBGR = true;
  TLmByteViewStream planar(planes);
  io.LoadImageFromStreamAs(planar, ftRawBitmap);
  ASSERT_FALSE(io.Aborting);
  row = io.Bitmap().ScanLine(0);
  EXPECT_EQ((std::vector<uint8_t>(row, row + 6)), (std::vector<uint8_t>{1, 3, 5, 2, 4, 6}));

  // Text, and too little of it.
  const std::string text = "FF 10 A\n0 1 2";
  io.Params.RawPlanar = false;
  io.Params.RawBGR = false;
  io.Params.RawDataFormat = TRawDataFormat::Hexadecimal;
  TLmByteViewStream hex({reinterpret_cast<const uint8_t*>(text.data()), text.size()});
  io.LoadImageFromStreamAs(hex, ftRawBitmap);
  ASSERT_FALSE(io.Aborting);
  row = io.Bitmap().ScanLine(0);
  EXPECT_EQ((std::vector<uint8_t>(row, row + 6)), (std::vector<uint8_t>{10, 16, 255, 2, 1, 0}));
  TLmByteViewStream shortText({reinterpret_cast<const uint8_t*>(text.data()), 5});
  io.LoadImageFromStreamAs(shortText, ftRawBitmap);
  EXPECT_TRUE(io.Aborting);

  // Without an allocated bitmap there is nothing to read into.
  TImageIO empty;
  TLmByteViewStream any(data);
  empty.LoadImageFromStreamAs(any, ftRawBitmap);
  EXPECT_TRUE(empty.Aborting);
}

TEST(RawBitmap, WriterRoundTrips) {
  for (TLmPixelFormat format : {pf1g, pf8g, pf16g, pf24RGB, pfRGB48, pfCMYK}) {
    for (auto dataFormat : {TRawDataFormat::Binary, TRawDataFormat::Decimal, TRawDataFormat::Hexadecimal}) {
      for (bool planar : {false, true}) {
        TImageIO io;
        io.Bitmap().Allocate(5, 3, format);
        for (int y = 0; y < 3; ++y)
          for (size_t i = 0; i < io.Bitmap().RowLen(); ++i) io.Bitmap().ScanLine(y)[i] = uint8_t(i * 37 + y * 11);
        io.Params.RawPlanar = planar;
        io.Params.RawBGR = planar;
        io.Params.RawDataFormat = dataFormat;
        io.Params.RawRowAlignment = 16;
        TLmMemoryStream stream;
        io.SaveImageToStreamAs(stream, ftRawBitmap);
        ASSERT_FALSE(io.Aborting);

        TImageIO back;
        back.Params = io.Params;
        back.Bitmap().Allocate(5, 3, format);
        stream.SetPosition(0);
        back.LoadImageFromStreamAs(stream, ftRawBitmap);
        ASSERT_FALSE(back.Aborting) << PixelFormatName(format);
        // Whole bytes of pixel data; the five pixels of pf1g fill the top bits of one byte.
        const size_t bytes = format == pf1g ? 0 : 5 * io.Bitmap().BitCount() / 8;
        for (int y = 0; y < 3; ++y) {
          EXPECT_EQ(std::memcmp(io.Bitmap().ScanLine(y), back.Bitmap().ScanLine(y), bytes), 0)
              << PixelFormatName(format) << " format " << int(dataFormat) << " planar " << planar << " row " << y;
          if (format == pf1g) {
            EXPECT_EQ(io.Bitmap().ScanLine(y)[0] & 0xF8, back.Bitmap().ScanLine(y)[0] & 0xF8);
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace lumora
