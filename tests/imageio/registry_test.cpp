#include "imageio/registry.h"

#include <gtest/gtest.h>

#include "imageio/textutil.h"

namespace lumora {
namespace {

// A built-in format is claimed (readable by extension) exactly when its
// codec is built; names without a readable extension never are.
TEST(Registry, ReadableExtensions) {
  struct Case {
    const char* name;
    TFileTypeId type;  // ftUnknown: never readable
  };
  const Case cases[] = {
      {"photo.JPG", ftJPEG},        {"C:\\dir.d\\file", ftUnknown}, {"/home/x.d/file", ftUnknown},
      {"archive.tar.gz", ftUnknown}, {"x.eps", ftPS},                {"x.pdf", ftPDF},
      {"x.cur", ftCUR},             {"a.TiFf", ftTIFF},             {"scan.dicom", ftDICOM},
      {"c:x.v2", ftDICOM},          {"shot.sr2", ftRAW},            {"noext", ftUnknown},
      {"trailing.", ftUnknown},     {"x.avi", ftUnknown},           {"x.hdp", ftHDP},
      {"x.tga", ftTGA},             {"y.Gif", ftGIF},               {"z.png", ftPNG},
  };
  for (const auto& c : cases) {
    const TFormatDescriptor* format = FindBuiltInFormat(c.type);
    const bool built = format && format->Read && (c.type != ftHDP || HdPhotoCodecAvailable());
    EXPECT_EQ(IsReadableExtension(c.name), built) << c.name;
  }
  for (const char* name : {"photo.JPG", "y.Gif", "z.png", "a.bmp"}) EXPECT_TRUE(IsReadableExtension(name)) << name;
}

TEST(Registry, ExtractExtension) {
  EXPECT_EQ(ExtractExtension(std::string_view("C:\\A.B\\Photo.JPEG"), true), ".jpeg");
  EXPECT_EQ(ExtractExtension(std::string_view("C:\\A.B\\Photo.JPEG"), false), "jpeg");
  EXPECT_EQ(ExtractExtension(std::string_view("C:\\dir.d\\file"), true), "");
  EXPECT_EQ(ExtractExtension(std::string_view("d:.bmp"), true), ".bmp");
}

TEST(Registry, BuiltInTableOrder) {
  const int builtIn = HdPhotoCodecAvailable() ? 26 : 25;
  ASSERT_GE(FormatCount(), builtIn);
  EXPECT_EQ(FormatAt(0)->FileTypeId, ftTIFF);
  EXPECT_EQ(FormatAt(5)->FileTypeId, ftRawBitmap);
  EXPECT_EQ(FormatAt(24)->FileTypeId, ftALL);
  EXPECT_EQ(FindFormatByType(ftAVI), nullptr);
  EXPECT_EQ(FindFormatByType(ftHDP) != nullptr, HdPhotoCodecAvailable());
  EXPECT_EQ(FindFormatByExtension(".PDF")->FileTypeId, ftPDF);
  EXPECT_EQ(FindFormatByType(ftBMP)->ParamsPages, ppBMP);
  EXPECT_EQ(FindFormatByType(ftBMP)->DisplayName, "Windows Bitmap");
  EXPECT_EQ(FindFormatByExtension(""), nullptr);
  EXPECT_EQ(FindFormatByExtension("."), nullptr);
}

// The registry's slots follow the format table: readable exactly when a
// reader is built, writable exactly when a writer is, and every extension a
// writer takes leads back to that writer's own format.
TEST(Registry, SlotsFollowTheFormatTable) {
  for (const TFormatDescriptor& format : BuiltInFormats()) {
    const TLmFileFormatInfo* entry = FindFormatByType(format.FileType);
    if (format.FileType == ftHDP && !HdPhotoCodecAvailable()) {
      EXPECT_EQ(entry, nullptr);
      continue;
    }
    ASSERT_NE(entry, nullptr) << format.DisplayName;
    EXPECT_TRUE(entry->BuiltIn);
    EXPECT_EQ(entry->Reader != nullptr, format.Read != nullptr) << format.DisplayName;
    EXPECT_EQ(entry->Writer != nullptr, format.Write != nullptr) << format.DisplayName;
    // A writer is reached by extension unless the format has none at all.
    const bool reachedByExtension = *format.Extensions != 0 && format.Write != nullptr;
    EXPECT_EQ(*format.SaveExtensions != 0, reachedByExtension) << format.DisplayName;
    for (int i = 0; !ListItem(format.SaveExtensions, i).empty(); ++i) {
      const std::string extension(ListItem(format.SaveExtensions, i));
      const TFormatDescriptor* writer = FindBuiltInWriter(extension);
      ASSERT_NE(writer, nullptr) << extension;
      EXPECT_EQ(writer->FileType, format.FileType) << extension;
    }
  }
}

TEST(Registry, SlotsCanBeSwitchedOffAndBackOn) {
  SetBuiltInFormatSlots(ftGIF, false, true);
  EXPECT_FALSE(IsReadableExtension("a.gif"));
  EXPECT_NE(FindFormatByType(ftGIF)->Writer, nullptr);
  SetBuiltInFormatSlots(ftGIF, true, true);
  EXPECT_TRUE(IsReadableExtension("a.gif"));
  // A format whose codec is not built stays unclaimed.
  ASSERT_EQ(FindBuiltInFormat(ftPSD)->Read, nullptr);
  SetBuiltInFormatSlots(ftPSD, true, true);
  EXPECT_FALSE(IsReadableExtension("a.psd"));
}

TEST(Registry, FormatExtensions) {
  EXPECT_EQ(FormatExtension(ftTIFF, 0), "TIF");
  EXPECT_EQ(FormatExtension(ftTIFF, 5), "XIF");
  EXPECT_EQ(FormatExtension(ftTIFF, 6), "");
  EXPECT_EQ(FormatExtensionCount(ftRAW), 13);
  EXPECT_EQ(FormatExtensionCount(ftRawBitmap), 0);
  EXPECT_EQ(FormatExtension(12345, 0), "");
}

TEST(Registry, ExternalFormatRegistrationAndRemoval) {
  constexpr TFileTypeId kId = 1000;
  auto entry = std::make_unique<TLmFileFormatInfo>();
  entry->FileTypeId = kId;
  entry->DisplayName = "Test";
  entry->ExtensionList = "XYZ;BMP";
  entry->Reader = [](TLmStream&, TLmBitmap&, TIOParamsVals&, bool, TIOProgress&) {};
  RegisterFileFormat(std::move(entry));
  EXPECT_TRUE(IsReadableExtension("a.xyz"));
  // The built-in entry registered first keeps winning for a shared extension.
  EXPECT_EQ(FindFormatByExtension("bmp")->FileTypeId, ftBMP);
  UnregisterFileFormat(kId);
  EXPECT_FALSE(IsReadableExtension("a.xyz"));
  UnregisterFileFormat(kId);  // nothing left: no effect
  EXPECT_EQ(FindFormatByType(kId), nullptr);
}

}  // namespace
}  // namespace lumora
