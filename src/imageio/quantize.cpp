#include "imageio/quantize.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>

#include "imageio/byteorder.h"
#include "imageio/colorconv.h"

namespace lumora {

int NearestPaletteEntry(TLmRGBTriple color, const TLmRGBTriple* palette, int count) {
  int best = 0, bestDistance = 1 << 30;
  for (int i = 0; i < count; ++i) {
    const TLmRGBTriple& p = palette[i];
    int d = std::abs(p.r - color.r) + std::abs(p.g - color.g) + std::abs(p.b - color.b);
    if (d < bestDistance) {
      bestDistance = d;
      best = i;
    }
  }
  return best;
}

namespace {

bool IsColorImageFormat(TLmPixelFormat f) {
  return f == pf24RGB || f == pf32RGB || f == pfRGB48 || f == pfCMYK || f == pfCIELab;
}

// Reads an image's rows as 24-bit colour, converting when the format is not
// pf24RGB, and remembers the last row so that samplers that stay on a row
// do not fetch it again.
class TColorRows {
 public:
  explicit TColorRows(const TLmBitmap& image)
      : image_(image), direct_(image.PixelFormat() == pf24RGB), buffer_(direct_ ? 0 : image.Width() * 3u) {}

  const TLmRGBTriple* Row(int y) {
    if (y != row_ || direct_) {
      const uint8_t* src = image_.ScanLine(y);
      if (direct_) {
        current_ = reinterpret_cast<const TLmRGBTriple*>(src);
      } else {
        PixelRowToBGR(image_.PixelFormat(), src, buffer_.data(), image_.Width(), image_.Palette(),
                      image_.PaletteLength());
        current_ = reinterpret_cast<const TLmRGBTriple*>(buffer_.data());
      }
      row_ = y;
    }
    return current_;
  }

 private:
  const TLmBitmap& image_;
  bool direct_;
  std::vector<uint8_t> buffer_;
  const TLmRGBTriple* current_ = nullptr;  // not owned: the image's row or buffer_
  int row_ = -1;
};

bool ImageIsGray(const TLmBitmap& image) {
  const int w = image.Width(), h = image.Height();
  switch (image.PixelFormat()) {
    case pf8p:
      for (int i = 0; i < image.PaletteLength(); ++i) {
        TLmRGBTriple c = image.GetPaletteColor(i);
        if (c.r != c.g || c.g != c.b) return false;
      }
      return true;
    case pfRGB48:
      for (int y = 0; y < h; ++y) {
        const uint8_t* p = image.ScanLine(y);
        for (int x = 0; x < w; ++x, p += 6)
          if (ReadLE16(p) != ReadLE16(p + 2) || ReadLE16(p + 2) != ReadLE16(p + 4)) return false;
      }
      return true;
    case pf24RGB:
    case pf32RGB:
    case pfCMYK:
    case pfCIELab: {
      TColorRows rows(image);
      for (int y = 0; y < h; ++y) {
        const TLmRGBTriple* p = rows.Row(y);
        for (int x = 0; x < w; ++x)
          if (p[x].r != p[x].g || p[x].g != p[x].b) return false;
      }
      return true;
    }
    default: return true;
  }
}

uint32_t ColorKey(TLmRGBTriple c) { return c.ToColor() + 1; }

constexpr size_t kExactSlots = 1024;  // power of two, over twice the 257 colours it may hold

size_t ExactSlot(const std::vector<uint32_t>& keys, uint32_t key) {
  size_t slot = (key * 2654435761u) & (kExactSlots - 1);
  while (keys[slot] != 0 && keys[slot] != key) slot = (slot + 1) & (kExactSlots - 1);
  return slot;
}

// Rounding to nearest with ties to even, as the reduction methods define it.
int RoundEven(double v) { return static_cast<int>(std::nearbyint(v)); }

}  // namespace

int NeuQuantSamplingFactor(int64_t pixels) {
  if (pixels < 2000) return 1;
  return std::clamp(RoundEven((static_cast<double>(pixels) - 2000) * 13 / 148000 + 2), 1, 30);
}

// ---- Box splitting ------------------------------------------------------------

class TLmQuantizer::TBoxSplitter {
 public:
  TBoxSplitter(const TLmBitmap& image, int n, TLmRGBTriple* palette) : hist_(32768, 0) {
    const int w = image.Width(), h = image.Height();
    TColorRows rows(image);
    for (int y = 0; y < h; ++y) {
      const TLmRGBTriple* p = rows.Row(y);
      for (int x = 0; x < w; ++x) ++hist_[Cell(p[x].r >> 3, p[x].g >> 3, p[x].b >> 3)];
    }
    totalPixels_ = static_cast<double>(w) * h;

    TBox first;
    for (int c = 0; c < 3; ++c) {
      first.low[c] = 0;
      first.high[c] = 32;
    }
    Recount(first, false);
    boxes_.push_back(first);

    while (static_cast<int>(boxes_.size()) < n) {
      int chosen = -1;
      double best = 0;
      for (size_t i = 0; i < boxes_.size(); ++i)
        if (boxes_[i].score > best) {
          best = boxes_[i].score;
          chosen = static_cast<int>(i);
        }
      if (chosen < 0) break;
      Split(static_cast<size_t>(chosen));
    }

    cellBox_.fill(0);
    for (size_t i = 0; i < boxes_.size(); ++i) {
      const TBox& b = boxes_[i];
      for (int r = b.low[0]; r < b.high[0]; ++r)
        for (int g = b.low[1]; g < b.high[1]; ++g)
          for (int bl = b.low[2]; bl < b.high[2]; ++bl) cellBox_[Cell(r, g, bl)] = static_cast<uint8_t>(i);
      palette[i] = TLmRGBTriple::FromRGB(static_cast<uint8_t>(RoundEven(b.mean[0]) * 8),
                                         static_cast<uint8_t>(RoundEven(b.mean[1]) * 8),
                                         static_cast<uint8_t>(RoundEven(b.mean[2]) * 8));
    }
  }

