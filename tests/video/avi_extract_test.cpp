// SPDX-License-Identifier: GPL-3.0-or-later
#include "video/avi_extract.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "clip_maker.h"
#include "config/advanced_settings.h"
#include "imaging/foto.h"
#include "imaging/image_file.h"
#include "platform/scripted_dialogs.h"
#include "platform/text_format.h"
#include "support/scratch_dir.h"

namespace tg {
namespace {

namespace fs = std::filesystem;

AdvancedSettings defaultAdvanced() {
  AdvancedSettings advanced(true);
  for (std::size_t i = 0; i < kAdvancedRowCount; ++i) {
    advanced.setRowValue(i, advanced.row(i).factoryDefault);
  }
  advanced.setRowValue(AdvancedRow::ThreadCount, "2");
  advanced.setRowValue(AdvancedRow::ExtractMinFrameCount, "10");
  advanced.setRowValue(AdvancedRow::ExtractMaxFrameCount, "25");
  advanced.setRowValue(AdvancedRow::MinimumFrameCountForStaticTile, "0");
  return advanced;
}

// Three still scenes of 30, 40 and 20 frames in distinct colours, MPEG-4 with B-frames.
bool makeScenes(const std::string& path) {
  const std::string filter =
      "color=c=0xC83C3C:s=64x48:r=25:d=1.2[a];color=c=0x3CC83C:s=64x48:r=25:d=1.6[b];"
      "color=c=0x3C3CC8:s=64x48:r=25:d=0.8[c];[a][b][c]concat=n=3";
  return test::runProgram({"ffmpeg", "-nostdin", "-v", "error", "-y", "-filter_complex", filter,
                           "-c:v", "mpeg4", "-g", "12", "-bf", "2", "-q:v", "2", path});
}

// Many short still scenes of 13 frames in turn, Motion JPEG: a clip per scene but the last.
bool makeManyScenes(const std::string& path, int scenes, const char* size) {
  std::string filter;
  std::string inputs;
  for (int i = 0; i < scenes; ++i) {
    filter += formatText("color=c=0x%02X%02X%02X:s=%s:r=25:d=0.52[s%d];", (i * 97) % 256,
                         (i * 57 + 80) % 256, (i * 31 + 160) % 256, size, i);
    inputs += formatText("[s%d]", i);
  }
  filter += inputs + formatText("concat=n=%d", scenes);
  return test::runProgram({"ffmpeg", "-nostdin", "-v", "error", "-y", "-filter_complex", filter,
                           "-c:v", "mjpeg", "-q:v", "3", path});
}

// File names in `folder`, sorted.
std::vector<std::string> namesIn(const fs::path& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder, error)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// Every clip opens, holds the frames its name tells ("...-(0025).avi") and ffprobe reads it.
void expectClipsWhole(const fs::path& folder) {
  for (const std::string& name : namesIn(folder)) {
    const std::string path = (folder / name).string();
    const std::size_t open = name.rfind("-(");
    ASSERT_NE(open, std::string::npos) << name;
    const auto implied = static_cast<uint32_t>(std::stoul(name.substr(open + 2, 4)));
    CAviStream clip;
    clip.setShowErrors(false);
    ASSERT_TRUE(clip.open(path)) << name << ": " << clip.message();
    EXPECT_EQ(clip.frameCount(), implied) << name;
    EXPECT_NE(clip.frame(implied - 1), nullptr) << name;
    const std::string probed =
        test::programOutput({"ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0",
                             "-show_entries", "stream=nb_read_frames", "-of", "csv=p=0", path});
    EXPECT_EQ(probed, std::to_string(implied) + "\n") << name;
  }
}

class Extraction : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::haveFfmpegTools()) GTEST_SKIP() << "the ffmpeg tool is not installed";
    m_video = m_dir.file("scenes.avi");
    ASSERT_TRUE(makeScenes(m_video));
  }
  bool run(AdvancedSettings& advanced) {
    if (!m_extract.startExtraction(advanced)) return false;
    m_extract.waitUntilDone();
    return true;
  }
  test::ScratchDir m_dir;
  ScopedScriptedDialogs m_dialogs;
  std::string m_video;
  AviExtract m_extract;
};

