// Colour conversions of the I/O layer: single pixels (CIELab, YCbCr, gray),
// the ordered-dither matrix, the row conversion the codecs call
// (ConvertRow), and the pixel-row conversions that TLmBitmap and the
// quantizer build on. CMYK lives in cmyk.h (it may go through a profile).
//
// Everything works on whole rows so that huge images convert without a
// call per pixel.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imageio/bitmap.h"

namespace lumora {

// ---- Single pixels ---------------------------------------------------------

// (R * 21 + G * 71 + B * 8) div 100.
inline uint8_t RGBToGray(uint8_t r, uint8_t g, uint8_t b) {
  return static_cast<uint8_t>((r * 21 + g * 71 + b * 8) / 100);
}
inline uint8_t RGBToGray(TLmRGBTriple c) { return RGBToGray(c.r, c.g, c.b); }

// sRGB (D65) to the pfCIELab bytes: L scaled to 0..255, a and b signed.
void RGBToCIELab(TLmRGBTriple color, uint8_t lab[3]);
TLmRGBTriple CIELabToRGB(const uint8_t lab[3]);
// JPEG/JFIF YCbCr (full range) to a colour, truncated toward zero and clamped.
TLmRGBTriple YCbCrToRGB(uint8_t y, uint8_t cb, uint8_t cr);

// The 8 x 8 ordered-dither matrix, indexed [column mod 8][row mod 8]; a pf1g
// pixel is white when kDitherMatrix[x % 8][y % 8] < gray / 4.
extern const uint8_t kDitherMatrix[8][8];

// ---- Rows for the codecs ----------------------------------------------------

// Byte layouts of pixel rows that codecs hand to ConvertRow.
enum TLmColorLayout : uint8_t {
  clBGR,       // pf24RGB: bytes blue, green, red
  clRGB,       // bytes red, green, blue
  clCMYK,      // pfCMYK: 4 bytes, inverted
  clCIELab,    // pfCIELab: 3 bytes
  clGray,      // 1 byte
  clRGB48LE,   // 16-bit little-endian words red, green, blue
  clRGB48BE,   // 16-bit big-endian words red, green, blue
  clYCbCr,     // bytes Y, Cb, Cr
};

// Converts `count` pixels. Supported: clRGB, clBGR, clCMYK, clCIELab,
// clRGB48LE, clRGB48BE and clYCbCr to clBGR; clBGR to clBGR, clCMYK,
// clCIELab and clGray. Any other pairing leaves `dst` untouched and answers
// false. `src` and `dst` must not overlap unless they are the same buffer
// and the pixel sizes are equal.
bool ConvertRow(const uint8_t* src, TLmColorLayout srcLayout, uint8_t* dst, size_t count,
                TLmColorLayout dstLayout);

// ---- Rows of TLmBitmap pixel formats ---------------------------------------

// A row of `format` to pf24RGB bytes. pf8p takes its colours from `palette`
// (black for an index past `paletteLength`); pf1g gives black and white.
void PixelRowToBGR(TLmPixelFormat format, const uint8_t* src, uint8_t* bgr, int width,
                   const TLmRGBTriple* palette = nullptr, int paletteLength = 0);
// pf24RGB bytes to a row of `format`, for every format but pf1g and pf8p
// (those need a threshold or a palette: see TLmBitmap::CopyAndConvertFormat).
void BGRToPixelRow(TLmPixelFormat format, const uint8_t* bgr, uint8_t* dst, int width);
// A row of `format` to 8-bit gray levels (pf8p through `palette`).
void PixelRowToGray(TLmPixelFormat format, const uint8_t* src, uint8_t* gray, int width,
                    const TLmRGBTriple* palette = nullptr, int paletteLength = 0);
// 8-bit gray levels to a pf1g row by the ordered-dither matrix; `y` is the
// row number in the picture.
void DitherGrayRow(const uint8_t* gray, uint8_t* dst, int width, int y);
// 8-bit gray levels to a pf1g row: white where the level is above `threshold`.
void ThresholdGrayRow(const uint8_t* gray, uint8_t* dst, int width, int threshold);
// The level that best splits a histogram of 256 gray levels into dark and
// light (Otsu's criterion); levels above it are light. 127 when the
// histogram holds a single level.
int OtsuThreshold(const uint64_t histogram[256]);

}  // namespace lumora
