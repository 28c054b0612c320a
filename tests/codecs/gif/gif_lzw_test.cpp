#include "codecs/gif/gif_lzw.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace lumora {
namespace {

// Packs codes least significant bit first, widening them exactly as a
// decoder does: one new table entry per code after the first following a
// clear, no new entries once 4096 codes exist.
class CodePacker {
 public:
  explicit CodePacker(int minCodeSize) : minCodeSize_(minCodeSize) { Reset(); }

  int Clear() const { return 1 << minCodeSize_; }
  int End() const { return Clear() + 1; }
  int NextFree() const { return nextFree_; }

  CodePacker& Put(int code) {
    acc_ |= static_cast<std::uint64_t>(code) << bits_;
    bits_ += width_;
    while (bits_ >= 8) {
      bytes_.push_back(static_cast<std::uint8_t>(acc_));
      acc_ >>= 8;
      bits_ -= 8;
    }
    if (code == Clear()) {
      Reset();
    } else if (fresh_) {
      fresh_ = false;
    } else if (code != End() && nextFree_ < 4096) {
      if (++nextFree_ == limit_ && width_ < 12) {
        ++width_;
        limit_ <<= 1;
      }
    }
    return *this;
  }

  std::vector<std::uint8_t> Bytes() const {
    std::vector<std::uint8_t> out = bytes_;
    if (bits_ > 0) out.push_back(static_cast<std::uint8_t>(acc_));
    return out;
  }

 private:
  void Reset() {
    width_ = minCodeSize_ + 1;
    limit_ = 1 << width_;
    nextFree_ = Clear() + 2;
    fresh_ = true;
  }

  int minCodeSize_;
  int width_ = 0;
  int limit_ = 0;
  int nextFree_ = 0;
  bool fresh_ = true;
  std::vector<std::uint8_t> bytes_;
  std::uint64_t acc_ = 0;
  int bits_ = 0;
};

struct Encoded {
  int codeSize = 0;
  std::vector<std::uint8_t> data;  // sub-block payloads joined
  std::vector<std::size_t> blockSizes;
  bool terminated = false;
};

Encoded Encode(const std::vector<std::uint8_t>& pixels, int width, int height, int bits,
               bool interlaced) {
  std::vector<std::uint8_t> raw;
  GifLzwEncodeCodes(pixels, width, height, bits, interlaced,
                    [&](std::span<const std::uint8_t> b) { raw.insert(raw.end(), b.begin(), b.end()); });
  Encoded e;
  std::size_t pos = 0;
  e.codeSize = raw.at(pos++);
  while (pos < raw.size()) {
    const std::size_t n = raw[pos++];
    if (n == 0) {
      e.terminated = pos == raw.size();
      break;
    }
    e.blockSizes.push_back(n);
    e.data.insert(e.data.end(), raw.begin() + pos, raw.begin() + pos + n);
    pos += n;
  }
  return e;
}

TEST(GifRowSequence, VisitsEveryRowOnceInPassOrder) {
  auto order = [](int height, bool interlaced) {
    std::vector<int> rows;
    for (GifRowSequence s(height, interlaced); !s.Done(); s.Next()) rows.push_back(s.Row());
    return rows;
  };
  EXPECT_EQ(order(9, true), (std::vector<int>{0, 8, 4, 2, 6, 1, 3, 5, 7}));
  EXPECT_EQ(order(1, true), (std::vector<int>{0}));
  EXPECT_EQ(order(2, true), (std::vector<int>{0, 1}));
  EXPECT_EQ(order(3, true), (std::vector<int>{0, 2, 1}));
  EXPECT_EQ(order(5, true), (std::vector<int>{0, 4, 2, 1, 3}));
  EXPECT_EQ(order(3, false), (std::vector<int>{0, 1, 2}));
  EXPECT_TRUE(order(0, true).empty());
  for (int h = 1; h <= 40; ++h) {
    std::vector<int> rows = order(h, true);
    std::sort(rows.begin(), rows.end());
    std::vector<int> all(h);
    for (int i = 0; i < h; ++i) all[i] = i;
    EXPECT_EQ(rows, all) << "height " << h;
  }
}

struct RoundTripCase {
  int width, height, bits;
  bool interlaced;
  bool runs;  // long runs of one index (deep strings) instead of noise (many clears)
};

class GifLzwRoundTrip : public testing::TestWithParam<RoundTripCase> {};

TEST_P(GifLzwRoundTrip, DecodesWhatWasEncoded) {
  const RoundTripCase c = GetParam();
  std::mt19937 rng(c.width * 131 + c.height * 7 + c.bits);
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(c.width) * c.height);
  const int colours = 1 << c.bits;
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    pixels[i] = static_cast<std::uint8_t>(c.runs ? (i / 5000) % colours : rng() % colours);
  }
  const Encoded e = Encode(pixels, c.width, c.height, c.bits, c.interlaced);
  EXPECT_EQ(e.codeSize, std::max(c.bits, 2));
  EXPECT_TRUE(e.terminated);
  for (std::size_t i = 0; i + 1 < e.blockSizes.size(); ++i) EXPECT_EQ(e.blockSizes[i], 254u);

  std::vector<std::uint8_t> decoded(pixels.size(), 0xEE);
  EXPECT_EQ(GifLzwDecodeCodes(e.data, e.codeSize, c.width, c.height, c.interlaced, decoded),
            GifLzwResult::kOk);
  EXPECT_EQ(decoded, pixels);
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, GifLzwRoundTrip,
    testing::Values(RoundTripCase{1, 1, 1, false, false}, RoundTripCase{9, 3, 1, false, false},
                    RoundTripCase{17, 8, 2, true, false}, RoundTripCase{5, 7, 3, true, false},
                    RoundTripCase{33, 1, 4, true, false}, RoundTripCase{64, 64, 5, false, false},
                    RoundTripCase{100, 37, 6, true, false}, RoundTripCase{128, 99, 7, false, false},
                    RoundTripCase{320, 240, 8, false, false}, RoundTripCase{317, 211, 8, true, false},
                    RoundTripCase{400, 300, 1, false, true}, RoundTripCase{500, 500, 8, false, true}));