  int Index(TLmRGBTriple c) const { return cellBox_[Cell(c.r >> 3, c.g >> 3, c.b >> 3)]; }
  int Count() const { return static_cast<int>(boxes_.size()); }

 private:
  // The result given to a channel that cannot be cut.
  static constexpr double kFailedCut = 17523.6;

  struct TBox {
    int low[3] = {0, 0, 0}, high[3] = {0, 0, 0};  // [low, high) per channel: red, green, blue
    uint64_t w = 0;
    uint64_t marginal[3][32] = {};
    double mean[3] = {0, 0, 0};
    double score = 0;
  };

  static int Cell(int r, int g, int b) { return (r << 10) | (g << 5) | b; }

  // Marginal histograms, count, optional shrinking to the occupied levels,
  // means and score of a box from the cell histogram.
  void Recount(TBox& box, bool shrink) const {
    std::memset(box.marginal, 0, sizeof box.marginal);
    box.w = 0;
    for (int r = box.low[0]; r < box.high[0]; ++r)
      for (int g = box.low[1]; g < box.high[1]; ++g)
        for (int b = box.low[2]; b < box.high[2]; ++b) {
          uint32_t count = hist_[Cell(r, g, b)];
          if (!count) continue;
          box.marginal[0][r] += count;
          box.marginal[1][g] += count;
          box.marginal[2][b] += count;
          box.w += count;
        }
    if (box.w == 0) return;
    if (shrink) {
      for (int c = 0; c < 3; ++c) {
        int lo = box.low[c], hi = box.high[c];
        while (lo < hi && box.marginal[c][lo] == 0) ++lo;
        while (hi > lo && box.marginal[c][hi - 1] == 0) --hi;
        box.low[c] = lo;
        box.high[c] = hi;
      }
    }
    double score = 0;
    const double w = static_cast<double>(box.w);
    for (int c = 0; c < 3; ++c) {
      double sum = 0, squares = 0;
      for (int l = box.low[c]; l < box.high[c]; ++l) {
        double count = static_cast<double>(box.marginal[c][l]);
        sum += l * count;
        squares += static_cast<double>(l) * l * count;
      }
      box.mean[c] = sum / w;
      score += squares - box.mean[c] * box.mean[c] * w;
    }
    box.score = score / totalPixels_;
  }

