// SPDX-License-Identifier: GPL-3.0-or-later
// Frame k must be frame k: every frame of 300-frame clips, read in shuffled order, against the
// ffmpeg tool's own decode of the same file.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "clip_maker.h"
#include "imaging/foto.h"
#include "imaging/frame_bitmap.h"
#include "support/scratch_dir.h"
#include "video/avi_stream.h"

namespace tg {
namespace {

constexpr int kWidth = 48;
constexpr int kHeight = 32;
constexpr uint32_t kFrames = 300;
constexpr std::size_t kFrameBytes = std::size_t{kWidth} * kHeight * 3;

struct Kind {
  const char* name;
  const char* file;
  const char* rate;
  std::vector<std::string> codec;
};

// Long and open groups of pictures, B-frames, odd rates and containers that leave time stamps
// out (AVI, MPEG program streams).
const Kind kKinds[] = {
    {"xvid_avi", "b.avi", "25", {"-c:v", "mpeg4", "-vtag", "XVID", "-g", "30", "-bf", "2"}},
    {"mpeg2_open_gop_mpg", "open.mpg", "25", {"-c:v", "mpeg2video", "-g", "15", "-bf", "2"}},
    {"mpeg1_mpg", "m1.mpg", "24000/1001", {"-c:v", "mpeg1video", "-g", "12", "-bf", "2"}},
    {"h264_long_gop_mp4",
     "long.mp4",
     "30000/1001",
     {"-c:v", "libx264", "-g", "250", "-bf", "3", "-pix_fmt", "yuv420p"}},
    {"h264_open_gop_mkv",
     "open.mkv",
     "12",
     {"-c:v", "libx264", "-g", "40", "-bf", "3", "-x264-params", "open-gop=1", "-pix_fmt",
      "yuv420p"}},
};

// Every frame of `path` as the ffmpeg tool decodes it: top-down blue-green-red rows.
std::vector<std::string> referenceFrames(const std::string& path) {
  const std::string all =
      test::programOutput({"ffmpeg", "-v", "error", "-i", path, "-sws_flags", "bilinear", "-f",
                           "rawvideo", "-pix_fmt", "bgr24", "-"});
  std::vector<std::string> frames;
  for (std::size_t at = 0; at + kFrameBytes <= all.size(); at += kFrameBytes) {
    frames.push_back(all.substr(at, kFrameBytes));
  }
  return frames;
}

// Mean difference per byte between a delivered bitmap (bottom-up rows) and a reference frame.
double meanDifference(const uint8_t* bitmap, const std::string& reference) {
  const uint8_t* rows = bitmap + 40;
  long total = 0;
  for (int y = 0; y < kHeight; ++y) {
    const uint8_t* row = rows + static_cast<std::size_t>(kHeight - 1 - y) * kWidth * 3;
    for (int i = 0; i < kWidth * 3; ++i) {
      total += std::abs(
          row[i] -
          static_cast<uint8_t>(
              reference[static_cast<std::size_t>(y) * kWidth * 3 + static_cast<std::size_t>(i)]));
    }
  }
  return static_cast<double>(total) / static_cast<double>(kFrameBytes);
}

// Neighbouring frames differ by 9 in red over the whole picture (3 per byte on average); the
// same frame decoded twice differs by rounding only.
constexpr double kSameFrame = 1.0;

class ExactFrames : public ::testing::TestWithParam<Kind> {};

TEST_P(ExactFrames, EveryFrameInShuffledOrderMatchesTheToolsDecode) {
  if (!test::haveFfmpegTools()) GTEST_SKIP() << "the ffmpeg tool is not installed";
  test::ScratchDir dir;
  const std::string path = dir.file(GetParam().file);
  ASSERT_TRUE(test::makeClip(path, kWidth, kHeight, kFrames, GetParam().rate, GetParam().codec));
  const std::vector<std::string> reference = referenceFrames(path);
  ASSERT_EQ(reference.size(), kFrames);

  CAviStream stream;
  ASSERT_TRUE(stream.open(path)) << stream.message();
  ASSERT_EQ(stream.frameCount(), kFrames);
  // 149 is prime to 300: every frame once, jumping forward and back across groups; the last
  // frames come early and frame 0 after them.
  for (uint32_t n = 0; n < kFrames; ++n) {
    const uint32_t k = (299 + n * 149) % kFrames;
    const uint8_t* frame = stream.frame(k);
    ASSERT_NE(frame, nullptr) << "frame " << k;
    EXPECT_LT(meanDifference(frame, reference[k]), kSameFrame) << "frame " << k;
  }
  // Fresh opens straight at a frame, and backward steps one by one.
  for (const uint32_t k : {15u, 299u, 150u}) {
    CAviStream fresh;
    ASSERT_TRUE(fresh.open(path));
    for (uint32_t j = k; j + 3 > k && j < kFrames; --j) {
      const uint8_t* frame = fresh.frame(j);
      ASSERT_NE(frame, nullptr) << "frame " << j;
      EXPECT_LT(meanDifference(frame, reference[j]), kSameFrame) << "frame " << j;
    }
  }
  EXPECT_EQ(stream.frame(kFrames), nullptr);

  // The direct conversion gives the pixels the bitmap's conversion gives, into a reused picture.
  Foto direct;
  Foto converted;
  for (const uint32_t k : {7u, 8u, 200u}) {
    ASSERT_TRUE(stream.frameImage(k, direct)) << k;
    const uint8_t* frame = stream.frame(k);
    ASSERT_NE(frame, nullptr);
    ASSERT_TRUE(frameToFoto(frame, stream.frameBytes(), converted));
    ASSERT_EQ(direct.width, converted.width);
    ASSERT_EQ(direct.height, converted.height);
    EXPECT_TRUE(std::equal(direct.pixels, direct.pixels + direct.pixelCount(), converted.pixels))
        << "frame " << k;
  }
  EXPECT_FALSE(stream.frameImage(kFrames, direct));

  // A held frame converted later around a part gives the part's pixels of the whole conversion
  // and leaves pixels far from it alone; the reader moving on does not change it.
  CAviStream::HeldFramePtr held = stream.holdFrame(150);
  ASSERT_TRUE(held);
  ASSERT_TRUE(stream.frameImage(151, converted));
  ASSERT_TRUE(stream.frameImage(150, converted));
  Foto part;
  ASSERT_TRUE(part.create(kWidth, kHeight));
  std::fill(part.pixels, part.pixels + part.pixelCount(), 0x12345678u);
  const CAviStream::FramePart square{21, 9, 10, 10};
  ASSERT_TRUE(CAviStream::convertFrame(*held, part, &square));
  for (uint32_t y = square.y; y < square.y + square.height; ++y) {
    for (uint32_t x = square.x; x < square.x + square.width; ++x) {
      ASSERT_EQ(part.pixels[y * kWidth + x], converted.pixels[y * kWidth + x]) << x << "," << y;
    }
  }
  EXPECT_EQ(part.pixels[0], 0x12345678u);
}

INSTANTIATE_TEST_SUITE_P(Video, ExactFrames, ::testing::ValuesIn(kKinds),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ExactFramesCut, ATruncatedClipGivesItsOwnFramesOrNone) {
  if (!test::haveFfmpegTools()) GTEST_SKIP() << "the ffmpeg tool is not installed";
  test::ScratchDir dir;
  const std::string whole = dir.file("whole.avi");
  ASSERT_TRUE(test::makeClip(whole, kWidth, kHeight, 120, "25",
                             {"-c:v", "mpeg4", "-vtag", "XVID", "-g", "30", "-bf", "2"}));
  const std::string bytes = test::readFile(whole);
  const std::string cut = dir.file("cut-in-half.avi");
  test::writeFile(cut, bytes.substr(0, bytes.size() / 2));
  // The last frame is damaged where the file ends; it is compared with the tool's decode of
  // the same cut file.
  const std::vector<std::string> reference = referenceFrames(cut);
  ASSERT_GT(reference.size(), 20u);
  ASSERT_LT(reference.size(), 120u);

  CAviStream stream;
  stream.setShowErrors(false);
  ASSERT_TRUE(stream.open(cut)) << stream.message();
  const uint32_t count = stream.frameCount();
  EXPECT_EQ(count, reference.size());
  int delivered = 0;
  for (uint32_t n = 0; n < 120; ++n) {
    const uint32_t k = (119 + n * 47) % 120;
    const uint8_t* frame = stream.frame(k);
    if (frame == nullptr) continue;
    ++delivered;
    ASSERT_LT(k, count);
    EXPECT_LT(meanDifference(frame, reference[k]), kSameFrame) << "frame " << k;
  }
  EXPECT_EQ(delivered, static_cast<int>(count));
}

}  // namespace
}  // namespace tg