TEST_F(Extraction, ScenesBecomeClipsOfTheirOwnFramesAndStillStretchesStaticClips) {
  AdvancedSettings advanced = defaultAdvanced();
  ASSERT_TRUE(m_extract.openVideo(m_video, advanced));
  EXPECT_EQ(m_extract.frameCount(), 90u);
  EXPECT_EQ(m_extract.parameters().lastFrame, 89u);
  EXPECT_EQ(m_extract.parameters().imageCount, 90);
  m_extract.parameters().saveJpeg = 0;
  m_extract.parameters().extractClips = 1;
  ASSERT_TRUE(run(advanced));
  // Scene one: 30 frames capped at 25; scene two: 40 frames as 25 + 15; the last scene runs to
  // the end of the video, so no cut closes it and it gives no clip.
  const fs::path videos = m_dir.path() / "scenes_FRAMES1 Video";
  EXPECT_EQ(namesIn(videos),
            (std::vector<std::string>{"FR000001-000025-(0025).avi", "FR000031-000055-(0025).avi",
                                      "FR000056-000070-(0015).avi"}));
  expectClipsWhole(videos);
  EXPECT_EQ(m_extract.clipsWritten(), 3u);
  EXPECT_EQ(m_extract.errorCount(), 0u);
  EXPECT_FALSE(m_extract.wasStopped());
  EXPECT_EQ(m_extract.statusText(), "Extracted 3 Video Clips.");
  EXPECT_EQ(m_extract.clipFolders(), std::vector<std::string>{videos.string()});

  // With static clips on, the two still scenes become static clips and no scene clip is left;
  // the folders of the first run stay and the new ones take the next free numbers.
  advanced.setRowValue(AdvancedRow::MinimumFrameCountForStaticTile, "25");
  advanced.setRowValue(AdvancedRow::ExtractStaticVideo, "1");
  ASSERT_TRUE(m_extract.openVideo(m_video, advanced));
  m_extract.parameters().saveJpeg = 0;
  m_extract.parameters().extractClips = 1;
  ASSERT_TRUE(run(advanced));
  const fs::path still = m_dir.path() / "scenes_FRAMES1 Static Video";
  EXPECT_EQ(namesIn(still),
            (std::vector<std::string>{"FR000001-000029-(0029).avi", "FR000031-000069-(0039).avi"}));
  expectClipsWhole(still);
  EXPECT_EQ(m_extract.clipsWritten(), 2u);
  EXPECT_EQ(namesIn(videos).size(), 3u);
  EXPECT_FALSE(fs::exists(m_dir.path() / "scenes_FRAMES2 Video"));
  EXPECT_TRUE(m_dialogs->texts().empty());
}