  // Tries a cut of `box` on channel `c`; fills the two parts and answers the
  // sum of their scores, or kFailedCut.
  double TryCut(const TBox& box, int c, TBox& lower, TBox& upper) const {
    const int low = box.low[c], high = box.high[c];
    if (high - low <= 1) return kFailedCut;
    const double mean = box.mean[c];
    const double w = static_cast<double>(box.w);
    const int first = RoundEven((low + mean) / 2), last = RoundEven((mean + high) / 2);
    uint64_t below = 0;
    for (int l = low; l < first; ++l) below += box.marginal[c][l];
    double count = static_cast<double>(below), moment = 0, bestValue = -1;
    int bestK = -1;
    for (int k = first; k <= last && k < high; ++k) {
      const double atK = static_cast<double>(box.marginal[c][k]);
      count += atK;
      if (count == w) break;
      moment += atK * k / w;
      const double value = count / (w - count) * (mean - moment) * (mean - moment);
      if (value > bestValue) {
        bestValue = value;
        bestK = k;
      }
    }
    if (bestK < 0) return kFailedCut;
    lower = box;
    upper = box;
    lower.high[c] = bestK + 1;
    upper.low[c] = bestK + 1;
    Recount(lower, true);
    Recount(upper, true);
    if (lower.w == 0 || upper.w == 0) return kFailedCut;
    return lower.score + upper.score;
  }

  void Split(size_t index) {
    TBox parts[3][2];
    double results[3];
    int chosen = -1;
    for (int c = 0; c < 3; ++c) {
      results[c] = TryCut(boxes_[index], c, parts[c][0], parts[c][1]);
      if (results[c] < kFailedCut && (chosen < 0 || results[c] < results[chosen])) chosen = c;
    }
    if (chosen < 0) {
      boxes_[index].score = 0;
      return;
    }
    boxes_[index] = parts[chosen][0];
    boxes_.push_back(parts[chosen][1]);
  }

  std::vector<uint32_t> hist_;           // 32 x 32 x 32 cells, red major
  std::array<uint8_t, 32768> cellBox_;   // box of each cell
  std::vector<TBox> boxes_;
  double totalPixels_ = 1;
};

// ---- NeuQuant ------------------------------------------------------------------
//
// NeuQuant neural-net colour quantization (Anthony Dekker, 1994) with its
// published constants; the network has n neurons instead of a fixed 256.

class TLmQuantizer::TNeuralNet {
 public:
  TNeuralNet(const TLmBitmap& image, int n, TLmRGBTriple* palette) : n_(n), network_(static_cast<size_t>(n)) {
    const int64_t pixels = static_cast<int64_t>(image.Width()) * image.Height();
    samplingFactor_ = NeuQuantSamplingFactor(pixels);
    Init();
    Learn(image, pixels);
    Unbias();
    for (int i = 0; i < n_; ++i)
      palette[i] = TLmRGBTriple::FromRGB(static_cast<uint8_t>(network_[i][2]), static_cast<uint8_t>(network_[i][1]),
                                         static_cast<uint8_t>(network_[i][0]));
    BuildIndex();
  }

  // Writers ask for every pixel and photos repeat their colours: answers are
  // remembered in a direct-mapped table keyed by the whole colour, so a hit
  // gives exactly what the search would.
  int Index(TLmRGBTriple c) const {
    const uint32_t key = c.ToColor() + 1;
    const size_t slot = (key * 2654435761u) >> (32 - kCacheBits);
    if (cacheKeys_[slot] == key) return cacheValues_[slot];
    const int index = Search(c);
    cacheKeys_[slot] = key;
    cacheValues_[slot] = static_cast<uint8_t>(index);
    return index;
  }

 private:
  static constexpr int kCacheBits = 16;

  // NeuQuant's search: neurons sorted by green, Manhattan distance.
  int Search(TLmRGBTriple c) const {
    const int b = c.b, g = c.g, r = c.r;
    int bestDistance = 1000, best = -1;
    // Walks outwards from the neuron nearest in green, both ways at once;
    // a direction ends once its green distance alone is no better.
    auto consider = [&](const auto& p, int greenDistance) {
      if (greenDistance >= bestDistance) return false;
      int dist = std::abs(greenDistance) + std::abs(p[0] - b);
      if (dist < bestDistance) {
        dist += std::abs(p[2] - r);
        if (dist < bestDistance) {
          bestDistance = dist;
          best = p[3];
        }
      }
      return true;
    };
    int i = netIndex_[g], j = i - 1;
    while (i < n_ || j >= 0) {
      if (i < n_) i = consider(network_[i], network_[i][1] - g) ? i + 1 : n_;
      if (j >= 0) j = consider(network_[j], g - network_[j][1]) ? j - 1 : -1;
    }
    return std::max(best, 0);
  }

