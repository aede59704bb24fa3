// SPDX-License-Identifier: GPL-3.0-or-later
#include <cstdint>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "output/photoshop_writer.h"
#include "platform/scripted_dialogs.h"
#include "row_helpers.h"
#include "support/scratch_dir.h"

namespace tg {
namespace {

using test::PatternRows;
using test::readBe;
using test::testColour;

class PhotoshopWriterTest : public ::testing::Test {
 protected:
  test::ScratchDir m_dir;
  ScopedScriptedDialogs m_dialogs;
};

TEST_F(PhotoshopWriterTest, TwoPixelPsdIsByteExact) {
  Foto image;
  ASSERT_TRUE(image.create(2, 1));
  image.at(0, 0) = makePixel(255, 0, 0, 255);  // T never reaches the file
  image.at(1, 0) = makePixel(0, 0, 255);
  const std::string path = m_dir.file("two.psd");
  ASSERT_TRUE(writePhotoshopImage(image, path, 300));
  const std::string b = test::readFile(path);
  ASSERT_EQ(b.size(), 120u);
  EXPECT_EQ(b.substr(0, 4), "8BPS");
  EXPECT_EQ(readBe(b, 4, 2), 1u);
  EXPECT_EQ(readBe(b, 6, 6), 0u);
  EXPECT_EQ(readBe(b, 12, 2), 3u);
  EXPECT_EQ(readBe(b, 14, 4), 1u);
  EXPECT_EQ(readBe(b, 18, 4), 2u);
  EXPECT_EQ(readBe(b, 22, 2), 8u);
  EXPECT_EQ(readBe(b, 24, 2), 3u);
  EXPECT_EQ(readBe(b, 26, 4), 0u);
  EXPECT_EQ(readBe(b, 30, 4), 74u);
  EXPECT_EQ(b.substr(34, 4), "8BIM");
  EXPECT_EQ(readBe(b, 38, 2), 1008u);
  EXPECT_EQ(readBe(b, 42, 4), 34u);
  EXPECT_EQ(static_cast<unsigned char>(b[46]), 32u);
  EXPECT_EQ(b.substr(47, 32), "Mosaic created with Tesselograph");
  EXPECT_EQ(b[79], '\0');
  EXPECT_EQ(b.substr(80, 4), "8BIM");
  EXPECT_EQ(readBe(b, 84, 2), 1005u);
  EXPECT_EQ(readBe(b, 88, 4), 16u);
  EXPECT_EQ(readBe(b, 92, 4), 0x012C0000u);
  EXPECT_EQ(readBe(b, 96, 2), 1u);
  EXPECT_EQ(readBe(b, 98, 2), 1u);
  EXPECT_EQ(readBe(b, 100, 4), 0x012C0000u);
  EXPECT_EQ(readBe(b, 108, 4), 0u);
  EXPECT_EQ(readBe(b, 112, 2), 0u);
  EXPECT_EQ(b.substr(114), std::string("\xFF\x00\x00\x00\x00\xFF", 6));
}

TEST_F(PhotoshopWriterTest, PsbHasTheLongLayerLengthAndPlanesInPlace) {
  PatternRows rows(5, testColour);
  const std::string path = m_dir.file("big.psb");
  ASSERT_TRUE(writePhotoshopRows(rows, path, 5, 3, true, 72));
  const std::string b = test::readFile(path);
  ASSERT_EQ(b.size(), 118u + 45u);
  EXPECT_EQ(readBe(b, 4, 2), 2u);
  EXPECT_EQ(readBe(b, 108, 8), 0u);
  for (std::uint32_t k = 0; k < 3; ++k) {
    for (std::uint32_t y = 0; y < 3; ++y) {
      for (std::uint32_t x = 0; x < 5; ++x) {
        const auto expected = (testColour(x, y) >> (8 * k)) & 0xFF;
        EXPECT_EQ(static_cast<unsigned char>(b[118 + (k * 3 + y) * 5 + x]), expected);
      }
    }
  }
}

TEST_F(PhotoshopWriterTest, SizeLimitsAndTheirAdvice) {
  struct Case {
    std::uint32_t width, height;
    bool large;
  };
  const std::string psd =
      "Unable to save the mosaic into the Photoshop PSD file format because the maximum "
      "width/height is 30000 pixels. ";
  const std::string psb =
      "Unable to save the mosaic into the Photoshop PSB file format because the maximum "
      "width/height is 300000 pixels. ";
  const std::string toPsb =
      "Use the Photoshop PSB file format for a width/height up to 300,000 pixels";
  const std::string toRaw = "Use RAW/PPM file format for a width/height over 300,000 pixels";
  const Case cases[] = {{30001, 10, false}, {10, 300000, false}, {300001, 10, true}};
  const std::string expected[] = {psd + toPsb, psd + toRaw, psb + toRaw};
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    m_dialogs->clear();
    PatternRows rows(cases[i].width, testColour);
    const std::string path = m_dir.file("limit" + std::to_string(i) + ".psd");
    EXPECT_FALSE(
        writePhotoshopRows(rows, path, cases[i].width, cases[i].height, cases[i].large, 0));
    ASSERT_EQ(m_dialogs->texts().size(), 1u);
    EXPECT_EQ(m_dialogs->texts()[0], expected[i]);
    EXPECT_EQ(rows.delivered(), 0u);
  }
}

TEST_F(PhotoshopWriterTest, ThirtyThousandSquareIsWithinTheLimit) {
  // The limit itself is allowed: the space is reserved and two rows per plane are written
  // before the stop, which is silent and leaves no half-written file behind.
  PatternRows rows(30000, testColour);
  rows.failAfter(2, true);
  const std::string path = m_dir.file("edge.psd");
  EXPECT_FALSE(writePhotoshopRows(rows, path, 30000, 30000, false, 0));
  EXPECT_TRUE(m_dialogs->texts().empty()) << "the limit itself is allowed; the stop is silent";
  EXPECT_EQ(rows.delivered(), 2u);
  EXPECT_FALSE(std::filesystem::exists(path));
}

TEST_F(PhotoshopWriterTest, AStopKeepsTheEarlierFileSilently) {
  const std::string path = m_dir.file("stopped.psd");
  PatternRows first(7, testColour);
  ASSERT_TRUE(writePhotoshopRows(first, path, 7, 20, false, 0));
  const std::string earlier = test::readFile(path);
  PatternRows rows(7, [](std::uint32_t, std::uint32_t) { return makePixel(9, 9, 9, 0); });
  rows.failAfter(10, true);
  EXPECT_FALSE(writePhotoshopRows(rows, path, 7, 20, false, 0));
  EXPECT_TRUE(m_dialogs->texts().empty());
  EXPECT_EQ(test::readFile(path), earlier);
}

TEST_F(PhotoshopWriterTest, UnwritableFileAndRenderFailureSayUnableToSave) {
  PatternRows rows(4, testColour);
  const std::string missing = m_dir.file("nowhere") + "/x.psd";
  EXPECT_FALSE(writePhotoshopRows(rows, missing, 4, 4, false, 0));
  PatternRows broken(4, testColour);
  broken.failAfter(1, false);
  EXPECT_FALSE(writePhotoshopRows(broken, m_dir.file("broken.psd"), 4, 4, false, 0));
  if (std::filesystem::exists("/dev/full")) {
    PatternRows full(4, testColour);
    EXPECT_FALSE(writePhotoshopRows(full, "/dev/full", 4, 4, false, 0));
  }
  const auto texts = m_dialogs->texts();
  ASSERT_GE(texts.size(), 2u);
  EXPECT_EQ(texts[0], "Unable to save file '" + missing + "'");
  EXPECT_EQ(texts[1], "Unable to save file '" + m_dir.file("broken.psd") + "'");
  if (texts.size() > 2) {
    EXPECT_FALSE(texts[2].empty()) << "the full disk is reported too";
  }
}

}  // namespace
}  // namespace tg