TEST(GifLzwDecode, AcceptsMinimumCodeSizesTwoToNine) {
  for (int size : {1, 2, 8, 9, 10}) {
    CodePacker p(std::min(size, 9));
    p.Put(p.Clear()).Put(3).Put(p.End());
    std::vector<std::uint8_t> px(1, 0xEE);
    const GifLzwResult r = GifLzwDecodeCodes(p.Bytes(), size, 1, 1, false, px);
    if (size >= 2 && size <= 9) {
      EXPECT_EQ(r, GifLzwResult::kOk) << size;
      EXPECT_EQ(px[0], 3) << size;
    } else {
      EXPECT_EQ(r, GifLzwResult::kFailed) << size;
    }
  }
}

TEST(GifLzwDecode, NineBitLiteralsKeepTheirLowByte) {
  CodePacker p(9);
  p.Put(p.Clear()).Put(300).Put(p.End());
  std::vector<std::uint8_t> px(1);
  ASSERT_EQ(GifLzwDecodeCodes(p.Bytes(), 9, 1, 1, false, px), GifLzwResult::kOk);
  EXPECT_EQ(px[0], 300 & 0xFF);
}

TEST(GifLzwDecode, CodeBeyondTheTableFails) {
  CodePacker p(2);
  p.Put(p.Clear()).Put(1).Put(p.NextFree() + 1).Put(p.End());
  std::vector<std::uint8_t> px(4);
  EXPECT_EQ(GifLzwDecodeCodes(p.Bytes(), 2, 2, 2, false, px), GifLzwResult::kFailed);
}

TEST(GifLzwDecode, CodeEqualToNextFreeRepeatsThePreviousString) {
  CodePacker p(2);
  // 1, then code 6 = "1 1", then 7 = "1 1 1": the KwKwK case twice.
  p.Put(p.Clear()).Put(1).Put(6).Put(7).Put(p.End());
  std::vector<std::uint8_t> px(6);
  ASSERT_EQ(GifLzwDecodeCodes(p.Bytes(), 2, 6, 1, false, px), GifLzwResult::kOk);
  EXPECT_EQ(px, (std::vector<std::uint8_t>{1, 1, 1, 1, 1, 1}));
}

TEST(GifLzwDecode, MissingEndCodeKeepsThePixelsDecoded) {
  CodePacker p(2);
  p.Put(p.Clear()).Put(1).Put(2).Put(3).Put(0);  // 3+3+3+3+4 bits: no padding
  std::vector<std::uint8_t> px(6, 0xEE);
  ASSERT_EQ(GifLzwDecodeCodes(p.Bytes(), 2, 3, 2, false, px), GifLzwResult::kOk);
  EXPECT_EQ(px, (std::vector<std::uint8_t>{1, 2, 3, 0, 0xEE, 0xEE}));
}

TEST(GifLzwDecode, NoLeadingClearCodeIsAccepted) {
  CodePacker p(2);
  p.Put(3).Put(0).Put(p.End());
  std::vector<std::uint8_t> px(2);
  ASSERT_EQ(GifLzwDecodeCodes(p.Bytes(), 2, 2, 1, false, px), GifLzwResult::kOk);
  EXPECT_EQ(px, (std::vector<std::uint8_t>{3, 0}));
}

