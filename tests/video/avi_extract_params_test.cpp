// SPDX-License-Identifier: GPL-3.0-or-later
#include "video/avi_extract_params.h"

#include <memory>

#include <gtest/gtest.h>

#include "imaging/foto.h"

namespace tg {
namespace {

// A 40 × 30 frame, black but for a grey block (levels `level`) at columns 5..34, rows 3..26.
std::unique_ptr<Foto> letterboxed(std::uint32_t level) {
  auto frame = std::make_unique<Foto>();
  EXPECT_TRUE(frame->create(40, 30));
  for (std::uint32_t y = 0; y < 30; ++y) {
    for (std::uint32_t x = 0; x < 40; ++x) {
      const bool inside = x >= 5 && x <= 34 && y >= 3 && y <= 26;
      frame->row(y)[x] = inside ? makePixel(level, level, level, 0) : makePixel(0, 0, 0, 0);
    }
  }
  return frame;
}

TEST(ExtractParameters, PresetAndChecks) {
  CDialogGetAviParam p;
  p.prepare(640, 360, 9000);
  EXPECT_EQ(p.width, 640u);
  EXPECT_EQ(p.height, 360u);
  EXPECT_EQ(p.lastFrame, 8999u);
  EXPECT_EQ(p.imageCount, 5000);
  EXPECT_EQ(p.filePrefix, "FR");
  EXPECT_FALSE(p.problem(640, 360));

  p.left = 10;
  EXPECT_EQ(p.rectangleProblem(640, 360).value_or(""),
            "The value Left+Width (10+640 pixels) must not exceed the Video Width of 640 pixels");
  p.left = 0;
  p.height = 0;
  EXPECT_EQ(p.rectangleProblem(640, 360).value_or(""),
            "The value Top+Height (0+0 pixels) must not exceed the Video Height of 360 pixels");
  p.height = 360;
  p.jpegQuality = 101;
  EXPECT_TRUE(p.problem(640, 360));
  p.jpegQuality = 90;
  p.filePrefix = std::string(101, 'x');
  EXPECT_TRUE(p.problem(640, 360));
  // A separator in the prefix would put files outside their folder.
  p.filePrefix = "../../FR";
  EXPECT_EQ(p.problem(640, 360).value_or(""),
            "The file prefix must not contain the character '/'.");
  p.filePrefix = "FR";

  // After OK: clips round the rectangle down to multiples of 4; the range is limited.
  p.extractClips = 1;
  p.width = 638;
  p.height = 359;
  p.imageCount = 0;
  p.firstFrame = 9500;
  p.lastFrame = 3;
  EXPECT_FALSE(p.finish(640, 360, 9000));
  EXPECT_EQ(p.width, 636u);
  EXPECT_EQ(p.height, 356u);
  EXPECT_EQ(p.imageCount, 1);
  EXPECT_EQ(p.firstFrame, 9000u);
  EXPECT_EQ(p.lastFrame, 9000u);
  p.left = 8;
  EXPECT_EQ(p.finish(640, 360, 9000).value_or(""),
            "Internal Error: The specified Position/Size is bigger than the size of a single "
            "Frame");
}

TEST(ExtractParameters, SampleFramesAndBorderDetection) {
  CDialogGetAviParam p;
  p.prepare(40, 30, 100);
  p.firstFrame = 20;
  p.lastFrame = 60;
  EXPECT_FALSE(p.chooseSample(CDialogGetAviParam::Sample::Random, 100, 16384));
  EXPECT_EQ(p.sampleFrame, 40u);
  EXPECT_FALSE(p.chooseSample(CDialogGetAviParam::Sample::Last, 100, 0));
  EXPECT_EQ(p.sampleFrame, 59u);
  p.lastFrame = 101;
  EXPECT_EQ(p.chooseSample(CDialogGetAviParam::Sample::First, 100, 0).value_or(""),
            "The First/Last Frame values must be between 0 and 100");
  p.lastFrame = 60;

  // Grey 20 is bright, 19 is not.
  int reads = 0;
  EXPECT_TRUE(p.autoRectangle(
      [&](std::uint32_t) {
        ++reads;
        return letterboxed(20);
      },
      100, [] { return 0; }));
  EXPECT_EQ(reads, 1);
  EXPECT_EQ(p.left, 5u);
  EXPECT_EQ(p.top, 3u);
  EXPECT_EQ(p.width, 30u);
  EXPECT_EQ(p.height, 24u);

  // A dark film: three more random frames, then an empty rectangle from the corner.
  reads = 0;
  EXPECT_TRUE(p.autoRectangle(
      [&](std::uint32_t) {
        ++reads;
        return letterboxed(19);
      },
      100, [] { return 100; }));
  EXPECT_EQ(reads, 4);
  EXPECT_EQ(p.width, 0u);
  EXPECT_EQ(p.height, 0u);
  EXPECT_TRUE(p.rectangleProblem(40, 30));

  std::uint32_t w = 0;
  std::uint32_t h = 0;
  CDialogGetAviParam::previewSize(202, 202, 1920, 1080, w, h);
  EXPECT_EQ(w, 200u);
  EXPECT_EQ(h, 112u);
  EXPECT_NE(videoFileFilter().find("*.mp4;*.MP4"), std::string::npos);

  // The preview of a 40 × 30 frame in a 22 × 22 area is 20 × 15 with the rectangle (5, 3,
  // 30 × 24) drawn in white at half size.
  p.left = 5;
  p.top = 3;
  p.width = 30;
  p.height = 24;
  const auto preview = p.previewPicture(*letterboxed(100), 22, 22);
  ASSERT_TRUE(preview);
  EXPECT_EQ(preview->width, 20u);
  EXPECT_EQ(preview->height, 15u);
  const Pixel white = makePixel(255, 255, 255, 0);
  EXPECT_EQ(preview->row(1)[2], white);
  EXPECT_EQ(preview->row(12)[16], white);
  EXPECT_NE(preview->row(7)[9], white);
  EXPECT_NE(preview->row(0)[0], white);
}

}  // namespace
}  // namespace tg
