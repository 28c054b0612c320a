// Layout constants of TGA files shared by the reader and the writer.
#pragma once

#include <cstddef>
#include <cstdint>

namespace lumora::tga {

inline constexpr size_t kHeaderSize = 18;
inline constexpr size_t kFooterSize = 26;
inline constexpr size_t kExtensionAreaSize = 495;
inline constexpr char kSignature[] = "TRUEVISION-XFILE.";  // then a 0 byte

// Image types.
inline constexpr uint8_t kColorMapped = 1;
inline constexpr uint8_t kTrueColor = 2;
inline constexpr uint8_t kGray = 3;
inline constexpr uint8_t kRleFlag = 8;  // 9, 10, 11: the same, run-length encoded

// Image descriptor bits.
inline constexpr uint8_t kAlphaBitsMask = 0x0F;
inline constexpr uint8_t kRightToLeft = 0x10;
inline constexpr uint8_t kTopToBottom = 0x20;

// Offsets inside the extension area.
inline constexpr size_t kExtAuthor = 2;
inline constexpr size_t kExtDate = 367;  // month, day, year, hour, minute, second
inline constexpr size_t kExtJobName = 379;
inline constexpr size_t kExtTextLength = 41;
inline constexpr size_t kExtKeyColor = 470;
inline constexpr size_t kExtAspect = 474;
inline constexpr size_t kExtGamma = 478;

// Longest run or raw stretch one packet holds.
inline constexpr int kMaxPacket = 128;

}  // namespace lumora::tga
