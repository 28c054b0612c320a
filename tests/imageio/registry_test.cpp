#include "imageio/registry.h"

#include <gtest/gtest.h>

namespace lumora {
namespace {

TEST(Registry, ReadableExtensions) {
  struct Case {
    const char* name;
    bool readable;
  };
  const Case cases[] = {
      {"photo.JPG", true},           {"C:\\dir.d\\file", false},   {"/home/x.d/file", false},
      {"archive.tar.gz", false},     {"x.eps", false},             {"x.ps", false},
      {"x.pdf", false},              {"x.cur", true},              {"a.TiFf", true},
      {"scan.dicom", true},          {"c:x.v2", true},             {"shot.sr2", true},
      {"noext", false},              {"trailing.", false},         {"x.avi", false},
      {"x.hdp", HdPhotoCodecAvailable()},
  };
  for (const auto& c : cases) EXPECT_EQ(IsReadableExtension(c.name), c.readable) << c.name;
}

TEST(Registry, ExtractExtension) {
  EXPECT_EQ(ExtractExtension(std::string_view("C:\\A.B\\Photo.JPEG"), true), ".jpeg");
  EXPECT_EQ(ExtractExtension(std::string_view("C:\\A.B\\Photo.JPEG"), false), "jpeg");
  EXPECT_EQ(ExtractExtension(std::string_view("C:\\dir.d\\file"), true), "");
  EXPECT_EQ(ExtractExtension(std::string_view("d:.bmp"), true), ".bmp");
}

TEST(Registry, BuiltInTableOrderAndSlots) {
  const int builtIn = HdPhotoCodecAvailable() ? 26 : 25;
  ASSERT_GE(FormatCount(), builtIn);
  EXPECT_EQ(FormatAt(0)->FileTypeId, ftTIFF);
  EXPECT_EQ(FormatAt(5)->FileTypeId, ftRawBitmap);
  EXPECT_EQ(FormatAt(24)->FileTypeId, ftALL);
  EXPECT_EQ(FindFormatByType(ftAVI), nullptr);
  EXPECT_EQ(FindFormatByType(ftHDP) != nullptr, HdPhotoCodecAvailable());

  const TLmFileFormatInfo* cur = FindFormatByType(ftCUR);
  ASSERT_NE(cur, nullptr);
  EXPECT_TRUE(cur->Reader && !cur->Writer && cur->BuiltIn && cur->Probe);
  const TLmFileFormatInfo* pdf = FindFormatByExtension(".PDF");
  ASSERT_NE(pdf, nullptr);
  EXPECT_EQ(pdf->FileTypeId, ftPDF);
  EXPECT_TRUE(!pdf->Reader && pdf->Writer);
  EXPECT_EQ(FindFormatByType(ftBMP)->ParamsPages, ppBMP);
  EXPECT_EQ(FindFormatByType(ftBMP)->DisplayName, "Windows Bitmap");
  EXPECT_EQ(FindFormatByExtension(""), nullptr);
  EXPECT_EQ(FindFormatByExtension("."), nullptr);
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
