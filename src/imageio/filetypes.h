// File-type ids: one 32-bit number per format. Externally registered
// formats choose their own ids.
#pragma once

#include <cstdint>

namespace lumora {

using TFileTypeId = int32_t;

inline constexpr TFileTypeId ftUnknown = 0;
inline constexpr TFileTypeId ftTIFF = 1;
inline constexpr TFileTypeId ftGIF = 2;
inline constexpr TFileTypeId ftJPEG = 3;
inline constexpr TFileTypeId ftPCX = 4;
inline constexpr TFileTypeId ftBMP = 5;
inline constexpr TFileTypeId ftICO = 6;
inline constexpr TFileTypeId ftCUR = 7;
inline constexpr TFileTypeId ftPNG = 8;
inline constexpr TFileTypeId ftWMF = 9;
inline constexpr TFileTypeId ftEMF = 10;
inline constexpr TFileTypeId ftTGA = 11;
inline constexpr TFileTypeId ftPXM = 12;
inline constexpr TFileTypeId ftJP2 = 13;
inline constexpr TFileTypeId ftJ2K = 14;
inline constexpr TFileTypeId ftAVI = 15;  // detected only, no registry entry
inline constexpr TFileTypeId ftWBMP = 16;
inline constexpr TFileTypeId ftPS = 17;   // write only
inline constexpr TFileTypeId ftPDF = 18;  // write only
inline constexpr TFileTypeId ftDCX = 19;
inline constexpr TFileTypeId ftRAW = 20;
inline constexpr TFileTypeId ftRawBitmap = 21;
// 22 and 23 are not assigned.
inline constexpr TFileTypeId ftPSD = 24;
inline constexpr TFileTypeId ftLMV = 25;
inline constexpr TFileTypeId ftLYR = 26;
inline constexpr TFileTypeId ftALL = 27;
inline constexpr TFileTypeId ftDICOM = 28;
inline constexpr TFileTypeId ftHDP = 29;

}  // namespace lumora
