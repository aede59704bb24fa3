// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "clip_maker.h"
#include "imaging/frame_bitmap.h"
#include "platform/scripted_dialogs.h"
#include "support/scratch_dir.h"
#include "video/avi_stream.h"
#include "video/four_cc.h"

namespace tg {
namespace {

using test::bitmapPixel;
using test::patternColour;

constexpr int kWidth = 64;
constexpr int kHeight = 48;
constexpr int kFrames = 60;

// Points in the middle of the pattern's four quarters, away from edges lossy codecs blur.
constexpr std::pair<int, int> kProbePoints[] = {{12, 10}, {52, 10}, {12, 38}, {52, 38}};

struct ClipKind {
  const char* name;
  const char* file;
  const char* rate;
  uint32_t expectedRate;
  const char* codec;  // the ffmpeg tool's codec options, separated by blanks
};

// Long groups of pictures with B-frames where the codec has them, so that most frames can only
// be decoded from an earlier key frame, and some are stored after frames shown later.
// clang-format off
const ClipKind kClipKinds[] = {
    {"xvid_avi",  "clip.avi",      "25",         12500, "-c:v mpeg4 -vtag XVID -g 30 -bf 2 -q:v 2"},
    {"mjpg_avi",  "clip_mjpg.avi", "30",         15000, "-c:v mjpeg -q:v 2"},
    {"h264_mp4",  "clip.mp4",      "30000/1001", 14985, "-c:v libx264 -g 50 -bf 3 -pix_fmt yuv420p -crf 8"},
    {"mpeg4_mov", "clip.mov",      "25",         12500, "-c:v mpeg4 -g 20 -bf 1 -q:v 2"},
    {"h264_mkv",  "clip.mkv",      "25",         12500, "-c:v libx264 -g 40 -bf 2 -pix_fmt yuv420p -crf 8"},
    {"mpeg2_mpg", "clip.mpg",      "25",         12500, "-c:v mpeg2video -g 15 -bf 2 -q:v 2"},
    {"vp9_webm",  "clip.webm",     "30",         15000, "-c:v libvpx-vp9 -g 30 -crf 4 -b:v 0 -deadline realtime"},
};
// clang-format on

std::vector<std::string> words(const std::string& text) {
  std::vector<std::string> result;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = std::min(text.find(' ', start), text.size());
    if (end > start) result.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return result;
}

class ClipFormats : public ::testing::TestWithParam<ClipKind> {
 protected:
  void SetUp() override {
    if (!test::haveFfmpegTools()) GTEST_SKIP() << "the ffmpeg tool is not installed";
    m_path = m_dir.file(GetParam().file);
    ASSERT_TRUE(
        test::makeClip(m_path, kWidth, kHeight, kFrames, GetParam().rate, words(GetParam().codec)));
  }
  test::ScratchDir m_dir;
  std::string m_path;
};

TEST_P(ClipFormats, CountRateAndEveryFrameInAnyOrder) {
  CAviStream stream;
  ASSERT_TRUE(stream.open(m_path)) << stream.message();
  EXPECT_EQ(stream.frameCount(), static_cast<uint32_t>(kFrames));
  EXPECT_EQ(stream.frameRate(), GetParam().expectedRate);
  EXPECT_EQ(stream.width(), kWidth);
  EXPECT_EQ(stream.height(), kHeight);
  EXPECT_FALSE(stream.palettised());

  // Reference: every frame decoded in order.
  std::vector<std::vector<uint8_t>> sequential;
  for (uint32_t k = 0; k < kFrames; ++k) {
    const uint8_t* frame = stream.frame(k);
    ASSERT_NE(frame, nullptr) << "frame " << k;
    sequential.emplace_back(frame, frame + stream.frameBytes());
    for (const auto& [x, y] : kProbePoints) {
      EXPECT_TRUE(test::near(bitmapPixel(frame, x, y), patternColour(k, x, y, kWidth, kHeight), 4))
          << "frame " << k << " at " << x << "," << y;
    }
  }
  EXPECT_EQ(stream.frame(kFrames), nullptr);

  // Jumps forward, backward and to neighbours must give the very same pictures.
  CAviStream random;
  ASSERT_TRUE(random.open(m_path));
  for (const uint32_t k : {37u, 3u, 59u, 58u, 0u, 20u, 21u, 45u, 10u, 59u, 1u, 30u}) {
    const uint8_t* frame = random.frame(k);
    ASSERT_NE(frame, nullptr) << "frame " << k;
    ASSERT_EQ(random.frameBytes(), sequential[k].size());
    EXPECT_EQ(std::memcmp(frame, sequential[k].data(), sequential[k].size()), 0) << "frame " << k;
  }
  EXPECT_EQ(random.frame(kFrames + 5), nullptr);
  EXPECT_EQ(random.frame(0xFFFFFFFFu), nullptr);
  // A failed request leaves the stream usable.
  ASSERT_NE(random.frame(7), nullptr);
  EXPECT_EQ(std::memcmp(random.frame(7), sequential[7].data(), sequential[7].size()), 0);
}

INSTANTIATE_TEST_SUITE_P(Video, ClipFormats, ::testing::ValuesIn(kClipKinds),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(AviStream, PalettisedClipsKeepTheirPalette) {
  if (!test::haveFfmpegTools()) GTEST_SKIP() << "the ffmpeg tool is not installed";
  test::ScratchDir dir;
  const std::string path = dir.file("pal8.avi");
  ASSERT_TRUE(test::makeClip(path, 30, 20, 4, "10", {"-pix_fmt", "pal8", "-c:v", "rawvideo"}));
  CAviStream stream;
  ASSERT_TRUE(stream.open(path)) << stream.message();
  EXPECT_TRUE(stream.palettised());
  EXPECT_EQ(stream.frameCount(), 4u);
  EXPECT_EQ(stream.frameRate(), 5000u);
  const uint8_t* frame = stream.frame(2);
  ASSERT_NE(frame, nullptr);
  BitmapInfoHeader header;
  std::memcpy(&header, frame, sizeof header);
  EXPECT_EQ(header.bitCount, 8);
  EXPECT_EQ(header.coloursUsed, 256u);
  EXPECT_EQ(header.width, 30);
  EXPECT_EQ(header.height, 20);
  EXPECT_EQ(header.imageSize, 32u * 20u);  // rows padded to 4 bytes
  EXPECT_EQ(stream.frameBytes(), 40u + 1024u + 32u * 20u);

  // The colours through the palette are the ones the ffmpeg tool decodes from the same file.
  const std::string reference =
      test::programOutput({"ffmpeg", "-v", "error", "-i", path, "-vf", "select=eq(n\\,2)",
                           "-frames:v", "1", "-f", "rawvideo", "-pix_fmt", "rgb24", "-"});
  ASSERT_EQ(reference.size(), 30u * 20u * 3u);
  for (int y = 0; y < 20; y += 3) {
    for (int x = 0; x < 30; x += 4) {
      const auto* want = reinterpret_cast<const uint8_t*>(reference.data()) + (y * 30 + x) * 3;
      EXPECT_TRUE(test::near(bitmapPixel(frame, x, y), test::Rgb{want[0], want[1], want[2]}, 0))
          << x << "," << y;
    }
  }
}

TEST(AviStream, FilesThatAreNoVideoFailWithAMessage) {
  test::ScratchDir dir;
  ScopedScriptedDialogs dialogs;
  CAviStream stream;
  stream.setShowErrors(false);

  test::writeFile(dir.file("empty.avi"), "");
  EXPECT_FALSE(stream.open(dir.file("empty.avi")));
  EXPECT_EQ(stream.message().rfind("Unable to read the video 01 ", 0), 0u) << stream.message();

  test::writeFile(dir.file("garbage.avi"), std::string(5000, '\x5a') + "not a video at all");
  EXPECT_FALSE(stream.open(dir.file("garbage.avi")));
  EXPECT_EQ(stream.message(),
            "Unable to read the video 01 REGDB_E_CLASSNOTREG: File type not recognised (80040154)");
  EXPECT_FALSE(stream.isOpen());

  EXPECT_FALSE(stream.open(dir.path().string()));
  EXPECT_EQ(stream.message().rfind("Unable to read the video 01 ", 0), 0u) << stream.message();

  if (test::haveFfmpegTools()) {
    const std::string sound = dir.file("sound.wav");
    ASSERT_TRUE(test::runProgram(
        {"ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i", "sine=d=0.2", sound}));
    EXPECT_FALSE(stream.open(sound));
    EXPECT_EQ(stream.message(),
              "Unable to read the video 01 AVIERR_BADFORMAT: Corrupt file or unrecognized format "
              "(80044066)");
  }
  EXPECT_TRUE(dialogs->texts().empty());
  EXPECT_EQ(stream.frameCount(), 0u);
  EXPECT_EQ(stream.frameRate(), 0u);
  EXPECT_EQ(stream.frame(0), nullptr);
}

TEST(AviStream, TruncatedFilesGiveTheFramesTheyHoldAndNoMore) {
  test::ScratchDir dir;
  const std::string whole = dir.file("whole.avi");
  ASSERT_TRUE(test::writePatternAvi(whole, kWidth, kHeight, 10, 0, 12500));
  const std::string bytes = test::readFile(whole);
  const std::size_t frameBytes = kWidth * kHeight * 3;

  // Cut in the middle of the sixth frame: the index at the end is gone too.
  const std::string cut = dir.file("cut-in-frame-six.avi");
  // The frame chunks follow the "movi" list tag, each with an 8-byte chunk header.
  const std::size_t movi = bytes.find("movi");
  ASSERT_NE(movi, std::string::npos);
  const std::size_t firstFrame = movi + 4;
  test::writeFile(cut, bytes.substr(0, firstFrame + 5 * (frameBytes + 8) + frameBytes / 2));
  CAviStream stream;
  stream.setShowErrors(false);
  // The reader finds the frames by scanning when the index is missing.
  ASSERT_TRUE(stream.open(cut)) << stream.message();
  {
    for (uint32_t k = 0; k < 5; ++k) {
      const uint8_t* frame = stream.frame(k);
      ASSERT_NE(frame, nullptr) << k;
      EXPECT_TRUE(test::near(bitmapPixel(frame, 3, 3), patternColour(k, 3, 3, kWidth, kHeight), 0));
    }
    for (uint32_t k = 6; k < 12; ++k) EXPECT_EQ(stream.frame(k), nullptr) << k;
    EXPECT_NE(stream.frame(2), nullptr);
  }

  // Only the start of the header.
  const std::string header = dir.file("header-only.avi");
  test::writeFile(header, bytes.substr(0, 100));
  EXPECT_FALSE(stream.open(header));
  EXPECT_EQ(stream.message().rfind("Unable to read the video 01 ", 0), 0u) << stream.message();
}

TEST(AviStream, HugeFrameSizesAreRefusedBeforeAllocating) {
  test::ScratchDir dir;
  const std::string path = dir.file("small.avi");
  ASSERT_TRUE(test::writePatternAvi(path, 16, 16, 2, 0, 12500));
  std::string bytes = test::readFile(path);
  // Claim 100000 × 100000 pixels in the stream's bitmap format and the main header.
  const uint32_t huge = 100000;
  const std::size_t format = bytes.find("strf");
  ASSERT_NE(format, std::string::npos);
  std::memcpy(&bytes[format + 8 + 4], &huge, 4);
  std::memcpy(&bytes[format + 8 + 8], &huge, 4);
  const std::size_t mainHeader = bytes.find("avih");
  ASSERT_NE(mainHeader, std::string::npos);
  std::memcpy(&bytes[mainHeader + 8 + 32], &huge, 4);
  std::memcpy(&bytes[mainHeader + 8 + 36], &huge, 4);
  const std::string bad = dir.file("claims-100000x100000.avi");
  test::writeFile(bad, bytes);

  CAviStream stream;
  stream.setShowErrors(false);
  if (stream.open(bad)) {
    EXPECT_EQ(stream.frame(0), nullptr);
  } else {
    EXPECT_EQ(stream.message().rfind("Unable to read the video 0", 0), 0u) << stream.message();
  }
}

TEST(AviStream, DamagedDataInsideAClipNeverCrashes) {
  if (!test::haveFfmpegTools()) GTEST_SKIP() << "the ffmpeg tool is not installed";
  test::ScratchDir dir;
  const std::string path = dir.file("clip.mp4");
  ASSERT_TRUE(test::makeClip(path, kWidth, kHeight, 30, "25",
                             {"-c:v", "libx264", "-g", "10", "-pix_fmt", "yuv420p"}));
  std::string bytes = test::readFile(path);
  // Overwrite a stretch in the middle of the coded frames.
  for (std::size_t i = bytes.size() / 3; i < bytes.size() / 3 + 400 && i < bytes.size(); ++i) {
    bytes[i] = static_cast<char>(i * 37);
  }
  const std::string damaged = dir.file("damaged-frames.mp4");
  test::writeFile(damaged, bytes);
  CAviStream stream;
  stream.setShowErrors(false);
  if (!stream.open(damaged)) return;
  int delivered = 0;
  for (const uint32_t k : {0u, 29u, 12u, 5u, 20u, 13u, 28u, 1u}) {
    if (stream.frame(k) != nullptr) ++delivered;
  }
  EXPECT_GT(delivered, 0);
}

TEST(AviStream, SeparateStreamsReadAtTheSameTime) {
  test::ScratchDir dir;
  const std::string path = dir.file("shared.avi");
  ASSERT_TRUE(test::writePatternAvi(path, kWidth, kHeight, 20, fourCCFromText("MJPG"), 12500));
  std::vector<std::thread> threads;
  std::vector<int> wrong(4, 0);
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      CAviStream stream;
      stream.setShowErrors(false);
      if (!stream.open(path)) {
        wrong[t] = 1000;
        return;
      }
      for (uint32_t n = 0; n < 40; ++n) {
        const uint32_t k = (n * 7 + static_cast<uint32_t>(t) * 3) % 20;
        const uint8_t* frame = stream.frame(k);
        if (frame == nullptr ||
            !test::near(bitmapPixel(frame, 5, 5), patternColour(k, 5, 5, kWidth, kHeight), 12)) {
          ++wrong[t];
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(wrong, std::vector<int>(4, 0));
}

TEST(AviStream, ReopeningReplacesTheStream) {
  test::ScratchDir dir;
  ASSERT_TRUE(test::writePatternAvi(dir.file("a.avi"), 32, 16, 3, 0, 12500));
  ASSERT_TRUE(test::writePatternAvi(dir.file("b.avi"), 16, 32, 5, 0, 5000));
  CAviStream stream;
  ASSERT_TRUE(stream.open(dir.file("a.avi")));
  ASSERT_NE(stream.frame(2), nullptr);
  ASSERT_TRUE(stream.open(dir.file("b.avi")));
  EXPECT_EQ(stream.frameCount(), 5u);
  EXPECT_EQ(stream.frameRate(), 5000u);
  EXPECT_EQ(stream.width(), 16);
  ASSERT_NE(stream.frame(4), nullptr);
  stream.close();
  EXPECT_FALSE(stream.isOpen());
  EXPECT_EQ(stream.frame(0), nullptr);
  EXPECT_EQ(stream.frameBytes(), 0u);
}

}  // namespace
}  // namespace tg

namespace tg {
namespace {

TEST(AviStream, EveryFrameOfALongClipInShuffledOrder) {
  if (!test::haveFfmpegTools()) GTEST_SKIP() << "the ffmpeg tool is not installed";
  test::ScratchDir dir;
  const std::string path = dir.file("long-gop.mp4");
  constexpr uint32_t kCount = 120;
  ASSERT_TRUE(test::makeClip(
      path, 32, 16, kCount, "25",
      {"-c:v", "libx264", "-g", "60", "-bf", "3", "-pix_fmt", "yuv420p", "-crf", "8"}));
  CAviStream sequential;
  ASSERT_TRUE(sequential.open(path));
  std::vector<std::vector<uint8_t>> frames;
  for (uint32_t k = 0; k < kCount; ++k) {
    const uint8_t* frame = sequential.frame(k);
    ASSERT_NE(frame, nullptr) << k;
    frames.emplace_back(frame, frame + sequential.frameBytes());
  }
  std::vector<uint32_t> order(kCount);
  for (uint32_t k = 0; k < kCount; ++k) order[k] = k * 97 % kCount;  // 97 is prime to 120
  CAviStream shuffled;
  ASSERT_TRUE(shuffled.open(path));
  for (const uint32_t k : order) {
    const uint8_t* frame = shuffled.frame(k);
    ASSERT_NE(frame, nullptr) << k;
    EXPECT_EQ(std::memcmp(frame, frames[k].data(), frames[k].size()), 0) << "frame " << k;
  }
}

}  // namespace
}  // namespace tg
