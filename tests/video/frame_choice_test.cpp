// SPDX-License-Identifier: GPL-3.0-or-later
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "video/four_cc.h"
#include "video/reverse_loop.h"

namespace tg {
namespace {

std::vector<uint32_t> shownFrames(uint32_t frameCount, uint32_t frameTotal, ReverseLoopMode mode) {
  std::vector<uint32_t> frames;
  for (uint32_t i = 1; i <= frameTotal; ++i) {
    frames.push_back(clipFrameIndex(frameCount, i, frameTotal, mode));
  }
  return frames;
}

std::vector<uint32_t> joined(std::initializer_list<std::vector<uint32_t>> parts) {
  std::vector<uint32_t> all;
  for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

std::vector<uint32_t> run(uint32_t from, uint32_t to) {
  std::vector<uint32_t> frames;
  if (from <= to) {
    for (uint32_t f = from; f <= to; ++f) frames.push_back(f);
  } else {
    for (uint32_t f = from + 1; f-- > to;) frames.push_back(f);
  }
  return frames;
}

TEST(ClipFrameIndex, BackAndForthSqueezesTheLastPeriodAndEndsOnFrameZero) {
  const auto expected = joined({run(0, 9), run(9, 0), {0, 1, 2, 1, 0}});
  EXPECT_EQ(shownFrames(10, 25, ReverseLoopMode::All), expected);
  // A clip no longer than the mosaic plays back and forth in "necessary" mode too.
  EXPECT_EQ(shownFrames(10, 25, ReverseLoopMode::Necessary), expected);
}

TEST(ClipFrameIndex, ForwardModesRestartOrRunOnce) {
  EXPECT_EQ(shownFrames(10, 25, ReverseLoopMode::None), joined({run(0, 9), run(0, 9), run(0, 4)}));
  EXPECT_EQ(shownFrames(30, 25, ReverseLoopMode::Necessary), run(0, 24));
}

TEST(ClipFrameIndex, ShortMosaicsNeverReachTheClipsEnd) {
  EXPECT_EQ(shownFrames(10, 15, ReverseLoopMode::All), joined({run(0, 7), run(6, 0)}));
  EXPECT_EQ(shownFrames(10, 15, ReverseLoopMode::Necessary), joined({run(0, 7), run(6, 0)}));
  EXPECT_EQ(shownFrames(10, 1, ReverseLoopMode::All), std::vector<uint32_t>{0});
}

TEST(ClipFrameIndex, AnalysisAndDegenerateInputsGiveValidFrames) {
  // Tile analysis asks for output frame 1 of 0: the first frame in every mode.
  for (const auto mode :
       {ReverseLoopMode::None, ReverseLoopMode::Necessary, ReverseLoopMode::All}) {
    EXPECT_EQ(clipFrameIndex(10, 1, 0, mode), 0u);
    EXPECT_EQ(clipFrameIndex(0, 5, 25, mode), 0u);
    EXPECT_EQ(clipFrameIndex(1, 7, 25, mode), 0u);
  }
  // Frame numbers past the mosaic's end stay inside the clip.
  for (uint32_t i = 1; i <= 200; ++i) {
    EXPECT_LT(clipFrameIndex(10, i, 25, ReverseLoopMode::All), 10u) << i;
    EXPECT_LT(clipFrameIndex(7, i, 30, ReverseLoopMode::Necessary), 7u) << i;
  }
  // Whole periods of a long mosaic show each end frame twice in a row.
  EXPECT_EQ(clipFrameIndex(65000, 65000, 130000, ReverseLoopMode::All), 64999u);
  EXPECT_EQ(clipFrameIndex(65000, 65001, 130000, ReverseLoopMode::All), 64999u);
  EXPECT_EQ(clipFrameIndex(65000, 130000, 130000, ReverseLoopMode::All), 0u);
}

TEST(ReverseLoopMode, TextsIgnoreBlanksAndCase) {
  EXPECT_EQ(reverseLoopModeFromText("NONE"), ReverseLoopMode::None);
  EXPECT_EQ(reverseLoopModeFromText("  N O NE "), ReverseLoopMode::None);
  EXPECT_EQ(reverseLoopModeFromText("Necessary"), ReverseLoopMode::Necessary);
  EXPECT_EQ(reverseLoopModeFromText("\tnecessary"), ReverseLoopMode::Necessary);
  EXPECT_EQ(reverseLoopModeFromText("ALL"), ReverseLoopMode::All);
  EXPECT_EQ(reverseLoopModeFromText(""), ReverseLoopMode::All);
  EXPECT_EQ(reverseLoopModeFromText("nothing"), ReverseLoopMode::All);

  configureReverseLoop(" none ");
  EXPECT_EQ(reverseLoopMode(), ReverseLoopMode::None);
  configureReverseLoop("ALL");
  EXPECT_EQ(reverseLoopMode(), ReverseLoopMode::All);
}

TEST(FourCC, TextForms) {
  struct Row {
    std::string text;
    uint32_t code;
  };
  const std::vector<Row> rows = {
      {"uncompressed", 0},
      {"  UnCompressed ", 0},
      {"0", 0},
      {"o", 0},
      {"O", 0},
      {"XVID", 0x44495658},
      {"xvid", 0x64697678},
      {" X V I D ", 0x44495658},
      {"MJPG", 0x47504A4D},
      {"DX50", 0x30355844},
      {"XVI", 0},
      {"XVIDX", 0},
      {"", 0},
      {"00", 0},
      // Four characters, one of them outside ASCII: the low byte of each code point.
      {"AB\xC3\xA9"
       "C",
       0x43E94241},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(fourCCFromText(row.text), row.code) << '"' << row.text << '"';
  }
}

}  // namespace
}  // namespace tg