TEST_F(Extraction, ImagesAreSpreadOverTheRangeAndCutToTheRectangle) {
  AdvancedSettings advanced = defaultAdvanced();
  const std::string pattern = m_dir.file("pattern.avi");
  ASSERT_TRUE(test::makeClip(
      pattern, 64, 48, 100, "25",
      {"-c:v", "libx264", "-g", "50", "-bf", "3", "-pix_fmt", "yuv444p", "-crf", "4"}));
  ASSERT_TRUE(m_extract.openVideo(pattern, advanced));
  CDialogGetAviParam& p = m_extract.parameters();
  p.imageCount = 9;
  p.firstFrame = 10;
  p.lastFrame = 99;
  p.left = 8;
  p.top = 4;
  p.width = 32;
  p.height = 24;
  p.saveBmp = 1;
  p.filePrefix = "cut";
  ASSERT_TRUE(run(advanced));
  const fs::path folder = m_dir.path() / "pattern_FRAMES1 Image";
  std::vector<std::string> expected;
  for (int frame = 11; frame <= 91; frame += 10) {
    expected.push_back(formatText("cut%06d.bmp", frame));
    expected.push_back(formatText("cut%06d.jpg", frame));
  }
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(namesIn(folder), expected);
  EXPECT_EQ(m_extract.outputFolders(), std::vector<std::string>{folder.string()});
  EXPECT_TRUE(m_extract.clipFolders().empty());
  EXPECT_EQ(m_extract.imagesSaved(), 9u);
  EXPECT_EQ(m_extract.statusText(), "Extracted 9 Images.");

  // The picture of frame index 50 cut at (8, 4): the left part is the pattern's left half (blue
  // 30), the right part its right half; red tells the frame.
  Foto image;
  ASSERT_TRUE(loadImageFile(image, (folder / "cut000051.jpg").string(), 0, 0, false));
  ASSERT_EQ(image.width, 32u);
  ASSERT_EQ(image.height, 24u);
  const Pixel topLeft = image.pixels[2 * 32 + 2];
  const Pixel bottomRight = image.pixels[21 * 32 + 29];
  EXPECT_NEAR(static_cast<int>(pixelRed(topLeft)), test::patternColour(50, 10, 6, 64, 48).r, 10);
  EXPECT_NEAR(static_cast<int>(pixelBlue(topLeft)), 30, 10);
  EXPECT_NEAR(static_cast<int>(pixelGreen(topLeft)), 200, 10);
  EXPECT_NEAR(static_cast<int>(pixelBlue(bottomRight)), 220, 10);
  EXPECT_NEAR(static_cast<int>(pixelGreen(bottomRight)), 50, 10);

  // More images than frames: one per frame, up to the last frame of the range (JPEG and BMP
  // still chosen: the preset leaves the formats as they were).
  ASSERT_TRUE(m_extract.openVideo(pattern, advanced));
  m_extract.parameters().imageCount = 100;
  m_extract.parameters().firstFrame = 95;
  m_extract.parameters().lastFrame = 99;
  ASSERT_TRUE(run(advanced));
  EXPECT_EQ(namesIn(m_dir.path() / "pattern_FRAMES2 Image").size(), 10u);
  EXPECT_EQ(m_extract.imagesSaved(), 5u);
}

TEST_F(Extraction, ARectangleBeyondTheFrameAndAVideoThatCannotBeOpenedStartNothing) {
  AdvancedSettings advanced = defaultAdvanced();
  ASSERT_TRUE(m_extract.openVideo(m_video, advanced));
  m_extract.parameters().left = 40;
  m_extract.parameters().width = 32;
  EXPECT_FALSE(m_extract.startExtraction(advanced));
  EXPECT_EQ(m_dialogs->texts(),
            std::vector<std::string>{"Internal Error: The specified Position/Size is bigger than "
                                     "the size of a single Frame"});
  m_dialogs->clear();

  const std::string bad = m_dir.file("not-a-video.avi");
  test::writeFile(bad, std::string(3000, 'x'));
  EXPECT_FALSE(m_extract.openVideo(bad, advanced));
  EXPECT_EQ(m_extract.statusText().rfind("Unable to read the video 01 ", 0), 0u)
      << m_extract.statusText();
  EXPECT_FALSE(m_extract.startExtraction(advanced));
  EXPECT_EQ(namesIn(m_dir.path()), (std::vector<std::string>{"not-a-video.avi", "scenes.avi"}));
}

TEST_F(Extraction, ACodecThatCannotBeUsedFallsBackToUncompressedClips) {
  AdvancedSettings advanced = defaultAdvanced();
  advanced.setRowValue(AdvancedRow::FourCC, "QQQQ");
  ASSERT_TRUE(m_extract.openVideo(m_video, advanced));
  m_extract.parameters().saveJpeg = 0;
  m_extract.parameters().extractClips = 1;
  ASSERT_TRUE(run(advanced));
  const fs::path videos = m_dir.path() / "scenes_FRAMES1 Video";
  ASSERT_EQ(namesIn(videos).size(), 3u);
  for (const std::string& name : namesIn(videos)) {
    EXPECT_EQ(
        test::programOutput({"ffprobe", "-v", "error", "-select_streams", "v:0", "-show_entries",
                             "stream=codec_name", "-of", "csv=p=0", (videos / name).string()}),
        "rawvideo\n")
        << name;
  }
  expectClipsWhole(videos);
  EXPECT_EQ(m_extract.errorCount(), 0u);
}

