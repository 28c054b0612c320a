// imgtool: the I/O library from the command line.
//
//   imgtool info FILE          detected type, size, depth, resolution, description
//   imgtool convert IN OUT     load IN, save OUT in the format of its extension
//   imgtool bench FILE...      decode (and encode) timings per file
//                              (--scale 2|4|8: JPEG decoded at that fraction)
//
// Exit status 0 on success, 1 on a failed load or save (one line on stderr),
// 2 on a usage error.
#include <chrono>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "imageio/detect.h"
#include "imageio/imageio.h"
#include "imageio/osfile.h"
#include "imageio/registry.h"
#include "imageio/stream.h"
#include "imgtool_platform.h"

namespace {

using lumora::PathToUtf8;
using Path = std::filesystem::path;

int Usage() {
  std::fprintf(stderr,
               "usage: imgtool info FILE\n"
               "       imgtool convert IN OUT [--mem]\n"
               "       imgtool bench [--repeat N] [--scale 2|4|8] FILE...\n");
  return 2;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "imgtool: %s\n", message.c_str());
  return 1;
}

int FailRead(const Path& name, const lumora::TImageIO& io) {
  return Fail("cannot read \"" + PathToUtf8(name) + "\": " + io.LastFailure().Describe());
}

std::string TypeName(lumora::TFileTypeId type) {
  const lumora::TLmFileFormatInfo* format = lumora::FindFormatByType(type);
  std::string ext = lumora::FormatExtension(type, 0);
  return std::to_string(type) + " (" + (format ? (ext.empty() ? format->DisplayName : ext) : "unknown") + ")";
}

int Info(const Path& name) {
  const lumora::TFileTypeId type = lumora::DetectFileType(name, false);
  lumora::TImageIO io;
  io.ReadParamsAs(name, type);
  if (type == lumora::ftUnknown) return Fail("cannot read \"" + PathToUtf8(name) + "\": unknown format");
  if (io.Aborting || io.Params.FileType == lumora::ftUnknown) return FailRead(name, io);
  const auto& p = io.Params;
  std::printf("file: %s\n", PathToUtf8(name).c_str());
  std::printf("type: %s\n", TypeName(p.FileType).c_str());
  std::printf("width: %d\nheight: %d\n", p.Width, p.Height);
  std::printf("bits per sample: %d\nsamples per pixel: %d\n", p.BitsPerSample, p.SamplesPerPixel);
  std::printf("dpi: %d x %d\n", p.DpiX, p.DpiY);
  std::printf("images: %d\n", io.CountImages(name));
  std::printf("description: %s\n", io.FileTypeDescription().c_str());
  return 0;
}

int Convert(const Path& in, const Path& out, bool reportMemory) {
  lumora::TImageIO io;
  io.LoadImage(in);
  if (io.Aborting) return FailRead(in, io);
  io.SaveImage(out);
  if (io.Aborting) return Fail("cannot write \"" + PathToUtf8(out) + "\": " + io.LastFailure().Describe());
  if (reportMemory)
    std::printf("peak memory: %.1f MB\n", static_cast<double>(imgtool::PeakMemory()) / (1024.0 * 1024.0));
  return 0;
}

// JpegScale for a scale denominator: 1/2, 1/4, 1/8 (anything else: full size).
uint8_t JpegScaleFor(int denominator) {
  switch (denominator) {
    case 2: return lumora::kJpegScaleHalf;
    case 4: return lumora::kJpegScaleQuarter;
    case 8: return lumora::kJpegScaleEighth;
    default: return lumora::kJpegScaleFull;
  }
}

int Bench(const std::vector<Path>& files, int repeat, int scale) {
  using Clock = std::chrono::steady_clock;
  int status = 0;
  std::printf("%-40s %10s %10s %10s %10s\n", "file", "decode ms", "MP/s", "encode ms", "MP/s");
  for (const Path& name : files) {
    lumora::TImageIO io;
    io.Params.JpegScale = JpegScaleFor(scale);
    // JPEG 2000 leaves out one resolution level per halving.
    io.Params.J2000Reduce = scale == 2 ? 1 : scale == 4 ? 2 : scale == 8 ? 3 : 0;
    double best = 1e300;
    for (int i = 0; i < repeat; ++i) {
      auto t0 = Clock::now();
      io.LoadImage(name);
      best = std::min(best, std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
      if (io.Aborting) break;
    }
    if (io.Aborting) {
      status = FailRead(name, io);
      continue;
    }
    const double megapixels = static_cast<double>(io.Bitmap().Width()) * io.Bitmap().Height() / 1e6;
    // Encoding into memory in the file's own format, when it has a writer.
    double encode = -1;
    const lumora::TFileTypeId type = io.Params.FileType;
    if (const lumora::TLmFileFormatInfo* f = lumora::FindFormatByType(type); f && f->Writer) {
      for (int i = 0; i < repeat; ++i) {
        lumora::TLmMemoryStream memory;
        auto t0 = Clock::now();
        io.SaveImageToStreamAs(memory, type);
        const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
        if (io.Aborting) break;
        encode = encode < 0 ? ms : std::min(encode, ms);
      }
    }
    std::string shown = PathToUtf8(name.filename());
    if (encode >= 0)
      std::printf("%-40s %10.1f %10.1f %10.1f %10.1f\n", shown.c_str(), best, megapixels / (best / 1000.0), encode,
                  megapixels / (encode / 1000.0));
    else
      std::printf("%-40s %10.1f %10.1f %10s %10s\n", shown.c_str(), best, megapixels / (best / 1000.0), "-", "-");
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<Path> args = imgtool::Arguments(argc, argv);
  if (args.empty()) return Usage();
  const std::string command = PathToUtf8(args[0]);
  try {
    if (command == "info" && args.size() == 2) return Info(args[1]);
    if (command == "convert" && (args.size() == 3 || (args.size() == 4 && PathToUtf8(args[3]) == "--mem")))
      return Convert(args[1], args[2], args.size() == 4);
    if (command == "bench" && args.size() >= 2) {
      int repeat = 3, scale = 1;
      size_t first = 1;
      while (first + 1 < args.size()) {
        const std::string option = PathToUtf8(args[first]);
        if (option == "--repeat")
          repeat = std::max(1, std::atoi(PathToUtf8(args[first + 1]).c_str()));
        else if (option == "--scale")
          scale = std::atoi(PathToUtf8(args[first + 1]).c_str());
        else
          break;
        first += 2;
      }
      if (first >= args.size()) return Usage();
      return Bench(std::vector<Path>(args.begin() + first, args.end()), repeat, scale);
    }
  } catch (const std::exception& e) {
    return Fail(e.what());
  }
  return Usage();
}
