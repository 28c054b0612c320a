#include "imageio/registry.h"

#include <vector>

#include "imageio/formats.h"
#include "imageio/osfile.h"
#include "imageio/textutil.h"

namespace lumora {

namespace {

std::unique_ptr<TLmFileFormatInfo> MakeBuiltIn(const TFormatDescriptor& f) {
  auto entry = std::make_unique<TLmFileFormatInfo>();
  entry->FileTypeId = f.FileType;
  entry->DisplayName = f.DisplayName;
  entry->ExtensionList = f.Extensions;
  entry->BuiltIn = true;
  entry->ParamsPages = f.ParamsPages;
  entry->Reader = f.Read;
  entry->Writer = f.Write;
  return entry;
}

using TRegistry = std::vector<std::unique_ptr<TLmFileFormatInfo>>;

// Built on first use (thread-safe static initialisation), freed at exit.
TRegistry& Registry() {
  static TRegistry registry = [] {
    TRegistry r;
    for (const TFormatDescriptor& f : BuiltInFormats())
      if (f.FileType != ftHDP || HdPhotoCodecAvailable()) r.push_back(MakeBuiltIn(f));
    return r;
  }();
  return registry;
}

}  // namespace

void RegisterFileFormat(std::unique_ptr<TLmFileFormatInfo> entry) {
  if (entry) Registry().push_back(std::move(entry));
}

void UnregisterFileFormat(TFileTypeId fileType) {
  auto& r = Registry();
  for (auto it = r.begin(); it != r.end(); ++it) {
    if ((*it)->FileTypeId == fileType) {
      r.erase(it);
      return;
    }
  }
}

const TLmFileFormatInfo* FindFormatByType(TFileTypeId fileType) {
  for (const auto& e : Registry())
    if (e->FileTypeId == fileType) return e.get();
  return nullptr;
}

const TLmFileFormatInfo* FindFormatByExtension(std::string_view extension) {
  std::string wanted = AsciiLower(extension);
  if (!wanted.empty() && wanted.front() == '.') wanted.erase(0, 1);
  if (wanted.empty()) return nullptr;
  for (const auto& e : Registry()) {
    for (int i = 0;; ++i) {
      std::string_view ext = ListItem(e->ExtensionList, i);
      if (ext.empty()) break;
      if (AsciiLower(ext) == wanted) return e.get();
    }
  }
  return nullptr;
}

std::string FormatExtension(TFileTypeId fileType, int index) {
  const TLmFileFormatInfo* e = FindFormatByType(fileType);
  if (!e || index < 0) return {};
  return std::string(ListItem(e->ExtensionList, index));
}

int FormatExtensionCount(TFileTypeId fileType) {
  int n = 0;
  while (!FormatExtension(fileType, n).empty()) ++n;
  return n;
}

std::string ExtractExtension(std::string_view utf8Name, bool withDot) {
  size_t dot = utf8Name.find_last_of(".\\/:");
  if (dot == std::string_view::npos || utf8Name[dot] != '.') return {};
  return AsciiLower(utf8Name.substr(withDot ? dot : dot + 1));
}

std::string ExtractExtension(const std::filesystem::path& name, bool withDot) {
  return ExtractExtension(std::string_view(PathToUtf8(name)), withDot);
}

bool IsReadableExtension(const std::filesystem::path& name) {
  const TLmFileFormatInfo* e = FindFormatByExtension(ExtractExtension(name, true));
  return e && e->Reader;
}

int FormatCount() { return static_cast<int>(Registry().size()); }

const TLmFileFormatInfo* FormatAt(int index) {
  auto& r = Registry();
  return index >= 0 && index < static_cast<int>(r.size()) ? r[index].get() : nullptr;
}

void SetBuiltInFormatSlots(TFileTypeId fileType, bool readable, bool writable) {
  const TFormatDescriptor* format = FindBuiltInFormat(fileType);
  if (!format) return;
  for (auto& e : Registry()) {
    if (e->FileTypeId == fileType && e->BuiltIn) {
      e->Reader = readable ? format->Read : nullptr;
      e->Writer = writable ? format->Write : nullptr;
      return;
    }
  }
}

}  // namespace lumora
