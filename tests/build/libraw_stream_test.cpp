// The codecs include LibRaw's data-stream header on its own, before (or
// without) libraw.h. Its classes change shape with macros that libraw.h
// would otherwise set: here the library builds the objects and this side
// calls them, so the two must agree.
#include <libraw/libraw_datastream.h>

#include <cstdio>

#include <gtest/gtest.h>

namespace {

TEST(Libraries, LibRawDataStreamsAgreeWithTheLibrary) {
  char bytes[] = "0123456789";
  LibRaw_buffer_datastream buffer(bytes, sizeof bytes - 1);
  EXPECT_TRUE(buffer.valid());
  EXPECT_EQ(buffer.size(), 10);
  EXPECT_EQ(buffer.get_char(), '0');
  EXPECT_EQ(buffer.seek(5, SEEK_SET), 0);
  EXPECT_EQ(buffer.tell(), 5);
  char rest[5] = {};
  EXPECT_EQ(buffer.read(rest, 1, sizeof rest), 5);
  EXPECT_EQ(rest[4], '9');

#ifdef _WIN32
  // Wide file names: only there when the library and this side agree.
  LibRaw_file_datastream file(L"no-such-file.raw");
  EXPECT_FALSE(file.valid());
  EXPECT_STREQ(file.wfname(), L"no-such-file.raw");
#endif
}

}  // namespace
