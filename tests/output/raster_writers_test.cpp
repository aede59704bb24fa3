// SPDX-License-Identifier: GPL-3.0-or-later
#include <sys/stat.h>

#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <jpeglib.h>
#include <tiffio.h>

#include "job/mosaic_settings.h"
#include "output/bmp_writer.h"
#include "output/jpeg_writer.h"
#include "output/ppm_writer.h"
#include "output/tiff_writer.h"
#include "platform/scripted_dialogs.h"
#include "row_helpers.h"
#include "support/scratch_dir.h"

namespace tg {
namespace {

using test::PatternRows;
using test::readLe;
using test::testColour;

class RasterWriters : public ::testing::Test {
 protected:
  test::ScratchDir m_dir;
  ScopedScriptedDialogs m_dialogs;
};

// ---- BMP ----------------------------------------------------------------------------------

TEST_F(RasterWriters, BmpOfThreeByTwoIsStoredBottomUpWithPaddedRows) {
  PatternRows rows(3, testColour);
  const std::string path = m_dir.file("small.bmp");
  ASSERT_TRUE(writeBmpRows(path, 3, 2, rows));
  const std::string bytes = test::readFile(path);
  ASSERT_EQ(bytes.size(), 78u);
  EXPECT_EQ(bytes.substr(0, 2), "BM");
  EXPECT_EQ(readLe(bytes, 2, 4), 78u);
  EXPECT_EQ(readLe(bytes, 10, 4), 54u);
  EXPECT_EQ(readLe(bytes, 14, 4), 40u);
  EXPECT_EQ(readLe(bytes, 18, 4), 3u);
  EXPECT_EQ(readLe(bytes, 22, 4), 2u);
  EXPECT_EQ(readLe(bytes, 26, 2), 1u);
  EXPECT_EQ(readLe(bytes, 28, 2), 24u);
  EXPECT_EQ(readLe(bytes, 34, 4), 24u);
  // The first stored row is the bottom image row (y = 1), B G R, padded to 12 bytes.
  for (std::uint32_t stored = 0; stored < 2; ++stored) {
    const std::uint32_t y = 1 - stored;
    for (std::uint32_t x = 0; x < 3; ++x) {
      const Pixel p = testColour(x, y);
      const std::size_t at = 54 + stored * 12 + x * 3;
      EXPECT_EQ(static_cast<unsigned char>(bytes[at]), pixelBlue(p));
      EXPECT_EQ(static_cast<unsigned char>(bytes[at + 1]), pixelGreen(p));
      EXPECT_EQ(static_cast<unsigned char>(bytes[at + 2]), pixelRed(p));
    }
    EXPECT_EQ(bytes.substr(54 + stored * 12 + 9, 3), std::string(3, '\0'));
  }
  // The whole-image writer gives the same file.
  Foto image;
  ASSERT_TRUE(image.create(3, 2));
  for (std::uint32_t y = 0; y < 2; ++y)
    for (std::uint32_t x = 0; x < 3; ++x) image.at(x, y) = testColour(x, y);
  ASSERT_TRUE(writeBmpImage(image, m_dir.file("image.bmp")));
  EXPECT_EQ(test::readFile(m_dir.file("image.bmp")), bytes);
}

TEST_F(RasterWriters, BmpRefusals) {
  PatternRows rows(10, testColour);
  EXPECT_FALSE(writeBmpRows(m_dir.file("empty.bmp"), 0, 5, rows));
  EXPECT_TRUE(m_dialogs->texts().empty());
  EXPECT_FALSE(std::filesystem::exists(m_dir.file("empty.bmp")));

  EXPECT_FALSE(writeBmpRows(m_dir.file("huge.bmp"), 100000, 10001, rows));
  ASSERT_EQ(m_dialogs->texts().size(), 1u);
  EXPECT_EQ(m_dialogs->texts()[0], "Unable to save file 'Image is too big'");
  EXPECT_EQ(rows.delivered(), 0u);
  EXPECT_FALSE(std::filesystem::exists(m_dir.file("huge.bmp")));
}

// ---- PPM and RAW --------------------------------------------------------------------------

TEST_F(RasterWriters, PpmHeaderIsOneHundredBytesAndTheFileHasItsFullLength) {
  const std::string header = ppmHeader(1000, 800);
  ASSERT_EQ(header.size(), 100u);
  EXPECT_EQ(header.substr(0, 28), "P6\n# Created by Tesselograph");
  EXPECT_EQ(header.substr(header.size() - 14), "\n1000 800\n255\n");

  PatternRows rows(1000, testColour);
  const std::string path = m_dir.file("big.ppm");
  ASSERT_TRUE(writePpmRows(path, 1000, 800, true, rows));
  const std::string bytes = test::readFile(path);
  ASSERT_EQ(bytes.size(), 100u + 2400000u);
  EXPECT_EQ(bytes.substr(0, 100), header);
  const std::size_t at = 100 + (799u * 1000 + 999) * 3;
  const Pixel last = testColour(999, 799);
  EXPECT_EQ(static_cast<unsigned char>(bytes[at]), pixelRed(last));
  EXPECT_EQ(static_cast<unsigned char>(bytes[at + 1]), pixelGreen(last));
  EXPECT_EQ(static_cast<unsigned char>(bytes[at + 2]), pixelBlue(last));
}

TEST_F(RasterWriters, RawIsPixelBytesOnly) {
  PatternRows rows(10, testColour);
  const std::string path = m_dir.file("piece.raw");
  ASSERT_TRUE(writePpmRows(path, 10, 10, false, rows));
  const std::string bytes = test::readFile(path);
  ASSERT_EQ(bytes.size(), 300u);
  EXPECT_EQ(static_cast<unsigned char>(bytes[3 * 11]), pixelRed(testColour(1, 1)));
}

TEST_F(RasterWriters, StoppedPpmLeavesNoHalfFileAndSaysNothing) {
  PatternRows rows(50, testColour);
  rows.failAfter(10, true);
  const std::string path = m_dir.file("stopped.ppm");
  EXPECT_FALSE(writePpmRows(path, 50, 40, true, rows));
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_TRUE(m_dialogs->texts().empty());

  // A render failure without a stop is reported.
  PatternRows broken(50, testColour);
  broken.failAfter(3, false);
  EXPECT_FALSE(writePpmRows(m_dir.file("broken.raw"), 50, 40, false, broken));
  ASSERT_EQ(m_dialogs->texts().size(), 1u);
  EXPECT_EQ(m_dialogs->texts()[0], "Unable to save file '" + m_dir.file("broken.raw") + "'");
}

// ---- Files that cannot be written ----------------------------------------------------------

TEST_F(RasterWriters, FullDiskFailsEveryWriterWithItsMessage) {
  // /dev/full accepts the open and refuses every write with "no space left".
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  const std::string full = "/dev/full";
  {
    PatternRows rows(64, testColour);
    EXPECT_FALSE(writePpmRows(full, 64, 64, true, rows));
    EXPECT_EQ(rows.delivered(), 0u) << "the full disk shows before any rendering";
  }
  {
    PatternRows rows(64, testColour);
    EXPECT_FALSE(writeBmpRows(full, 64, 64, rows));
  }
  {
    PatternRows rows(64, testColour);
    EXPECT_FALSE(writeJpegRows(full, 64, 64, 90, rows, 0));
  }
  const auto texts = m_dialogs->texts();
  ASSERT_EQ(texts.size(), 3u);
  EXPECT_EQ(texts[0], "Unable to save file '/dev/full'");
  EXPECT_EQ(texts[1], "Unable to save file '/dev/full'");
  EXPECT_EQ(texts[2], "Unable to save file '/dev/full'. Error 28");
}

TEST_F(RasterWriters, MissingFolderFailsWithTheMessageOfEachFormat) {
  const std::string folder = m_dir.file("no such folder");
  PatternRows rows(8, testColour);
  EXPECT_FALSE(writeJpegRows(folder + "/a.jpg", 8, 8, 90, rows, 0));
  EXPECT_FALSE(writePpmRows(folder + "/a.ppm", 8, 8, true, rows));
  EXPECT_FALSE(writeBmpRows(folder + "/a.bmp", 8, 8, rows));
  OutputFormat tiff;
  tiff.format = kFormatTiff;
  EXPECT_FALSE(writeTiffRows(folder + "/a.tiff", tiff, 3, 8, 8, 72, rows));
  EXPECT_EQ(rows.delivered(), 0u);
  const auto messages = m_dialogs->messages();
  ASSERT_GE(messages.size(), 4u);
  EXPECT_EQ(messages[0].text, "Unable to save file '" + folder + "/a.jpg'. Error 2");
  EXPECT_EQ(messages[0].icon, Icon::Error);
  EXPECT_EQ(messages[1].text, "Unable to save file '" + folder + "/a.ppm'");
  EXPECT_EQ(messages[2].text, "Unable to save file '" + folder + "/a.bmp'");
  EXPECT_EQ(messages.back().text, "Unable to save file '" + folder + "/a.tiff'");
}

// ---- JPEG ---------------------------------------------------------------------------------

struct JpegErr {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

[[noreturn]] void jpegFail(j_common_ptr c) {
  std::longjmp(reinterpret_cast<JpegErr*>(c->err)->jump, 1);
}

struct DecodedJpeg {
  bool ok = false;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  int densityUnit = 0;
  int density = 0;
  std::vector<unsigned char> rgb;
};

// Decodes with libjpeg directly: the file must open in a decoder we did not write.
DecodedJpeg decodeJpeg(const std::string& path) {
  DecodedJpeg out;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return out;
  jpeg_decompress_struct c{};
  JpegErr err{};
  c.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = jpegFail;
  if (setjmp(err.jump) != 0) {
    jpeg_destroy_decompress(&c);
    std::fclose(file);
    out.ok = false;
    return out;
  }
  jpeg_create_decompress(&c);
  jpeg_stdio_src(&c, file);
  jpeg_read_header(&c, TRUE);
  c.out_color_space = JCS_RGB;
  jpeg_start_decompress(&c);
  out.width = c.output_width;
  out.height = c.output_height;
  out.densityUnit = c.density_unit;
  out.density = c.X_density;
  out.rgb.resize(std::size_t{out.width} * out.height * 3);
  while (c.output_scanline < c.output_height) {
    JSAMPROW row = out.rgb.data() + std::size_t{c.output_scanline} * out.width * 3;
    jpeg_read_scanlines(&c, &row, 1);
  }
  jpeg_finish_decompress(&c);
  jpeg_destroy_decompress(&c);
  std::fclose(file);
  out.ok = true;
  return out;
}

TEST_F(RasterWriters, JpegOpensInLibjpegWithItsSizeColoursAndDensity) {
  PatternRows rows(120, [](std::uint32_t x, std::uint32_t) {
    return x < 60 ? makePixel(250, 10, 10, 255) : makePixel(10, 10, 250);
  });
  const std::string path = m_dir.file("m.jpg");
  ASSERT_TRUE(writeJpegRows(path, 120, 80, 95, rows, 300));
  const DecodedJpeg jpeg = decodeJpeg(path);
  ASSERT_TRUE(jpeg.ok);
  EXPECT_EQ(jpeg.width, 120u);
  EXPECT_EQ(jpeg.height, 80u);
  EXPECT_EQ(jpeg.densityUnit, 1);
  EXPECT_EQ(jpeg.density, 300);
  const unsigned char* left = &jpeg.rgb[(40 * 120 + 10) * 3];
  const unsigned char* right = &jpeg.rgb[(40 * 120 + 110) * 3];
  EXPECT_NEAR(left[0], 250, 6);
  EXPECT_NEAR(left[2], 10, 6);
  EXPECT_NEAR(right[0], 10, 6);
  EXPECT_NEAR(right[2], 250, 6);
}

TEST_F(RasterWriters, JpegWithAMissingRowFailsSilently) {
  PatternRows rows(32, testColour);
  rows.failAfter(5, true);
  EXPECT_FALSE(writeJpegRows(m_dir.file("stopped.jpg"), 32, 32, 80, rows, 0));
  EXPECT_TRUE(m_dialogs->texts().empty());
}

// ---- TIFF ---------------------------------------------------------------------------------

TEST(TiffRowsPerStrip, StripsOfAboutOneMegabyte) {
  EXPECT_EQ(tiffRowsPerStrip(1000, 5000, 3, 1), 320u);
  EXPECT_EQ(tiffRowsPerStrip(100000, 5000, 3, 1), 1u);
  EXPECT_EQ(tiffRowsPerStrip(100000, 5000, 3, 16), 16u);
  EXPECT_EQ(tiffRowsPerStrip(1000, 100, 3, 1), 100u) << "never more than the height";
  EXPECT_EQ(tiffRowsPerStrip(1000, 5000, 4, 1), 240u);
}

struct TiffFields {
  std::uint32_t width = 0, height = 0, rowsPerStrip = 0;
  std::uint16_t samples = 0, compression = 0, photometric = 0;
  float xResolution = 0;
  std::string software;
  bool bigTiff = false;
};

TiffFields readTiffFields(TIFF* tif) {
  TiffFields f;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &f.width);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &f.height);
  TIFFGetField(tif, TIFFTAG_ROWSPERSTRIP, &f.rowsPerStrip);
  TIFFGetField(tif, TIFFTAG_SAMPLESPERPIXEL, &f.samples);
  TIFFGetField(tif, TIFFTAG_COMPRESSION, &f.compression);
  TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &f.photometric);
  TIFFGetField(tif, TIFFTAG_XRESOLUTION, &f.xResolution);
  char* software = nullptr;
  if (TIFFGetField(tif, TIFFTAG_SOFTWARE, &software) == 1) f.software = software;
  f.bigTiff = TIFFIsBigTIFF(tif) != 0;
  return f;
}