TEST(GifLzwDecode, FirstCodeAfterClearOutsideTheLiteralsBecomesZero) {
  CodePacker p(2);
  p.Put(p.Clear()).Put(7).Put(p.End());
  std::vector<std::uint8_t> px(1, 0xEE);
  ASSERT_EQ(GifLzwDecodeCodes(p.Bytes(), 2, 1, 1, false, px), GifLzwResult::kOk);
  EXPECT_EQ(px[0], 0);
}

TEST(GifLzwDecode, EndCodeRightAfterClearFailsOnlyWithDataLeft) {
  CodePacker p(2);
  p.Put(p.Clear()).Put(p.End());
  std::vector<std::uint8_t> data = p.Bytes();
  std::vector<std::uint8_t> px(1);
  EXPECT_EQ(GifLzwDecodeCodes(data, 2, 1, 1, false, px), GifLzwResult::kOk);
  data.push_back(0x55);
  EXPECT_EQ(GifLzwDecodeCodes(data, 2, 1, 1, false, px), GifLzwResult::kFailed);
}

TEST(GifLzwDecode, FullTableWithoutClearGoesOnDecoding) {
  // Literals only: every code adds an entry until the table holds 4096, then
  // the encoder keeps using 12-bit codes without a clear code.
  CodePacker p(8);
  p.Put(p.Clear());
  std::vector<std::uint8_t> expected;
  for (int i = 0; i < 5000; ++i) {
    const int literal = (i * 37) & 0xFF;
    p.Put(literal);
    expected.push_back(static_cast<std::uint8_t>(literal));
  }
  ASSERT_EQ(p.NextFree(), 4096);
  p.Put(p.End());
  std::vector<std::uint8_t> px(expected.size());
  ASSERT_EQ(GifLzwDecodeCodes(p.Bytes(), 8, 5000, 1, false, px), GifLzwResult::kOk);
  EXPECT_EQ(px, expected);
}

TEST(GifLzwDecode, StopsOnceTheFrameIsFull) {
  // Garbage after the last pixel (here an invalid code) is never looked at,
  // and a huge code stream for a tiny frame costs only the frame.
  CodePacker p(2);
  p.Put(p.Clear()).Put(1).Put(2).Put(3).Put(0).Put(p.NextFree() + 3);
  std::vector<std::uint8_t> px(4);
  ASSERT_EQ(GifLzwDecodeCodes(p.Bytes(), 2, 2, 2, false, px), GifLzwResult::kOk);
  EXPECT_EQ(px, (std::vector<std::uint8_t>{1, 2, 3, 0}));

  std::vector<std::uint8_t> flood(1 << 20, 0);  // 3-bit zero codes: literal 0 forever
  std::vector<std::uint8_t> one(1, 0xEE);
  EXPECT_EQ(GifLzwDecodeCodes(flood, 2, 1, 1, false, one), GifLzwResult::kOk);
  EXPECT_EQ(one[0], 0);
}

TEST(GifLzwDecode, EmptyDataAndEmptyFramesSucceed) {
  std::vector<std::uint8_t> px(4, 0xEE);
  EXPECT_EQ(GifLzwDecodeCodes({}, 2, 2, 2, false, px), GifLzwResult::kOk);
  EXPECT_EQ(px[0], 0xEE);
  CodePacker p(2);
  p.Put(p.Clear()).Put(1).Put(p.End());
  EXPECT_EQ(GifLzwDecodeCodes(p.Bytes(), 2, 0, 5, false, {}), GifLzwResult::kOk);
}

TEST(GifLzwEncode, OutOfRangeIndicesAreClampedNotTurnedIntoControlCodes) {
  const std::vector<std::uint8_t> pixels{0, 200, 3, 4, 5, 1};
  const Encoded e = Encode(pixels, 3, 2, 2, false);
  std::vector<std::uint8_t> px(6);
  ASSERT_EQ(GifLzwDecodeCodes(e.data, e.codeSize, 3, 2, false, px), GifLzwResult::kOk);
  EXPECT_EQ(px, (std::vector<std::uint8_t>{0, 3, 3, 3, 3, 1}));
}

TEST(GifLzwEncode, EmptyImageWritesClearAndEnd) {
  const Encoded e = Encode({}, 0, 0, 8, false);
  EXPECT_TRUE(e.terminated);
  CodePacker p(8);
  p.Put(p.Clear()).Put(p.End());
  EXPECT_EQ(e.data, p.Bytes());
}

}  // namespace
}  // namespace lumora
