// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/image_file.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <png.h>

#include "imaging/cached_image.h"
#include "imaging/foto.h"
#include "platform/scripted_dialogs.h"
#include "support/scratch_dir.h"
#include "test_pictures.h"

namespace tg {
namespace {

using test::ExifField;
using test::JpegKind;
using test::PngPicture;

std::vector<std::uint8_t> greySamples(std::uint32_t w, std::uint32_t h, std::uint8_t value) {
  return std::vector<std::uint8_t>(static_cast<std::size_t>(w) * h, value);
}

// Four 16 x 16 quadrants of distinct colours: red top-left, green top-right, blue bottom-left,
// white bottom-right. Large flat areas survive JPEG compression nearly unchanged.
Foto quadrants() {
  Foto image;
  EXPECT_TRUE(image.createQuiet(32, 32));
  for (std::uint32_t y = 0; y < 32; ++y) {
    for (std::uint32_t x = 0; x < 32; ++x) {
      const bool right = x >= 16, bottom = y >= 16;
      image.at(x, y) = !bottom ? (right ? makePixel(0, 255, 0) : makePixel(255, 0, 0))
                               : (right ? makePixel(255, 255, 255) : makePixel(0, 0, 255));
    }
  }
  return image;
}

bool near(Pixel a, Pixel b, int tolerance = 6) {
  const auto diff = [](std::uint32_t x, std::uint32_t y) {
    return std::abs(static_cast<int>(x) - static_cast<int>(y));
  };
  return diff(pixelRed(a), pixelRed(b)) <= tolerance &&
         diff(pixelGreen(a), pixelGreen(b)) <= tolerance &&
         diff(pixelBlue(a), pixelBlue(b)) <= tolerance && pixelT(a) == pixelT(b);
}

class ImageFileTest : public testing::Test {
 protected:
  std::string jpegWithExif(const std::string& name, const Foto& image,
                           const std::vector<ExifField>& ifd0, bool bigEndian = false) {
    const std::string path = dir.file(name);
    EXPECT_TRUE(test::writeJpeg(path, image, 95, test::exifBlock(ifd0, {}, bigEndian)));
    return path;
  }