TEST_F(RasterWriters, TiffWithAlphaReadsBackExactlyAndOpaque) {
  OutputFormat format;
  format.format = kFormatTiff;
  format.transparency = true;
  PatternRows rows(1000, testColour);
  const std::string path = m_dir.file("alpha.tiff");
  ASSERT_TRUE(writeTiffRows(path, format, 4, 1000, 700, 150, rows));
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  ASSERT_NE(tif, nullptr);
  const TiffFields f = readTiffFields(tif);
  EXPECT_EQ(f.width, 1000u);
  EXPECT_EQ(f.height, 700u);
  EXPECT_EQ(f.samples, 4);
  EXPECT_EQ(f.rowsPerStrip, 240u);
  EXPECT_EQ(f.compression, COMPRESSION_NONE);
  EXPECT_EQ(f.photometric, PHOTOMETRIC_RGB);
  EXPECT_FLOAT_EQ(f.xResolution, 150.0f);
  EXPECT_EQ(f.software.rfind("Tesselograph ", 0), 0u);
  EXPECT_FALSE(f.bigTiff);
  std::vector<unsigned char> line(4000);
  bool allOpaque = true;
  bool coloursRight = true;
  for (std::uint32_t y = 0; y < 700; ++y) {
    ASSERT_EQ(TIFFReadScanline(tif, line.data(), y, 0), 1);
    for (std::uint32_t x = 0; x < 1000; ++x) {
      const Pixel p = testColour(x, y);
      allOpaque = allOpaque && line[4 * x + 3] == 255;
      coloursRight = coloursRight && line[4 * x] == pixelRed(p) &&
                     line[4 * x + 1] == pixelGreen(p) && line[4 * x + 2] == pixelBlue(p);
    }
  }
  EXPECT_TRUE(allOpaque);
  EXPECT_TRUE(coloursRight);
  TIFFClose(tif);
}

