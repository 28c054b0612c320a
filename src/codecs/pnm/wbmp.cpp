// WBMP codec: type 0 wireless bitmaps (1 bit, rows top-down, 1 = white),
// sizes as multi-byte integers. The writer keeps to the 255 x 255 that
// phones display and scales larger images down.
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "codecs/pnm/pnm.h"
#include "codecs/pnm/truncation.h"
#include "imageio/bitmap.h"
#include "imageio/ioparams.h"
#include "imageio/progress.h"
#include "imageio/readerutil.h"
#include "imageio/resample.h"
#include "imageio/stream.h"

namespace lumora {

namespace {

constexpr int kMaxMultiByteLength = 4;
constexpr int kMaxWrittenSide = 255;

// Up to four bytes of 7 bits each, most significant first; a byte with its
// top bit clear ends the number. False at the end of the data or when the
// fourth byte still asks for more.
bool ReadMultiByte(TLmStream& stream, uint32_t& value) {
  value = 0;
  for (int i = 0; i < kMaxMultiByteLength; ++i) {
    uint8_t b;
    if (stream.Read(&b, 1) != 1) return false;
    value = (value << 7) | (b & 0x7F);
    if ((b & 0x80) == 0) return true;
  }
  return false;
}

void PutMultiByte(std::vector<uint8_t>& out, uint32_t value) {
  uint8_t groups[kMaxMultiByteLength + 1];
  int n = 0;
  do {
    groups[n++] = static_cast<uint8_t>(value & 0x7F);
    value >>= 7;
  } while (value != 0 && n < kMaxMultiByteLength + 1);
  while (n > 1) out.push_back(static_cast<uint8_t>(0x80 | groups[--n]));
  out.push_back(groups[0]);
}

}  // namespace

void ReadWbmp(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, bool paramsOnly, TIOProgress& progress) {
  uint32_t type, fixedHeader, width, height;
  if (!ReadMultiByte(stream, type) || !ReadMultiByte(stream, fixedHeader) || !ReadMultiByte(stream, width) ||
      !ReadMultiByte(stream, height)) {
    progress.Fail(TIOFailureKind::InvalidData, "header cut short");
    return;
  }
  if ((type & 0xFF) != 0 || (fixedHeader & 0xFF) != 0) {
    progress.Fail(TIOFailureKind::Unsupported, "not a type 0 wireless bitmap");
    return;
  }
  if (width == 0 || height == 0) {
    progress.Fail(TIOFailureKind::InvalidData, "no image size");
    return;
  }
  if (!AcceptImageSize(width, height, 1, progress)) return;
  params.BitsPerSample = 1;
  params.SamplesPerPixel = 1;
  params.Width = params.OriginalWidth = static_cast<int32_t>(width);
  params.Height = params.OriginalHeight = static_cast<int32_t>(height);
  params.SetDpi(kDefaultDpi, kDefaultDpi);
  params.ColorMap.clear();
  params.ImageCount = 1;
  if (paramsOnly) return;

  const size_t rowBytes = (size_t{width} + 7) / 8;
  if (!pnm::DataCanDescribeImage(stream, uint64_t{rowBytes} * height, width, height, 1, progress)) return;
  if (!bitmap.Allocate(static_cast<int>(width), static_cast<int>(height), pf1g)) {
    progress.Fail(TIOFailureKind::OverLimit, "no memory for the image");
    return;
  }
  progress.SetTotalUnits(height);
  bool complete = true;
  for (uint32_t y = 0; y < height; ++y) {
    uint8_t* row = bitmap.ScanLine(static_cast<int>(y));
    std::memset(row, 0, bitmap.RowLen());
    if (complete) complete = stream.Read(row, rowBytes) == rowBytes;
    if (!progress.Report(y)) return;
  }
  if (!complete) progress.Fail(TIOFailureKind::InvalidData, "image data end early");
}

void WriteWbmp(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& /*params*/, TIOProgress& progress) {
  if (bitmap.IsEmpty()) return;
  // The caller's bitmap stays as it is: conversion and scaling work on a copy.
  std::unique_ptr<TLmBitmap> copy;
  const TLmBitmap* image = &bitmap;
  const int w = bitmap.Width(), h = bitmap.Height();
  if (w > kMaxWrittenSide || h > kMaxWrittenSide) {
    const int newW = w > h ? kMaxWrittenSide : std::max(1, static_cast<int>(int64_t{w} * kMaxWrittenSide / h));
    const int newH = w > h ? std::max(1, static_cast<int>(int64_t{h} * kMaxWrittenSide / w)) : kMaxWrittenSide;
    copy = std::make_unique<TLmBitmap>();
    copy->Assign(bitmap);
    copy->RemoveAlphaChannel(false);
    // Averaging keeps thin lines of a bilevel image visible as gray that
    // the 1-bit conversion then decides.
    if (!ResampleBitmap(*copy, newW, newH, true)) {
      progress.Fail(TIOFailureKind::OverLimit, "no memory to scale the image");
      return;
    }
    copy->SetPixelFormat(pf1g);
    image = copy.get();
  } else if (bitmap.PixelFormat() != pf1g) {
    copy = std::make_unique<TLmBitmap>();
    copy->Assign(bitmap);
    copy->RemoveAlphaChannel(false);
    copy->SetPixelFormat(pf1g);
    image = copy.get();
  }

  std::vector<uint8_t> header = {0, 0};
  PutMultiByte(header, static_cast<uint32_t>(image->Width()));
  PutMultiByte(header, static_cast<uint32_t>(image->Height()));
  if (!stream.WriteExact(header.data(), header.size())) {
    progress.Fail(TIOFailureKind::IOError, "short write");
    return;
  }
  const size_t rowBytes = (static_cast<size_t>(image->Width()) + 7) / 8;
  progress.SetTotalUnits(image->Height());
  for (int y = 0; y < image->Height(); ++y) {
    if (!progress.Report(y)) return;
    if (!stream.WriteExact(image->ScanLine(y), rowBytes)) {
      progress.Fail(TIOFailureKind::IOError, "short write");
      return;
    }
  }
}

}  // namespace lumora
