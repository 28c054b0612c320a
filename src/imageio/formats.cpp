#include "imageio/formats.h"

#include "codecs/bmp/bmp.h"
#include "codecs/gif/gif.h"
#include "codecs/ico/ico.h"
#include "codecs/jpeg/jpeg.h"
#include "codecs/jpeg2000/jpeg2000.h"
#include "codecs/pcx/pcx.h"
#include "codecs/png/png.h"
#include "codecs/pnm/pnm.h"
#include "codecs/rawbitmap/rawbitmap.h"
#include "codecs/tga/tga.h"
#include "imageio/textutil.h"

namespace lumora {

namespace {

// Names, order and extensions are what users see in the open and save
// dialogs; the entry points say which of them this build can read and write.
constexpr TFormatDescriptor kFormats[] = {
    {.FileType = ftTIFF, .DisplayName = "TIFF Bitmap", .Extensions = "TIF;TIFF;FAX;G3N;G3F;XIF",
     .ParamsPages = ppTIFF},
    {.FileType = ftGIF, .DisplayName = "CompuServe Bitmap", .Extensions = "GIF", .SaveExtensions = "gif",
     .ParamsPages = ppGIF, .Read = ReadGif, .Write = WriteGif, .Count = CountGif, .Describe = DescribeGif,
     .LoadedBackground = GifLoadedBackground, .Flags = cfBufferedRead},
    {.FileType = ftJPEG, .DisplayName = "JPEG Bitmap", .Extensions = "JPG;JPEG;JPE;JIF",
     .SaveExtensions = "jpg;jpeg;jpe;jif", .ParamsPages = ppJPEG, .Read = ReadJpeg, .Write = WriteJpeg,
     .Describe = DescribeJpeg, .PrepareThumbnail = PrepareJpegThumbnail, .StreamHeaderTag = "JFIF"},
    {.FileType = ftPCX, .DisplayName = "PaintBrush", .Extensions = "PCX", .SaveExtensions = "pcx",
     .ParamsPages = ppPCX, .Read = ReadPcx, .Write = WritePcx, .Flags = cfBufferedRead},
    {.FileType = ftBMP, .DisplayName = "Windows Bitmap", .Extensions = "BMP;DIB;RLE", .SaveExtensions = "bmp;dib;rle",
     .ParamsPages = ppBMP, .Read = ReadBmp, .Write = WriteBmp, .Describe = DescribeBmp, .Flags = cfBufferedRead},
    // Headerless data into a bitmap the caller allocated: LoadImageAs and
    // the stream form only; no extension maps to it.
    {.FileType = ftRawBitmap, .DisplayName = "Raw Bitmap", .Read = ReadRawBitmap, .Write = WriteRawBitmap},
    {.FileType = ftICO, .DisplayName = "Windows Icon", .Extensions = "ICO", .SaveExtensions = "ico", .Read = ReadIco,
     .Write = WriteIco, .Count = CountIco, .Flags = cfBufferedRead},
    {.FileType = ftCUR, .DisplayName = "Windows Cursor", .Extensions = "CUR", .Read = ReadCur, .Count = CountIco,
     .Flags = cfBufferedRead},
    {.FileType = ftPNG, .DisplayName = "Portable Network Graphics", .Extensions = "PNG", .SaveExtensions = "png",
     .ParamsPages = ppPNG, .Read = ReadPng, .Write = WritePng, .Describe = DescribePng, .Flags = cfBufferedRead},
    {.FileType = ftDICOM, .DisplayName = "DICOM Bitmap", .Extensions = "DCM;DIC;DICOM;V2"},
    {.FileType = ftWMF, .DisplayName = "Windows Metafile", .Extensions = "WMF"},
    {.FileType = ftEMF, .DisplayName = "Enhanced Windows Metafile", .Extensions = "EMF"},
    {.FileType = ftTGA, .DisplayName = "Targa Bitmap", .Extensions = "TGA;TARGA;VDA;ICB;VST;PIX",
     .SaveExtensions = "tga;targa;vda;icb;vst;win", .ParamsPages = ppTGA, .Read = ReadTga, .Write = WriteTga,
     .Describe = DescribeTga, .Flags = cfBufferedRead},
    {.FileType = ftPXM, .DisplayName = "Portable Pixmap, GrayMap, BitMap", .Extensions = "PXM;PPM;PGM;PBM",
     .SaveExtensions = "pxm;pbm;pgm;ppm", .Read = ReadPxm, .Write = WritePxm, .Flags = cfBufferedRead},
    {.FileType = ftWBMP, .DisplayName = "Wireless Bitmap", .Extensions = "WBMP", .SaveExtensions = "wbmp",
     .Read = ReadWbmp, .Write = WriteWbmp, .Flags = cfBufferedRead},
    {.FileType = ftJP2, .DisplayName = "JPEG2000", .Extensions = "JP2", .SaveExtensions = "jp2",
     .ParamsPages = ppJ2000, .Read = J2kReadStream, .Write = WriteJp2, .Describe = DescribeJ2000,
     .PrepareThumbnail = PrepareJ2000Thumbnail},
    {.FileType = ftJ2K, .DisplayName = "JPEG2000 Code Stream", .Extensions = "J2K;JPC;J2C",
     .SaveExtensions = "j2k;jpc;j2c", .ParamsPages = ppJ2000, .Read = J2kReadStream, .Write = WriteJ2k,
     .Describe = DescribeJ2000, .PrepareThumbnail = PrepareJ2000Thumbnail},
    {.FileType = ftPS, .DisplayName = "PostScript Level 2", .Extensions = "PS;EPS"},
    {.FileType = ftPDF, .DisplayName = "Adobe PDF", .Extensions = "PDF"},
    {.FileType = ftDCX, .DisplayName = "Multipage PCX", .Extensions = "DCX", .SaveExtensions = "dcx",
     .Read = ReadDcx, .Write = WriteDcx, .Count = CountDcx, .Flags = cfBufferedRead | cfTruncateBeforeStreamSave},
    {.FileType = ftRAW, .DisplayName = "Camera RAW", .Extensions = "CRW;CR2;NEF;RAW;PEF;RAF;X3F;BAY;ORF;SRF;MRW;DCR;SR2"},
    {.FileType = ftPSD, .DisplayName = "Photoshop PSD", .Extensions = "PSD"},
    {.FileType = ftLMV, .DisplayName = "Vectorial objects", .Extensions = "LMV"},
    {.FileType = ftLYR, .DisplayName = "Layers", .Extensions = "LYR"},
    {.FileType = ftALL, .DisplayName = "Layers and objects", .Extensions = "ALL"},
    // Read and written by the system's codec where it exists; the registry
    // lists it only there.
    {.FileType = ftHDP, .DisplayName = "Microsoft HD Photo", .Extensions = "WDP;HDP"},
};

}  // namespace

std::span<const TFormatDescriptor> BuiltInFormats() { return kFormats; }

const TFormatDescriptor* FindBuiltInFormat(TFileTypeId fileType) {
  for (const TFormatDescriptor& format : kFormats)
    if (format.FileType == fileType) return &format;
  return nullptr;
}

const TFormatDescriptor* FindBuiltInWriter(std::string_view extension) {
  const std::string wanted = AsciiLower(extension);
  if (wanted.empty()) return nullptr;
  for (const TFormatDescriptor& format : kFormats)
    if (format.Write && ListContains(format.SaveExtensions, wanted)) return &format;
  return nullptr;
}

}  // namespace lumora