TEST_F(RasterWriters, BigTiffWhenAskedEvenWhenSmall) {
  OutputFormat format;
  format.format = kFormatTiff;
  format.tiff64 = true;
  PatternRows rows(20, testColour);
  const std::string path = m_dir.file("small.tiff");
  ASSERT_TRUE(writeTiffRows(path, format, 3, 20, 10, 72, rows));
  const std::string bytes = test::readFile(path);
  EXPECT_EQ(readLe(bytes, 2, 2), 43u) << "BigTIFF version number";
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  ASSERT_NE(tif, nullptr);
  EXPECT_TRUE(readTiffFields(tif).bigTiff);
  TIFFClose(tif);
}

TEST_F(RasterWriters, JpegCompressedTiffIsYCbCrInStripsOfSixteen) {
  OutputFormat format;
  format.format = kFormatTiffJpeg;
  format.quality = 90;
  PatternRows rows(100000 / 50,
                   [](std::uint32_t, std::uint32_t) { return makePixel(30, 140, 220); });
  const std::string path = m_dir.file("jpeg.tiff");
  ASSERT_TRUE(writeTiffRows(path, format, 3, 2000, 400, 96, rows));
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  ASSERT_NE(tif, nullptr);
  const TiffFields f = readTiffFields(tif);
  EXPECT_EQ(f.compression, COMPRESSION_JPEG);
  EXPECT_EQ(f.photometric, PHOTOMETRIC_YCBCR);
  EXPECT_EQ(f.rowsPerStrip, 160u);
  std::vector<std::uint32_t> raster(2000u * 400u);
  ASSERT_EQ(TIFFReadRGBAImageOriented(tif, 2000, 400, raster.data(), ORIENTATION_TOPLEFT, 0), 1);
  const std::uint32_t p = raster[200 * 2000 + 1000];
  EXPECT_NEAR(static_cast<int>(TIFFGetR(p)), 30, 4);
  EXPECT_NEAR(static_cast<int>(TIFFGetG(p)), 140, 4);
  EXPECT_NEAR(static_cast<int>(TIFFGetB(p)), 220, 4);
  TIFFClose(tif);

  // Transparency asks for a fourth sample, which the JPEG codec cannot take: such a file is
  // still written, with three samples.
  PatternRows more(64, testColour);
  ASSERT_TRUE(writeTiffRows(m_dir.file("alpha-jpeg.tiff"), format, 4, 64, 32, 96, more));
  tif = TIFFOpen(m_dir.file("alpha-jpeg.tiff").c_str(), "r");
  ASSERT_NE(tif, nullptr);
  EXPECT_EQ(readTiffFields(tif).samples, 3);
  TIFFClose(tif);
}

TEST_F(RasterWriters, StoppedTiffSaysItCouldNotSave) {
  OutputFormat format;
  format.format = kFormatTiff;
  PatternRows rows(16, testColour);
  rows.failAfter(4, true);
  EXPECT_FALSE(writeTiffRows(m_dir.file("s.tiff"), format, 3, 16, 16, 0, rows));
  ASSERT_FALSE(m_dialogs->texts().empty());
  EXPECT_EQ(m_dialogs->texts().back(), "Unable to save file '" + m_dir.file("s.tiff") + "'");
  EXPECT_FALSE(writeTiffRows(m_dir.file("five.tiff"), format, 5, 16, 16, 0, rows));
}

}  // namespace
}  // namespace tg