TEST_F(Extraction, AStopHalfWayLeavesOnlyWholeClips) {
  // Many short scenes: 40 clips of 12 frames, written one at a time (one thread: none is
  // written during the analysis).
  const std::string video = m_dir.file("many.avi");
  ASSERT_TRUE(makeManyScenes(video, 41, "32x16"));
  AdvancedSettings advanced = defaultAdvanced();
  advanced.setRowValue(AdvancedRow::ThreadCount, "1");
  ASSERT_TRUE(m_extract.openVideo(video, advanced));
  m_extract.parameters().saveJpeg = 0;
  m_extract.parameters().extractClips = 1;
  ASSERT_TRUE(m_extract.startExtraction(advanced));
  while (m_extract.isRunning() && m_extract.progress().stage != AviExtract::Stage::Clips) {
    std::this_thread::yield();
  }
  while (m_extract.isRunning() && m_extract.progress().done < 2) std::this_thread::yield();
  m_extract.stopExtraction();
  EXPECT_FALSE(m_extract.isRunning());
  EXPECT_EQ(m_extract.statusText(), "Ready");
  const fs::path videos = m_dir.path() / "many_FRAMES1 Video";
  const std::vector<std::string> names = namesIn(videos);
  EXPECT_GE(names.size(), 2u);
  EXPECT_LT(names.size(), 40u);
  for (const std::string& name : names) EXPECT_EQ(fs::path(name).extension(), ".avi") << name;
  expectClipsWhole(videos);
}

TEST_F(Extraction, ClipsWrittenDuringTheAnalysisAreTheClipsOfTheClipStage) {
  // With two threads the clips of finished scenes are written while later frames are analysed,
  // into a hidden folder, and moved into place at the end: the same files as one thread
  // writes at the end. A stop during the analysis leaves neither that folder nor any clip.
  const std::string video = m_dir.file("many.avi");
  ASSERT_TRUE(makeManyScenes(video, 61, "320x240"));
  const auto extract = [&](const char* threads, bool stopEarly) {
    AdvancedSettings advanced = defaultAdvanced();
    advanced.setRowValue(AdvancedRow::ThreadCount, threads);
    advanced.setRowValue(AdvancedRow::FourCC, "MJPG");
    ASSERT_TRUE(m_extract.openVideo(video, advanced));
    m_extract.parameters().saveJpeg = 0;
    m_extract.parameters().extractClips = 1;
    if (!stopEarly) {
      ASSERT_TRUE(run(advanced));
      return;
    }
    ASSERT_TRUE(m_extract.startExtraction(advanced));
    while (m_extract.isRunning() && m_extract.clipsWrittenEarly() == 0) std::this_thread::yield();
    m_extract.stopExtraction();
  };
  extract("1", false);
  EXPECT_EQ(m_extract.clipsWrittenEarly(), 0u);
  extract("2", false);
  EXPECT_GT(m_extract.clipsWrittenEarly(), 0u);
  EXPECT_EQ(m_extract.clipsWritten(), 60u);
  const fs::path one = m_dir.path() / "many_FRAMES1 Video";
  const fs::path two = m_dir.path() / "many_FRAMES2 Video";
  ASSERT_EQ(namesIn(one).size(), 60u);
  ASSERT_EQ(namesIn(two), namesIn(one));
  for (const std::string& name : namesIn(one)) {
    EXPECT_EQ(test::readFile(two / name), test::readFile(one / name)) << name;
  }

  extract("2", true);
  EXPECT_TRUE(m_extract.wasStopped());
  for (const std::string& name : namesIn(m_dir.path())) EXPECT_NE(name[0], '.') << name;
  EXPECT_FALSE(fs::exists(m_dir.path() / "many_FRAMES3 Video"));
}

