// Each third-party library is linked the way the codecs use it and does real
// work once: a wrong header/library pair, a missing static-use define, SIMD
// objects in the wrong format or a broken thread runtime all fail here before
// they show up as a puzzling codec failure.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <lcms2.h>
#include <libraw/libraw.h>
#include <openjpeg.h>
#include <png.h>
#include <zlib.h>
// jpeglib.h needs size_t and FILE declared first.
#include <cstdio>
#include <jpeglib.h>

namespace {

// A smooth RGB ramp: lossy codecs keep it within a small error.
std::vector<std::uint8_t> RampImage(int width, int height) {
  std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height * 3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      std::uint8_t* p = &pixels[(static_cast<std::size_t>(y) * width + x) * 3];
      p[0] = static_cast<std::uint8_t>(x * 255 / (width - 1));
      p[1] = static_cast<std::uint8_t>(y * 255 / (height - 1));
      p[2] = 128;
    }
  }
  return pixels;
}

TEST(Libraries, ZlibRoundTrip) {
  EXPECT_STREQ(zlibVersion(), ZLIB_VERSION);
  const std::string text(10000, 'L');
  uLongf packedSize = compressBound(static_cast<uLong>(text.size()));
  std::vector<Bytef> packed(packedSize);
  ASSERT_EQ(compress(packed.data(), &packedSize, reinterpret_cast<const Bytef*>(text.data()),
                     static_cast<uLong>(text.size())),
            Z_OK);
  EXPECT_LT(packedSize, text.size() / 10);
  std::string back(text.size(), '\0');
  uLongf backSize = static_cast<uLongf>(back.size());
  ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(back.data()), &backSize, packed.data(), packedSize), Z_OK);
  EXPECT_EQ(back, text);
}

TEST(Libraries, PngRoundTripThroughMemory) {
  EXPECT_EQ(png_access_version_number(), static_cast<png_uint_32>(PNG_LIBPNG_VER));
  const int width = 17, height = 9;
  const std::vector<std::uint8_t> pixels = RampImage(width, height);

  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = width;
  image.height = height;
  image.format = PNG_FORMAT_RGB;
  png_alloc_size_t size = 0;
  ASSERT_TRUE(png_image_write_to_memory(&image, nullptr, &size, 0, pixels.data(), 0, nullptr));
  std::vector<std::uint8_t> file(size);
  ASSERT_TRUE(png_image_write_to_memory(&image, file.data(), &size, 0, pixels.data(), 0, nullptr));

  png_image read{};
  read.version = PNG_IMAGE_VERSION;
  ASSERT_TRUE(png_image_begin_read_from_memory(&read, file.data(), size)) << read.message;
  read.format = PNG_FORMAT_RGB;
  std::vector<std::uint8_t> back(PNG_IMAGE_SIZE(read));
  ASSERT_TRUE(png_image_finish_read(&read, nullptr, back.data(), 0, nullptr)) << read.message;
  EXPECT_EQ(back, pixels);
}

TEST(Libraries, JpegRoundTripThroughMemory) {
  // The codecs are written against the libjpeg 6b API.
  static_assert(JPEG_LIB_VERSION == 62);
  const int width = 64, height = 32;  // several MCUs, so the SIMD paths run
  const std::vector<std::uint8_t> pixels = RampImage(width, height);

  jpeg_error_mgr errors;
  jpeg_compress_struct out;
  out.err = jpeg_std_error(&errors);
  jpeg_create_compress(&out);
  unsigned char* file = nullptr;
  unsigned long fileSize = 0;
  jpeg_mem_dest(&out, &file, &fileSize);
  out.image_width = width;
  out.image_height = height;
  out.input_components = 3;
  out.in_color_space = JCS_RGB;
  jpeg_set_defaults(&out);
  jpeg_set_quality(&out, 95, TRUE);
  jpeg_start_compress(&out, TRUE);
  while (out.next_scanline < out.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(&pixels[out.next_scanline * width * 3]);
    jpeg_write_scanlines(&out, &row, 1);
  }
  jpeg_finish_compress(&out);
  jpeg_destroy_compress(&out);
  ASSERT_GT(fileSize, 100u);

  jpeg_decompress_struct in;
  in.err = jpeg_std_error(&errors);
  jpeg_create_decompress(&in);
  jpeg_mem_src(&in, file, fileSize);
  ASSERT_EQ(jpeg_read_header(&in, TRUE), JPEG_HEADER_OK);
  jpeg_start_decompress(&in);
  ASSERT_EQ(in.output_width, static_cast<JDIMENSION>(width));
  ASSERT_EQ(in.output_components, 3);
  std::vector<std::uint8_t> back(pixels.size());
  while (in.output_scanline < in.output_height) {
    JSAMPROW row = &back[in.output_scanline * width * 3];
    jpeg_read_scanlines(&in, &row, 1);
  }
  jpeg_finish_decompress(&in);
  jpeg_destroy_decompress(&in);
  std::free(file);

  int worst = 0;
  for (std::size_t i = 0; i < pixels.size(); ++i) {
    worst = std::max(worst, std::abs(int(back[i]) - int(pixels[i])));
  }
  EXPECT_LE(worst, 8);
}

TEST(Libraries, OpenJpegCreatesCodecs) {
  EXPECT_EQ(std::string(opj_version()).substr(0, 2), "2.");
  for (OPJ_CODEC_FORMAT format : {OPJ_CODEC_J2K, OPJ_CODEC_JP2}) {
    opj_codec_t* codec = opj_create_decompress(format);
    ASSERT_NE(codec, nullptr);
    opj_dparameters_t parameters;
    opj_set_default_decoder_parameters(&parameters);
    EXPECT_TRUE(opj_setup_decoder(codec, &parameters));
    opj_destroy_codec(codec);
  }
}

TEST(Libraries, LittleCmsTransformsSrgbToItself) {
  EXPECT_EQ(cmsGetEncodedCMMversion(), LCMS_VERSION);
  cmsHPROFILE srgb = cmsCreate_sRGBProfile();
  ASSERT_NE(srgb, nullptr);
  cmsHTRANSFORM transform =
      cmsCreateTransform(srgb, TYPE_RGB_8, srgb, TYPE_RGB_8, INTENT_PERCEPTUAL, 0);
  ASSERT_NE(transform, nullptr);
  const std::uint8_t in[6] = {0, 0, 0, 200, 100, 50};
  std::uint8_t out[6] = {};
  cmsDoTransform(transform, in, out, 2);
  cmsDeleteTransform(transform);
  cmsCloseProfile(srgb);
  for (int i = 0; i < 6; ++i) EXPECT_NEAR(out[i], in[i], 1) << "channel " << i;
}

TEST(Libraries, LibRawRejectsGarbage) {
  EXPECT_EQ(libraw_versionNumber(), LIBRAW_VERSION);
  libraw_data_t* raw = libraw_init(0);
  ASSERT_NE(raw, nullptr);
  std::vector<char> garbage(4096, '\x5a');
  EXPECT_NE(libraw_open_buffer(raw, garbage.data(), garbage.size()), LIBRAW_SUCCESS);
  libraw_close(raw);
}

TEST(Libraries, ThreadsRun) {
  std::vector<int> results(4);
  std::vector<std::thread> workers;
  for (int i = 0; i < 4; ++i) {
    workers.emplace_back([&results, i] { results[i] = i * i; });
  }
  for (std::thread& worker : workers) worker.join();
  EXPECT_EQ(results, (std::vector<int>{0, 1, 4, 9}));
  EXPECT_EQ(std::async(std::launch::async, [] { return 42; }).get(), 42);
}

}  // namespace
