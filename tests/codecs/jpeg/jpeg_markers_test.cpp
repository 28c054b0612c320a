// The byte-level layer of the JPEG codec: marker list order, ICC chunks,
// IPTC and XMP blocks, the start and length scans, library message texts.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codecs/jpeg/jpeg_error.h"
#include "codecs/jpeg/jpeg_markers.h"

namespace lumora {
namespace {

std::vector<uint8_t> Bytes(const std::string& text) { return {text.begin(), text.end()}; }

std::vector<uint8_t> IccChunk(uint8_t sequence, uint8_t count, const std::string& payload) {
  std::vector<uint8_t> data = Bytes(std::string("ICC_PROFILE") + '\0');
  data.push_back(sequence);
  data.push_back(count);
  data.insert(data.end(), payload.begin(), payload.end());
  return data;
}

TEST(JpegSignature, FoundOnlyWithinTheFirst150Positions) {
  for (size_t junk : {0u, 1u, 100u, 149u, 150u, 200u}) {
    std::vector<uint8_t> head(junk, 0x11);
    head.insert(head.end(), {0xFF, 0xD8, 0xFF, 0xE0});
    EXPECT_EQ(FindJpegSignature(head), junk < 150 ? static_cast<int64_t>(junk) : -1) << junk;
  }
  // 0xFF 0xD8 alone is not enough: the third byte starts the first marker.
  EXPECT_EQ(FindJpegSignature(std::vector<uint8_t>{0xFF, 0xD8, 0x00, 0xFF, 0xD8, 0xFF}), 3);
}

TEST(JpegLengthScanner, WalksSegmentsToTheEndOfImage) {
  const std::vector<uint8_t> stream = {
      0xFF, 0xD8,                                // SOI: passed over
      0xFF, 0xE1, 0x00, 0x06, 0xFF, 0xD9, 0, 0,  // APP1 whose data holds FF D9: skipped
      0xFF, 0xDA, 0x00, 0x02,                    // SOS header
      0x12, 0xFF, 0x00, 0xFF, 0xD3, 0x34,        // entropy data, stuffed byte, restart marker
      0xFF, 0xFF, 0xD9,                          // fill byte before EOI
      0xAA, 0xBB};                               // after the image
  TJpegLengthScanner whole;
  EXPECT_EQ(whole.Feed(stream), stream.size() - 2);
  EXPECT_TRUE(whole.Finished());
  EXPECT_EQ(whole.Consumed(), stream.size() - 2);

  TJpegLengthScanner pieces;
  for (size_t i = 0; i < stream.size() && !pieces.Finished(); ++i) pieces.Feed({&stream[i], 1});
  EXPECT_EQ(pieces.Consumed(), stream.size() - 2);

  TJpegLengthScanner truncated;
  truncated.Feed({stream.data(), 8});
  EXPECT_FALSE(truncated.Finished());
  EXPECT_EQ(truncated.Consumed(), 8u);
}

TEST(JpegMarkerList, RefusesDataThatNoSegmentCanHold) {
  TLmMarkerList list;
  EXPECT_EQ(list.Add(kJpegMarkerCom, std::vector<uint8_t>(kJpegMaxMarkerData, 'x')), 0);
  EXPECT_EQ(list.Add(kJpegMarkerCom, std::vector<uint8_t>(kJpegMaxMarkerData + 1, 'x')), -1);
  EXPECT_FALSE(list.Replace(0, kJpegMarkerCom, std::vector<uint8_t>(kJpegMaxMarkerData + 1, 'x')));
  EXPECT_EQ(list.Count(), 1);
  EXPECT_EQ(list.IndexOf(kJpegMarkerApp1), -1);
}

TEST(JpegMarkerList, SortForWritingOrdersTypesIccChunksAndExif) {
  TLmMarkerList list;
  const auto xmp = BuildXmpApp1("<x/>");
  const auto exif = Bytes(std::string("Exif\0\0MM", 8));
  list.Add(kJpegMarkerCom, Bytes("comment"));
  list.Add(kJpegMarkerApp2, IccChunk(2, 2, "second"));
  list.Add(kJpegMarkerApp1, xmp);
  list.Add(kJpegMarkerApp2, Bytes("other app2"));
  list.Add(kJpegMarkerApp13, Bytes("Photoshop 3.0"));
  list.Add(kJpegMarkerApp2, IccChunk(1, 2, "first"));
  list.Add(kJpegMarkerApp1, exif);
  list.SortForWriting();

  ASSERT_EQ(list.Count(), 7);
  const std::vector<uint8_t> types = {0xE1, 0xE1, 0xE2, 0xE2, 0xE2, 0xED, 0xFE};
  for (int i = 0; i < list.Count(); ++i) EXPECT_EQ(list.MarkerType(i), types[i]) << i;
  EXPECT_TRUE(IsExifMarker(list.MarkerType(0), list.MarkerData(0)));
  EXPECT_TRUE(IsXmpMarker(list.MarkerType(1), list.MarkerData(1)));
  // The chunks swap places; the foreign APP2 segment keeps its slot.
  EXPECT_EQ(list.MarkerData(2)[12], 1);
  EXPECT_EQ(std::string(list.MarkerData(3).begin(), list.MarkerData(3).end()), "other app2");
  EXPECT_EQ(list.MarkerData(4)[12], 2);
}

TEST(JpegIcc, JoinsChunksInSequenceOrder) {
  TLmMarkerList list;
  list.Add(kJpegMarkerApp2, IccChunk(2, 3, "BB"));
  list.Add(kJpegMarkerApp1, Bytes("unrelated"));
  list.Add(kJpegMarkerApp2, IccChunk(3, 3, "C"));
  list.Add(kJpegMarkerApp2, IccChunk(1, 3, "AAA"));
  auto profile = CollectIccProfile(list);
  ASSERT_TRUE(profile);
  EXPECT_EQ(std::string(profile->begin(), profile->end()), "AAABBC");

  TLmMarkerList gap;
  gap.Add(kJpegMarkerApp2, IccChunk(1, 3, "A"));
  gap.Add(kJpegMarkerApp2, IccChunk(3, 3, "C"));
  EXPECT_FALSE(CollectIccProfile(gap));
  EXPECT_FALSE(CollectIccProfile(TLmMarkerList()));
}

TEST(JpegIptc, PhotoshopBlockRoundTrip) {
  std::vector<TIptcRecord> records = {
      {2, 0, {0, 2}},                                   // record version: not written
      {2, 5, Bytes("Title")},                           // object name
      {2, 25, {}},                                      // empty: not written
      {2, 120, std::vector<uint8_t>(0x8000, 'c')},      // needs the extended length
      {2, 25, Bytes("keyword")}};
  const auto block = BuildIptcApp13(records);
  EXPECT_EQ(block.size() % 2, 0u);
  EXPECT_TRUE(JpegMarkerHasId(block, "Photoshop 3.0"));

  std::vector<TIptcRecord> parsed;
  ASSERT_TRUE(ParseIptcApp13(block, parsed));
  ASSERT_EQ(parsed.size(), 3u);
  EXPECT_EQ(parsed[0].Dataset, 5);
  EXPECT_EQ(parsed[0].Data, Bytes("Title"));
  EXPECT_EQ(parsed[1].Data.size(), 0x8000u);
  EXPECT_EQ(parsed[2].Data, Bytes("keyword"));
}

TEST(JpegIptc, BareRecordsAndDamagedData) {
  // Without the Photoshop header the records start at the first 0x1C; a run
  // of 0x1C bytes starts at its last one.
  std::vector<uint8_t> bare = {0x00, 0x1C, 0x1C, 0x02, 0x05, 0x00, 0x02, 'H', 'i',
                               0x1C, 0x02, 0x19, 0x00, 0x09, 'c', 'u', 't'};
  std::vector<TIptcRecord> parsed;
  EXPECT_TRUE(ParseIptcApp13(bare, parsed));
  ASSERT_EQ(parsed.size(), 1u);  // the second record claims 9 bytes but has 3
  EXPECT_EQ(parsed[0].Data, Bytes("Hi"));

  std::vector<TIptcRecord> none;
  auto noIptc = Bytes(std::string("Photoshop 3.0\0008BIM\x03\xED\0\0\0\0\0\x10\x1C\x02\x05\0\x01x", 32));
  EXPECT_FALSE(ParseIptcApp13(noIptc, none));
  EXPECT_FALSE(ParseIptcApp13({}, none));
  EXPECT_TRUE(none.empty());
}

TEST(JpegIptc, PatchesTheResolutionResource) {
  auto block = Bytes(std::string("Photoshop 3.0\0" "8BIM\x03\xED\0\0\0\0\0\x10", 26));
  block.resize(block.size() + 16, 0xEE);
  ASSERT_TRUE(PatchApp13Resolution(block, 300, 72));
  const uint8_t* info = block.data() + 26;
  const std::vector<uint8_t> expected = {0x01, 0x2C, 0, 0, 0, 1, 0, 1, 0x00, 0x48, 0, 0, 0, 1, 0, 1};
  EXPECT_EQ(std::vector<uint8_t>(info, info + 16), expected);

  auto shortBlock = Bytes(std::string("8BIM\x03\xED\0\0\0\0\0\x10", 12));
  shortBlock.resize(shortBlock.size() + 15);  // announces 16 bytes, holds 15
  EXPECT_FALSE(PatchApp13Resolution(shortBlock, 300, 300));
}

TEST(JpegXmp, PacketRoundTripAndRecognition) {
  const std::string packet = "<x:xmpmeta xmlns:x='adobe:ns:meta/'/>";
  const auto segment = BuildXmpApp1(packet);
  EXPECT_EQ(segment.size(), 29 + packet.size());
  EXPECT_EQ(ExtractXmpPacket(kJpegMarkerApp1, segment), packet);
  EXPECT_FALSE(ExtractXmpPacket(kJpegMarkerApp2, segment));
  EXPECT_FALSE(ExtractXmpPacket(kJpegMarkerApp1, BuildXmpApp1("")));  // 29 bytes: too short
  EXPECT_FALSE(IsXmpMarker(kJpegMarkerApp1, Bytes(std::string("Exif\0\0", 6))));
}

TEST(JpegMessages, LibraryTextWithPlaceholdersReplaced) {
  EXPECT_EQ(JpegMessageText(JERR_BAD_LENGTH), "Bogus marker length");
  EXPECT_EQ(JpegMessageText(JERR_BAD_PRECISION), "Unsupported JPEG data precision ?");
  EXPECT_EQ(JpegMessageText(JERR_NO_SOI), "Not a JPEG file: starts with 0x? 0x?");
  EXPECT_EQ(JpegMessageText(JERR_TFILE_CREATE, "x.tmp"), "Failed to create temporary file x.tmp");
  EXPECT_EQ(JpegMessageText(-1), "Corrupted");
  EXPECT_EQ(JpegMessageText(100000), "Corrupted");
}

}  // namespace
}  // namespace lumora