  static constexpr int kCycles = 100;
  static constexpr int kNetBiasShift = 4;  // colour components kept with 4 extra bits
  static constexpr int kIntBiasShift = 16;
  static constexpr int kIntBias = 1 << kIntBiasShift;
  static constexpr int kGammaShift = 10;
  static constexpr int kBetaShift = 10;
  static constexpr int kBeta = kIntBias >> kBetaShift;
  static constexpr int kBetaGamma = kIntBias << (kGammaShift - kBetaShift);
  static constexpr int kRadiusBiasShift = 6;
  static constexpr int kRadiusBias = 1 << kRadiusBiasShift;
  static constexpr int kRadiusDec = 30;
  static constexpr int kAlphaBiasShift = 10;
  static constexpr int kInitAlpha = 1 << kAlphaBiasShift;
  static constexpr int kRadBiasShift = 8;
  static constexpr int kRadBias = 1 << kRadBiasShift;
  static constexpr int kAlphaRadBias = 1 << (kAlphaBiasShift + kRadBiasShift);
  static constexpr int kPrimes[4] = {499, 491, 487, 503};

  void Init() {
    freq_.assign(static_cast<size_t>(n_), kIntBias / n_);
    bias_.assign(static_cast<size_t>(n_), 0);
    for (int i = 0; i < n_; ++i) {
      int v = (i << (kNetBiasShift + 8)) / n_;
      network_[i] = {v, v, v, 0};
    }
  }

  int Contest(int b, int g, int r) {
    int bestDistance = 0x7FFFFFFF, bestBiasDistance = 0x7FFFFFFF, bestPos = 0, bestBiasPos = 0;
    for (int i = 0; i < n_; ++i) {
      const auto& p = network_[i];
      int dist = std::abs(p[0] - b) + std::abs(p[1] - g) + std::abs(p[2] - r);
      if (dist < bestDistance) {
        bestDistance = dist;
        bestPos = i;
      }
      int biasDist = dist - (bias_[i] >> (kIntBiasShift - kNetBiasShift));
      if (biasDist < bestBiasDistance) {
        bestBiasDistance = biasDist;
        bestBiasPos = i;
      }
      int betaFreq = freq_[i] >> kBetaShift;
      freq_[i] -= betaFreq;
      bias_[i] += betaFreq << kGammaShift;
    }
    freq_[bestPos] += kBeta;
    bias_[bestPos] -= kBetaGamma;
    return bestBiasPos;
  }

  void AlterSingle(int alpha, int i, int b, int g, int r) {
    auto& p = network_[i];
    p[0] -= alpha * (p[0] - b) / kInitAlpha;
    p[1] -= alpha * (p[1] - g) / kInitAlpha;
    p[2] -= alpha * (p[2] - r) / kInitAlpha;
  }

  void AlterNeighbours(int rad, int i, int b, int g, int r) {
    int lo = std::max(i - rad, -1), hi = std::min(i + rad, n_);
    int j = i + 1, k = i - 1, q = 0;
    while (j < hi || k > lo) {
      const int a = radPower_[static_cast<size_t>(++q)];
      if (j < hi) {
        auto& p = network_[j++];
        p[0] -= static_cast<int>(static_cast<int64_t>(a) * (p[0] - b) / kAlphaRadBias);
        p[1] -= static_cast<int>(static_cast<int64_t>(a) * (p[1] - g) / kAlphaRadBias);
        p[2] -= static_cast<int>(static_cast<int64_t>(a) * (p[2] - r) / kAlphaRadBias);
      }
      if (k > lo) {
        auto& p = network_[k--];
        p[0] -= static_cast<int>(static_cast<int64_t>(a) * (p[0] - b) / kAlphaRadBias);
        p[1] -= static_cast<int>(static_cast<int64_t>(a) * (p[1] - g) / kAlphaRadBias);
        p[2] -= static_cast<int>(static_cast<int64_t>(a) * (p[2] - r) / kAlphaRadBias);
      }
    }
  }

  void SetRadPower(int rad, int alpha) {
    radPower_.assign(static_cast<size_t>(std::max(rad, 1)) + 1, 0);
    for (int i = 0; i < rad; ++i)
      radPower_[static_cast<size_t>(i)] =
          static_cast<int>(static_cast<int64_t>(alpha) * (((rad * rad - i * i) * kRadBias) / (rad * rad)));
  }

