// DCX: a magic number, a directory of page offsets ended by 0 (at most
// 1024), then whole PCX images.
#include <algorithm>
#include <vector>

#include "codecs/pcx/pcx.h"
#include "codecs/pcx/pcx_format.h"
#include "imageio/byteorder.h"
#include "imageio/ioparams.h"
#include "imageio/progress.h"
#include "imageio/stream.h"

namespace lumora {

namespace {

using namespace pcx;

// Page offsets (from `start`) of the directory at the stream's position;
// false when the stream is no DCX or an offset lies outside it.
bool ReadDirectory(TLmStream& stream, int64_t start, std::vector<uint32_t>& pages) {
  pages.clear();
  const int64_t size = stream.Size() - start;
  stream.SetPosition(start);
  uint8_t word[4];
  if (!stream.ReadExact(word, 4) || ReadLE32(word) != kDcxMagic) return false;
  for (int i = 0; i < kDcxMaxPages; ++i) {
    if (!stream.ReadExact(word, 4)) return false;
    const uint32_t offset = ReadLE32(word);
    if (offset == 0) break;
    if (offset >= size) return false;
    pages.push_back(offset);
  }
  return true;
}

// A page runs to the nearest page offset above its own, or to the end.
int64_t PageSize(const std::vector<uint32_t>& pages, size_t index, int64_t size) {
  int64_t end = size;
  for (uint32_t offset : pages)
    if (offset > pages[index]) end = std::min<int64_t>(end, offset);
  return end - pages[index];
}

}  // namespace

int CountDcx(TLmStream& stream) {
  TStreamPositionGuard keep(stream);
  std::vector<uint32_t> pages;
  return ReadDirectory(stream, keep.Start(), pages) ? static_cast<int>(pages.size()) : 0;
}

void ReadDcx(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, bool paramsOnly, TIOProgress& progress) {
  const int64_t start = stream.Position();
  std::vector<uint32_t> pages;
  if (!ReadDirectory(stream, start, pages)) {
    progress.Fail(TIOFailureKind::InvalidData, "DCX directory broken");
    return;
  }
  if (pages.empty()) {
    progress.Fail(TIOFailureKind::InvalidData, "DCX without pages");
    return;
  }
  const int index = std::clamp(params.DcxImageIndex, 0, static_cast<int>(pages.size()) - 1);
  params.SetImageIndex(index);
  stream.SetPosition(start + pages[index]);
  PcxRead(stream, bitmap, params, paramsOnly, progress, PageSize(pages, index, stream.Size() - start));
}

void WriteDcx(TLmStream& stream, TLmBitmap& bitmap, TIOParamsVals& params, TIOProgress& progress) {
  std::vector<std::vector<uint8_t>> pages;
  const int64_t size = stream.Size();
  if (size > 0) {
    std::vector<uint32_t> offsets;
    if (!ReadDirectory(stream, 0, offsets)) {
      progress.Fail(TIOFailureKind::InvalidData, "the target is no DCX file");
      return;
    }
    for (size_t i = 0; i < offsets.size(); ++i) {
      std::vector<uint8_t> page(static_cast<size_t>(PageSize(offsets, i, size)));
      stream.SetPosition(offsets[i]);
      if (!stream.ReadExact(page.data(), page.size())) {
        progress.Fail(TIOFailureKind::IOError, "DCX page unreadable");
        return;
      }
      pages.push_back(std::move(page));
    }
  }
  if (pages.size() >= static_cast<size_t>(kDcxMaxPages)) {
    progress.Fail(TIOFailureKind::Unsupported, "DCX directory full");
    return;
  }

  TLmMemoryStream page;
  PcxWrite(page, bitmap, params, progress);
  if (progress.Aborting()) return;
  // An index past the last page appends (a new file gets its page whatever
  // the index).
  const size_t at = static_cast<size_t>(std::clamp<int64_t>(params.DcxImageIndex, 0, static_cast<int64_t>(pages.size())));
  pages.insert(pages.begin() + static_cast<std::ptrdiff_t>(at), page.Data());

  std::vector<uint8_t> out(4 * (pages.size() + 2), 0);
  WriteLE32(out.data(), kDcxMagic);
  for (size_t i = 0; i < pages.size(); ++i) {
    if (out.size() > UINT32_MAX) {
      progress.Fail(TIOFailureKind::OverLimit, "DCX file over 4 GB");
      return;
    }
    WriteLE32(out.data() + 4 * (i + 1), static_cast<uint32_t>(out.size()));
    out.insert(out.end(), pages[i].begin(), pages[i].end());
  }
  stream.SetSize(0);
  stream.SetPosition(0);
  if (!stream.WriteExact(out.data(), out.size())) progress.Fail(TIOFailureKind::IOError, "short write");
}

}  // namespace lumora
