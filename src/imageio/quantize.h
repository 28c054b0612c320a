// Colour reduction for the writers: the nearest-palette-entry rule,
// TLmQuantizer (builds a palette of n colours for an image and then answers
// the palette index of any colour) and TwoColorToBilevel.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "imageio/bitmap.h"

namespace lumora {

// The entry of `palette` (its first `count` entries) with the smallest sum
// of absolute differences of red, green and blue; the first such entry
// wins; 0 for an empty palette.
int NearestPaletteEntry(TLmRGBTriple color, const TLmRGBTriple* palette, int count);

// How a TLmQuantizer filled its palette.
enum class TLmQuantizeMethod {
  ImagePalette,  // a pf8p image's own palette
  GrayRamp,      // a gray image: entry i is level trunc(256 / n * i)
  ExactColors,   // at most n distinct colours: those, in the order first met
  BoxSplitting,  // median-cut style box splitting (n < 128)
  NeuralNet,     // NeuQuant (n >= 128)
};

class TLmQuantizer {
 public:
  // Analyses `image` and fills `palette` (n entries, 2 <= n <= 256, owned
  // by the caller; entries the method does not fill are left as they are).
  // Colour images are pf24RGB, pf32RGB, pfRGB48, pfCMYK or pfCIELab (read
  // as 24-bit colour); pf1g, pf8g, pf16g and pf32f count as gray.
  TLmQuantizer(const TLmBitmap& image, int colorCount, TLmRGBTriple* palette);
  ~TLmQuantizer();
  TLmQuantizer(const TLmQuantizer&) = delete;
  TLmQuantizer& operator=(const TLmQuantizer&) = delete;

  // The palette index to write for a pixel of `color`. -1 with an
  // exact-colour palette that does not hold the colour. One thread at a
  // time: the neural-net method remembers its answers.
  int Index(TLmRGBTriple color) const;
  // Whether the image was found gray (a writer may then store gray levels).
  bool IsGray() const { return gray_; }
  TLmQuantizeMethod Method() const { return method_; }
  int ColorCount() const { return n_; }
  // Entries actually filled (the exact colours or the boxes found).
  int FilledCount() const { return filled_; }

  class TBoxSplitter;
  class TNeuralNet;

 private:
  int n_;
  int filled_ = 0;
  bool gray_ = false;
  TLmQuantizeMethod method_ = TLmQuantizeMethod::GrayRamp;
  std::vector<TLmRGBTriple> imagePalette_;       // ImagePalette: the image's entries
  std::vector<TLmRGBTriple> exact_;              // ExactColors: the colours
  std::vector<uint32_t> exactKeys_;              // ExactColors: hash slots, colour + 1 (0 = empty)
  std::vector<uint8_t> exactSlotIndex_;          // ExactColors: palette index per slot
  std::unique_ptr<TBoxSplitter> boxes_;          // BoxSplitting state
  std::unique_ptr<TNeuralNet> net_;              // NeuralNet state
};

// The sampling factor of the neural-net method for an image of `pixels`
// pixels: 1 below 2000 pixels, else round((pixels - 2000) * 13 / 148000 + 2)
// limited to 1..30 (every that-many-th pixel is learnt).
int NeuQuantSamplingFactor(int64_t pixels);

// Turns an image of exactly two distinct colours into a pf1g image whose bit
// 0 is the darker colour (`first`) and bit 1 the other (`second`). Null for
// one colour or more than two (the scan stops after the row in which a third
// colour appears) or when the result cannot be allocated.
std::unique_ptr<TLmBitmap> TwoColorToBilevel(const TLmBitmap& image, TLmRGBTriple& first, TLmRGBTriple& second);

}  // namespace lumora
