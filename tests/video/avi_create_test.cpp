// SPDX-License-Identifier: GPL-3.0-or-later
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "clip_maker.h"
#include "platform/scripted_dialogs.h"
#include "platform/wine.h"
#include "support/scratch_dir.h"
#include "video/avi_create.h"
#include "video/avi_stream.h"
#include "video/four_cc.h"

namespace tg {
namespace {

using test::bitmapPixel;
using test::patternColour;

TEST(AviCreate, SizeIsRoundedDownToEightByFour) {
  test::ScratchDir dir;
  CAviCreate writer;
  BitmapInfoHeader format{};
  ASSERT_TRUE(writer.create(dir.file("rounded.avi"), format, 1282, 723, 0, 12500));
  EXPECT_EQ(format.headerSize, 40u);
  EXPECT_EQ(format.width, 1280);
  EXPECT_EQ(format.height, 720);
  EXPECT_EQ(format.planes, 1);
  EXPECT_EQ(format.bitCount, 24);
  EXPECT_EQ(format.compression, 0u);
  EXPECT_EQ(format.imageSize, 1280u * 720u * 3u);
  EXPECT_TRUE(writer.close());
}

TEST(AviCreate, UncompressedFramesReadBackExactlyAndOtherProgramsAgree) {
  test::ScratchDir dir;
  const std::string path = dir.file("plain.avi");
  ASSERT_TRUE(test::writePatternAvi(path, 64, 48, 12, 0, 15000));

  CAviStream reader;
  ASSERT_TRUE(reader.open(path)) << reader.message();
  EXPECT_EQ(reader.frameCount(), 12u);
  EXPECT_EQ(reader.frameRate(), 15000u);
  EXPECT_EQ(reader.width(), 64);
  EXPECT_EQ(reader.height(), 48);
  for (const uint32_t k : {5u, 0u, 11u, 3u}) {
    const uint8_t* frame = reader.frame(k);
    ASSERT_NE(frame, nullptr) << k;
    EXPECT_EQ(reader.frameBytes(), 40u + 64u * 48u * 3u);
    for (const auto& [x, y] : {std::pair{0, 0}, {63, 0}, {0, 47}, {63, 47}, {31, 23}, {32, 24}}) {
      const test::Rgb got = bitmapPixel(frame, x, y);
      const test::Rgb want = patternColour(k, x, y, 64, 48);
      EXPECT_TRUE(test::near(got, want, 0)) << "frame " << k << " at " << x << "," << y;
    }
  }
  EXPECT_EQ(reader.frame(12), nullptr);

  if (!test::haveFfmpegTools()) GTEST_SKIP() << "ffprobe is not installed";
  const std::string probe =
      test::programOutput({"ffprobe", "-v", "error", "-count_frames", "-show_entries",
                           "stream=codec_name,width,height,pix_fmt,nb_read_frames,r_frame_rate",
                           "-of", "default=noprint_wrappers=1", path});
  EXPECT_NE(probe.find("codec_name=rawvideo"), std::string::npos) << probe;
  EXPECT_NE(probe.find("width=64"), std::string::npos) << probe;
  EXPECT_NE(probe.find("height=48"), std::string::npos) << probe;
  EXPECT_NE(probe.find("pix_fmt=bgr24"), std::string::npos) << probe;
  EXPECT_NE(probe.find("r_frame_rate=30/1"), std::string::npos) << probe;
  EXPECT_NE(probe.find("nb_read_frames=12"), std::string::npos) << probe;
  // The other program must see the upper half green 200 too: the rows are stored bottom-up
  // and declared so.
  const std::string pixel = test::programOutput({"ffmpeg", "-v", "error", "-i", path, "-frames:v",
                                                 "1", "-f", "rawvideo", "-pix_fmt", "rgb24", "-"});
  ASSERT_EQ(pixel.size(), 64u * 48u * 3u);
  EXPECT_EQ(static_cast<uint8_t>(pixel[1]), 200);
  EXPECT_EQ(static_cast<uint8_t>(pixel[2]), 30);
}

TEST(AviCreate, CompressedFramesThroughTheNamedEncoders) {
  test::ScratchDir dir;
  struct Case {
    const char* fourcc;
    const char* codec;
    int tolerance;
  };
  for (const Case c : {Case{"MJPG", "mjpeg", 12}, Case{"XVID", "mpeg4", 16},
                       Case{"FFV1", "ffv1", 0}, Case{"HFYU", "huffyuv", 0}}) {
    SCOPED_TRACE(c.fourcc);
    const std::string path = dir.file(std::string(c.fourcc) + ".avi");
    ASSERT_TRUE(test::writePatternAvi(path, 64, 48, 6, fourCCFromText(c.fourcc), 12500));
    CAviStream reader;
    ASSERT_TRUE(reader.open(path)) << reader.message();
    EXPECT_EQ(reader.frameCount(), 6u);
    EXPECT_EQ(reader.frameRate(), 12500u);
    const uint8_t* frame = reader.frame(4);
    ASSERT_NE(frame, nullptr);
    for (const auto& [x, y] : {std::pair{4, 4}, {60, 4}, {4, 44}, {60, 44}}) {
      EXPECT_TRUE(test::near(bitmapPixel(frame, x, y), patternColour(4, x, y, 64, 48), c.tolerance))
          << x << "," << y;
    }
    if (test::haveFfmpegTools()) {
      const std::string probe = test::programOutput({"ffprobe", "-v", "error", "-show_entries",
                                                     "stream=codec_name,codec_tag_string", "-of",
                                                     "default=noprint_wrappers=1", path});
      EXPECT_NE(probe.find(std::string("codec_name=") + c.codec), std::string::npos) << probe;
      EXPECT_NE(probe.find(std::string("codec_tag_string=") + c.fourcc), std::string::npos)
          << probe;
    }
  }
}

TEST(AviCreate, UnknownCodecFailsAtStepTwelveAndLeavesTheOldFile) {
  test::ScratchDir dir;
  const std::string path = dir.file("keep.avi");
  test::writeFile(path, "previous content");
  ScopedScriptedDialogs dialogs;
  CAviCreate writer;
  BitmapInfoHeader format{};
  EXPECT_FALSE(writer.create(path, format, 64, 48, fourCCFromText("ZZZZ"), 12500));
  const std::string expected =
      "Unable to Create the Video 12 AVIERR_NOCOMPRESSOR: A suitable compressor could not be "
      "found. Please install a VFW Codec. (80044071)";
  EXPECT_EQ(writer.message(), expected);
  EXPECT_EQ(dialogs->texts(), std::vector<std::string>{expected});
  EXPECT_FALSE(writer.isOpen());
  EXPECT_EQ(test::readFile(path), "previous content");
}

TEST(AviCreate, BadPathsSizesAndFramesFailWithTheirSteps) {
  test::ScratchDir dir;
  ScopedScriptedDialogs dialogs;
  CAviCreate writer;
  writer.setShowErrors(false);
  BitmapInfoHeader format{};

  EXPECT_FALSE(writer.create(dir.file("missing/folder/x.avi"), format, 64, 48, 0, 12500));
  EXPECT_EQ(writer.message().rfind("Unable to Create the Video 10 AVIERR_FILEOPEN", 0), 0u)
      << writer.message();

  EXPECT_FALSE(writer.create(dir.file("tiny.avi"), format, 7, 48, 0, 12500));
  EXPECT_EQ(writer.message(), "Unable to Create the Video 11 AVIERR_BADSIZE (8004406B)");
  EXPECT_FALSE(writer.create(dir.file("huge.avi"), format, 60000, 60000, 0, 12500));
  EXPECT_EQ(writer.message(), "Unable to Create the Video 11 AVIERR_BADSIZE (8004406B)");
  EXPECT_FALSE(writer.create(dir.file("norate.avi"), format, 64, 48, 0, 0));
  EXPECT_EQ(writer.message(), "Unable to Create the Video 11 AVIERR_BADPARAM (8004406A)");
  EXPECT_FALSE(std::filesystem::exists(dir.file("tiny.avi")));

  ASSERT_TRUE(writer.create(dir.file("short.avi"), format, 64, 48, 0, 12500));
  std::vector<uint8_t> frame(format.imageSize, 0);
  EXPECT_FALSE(writer.writeFrame(frame.data(), frame.size() - 1));
  EXPECT_EQ(writer.message().rfind("Unable to Create the Video 15 ", 0), 0u) << writer.message();
  EXPECT_TRUE(writer.writeFrame(frame.data(), frame.size()));
  EXPECT_TRUE(writer.writeFrame(frame.data(), frame.size()));
  EXPECT_EQ(writer.frameIndex(), 2u);
  EXPECT_EQ(writer.bytesWritten(), 2u * format.imageSize);
  EXPECT_TRUE(writer.close());
  EXPECT_EQ(writer.frameIndex(), 0u);
  EXPECT_EQ(writer.bytesWritten(), 0u);
  EXPECT_FALSE(writer.writeFrame(frame.data(), frame.size()));
  EXPECT_TRUE(dialogs->texts().empty());
}

TEST(AviCreate, FullDiskIsReportedNotTakenForSuccess) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  CAviCreate writer;
  writer.setShowErrors(false);
  BitmapInfoHeader format{};
  bool failed = !writer.create("/dev/full", format, 64, 48, 0, 12500);
  std::vector<uint8_t> frame(64 * 48 * 3, 0);
  for (int k = 0; k < 200 && !failed; ++k) failed = !writer.writeFrame(frame.data(), frame.size());
  if (!failed) failed = !writer.close();
  EXPECT_TRUE(failed);
  EXPECT_NE(writer.message().find("AVIERR_FILEWRITE"), std::string::npos) << writer.message();
}

TEST(AviCreate, RecreatingClosesThePreviousFile) {
  test::ScratchDir dir;
  CAviCreate writer;
  BitmapInfoHeader format{};
  ASSERT_TRUE(writer.create(dir.file("first.avi"), format, 64, 48, 0, 12500));
  std::vector<uint8_t> frame(format.imageSize, 0x40);
  ASSERT_TRUE(writer.writeFrame(frame.data(), frame.size()));
  ASSERT_TRUE(writer.create(dir.file("second.avi"), format, 32, 32, 0, 12500));
  EXPECT_EQ(writer.frameIndex(), 0u);
  ASSERT_TRUE(writer.close());
  CAviStream reader;
  ASSERT_TRUE(reader.open(dir.file("first.avi")));
  EXPECT_EQ(reader.frameCount(), 1u);
  ASSERT_NE(reader.frame(0), nullptr);
  EXPECT_TRUE(test::near(bitmapPixel(reader.frame(0), 3, 3), test::Rgb{0x40, 0x40, 0x40}, 0));
}

TEST(AviCreate, EveryOperationFailsQuietlyWithoutVideo) {
  test::ScratchDir dir;
  ScopedScriptedDialogs dialogs;
  CAviCreate writer;
  CAviStream reader;
  const std::string path = dir.file("clip.avi");
  ASSERT_TRUE(test::writePatternAvi(path, 16, 16, 2, 0, 12500));
  {
    ScopedUnderWine wine(true);
    BitmapInfoHeader format{};
    EXPECT_FALSE(writer.create(dir.file("new.avi"), format, 64, 48, 0, 12500));
    EXPECT_FALSE(writer.writeFrame(nullptr, 0));
    EXPECT_FALSE(reader.open(path));
    EXPECT_EQ(reader.frameCount(), 0u);
    EXPECT_EQ(reader.frame(0), nullptr);
  }
  EXPECT_TRUE(dialogs->texts().empty());
  EXPECT_TRUE(writer.message().empty());
  EXPECT_TRUE(reader.message().empty());
  EXPECT_FALSE(std::filesystem::exists(dir.file("new.avi")));
  EXPECT_TRUE(reader.open(path));
}

}  // namespace
}  // namespace tg