  void Learn(const TLmBitmap& image, int64_t pixels) {
    const int width = image.Width();
    const int alphaDec = 30 + (samplingFactor_ - 1) / 3;
    const int64_t samplePixels = pixels / samplingFactor_;
    const int64_t delta = std::max<int64_t>(samplePixels / kCycles, 1);
    int alpha = kInitAlpha;
    int radius = (n_ >> 3) * kRadiusBias;
    int rad = radius >> kRadiusBiasShift;
    if (rad <= 1) rad = 0;
    SetRadPower(rad, alpha);

    int step = kPrimes[3];
    for (int i = 0; i < 3; ++i)
      if ((3 * pixels) % kPrimes[i] != 0) {
        step = kPrimes[i];
        break;
      }

    TColorRows rows(image);
    int64_t pos = 0;
    for (int64_t i = 0; i < samplePixels;) {
      const TLmRGBTriple c = rows.Row(static_cast<int>(pos / width))[pos % width];
      const int b = c.b << kNetBiasShift, g = c.g << kNetBiasShift, r = c.r << kNetBiasShift;
      const int j = Contest(b, g, r);
      AlterSingle(alpha, j, b, g, r);
      if (rad) AlterNeighbours(rad, j, b, g, r);
      // A small image may be shorter than the step: wrap as often as needed.
      pos = (pos + step) % pixels;
      ++i;
      if (i % delta == 0) {
        alpha -= alpha / alphaDec;
        radius -= radius / kRadiusDec;
        rad = radius >> kRadiusBiasShift;
        if (rad <= 1) rad = 0;
        SetRadPower(rad, alpha);
      }
    }
  }

  void Unbias() {
    for (int i = 0; i < n_; ++i) {
      for (int c = 0; c < 3; ++c)
        network_[i][c] = std::clamp((network_[i][c] + (1 << (kNetBiasShift - 1))) >> kNetBiasShift, 0, 255);
      network_[i][3] = i;
    }
  }

  // Sorts the neurons by green and records where each green level starts.
  void BuildIndex() {
    int previous = 0, start = 0;
    const int maxPos = n_ - 1;
    for (int i = 0; i < n_; ++i) {
      int smallPos = i, smallVal = network_[i][1];
      for (int j = i + 1; j < n_; ++j)
        if (network_[j][1] < smallVal) {
          smallPos = j;
          smallVal = network_[j][1];
        }
      if (i != smallPos) std::swap(network_[i], network_[smallPos]);
      if (smallVal != previous) {
        netIndex_[previous] = (start + i) >> 1;
        for (int j = previous + 1; j < smallVal; ++j) netIndex_[j] = i;
        previous = smallVal;
        start = i;
      }
    }
    netIndex_[previous] = (start + maxPos) >> 1;
    for (int j = previous + 1; j < 256; ++j) netIndex_[j] = maxPos;
  }