TEST_F(Extraction, ClipFramesAreTheCutRectangleOfTheirVideoFrames) {
  // A detailed picture for a second, then a cut to red: one clip of the picture, cut. Stored
  // uncompressed the clip holds the very pixels; through MJPG (which takes the decoded picture
  // straight, in 4:2:0 like the video) nearly them.
  const std::string video = m_dir.file("detail.avi");
  ASSERT_TRUE(test::runProgram({"ffmpeg", "-nostdin", "-v", "error", "-y", "-filter_complex",
                                "testsrc=s=64x48:r=25:d=1.2[a];color=c=red:s=64x48:r=25:d=1[b];"
                                "[a][b]concat=n=2",
                                "-c:v", "mpeg4", "-g", "12", "-bf", "2", "-q:v", "2", video}));
  struct Case {
    const char* fourcc;
    std::uint32_t top;
    const char* codec;
    double meanDifference;
  };
  for (const Case& c : {Case{"uncompressed", 3, "rawvideo", 0.0}, Case{"MJPG", 4, "mjpeg", 4.0}}) {
    AdvancedSettings advanced = defaultAdvanced();
    advanced.setRowValue(AdvancedRow::FourCC, c.fourcc);
    ASSERT_TRUE(m_extract.openVideo(video, advanced));
    CDialogGetAviParam& p = m_extract.parameters();
    p.saveJpeg = 0;
    p.extractClips = 1;
    p.left = 6;
    p.top = c.top;
    p.width = 40;
    p.height = 28;
    ASSERT_TRUE(run(advanced));
    const fs::path videos = m_extract.clipFolders().at(0);
    ASSERT_EQ(namesIn(videos), std::vector<std::string>{"FR000001-000025-(0025).avi"});
    const std::string path = (videos / "FR000001-000025-(0025).avi").string();
    EXPECT_EQ(test::programOutput({"ffprobe", "-v", "error", "-select_streams", "v:0",
                                   "-show_entries", "stream=codec_name", "-of", "csv=p=0", path}),
              std::string(c.codec) + "\n");
    CAviStream source;
    CAviStream clip;
    ASSERT_TRUE(source.open(video));
    ASSERT_TRUE(clip.open(path));
    Foto whole;
    Foto cut;
    for (const std::uint32_t k : {0u, 13u, 24u}) {
      ASSERT_TRUE(source.frameImage(k, whole));
      ASSERT_TRUE(clip.frameImage(k, cut));
      ASSERT_EQ(cut.width, 40u);
      ASSERT_EQ(cut.height, 28u);
      double difference = 0;
      for (std::uint32_t y = 0; y < cut.height; ++y) {
        for (std::uint32_t x = 0; x < cut.width; ++x) {
          const Pixel a = cut.pixels[y * cut.width + x];
          const Pixel b = whole.pixels[(y + p.top) * whole.width + x + p.left];
          difference +=
              std::abs(static_cast<int>(pixelRed(a)) - static_cast<int>(pixelRed(b))) +
              std::abs(static_cast<int>(pixelGreen(a)) - static_cast<int>(pixelGreen(b))) +
              std::abs(static_cast<int>(pixelBlue(a)) - static_cast<int>(pixelBlue(b)));
        }
      }
      EXPECT_LE(difference / (3.0 * cut.pixelCount()), c.meanDifference)
          << c.fourcc << ", frame " << k;
    }
  }
}

TEST(ExtractionFolders, TheImageAfterTwoThousandGoesIntoTheNextFolder) {
  test::ScratchDir dir;
  ScopedScriptedDialogs dialogs;
  const std::string video = dir.file("long.avi");
  ASSERT_TRUE(test::writePatternAvi(video, 8, 8, 2001, 0, 12500));
  AdvancedSettings advanced = defaultAdvanced();
  AviExtract extract;
  ASSERT_TRUE(extract.openVideo(video, advanced));
  EXPECT_EQ(extract.parameters().imageCount, 2001);
  ASSERT_TRUE(extract.startExtraction(advanced));
  extract.waitUntilDone();
  EXPECT_EQ(extract.imagesSaved(), 2001u);
  EXPECT_EQ(namesIn(dir.path() / "long_FRAMES1 Image").size(), 2000u);
  EXPECT_EQ(namesIn(dir.path() / "long_FRAMES2 Image"), std::vector<std::string>{"FR002001.jpg"});
}

}  // namespace
}  // namespace tg