  test::ScratchDir dir;
  ScopedScriptedDialogs dialogs;
};

// ---- JPEG -----------------------------------------------------------------------------------

TEST_F(ImageFileTest, JpegLoadsOpaqueAtFullSize) {
  Foto source;
  ASSERT_TRUE(source.createQuiet(40, 24));
  for (std::uint32_t y = 0; y < 24; ++y) {
    for (std::uint32_t x = 0; x < 40; ++x) source.at(x, y) = makePixel(x * 6, y * 10, 128);
  }
  const std::string path = dir.file("smooth.jpg");
  ASSERT_TRUE(test::writeJpeg(path, source, 100));
  Foto image;
  ASSERT_TRUE(loadImageFile(image, path, 0, 0, true));
  ASSERT_EQ(image.width, 40u);
  ASSERT_EQ(image.height, 24u);
  int far = 0;
  for (std::size_t i = 0; i < image.pixelCount(); ++i) {
    EXPECT_EQ(pixelT(image.pixels[i]), 0u);
    if (!near(image.pixels[i], source.pixels[i], 8)) ++far;
  }
  EXPECT_EQ(far, 0);
  EXPECT_TRUE(dialogs->texts().empty());
}

TEST_F(ImageFileTest, JpegScaleFollowsTheSizeHint) {
  const std::string path = dir.file("big.jpg");
  ASSERT_TRUE(test::writeJpeg(path, 4000, 3000, greySamples(4000, 3000, 90), JpegKind::Grey, 50));
  struct Case {
    std::uint32_t maxW, maxH, width, height;
  };
  const Case cases[] = {{300, 300, 500, 375},   // ratio min(13, 10) = 10: 1/8
                        {400, 400, 1000, 750},  // ratio min(10, 7) = 7: 1/4
                        {1000, 1000, 2000, 1500},
                        {0, 300, 4000, 3000},
                        {0, 0, 4000, 3000}};
  for (const Case& c : cases) {
    Foto image;
    ASSERT_TRUE(loadImageFile(image, path, c.maxW, c.maxH, false));
    EXPECT_EQ(image.width, c.width) << c.maxW << "x" << c.maxH;
    EXPECT_EQ(image.height, c.height) << c.maxW << "x" << c.maxH;
    EXPECT_EQ(image.at(image.width / 2, image.height / 2), makePixel(90, 90, 90));
  }
}

TEST_F(ImageFileTest, OrientationSixSwapsTheHintAndTurnsThePictureUpright) {
  const std::string path = dir.file("sideways.jpg");
  ASSERT_TRUE(test::writeJpeg(path, 4000, 3000, greySamples(4000, 3000, 60), JpegKind::Grey, 50,
                              test::exifBlock({test::orientationField(6)})));
  Foto image;
  ASSERT_TRUE(loadImageFile(image, path, 300, 400, false));
  // Hint (400, 300) against 4000 x 3000: ratio min(10, 10) = 10, so 1/8 (500 x 375), then upright.
  EXPECT_EQ(image.width, 375u);
  EXPECT_EQ(image.height, 500u);
  std::uint32_t w = 0, h = 0;
  ASSERT_TRUE(readImageSize(path, w, h));
  EXPECT_EQ(w, 4000u);  // the stored size
  EXPECT_EQ(h, 3000u);
}

TEST_F(ImageFileTest, EveryOrientationPutsTheCornersInPlace) {
  const Foto source = quadrants();
  const Pixel red = makePixel(255, 0, 0), green = makePixel(0, 255, 0);
  struct Case {
    int orientation;
    std::uint32_t redX, redY, greenX, greenY;  // where the stored top corners end up
  };
  const Case cases[] = {{1, 0, 0, 31, 0},   {2, 31, 0, 0, 0}, {3, 31, 31, 0, 31},
                        {4, 0, 31, 31, 31}, {5, 0, 0, 0, 31}, {6, 31, 0, 31, 31},
                        {7, 31, 31, 31, 0}, {8, 0, 31, 0, 0}, {0, 0, 0, 31, 0},
                        {9, 0, 0, 31, 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.orientation);
    const std::string path = jpegWithExif("o" + std::to_string(c.orientation) + ".jpg", source,
                                          {test::orientationField(c.orientation)});
    Foto image;
    ASSERT_TRUE(loadImageFile(image, path, 0, 0, true));
    EXPECT_TRUE(near(image.at(c.redX, c.redY), red)) << std::hex << image.at(c.redX, c.redY);
    EXPECT_TRUE(near(image.at(c.greenX, c.greenY), green));
  }
}

TEST_F(ImageFileTest, OrientationIsReadInEveryEntrySizeAndByteOrder) {
  const Foto source = quadrants();
  const Pixel red = makePixel(255, 0, 0);
  const std::vector<std::vector<ExifField>> stores = {
      {test::orientationField(3, 1)},
      {test::orientationField(3, 4)},
  };
  for (std::size_t i = 0; i < stores.size(); ++i) {
    Foto image;
    ASSERT_TRUE(loadImageFile(
        image, jpegWithExif("s" + std::to_string(i) + ".jpg", source, stores[i]), 0, 0, false));
    EXPECT_TRUE(near(image.at(31, 31), red)) << i;
  }
  Foto image;
  ASSERT_TRUE(loadImageFile(
      image, jpegWithExif("big-endian.jpg", source, {test::orientationField(3, 3, true)}, true), 0,
      0, false));
  EXPECT_TRUE(near(image.at(31, 31), red));
}

TEST_F(ImageFileTest, GreyAndAdobeCmykJpegs) {
  const std::string grey = dir.file("grey.jpg");
  ASSERT_TRUE(test::writeJpeg(grey, 16, 16, greySamples(16, 16, 77), JpegKind::Grey));
  Foto image;
  ASSERT_TRUE(loadImageFile(image, grey, 0, 0, false));
  EXPECT_EQ(image.at(3, 3), makePixel(77, 77, 77));

  // Adobe CMYK arrives inverted: all samples 255 is white; K = 0 is black.
  const std::string white = dir.file("white.jpg");
  ASSERT_TRUE(test::writeJpeg(white, 16, 16, std::vector<std::uint8_t>(16 * 16 * 4, 255),
                              JpegKind::Cmyk, 100));
  ASSERT_TRUE(loadImageFile(image, white, 0, 0, false));
  EXPECT_TRUE(near(image.at(5, 5), makePixel(255, 255, 255), 1));
  std::vector<std::uint8_t> noK;
  for (int i = 0; i < 16 * 16; ++i) noK.insert(noK.end(), {255, 200, 100, 0});
  const std::string black = dir.file("black.jpg");
  ASSERT_TRUE(test::writeJpeg(black, 16, 16, noK, JpegKind::Cmyk, 100));
  ASSERT_TRUE(loadImageFile(image, black, 0, 0, false));
  EXPECT_TRUE(near(image.at(5, 5), makePixel(0, 0, 0), 1));
  // K = 128 halves each channel: (200 x 128 + 127) / 255 = 100.
  std::vector<std::uint8_t> halfK;
  for (int i = 0; i < 16 * 16; ++i) halfK.insert(halfK.end(), {200, 100, 255, 128});
  const std::string half = dir.file("half.jpg");
  ASSERT_TRUE(test::writeJpeg(half, 16, 16, halfK, JpegKind::Cmyk, 100));
  ASSERT_TRUE(loadImageFile(image, half, 0, 0, false));
  EXPECT_TRUE(near(image.at(5, 5), makePixel(100, 50, 128), 2)) << std::hex << image.at(5, 5);
}

TEST_F(ImageFileTest, ProgressiveJpegLoads) {
  const Foto source = quadrants();
  const std::string path = dir.file("progressive.jpg");
  ASSERT_TRUE(test::writeJpeg(path, source, 95, {}, true));
  Foto image;
  ASSERT_TRUE(loadImageFile(image, path, 0, 0, false));
  EXPECT_TRUE(near(image.at(31, 31), makePixel(255, 255, 255)));
}

TEST_F(ImageFileTest, JpegFailuresTellTheUserOnlyWhenAsked) {
  Foto image;
  ASSERT_TRUE(image.createQuiet(2, 2));
  const std::string missing = dir.file("missing.jpg");
  EXPECT_FALSE(loadImageFile(image, missing, 0, 0, false));
  EXPECT_TRUE(image.empty());
  EXPECT_TRUE(dialogs->texts().empty());
  EXPECT_FALSE(loadImageFile(image, missing, 0, 0, true));
  ASSERT_EQ(dialogs->messages().size(), 1u);
  EXPECT_EQ(dialogs->messages()[0].text, "Unable to open file '" + missing + "'");
  EXPECT_EQ(dialogs->messages()[0].icon, Icon::Error);
  dialogs->clear();

  const std::string text = (test::testDataDir() / "imaging" / "text-file.jpg").string();
  EXPECT_FALSE(loadImageFile(image, text, 0, 0, true));
  ASSERT_EQ(dialogs->texts().size(), 1u);
  EXPECT_EQ(dialogs->texts()[0], "Unable to load file '" + text + "'");
  EXPECT_TRUE(image.empty());
}

TEST_F(ImageFileTest, DamagedJpegFailsQuietlyButLoadsForTheUser) {
  for (const char* name : {"truncated-half.jpg", "corrupt-scan-data.jpg"}) {
    SCOPED_TRACE(name);
    const std::string path = (test::testDataDir() / "imaging" / name).string();
    Foto image;
    EXPECT_FALSE(loadImageFile(image, path, 0, 0, false));
    EXPECT_TRUE(image.empty());
    EXPECT_FALSE(loadImageFile(image, path, 24, 16, false));
    // Opened by the user: the picture comes as the decoder delivers it, the rest grey.
    ASSERT_TRUE(loadImageFile(image, path, 0, 0, true));
    EXPECT_EQ(image.width, 96u);
    EXPECT_EQ(image.height, 64u);
    EXPECT_TRUE(dialogs->texts().empty());
  }
}

TEST_F(ImageFileTest, DecoderIsChosenByTheNameEnding) {
  const Foto source = quadrants();
  const std::string upper = dir.file("PICTURE.PNG");
  PngPicture png;
  png.width = 2;
  png.height = 1;
  png.colourType = PNG_COLOR_TYPE_RGB;
  png.rows = {{10, 20, 30, 40, 50, 60}};
  ASSERT_TRUE(test::writePng(upper, png));
  Foto image;
  ASSERT_TRUE(loadImageFile(image, upper, 0, 0, true));
  EXPECT_EQ(image.at(1, 0), makePixel(40, 50, 60));

  const std::string doubled = dir.file("picture.png.jpg");
  ASSERT_TRUE(test::writeJpeg(doubled, source));
  ASSERT_TRUE(loadImageFile(image, doubled, 0, 0, true));
  EXPECT_EQ(image.width, 32u);

  const std::string jpegAsPng =
      (test::testDataDir() / "imaging" / "jpeg-with-png-extension.png").string();
  EXPECT_FALSE(loadImageFile(image, jpegAsPng, 0, 0, true));
  ASSERT_EQ(dialogs->texts().size(), 1u);
  EXPECT_EQ(dialogs->texts()[0], "PNG: File " + jpegAsPng + " is not recognized as a PNG file");
  EXPECT_TRUE(image.empty());
}

// ---- PNG ------------------------------------------------------------------------------------

TEST_F(ImageFileTest, PngColourTypesBecomeRgbt) {
  struct Case {
    const char* name;
    PngPicture picture;
    Pixel first, second;
  };
  auto picture = [](int type, int depth, std::vector<std::uint8_t> row) {
    PngPicture p;
    p.width = 2;
    p.height = 1;
    p.colourType = type;
    p.bitDepth = depth;
    p.rows = {std::move(row)};
    return p;
  };
  std::vector<Case> cases = {
      {"rgb.png", picture(PNG_COLOR_TYPE_RGB, 8, {1, 2, 3, 4, 5, 6}), makePixel(1, 2, 3),
       makePixel(4, 5, 6)},
      {"rgba.png", picture(PNG_COLOR_TYPE_RGB_ALPHA, 8, {1, 2, 3, 255, 4, 5, 6, 0}),
       makePixel(1, 2, 3, 0), makePixel(4, 5, 6, 255)},
      {"rgba16.png",
       picture(PNG_COLOR_TYPE_RGB_ALPHA, 16,
               {1, 9, 2, 9, 3, 9, 100, 0, 4, 0, 5, 0, 6, 0, 255, 255}),
       makePixel(1, 2, 3, 155), makePixel(4, 5, 6, 0)},
      {"grey.png", picture(PNG_COLOR_TYPE_GRAY, 8, {7, 200}), makePixel(7, 7, 7),
       makePixel(200, 200, 200)},
      {"grey-alpha.png", picture(PNG_COLOR_TYPE_GRAY_ALPHA, 8, {7, 255, 200, 55}),
       makePixel(7, 7, 7, 0), makePixel(200, 200, 200, 200)},
      {"grey2.png", picture(PNG_COLOR_TYPE_GRAY, 2, {0x3C}), makePixel(0, 0, 0),
       makePixel(255, 255, 255)},
  };
  PngPicture palette = picture(PNG_COLOR_TYPE_PALETTE, 8, {1, 0});
  palette.palette = {10, 20, 30, 40, 50, 60};
  cases.push_back({"palette.png", palette, makePixel(40, 50, 60), makePixel(10, 20, 30)});
  PngPicture paletteAlpha = palette;
  paletteAlpha.transparency = {255, 0};
  cases.push_back(
      {"palette-trns.png", paletteAlpha, makePixel(40, 50, 60, 255), makePixel(10, 20, 30, 0)});
  for (Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(test::writePng(dir.file(c.name), c.picture));
    Foto image;
    ASSERT_TRUE(loadImageFile(image, dir.file(c.name), 0, 0, true));
    ASSERT_EQ(image.width, 2u);
    EXPECT_EQ(image.at(0, 0), c.first);
    EXPECT_EQ(image.at(1, 0), c.second);
  }
  EXPECT_TRUE(dialogs->texts().empty());
}

TEST_F(ImageFileTest, InterlacedPngAndSixteenBitsMatchTheirPlainForms) {
  PngPicture plain;
  plain.width = 9;
  plain.height = 7;
  plain.colourType = PNG_COLOR_TYPE_RGB;
  PngPicture deep = plain;
  deep.bitDepth = 16;
  for (std::uint32_t y = 0; y < 7; ++y) {
    std::vector<std::uint8_t> row, deepRow;
    for (std::uint32_t x = 0; x < 9; ++x) {
      for (std::uint8_t v : {std::uint8_t(x * 20), std::uint8_t(y * 30), std::uint8_t(x + y)}) {
        row.push_back(v);
        deepRow.insert(deepRow.end(), {v, 0x80});
      }
    }
    plain.rows.push_back(row);
    deep.rows.push_back(deepRow);
  }
  PngPicture interlaced = plain;
  interlaced.interlaced = true;
  ASSERT_TRUE(test::writePng(dir.file("plain.png"), plain));
  ASSERT_TRUE(test::writePng(dir.file("deep.png"), deep));
  ASSERT_TRUE(test::writePng(dir.file("interlaced.png"), interlaced));
  Foto a, b, c;
  ASSERT_TRUE(loadImageFile(a, dir.file("plain.png"), 0, 0, false));
  ASSERT_TRUE(loadImageFile(b, dir.file("deep.png"), 4, 4, false));  // the hint is ignored
  ASSERT_TRUE(loadImageFile(c, dir.file("interlaced.png"), 0, 0, false));
  ASSERT_EQ(b.width, 9u);
  for (std::size_t i = 0; i < a.pixelCount(); ++i) {
    EXPECT_EQ(a.pixels[i], b.pixels[i]) << i;
    EXPECT_EQ(a.pixels[i], c.pixels[i]) << i;
  }
  EXPECT_EQ(a.at(8, 6), makePixel(160, 180, 14));
}

TEST_F(ImageFileTest, PngFailuresUseTheirOwnTexts) {
  const auto sample = [](const char* name) {
    return (test::testDataDir() / "imaging" / name).string();
  };
  struct Case {
    std::string path;
    std::string text;
  };
  const std::string missing = dir.file("missing.png");
  const Case cases[] = {
      {missing, "PNG: File " + missing + " could not be opened for reading"},
      {sample("text-file.png"),
       "PNG: File " + sample("text-file.png") + " is not recognized as a PNG file"},
      {sample("empty-file.png"),
       "PNG: File " + sample("empty-file.png") + " is not recognized as a PNG file"},
      {sample("bad-header-checksum.png"), "PNG: Error during init_io"},
      {sample("zero-width.png"), "PNG: Error during init_io"},
      {sample("truncated-image-data.png"), "PNG: Error during read_image"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    dialogs->clear();
    Foto image;
    ASSERT_TRUE(image.createQuiet(3, 3));
    EXPECT_FALSE(loadImageFile(image, c.path, 0, 0, false));
    EXPECT_TRUE(dialogs->texts().empty());
    EXPECT_FALSE(loadImageFile(image, c.path, 0, 0, true));
    EXPECT_TRUE(image.empty());
    ASSERT_EQ(dialogs->texts().size(), 1u);
    EXPECT_EQ(dialogs->texts()[0], c.text);
  }
}

// ---- Damaged and hostile files --------------------------------------------------------------

TEST_F(ImageFileTest, EverySampleOfADamagedFileIsRefusedCleanly) {
  int seen = 0;
  for (const auto& entry : std::filesystem::directory_iterator(test::testDataDir() / "imaging")) {
    const std::string path = entry.path().string();
    if (entry.path().extension() == ".sh") continue;
    SCOPED_TRACE(path);
    ++seen;
    Foto image;
    ASSERT_TRUE(image.createQuiet(5, 5));
    EXPECT_FALSE(loadImageFile(image, path, 0, 0, false));
    EXPECT_TRUE(image.empty());
    EXPECT_EQ(image.width, 0u);
    EXPECT_FALSE(loadImageFile(image, path, 48, 48, false));
    EXPECT_TRUE(image.empty());
  }
  EXPECT_GE(seen, 10);
}

#if defined(__SANITIZE_ADDRESS__)
#define TG_SKIP_UNDER_ASAN() GTEST_SKIP() << "address-space limits do not mix with ASan"
#else
#define TG_SKIP_UNDER_ASAN() (void)0
#endif

// Loads `path` with messages on in a child whose address space is limited to 2 GiB, and exits 0
// when the load failed with exactly the expected out-of-memory message.
void loadUnderMemoryLimit(const std::string& path, const std::string& expected) {
  rlimit limit{std::uint64_t{2} << 30, std::uint64_t{2} << 30};
  if (setrlimit(RLIMIT_AS, &limit) != 0) std::_Exit(3);
  ScopedScriptedDialogs dialogs;
  Foto image;
  const bool loaded = loadImageFile(image, path, 0, 0, true);
  const auto texts = dialogs->texts();
  std::_Exit(!loaded && image.empty() && texts.size() == 1 && texts[0] == expected ? 0 : 1);
}

TEST(ImageFileHuge, HeaderClaiming65000SquaredFailsWithTheOutOfMemoryMessage) {
  const std::string jpeg =
      (test::testDataDir() / "imaging" / "huge-dimensions-65000x65000.jpg").string();
  const std::string png =
      (test::testDataDir() / "imaging" / "huge-dimensions-65000x65000.png").string();
  std::uint32_t w = 0, h = 0;
  ASSERT_TRUE(readImageSize(jpeg, w, h));
  EXPECT_EQ(w, 65000u);
  ASSERT_TRUE(readImageSize(png, w, h));
  EXPECT_EQ(h, 65000u);
  TG_SKIP_UNDER_ASAN();
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(loadUnderMemoryLimit(
                  jpeg, "Out Of Memory while allocating an Image made of 65000x65000 Pixels!!"),
              testing::ExitedWithCode(0), "");
  EXPECT_EXIT(loadUnderMemoryLimit(
                  png, "Out Of Memory while allocating an Image made of 65000x65000 Pixels!"),
              testing::ExitedWithCode(0), "");
}

// A few kilobytes cannot hold 65000 x 65000 pixels of Huffman-coded data (every 8 x 8 block
// costs at least a bit): the header is refused before anything is allocated, also where the
// machine could grant the 17 GB, and also under the sanitizers.
TEST_F(ImageFileTest, AHeaderTheFileCannotHoldIsRefusedBeforeAllocating) {
  const std::string jpeg =
      (test::testDataDir() / "imaging" / "huge-dimensions-65000x65000.jpg").string();
  Foto image;
  EXPECT_FALSE(loadImageFile(image, jpeg, 0, 0, false));
  EXPECT_TRUE(dialogs->texts().empty());
  EXPECT_FALSE(loadImageFile(image, jpeg, 0, 0, true));
  EXPECT_TRUE(image.empty());
  ASSERT_EQ(dialogs->texts().size(), 1u);
  EXPECT_EQ(dialogs->texts()[0],
            "Out Of Memory while allocating an Image made of 65000x65000 Pixels!!");
}

TEST_F(ImageFileTest, ThreadsDecodeDifferentFilesAtOnce) {
  // Tile analysis decodes on every core: each call must keep its own decoder state.
  const std::string jpeg = dir.file("shared.jpg");
  ASSERT_TRUE(test::writeJpeg(jpeg, quadrants()));
  PngPicture png;
  png.width = 3;
  png.height = 2;
  png.colourType = PNG_COLOR_TYPE_RGB_ALPHA;
  png.rows = {{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12},
              {13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24}};
  ASSERT_TRUE(test::writePng(dir.file("shared.png"), png));
  Foto expectedJpeg, expectedPng;
  ASSERT_TRUE(loadImageFile(expectedJpeg, jpeg, 0, 0, false));
  ASSERT_TRUE(loadImageFile(expectedPng, dir.file("shared.png"), 0, 0, false));
  const std::string damaged = (test::testDataDir() / "imaging" / "truncated-half.jpg").string();
  std::vector<int> mismatches(4, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < 25; ++round) {
        Foto a, b, c;
        const bool okA = loadImageFile(a, jpeg, 0, 0, false);
        const bool okB = loadImageFile(b, dir.file("shared.png"), 0, 0, false);
        const bool okC = loadImageFile(c, damaged, 0, 0, false);
        if (!okA || !okB || okC ||
            std::memcmp(a.pixels, expectedJpeg.pixels, a.pixelCount() * 4) != 0 ||
            std::memcmp(b.pixels, expectedPng.pixels, b.pixelCount() * 4) != 0) {
          ++mismatches[t];
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < 4; ++t) EXPECT_EQ(mismatches[t], 0) << "thread " << t;
}

// ---- Size and date queries ------------------------------------------------------------------

TEST_F(ImageFileTest, ReadImageSizeReadsHeadersOnly) {
  const std::string jpeg = dir.file("size.jpg");
  ASSERT_TRUE(test::writeJpeg(jpeg, test::patternImage(33, 17)));
  std::uint32_t w = 0, h = 0;
  ASSERT_TRUE(readImageSize(jpeg, w, h));
  EXPECT_EQ(w, 33u);
  EXPECT_EQ(h, 17u);
  const std::string truncated =
      (test::testDataDir() / "imaging" / "truncated-image-data.png").string();
  ASSERT_TRUE(readImageSize(truncated, w, h));
  EXPECT_EQ(w, 96u);
  EXPECT_EQ(h, 64u);
  w = h = 7;
  EXPECT_FALSE(readImageSize(dir.file("missing.jpg"), w, h));
  EXPECT_FALSE(readImageSize((test::testDataDir() / "imaging" / "text-file.jpg").string(), w, h));
  EXPECT_FALSE(readImageSize(
      (test::testDataDir() / "imaging" / "jpeg-with-png-extension.png").string(), w, h));
  EXPECT_EQ(w, 7u);
  EXPECT_TRUE(dialogs->texts().empty());
}

bool looksLikeDate(const std::string& text) {
  if (text.size() != 19) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char expected = i == 4 || i == 7 || i == 13 || i == 16 ? ':' : i == 10 ? ' ' : '0';
    if (expected == '0' ? !std::isdigit(static_cast<unsigned char>(text[i]))
                        : text[i] != expected) {
      return false;
    }
  }
  return true;
}

TEST_F(ImageFileTest, ShootingDateFromExifOrTheFile) {
  const Foto source = test::patternImage(8, 8);
  EXPECT_EQ(readShootingDate(jpegWithExif(
                "ifd0.jpg", source,
                {test::orientationField(1), test::dateTimeField("2019:07:14 10:20:30")})),
            "2019:07:14 10:20:30");
  const std::string sub = dir.file("sub.jpg");
  ASSERT_TRUE(test::writeJpeg(
      sub, source, 90,
      test::exifBlock({test::orientationField(1)}, {test::dateTimeField("2001:02:03 04:05:06")})));
  EXPECT_EQ(readShootingDate(sub), "2001:02:03 04:05:06");

  // Rejected texts fall back to the file's own time.
  const std::string zeros =
      jpegWithExif("zeros.jpg", source, {test::dateTimeField("0000:00:00 00:00:00")});
  const std::string shortText = jpegWithExif("short.jpg", source, {test::dateTimeField("2019:07")});
  const std::string none = dir.file("none.jpg");
  ASSERT_TRUE(test::writeJpeg(none, source));
  for (const std::string& path : {zeros, shortText, none}) {
    const std::string date = readShootingDate(path);
    EXPECT_TRUE(looksLikeDate(date)) << date;
    EXPECT_NE(date.substr(0, 4), "0000");
  }
  EXPECT_EQ(readShootingDate(dir.file("missing.jpg")), "");
}

// ---- The window's cache ---------------------------------------------------------------------

TEST_F(ImageFileTest, CachedImageLoadsOnceAndReleasesEverything) {
  const std::string path = dir.file("main.jpg");
  ASSERT_TRUE(test::writeJpeg(path, quadrants()));
  CachedImage cache;
  const Foto* first = cache.image(path);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->width, 32u);
  std::filesystem::remove(path);
  EXPECT_EQ(cache.image(path), first);  // served from the cache, not the file
  EXPECT_EQ(cache.image(""), nullptr);
  EXPECT_EQ(cache.image(dir.file("missing.jpg")), nullptr);
  EXPECT_EQ(cache.size(), 1u);
  cache.releaseAll();
  EXPECT_EQ(cache.size(), 0u);
  EXPECT_EQ(cache.image(path), nullptr);
}

}  // namespace
}  // namespace tg
