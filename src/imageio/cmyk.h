// CMYK <-> colour conversion. With the built-in CMYK output profile (a
// coated-press profile made from the FOGRA39L characterization data, see
// data/cmyk/) the conversions go through two Little CMS transforms between
// it and sRGB, made on first use and kept for the life of the process.
// Without it (switched off, or the profile cannot be opened) plain formulas
// are used.
//
// pfCMYK bytes are stored inverted: 255 means no ink.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lumora {

// Process-wide switch (on at start-up) allowing the profile transforms.
void SetCmykProfileEnabled(bool enabled);
bool CmykProfileEnabled();
// Whether conversions go through the profile now: enabled and opened.
bool CmykProfileActive();

// `count` pf24RGB pixels (blue, green, red) to pfCMYK bytes and back.
void BGRRowToCMYK(const uint8_t* bgr, uint8_t* cmyk, size_t count);
void CMYKRowToBGR(const uint8_t* cmyk, uint8_t* bgr, size_t count);

// The plain formulas alone: k = max(R, G, B) (1 when 0) gives the bytes
// R*255/k, G*255/k, B*255/k, k; back, R = C*K/255 and so on.
void BGRRowToCMYKPlain(const uint8_t* bgr, uint8_t* cmyk, size_t count);
void CMYKRowToBGRPlain(const uint8_t* cmyk, uint8_t* bgr, size_t count);

// The built-in profile, zlib-compressed (cmyk_profile_data.cpp).
extern const uint8_t kCmykProfileCompressed[];
extern const size_t kCmykProfileCompressedSize;
extern const size_t kCmykProfileSize;

}  // namespace lumora
