// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/frame_bitmap.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "platform/scripted_dialogs.h"

namespace tg {
namespace {

std::vector<std::uint8_t> frame(std::int32_t width, std::int32_t height, std::uint16_t bits,
                                std::uint32_t colours, std::size_t dataBytes) {
  BitmapInfoHeader header{};
  header.headerSize = sizeof header;
  header.width = width;
  header.height = height;
  header.planes = 1;
  header.bitCount = bits;
  header.coloursUsed = colours;
  std::vector<std::uint8_t> bytes(sizeof header + colours * 4 + dataBytes, 0);
  std::memcpy(bytes.data(), &header, sizeof header);
  return bytes;
}

TEST(FrameToFoto, TwentyFourBitRowsAreBottomUpAndPadded) {
  // 3 pixels of 3 bytes = 9 bytes, padded to a stride of 12.
  auto bytes = frame(3, 2, 24, 0, 24);
  std::uint8_t* data = bytes.data() + sizeof(BitmapInfoHeader);
  const std::uint8_t bottom[] = {1, 2, 3, 4, 5, 6, 7, 8, 9};  // B, G, R per pixel
  const std::uint8_t top[] = {10, 11, 12, 13, 14, 15, 16, 17, 18};
  std::memcpy(data, bottom, 9);
  std::memcpy(data + 12, top, 9);
  Foto image;
  ASSERT_TRUE(frameToFoto(bytes.data(), bytes.size(), image));
  ASSERT_EQ(image.width, 3u);
  ASSERT_EQ(image.height, 2u);
  EXPECT_EQ(image.at(0, 0), makePixel(12, 11, 10));
  EXPECT_EQ(image.at(2, 0), makePixel(18, 17, 16));
  EXPECT_EQ(image.at(0, 1), makePixel(3, 2, 1));
  EXPECT_EQ(image.at(2, 1), makePixel(9, 8, 7));
}

TEST(FrameToFoto, EightBitFramesUseTheColourTableAtAStrideOf324) {
  // 321 pixels wide: rows of 321 bytes are stored 324 bytes apart.
  auto bytes = frame(321, 2, 8, 2, 2 * 324);
  std::uint8_t* table = bytes.data() + sizeof(BitmapInfoHeader);
  const std::uint8_t entries[] = {30, 20, 10, 0, 60, 50, 40, 0};  // B, G, R, reserved
  std::memcpy(table, entries, sizeof entries);
  std::uint8_t* data = table + 8;
  data[0] = 1;        // bottom row, first pixel
  data[320] = 7;      // beyond the table: black
  data[324 + 0] = 0;  // top row
  data[324 + 320] = 1;
  Foto image;
  ASSERT_TRUE(frameToFoto(bytes.data(), bytes.size(), image));
  EXPECT_EQ(image.at(0, 1), makePixel(40, 50, 60));
  EXPECT_EQ(image.at(320, 1), 0u);
  EXPECT_EQ(image.at(0, 0), makePixel(10, 20, 30));
  EXPECT_EQ(image.at(320, 0), makePixel(40, 50, 60));
}

TEST(FrameToFoto, RefusesOtherFormatsAndShortBuffers) {
  ScopedScriptedDialogs dialogs;
  Foto image;
  ASSERT_TRUE(image.createQuiet(2, 2));
  auto good = frame(4, 4, 24, 0, 48);
  auto compressed = good;
  compressed[16] = 1;  // compression field
  EXPECT_FALSE(frameToFoto(compressed.data(), compressed.size(), image));
  EXPECT_TRUE(image.empty());
  const auto refuse = [&](std::vector<std::uint8_t> bytes) {
    Foto target;
    ASSERT_TRUE(target.createQuiet(1, 1));
    EXPECT_FALSE(frameToFoto(bytes.data(), bytes.size(), target));
    EXPECT_TRUE(target.empty());
  };
  refuse(frame(4, 4, 32, 0, 64));
  refuse(frame(4, 4, 16, 0, 32));
  refuse(frame(0, 4, 24, 0, 0));
  refuse(frame(4, -4, 24, 0, 48));
  refuse(std::vector<std::uint8_t>(good.begin(), good.end() - 1));  // one byte short
  refuse(std::vector<std::uint8_t>(good.begin(), good.begin() + 20));
  refuse(frame(100000, 100000, 24, 0, 16));  // claims more than it holds
  auto lyingTable = frame(4, 1, 8, 0, 4);
  lyingTable[32] = 0xFF;  // coloursUsed = 255 entries that are not there
  refuse(lyingTable);
  EXPECT_FALSE(frameToFoto(nullptr, 0, image));
  EXPECT_TRUE(dialogs->texts().empty());
  ASSERT_TRUE(frameToFoto(good.data(), good.size(), image));
  EXPECT_EQ(image.width, 4u);
}

}  // namespace
}  // namespace tg
