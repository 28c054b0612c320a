#include "imageio/codec_list.h"

namespace lumora {

const TCodecEntry* FindCodec(TFileTypeId fileType) {
  for (const TCodecEntry& entry : kCodecTable)
    if (entry.FileType == fileType) return &entry;
  return nullptr;
}

}  // namespace lumora