  int n_;
  int samplingFactor_ = 1;
  std::vector<std::array<int, 4>> network_;  // blue, green, red, original index
  std::vector<int> freq_, bias_, radPower_;
  std::array<int, 256> netIndex_{};
  mutable std::vector<uint32_t> cacheKeys_ = std::vector<uint32_t>(size_t{1} << kCacheBits, 0);  // colour + 1
  mutable std::vector<uint8_t> cacheValues_ = std::vector<uint8_t>(size_t{1} << kCacheBits, 0);
};

// ---- TLmQuantizer ------------------------------------------------------------

TLmQuantizer::TLmQuantizer(const TLmBitmap& image, int colorCount, TLmRGBTriple* palette) try
    : n_(std::clamp(colorCount, 2, 256)) {
  const TLmPixelFormat format = image.PixelFormat();
  gray_ = ImageIsGray(image);
  if (format == pf8p) {
    method_ = TLmQuantizeMethod::ImagePalette;
    filled_ = std::min(n_, image.PaletteLength());
    imagePalette_.assign(image.Palette(), image.Palette() + image.PaletteLength());
    std::copy_n(imagePalette_.begin(), filled_, palette);
    return;
  }
  if (gray_ || image.IsEmpty()) {
    method_ = TLmQuantizeMethod::GrayRamp;
    gray_ = true;
    for (int i = 0; i < n_; ++i) {
      auto level = static_cast<uint8_t>(256 * i / n_);
      palette[i] = TLmRGBTriple::FromRGB(level, level, level);
    }
    filled_ = n_;
    return;
  }
  if (!IsColorImageFormat(format)) return;

  // At most n distinct colours: keep them in the order first met.
  exactKeys_.assign(kExactSlots, 0);
  exactSlotIndex_.assign(kExactSlots, 0);
  bool fits = true;
  TColorRows rows(image);
  for (int y = 0; y < image.Height() && fits; ++y) {
    const TLmRGBTriple* p = rows.Row(y);
    for (int x = 0; x < image.Width(); ++x) {
      const uint32_t key = ColorKey(p[x]);
      const size_t slot = ExactSlot(exactKeys_, key);
      if (exactKeys_[slot] == key) continue;
      if (static_cast<int>(exact_.size()) == n_) {
        fits = false;
        break;
      }
      exactKeys_[slot] = key;
      exactSlotIndex_[slot] = static_cast<uint8_t>(exact_.size());
      exact_.push_back(p[x]);
    }
  }
  if (fits) {
    method_ = TLmQuantizeMethod::ExactColors;
    std::copy(exact_.begin(), exact_.end(), palette);
    filled_ = static_cast<int>(exact_.size());
    return;
  }
  exact_.clear();
  exactKeys_.clear();
  exactSlotIndex_.clear();
  if (n_ < 128) {
    method_ = TLmQuantizeMethod::BoxSplitting;
    boxes_ = std::make_unique<TBoxSplitter>(image, n_, palette);
    filled_ = boxes_->Count();
  } else {
    method_ = TLmQuantizeMethod::NeuralNet;
    net_ = std::make_unique<TNeuralNet>(image, n_, palette);
    filled_ = n_;
  }
} catch (const std::bad_alloc&) {
  throw ELmOutOfMemory("Not enough memory to reduce the colours of the image");
}

TLmQuantizer::~TLmQuantizer() = default;

int TLmQuantizer::Index(TLmRGBTriple color) const {
  if (method_ == TLmQuantizeMethod::ExactColors) {
    const uint32_t key = ColorKey(color);
    const size_t slot = ExactSlot(exactKeys_, key);
    return exactKeys_[slot] == key ? exactSlotIndex_[slot] : -1;
  }
  if (gray_) return RGBToGray(color) * n_ / 256;
  if (boxes_) return boxes_->Index(color);
  if (net_) return net_->Index(color);
  if (method_ == TLmQuantizeMethod::ImagePalette) {
    for (size_t i = 0; i < imagePalette_.size(); ++i)
      if (imagePalette_[i] == color) return static_cast<int>(i);
    return NearestPaletteEntry(color, imagePalette_.data(), static_cast<int>(imagePalette_.size()));
  }
  return 0;
}

// ---- TwoColorToBilevel -----------------------------------------------------------

namespace {
// round((R*21 + G*71 + B*8) / 100), ties to even.
int BilevelLevel(TLmRGBTriple c) {
  const int v = c.r * 21 + c.g * 71 + c.b * 8;
  int q = v / 100;
  const int rest = v % 100;
  if (rest > 50 || (rest == 50 && (q & 1))) ++q;
  return q;
}
}  // namespace

std::unique_ptr<TLmBitmap> TwoColorToBilevel(const TLmBitmap& image, TLmRGBTriple& first, TLmRGBTriple& second) try {
  if (image.IsEmpty()) return nullptr;
  const int w = image.Width(), h = image.Height();
  auto result = std::make_unique<TLmBitmap>();
  if (!result->Allocate(w, h, pf1g)) return nullptr;
  result->SetAccess(accWrite);
  TLmRGBTriple a, b;
  int colors = 0;
  TColorRows rows(image);
  for (int y = 0; y < h; ++y) {
    const TLmRGBTriple* p = rows.Row(y);
    uint8_t* d = result->ScanLine(y);
    std::memset(d, 0, result->RowLen());
    for (int x = 0; x < w; ++x) {
      const TLmRGBTriple c = p[x];
      if (colors == 0) {
        a = c;
        colors = 1;
      }
      if (c == a) continue;
      if (colors == 1) {
        b = c;
        colors = 2;
      } else if (!(c == b)) {
        colors = 3;  // the rest of this row does not matter any more
        break;
      }
      d[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
    }
    if (colors > 2) return nullptr;
  }
  if (colors != 2) return nullptr;
  result->SetAccess(accReadWrite);
  if (BilevelLevel(b) < BilevelLevel(a)) {
    std::swap(a, b);
    const size_t bytes = (static_cast<size_t>(w) + 7) / 8;
    for (int y = 0; y < h; ++y) {
      uint8_t* d = result->ScanLine(y);
      for (size_t i = 0; i < bytes; ++i) d[i] = static_cast<uint8_t>(~d[i]);
    }
    result->FlushRow();
  }
  first = a;
  second = b;
  return result;
} catch (const std::bad_alloc&) {
  return nullptr;
} catch (const ELmIOError&) {
  return nullptr;  // a temporary-file error on the way
}

}  // namespace lumora
