// SPDX-License-Identifier: GPL-3.0-or-later
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "clip_maker.h"
#include "platform/scripted_dialogs.h"
#include "support/scratch_dir.h"
#include "video/reverse_loop.h"
#include "video/tile_picture.h"

namespace tg {
namespace {

// The frame a loaded picture shows, from the red channel of its upper left quarter.
int shownFrame(const Foto& foto) {
  const int red = static_cast<int>(foto.at(4, 4) & 0xFF);
  return red / 9;
}

// A tile record as the list keeps it: a clip not opened yet has frameRate 1 and frameCount 0.
struct Record {
  std::string path;
  uint16_t frameCount = 0;
  uint16_t frameRate = 1;
  TileSource source() { return TileSource{path, frameCount, frameRate}; }
};

class TilePicture : public ::testing::Test {
 protected:
  void SetUp() override {
    resetTileLoadFailures();
    configureReverseLoop("ALL");
    m_clip.path = m_dir.file("clip.avi");
    ASSERT_TRUE(test::writePatternAvi(m_clip.path, 64, 48, 12, 0, 15000));
  }
  void TearDown() override { configureReverseLoop("ALL"); }

  test::ScratchDir m_dir;
  Record m_clip;
  ScopedScriptedDialogs m_dialogs;
};

TEST_F(TilePicture, FirstUseFillsTheClipDataAndGivesFrameZeroAtFullSize) {
  Foto foto;
  bool longClip = true;
  ASSERT_TRUE(loadTilePicture(m_clip.source(), foto, 48, 48, 1, 0, &longClip));
  EXPECT_EQ(m_clip.frameCount, 12);
  EXPECT_EQ(m_clip.frameRate, 15000);
  EXPECT_FALSE(longClip);
  EXPECT_EQ(foto.width, 64u);
  EXPECT_EQ(foto.height, 48u);
  EXPECT_EQ(shownFrame(foto), 0);
  // Green tells the halves apart: the frame is upright.
  EXPECT_EQ((foto.at(4, 4) >> 8) & 0xFF, 200u);
  EXPECT_EQ((foto.at(4, 40) >> 8) & 0xFF, 50u);
  EXPECT_EQ(tileLoadFailures(), 0u);
}

TEST_F(TilePicture, OutputFramesFollowTheReverseLoopMode) {
  m_clip.frameCount = 12;
  m_clip.frameRate = 15000;
  struct Case {
    const char* mode;
    uint32_t i;
    uint32_t n;
    int frame;
  };
  for (const Case c : {Case{"ALL", 15, 25, 9}, Case{"NONE", 15, 25, 2}, Case{"NECESSARY", 5, 10, 4},
                       Case{"Necessary", 15, 25, 9}, Case{"ALL", 25, 25, 0}}) {
    configureReverseLoop(c.mode);
    Foto foto;
    ASSERT_TRUE(loadTilePicture(m_clip.source(), foto, 0, 0, c.i, c.n)) << c.mode;
    EXPECT_EQ(shownFrame(foto), c.frame) << c.mode << " frame " << c.i << " of " << c.n;
  }
  EXPECT_EQ(tileLoadFailures(), 0u);
}

TEST_F(TilePicture, LongClipsAndOutOfRangeValuesAreClamped) {
  Record clip;
  clip.path = m_dir.file("long.avi");
  ASSERT_TRUE(test::writePatternAvi(clip.path, 8, 4, 2701, 0, 100000));
  Foto foto;
  bool longClip = false;
  ASSERT_TRUE(loadTilePicture(clip.source(), foto, 48, 48, 1, 0, &longClip));
  EXPECT_TRUE(longClip);
  EXPECT_EQ(clip.frameCount, 2701);
  EXPECT_EQ(clip.frameRate, 65000);  // 200 frames per second is beyond what a record keeps

  // Once known, the values are left alone and the clip is not reported again.
  longClip = false;
  clip.frameCount = 2701;
  ASSERT_TRUE(loadTilePicture(clip.source(), foto, 48, 48, 1, 0, &longClip));
  EXPECT_FALSE(longClip);
}

TEST_F(TilePicture, FailuresAreCountedQuietly) {
  Foto foto;
  Record missing;
  missing.path = m_dir.file("missing.avi");
  EXPECT_FALSE(loadTilePicture(missing.source(), foto, 48, 48, 1, 0));
  EXPECT_EQ(missing.frameCount, 0);
  EXPECT_TRUE(foto.empty());

  Record garbage;
  garbage.path = m_dir.file("garbage.avi");
  test::writeFile(garbage.path, std::string(3000, '\x11'));
  EXPECT_FALSE(loadTilePicture(garbage.source(), foto, 48, 48, 1, 0));

  // A record that claims more frames than the clip has: the frame past the end fails.
  m_clip.frameCount = 50;
  m_clip.frameRate = 15000;
  configureReverseLoop("NONE");
  ASSERT_TRUE(loadTilePicture(m_clip.source(), foto, 48, 48, 5, 60));
  EXPECT_FALSE(loadTilePicture(m_clip.source(), foto, 48, 48, 30, 60));
  EXPECT_TRUE(foto.empty());

  Record still;
  still.path = m_dir.file("missing.jpg");
  still.frameRate = 0;
  EXPECT_FALSE(loadTilePicture(still.source(), foto, 48, 48, 1, 0));

  EXPECT_EQ(tileLoadFailures(), 4u);
  EXPECT_TRUE(m_dialogs->texts().empty());
  resetTileLoadFailures();
  EXPECT_EQ(tileLoadFailures(), 0u);
}

TEST_F(TilePicture, StillPicturesLoadThroughTheImageDecoder) {
  if (!test::haveFfmpegTools()) GTEST_SKIP() << "the ffmpeg tool is not installed";
  Record still;
  still.path = m_dir.file("still.png");
  still.frameRate = 0;
  ASSERT_TRUE(test::runProgram({"ffmpeg", "-nostdin", "-v", "error", "-f", "lavfi", "-i",
                                "color=c=0x1020F0:s=40x30", "-frames:v", "1", still.path}));
  Foto foto;
  ASSERT_TRUE(loadTilePicture(still.source(), foto, 48, 48, 3, 10));
  EXPECT_EQ(foto.width, 40u);
  EXPECT_EQ(foto.height, 30u);
  // The tool's colour source passes through YUV, so a channel may be off by one or two.
  const Pixel pixel = foto.at(5, 5);
  EXPECT_TRUE(
      test::near(test::Rgb{static_cast<int>(pixel & 0xFF), static_cast<int>(pixel >> 8 & 0xFF),
                           static_cast<int>(pixel >> 16 & 0xFF)},
                 test::Rgb{0x10, 0x20, 0xF0}, 2));
  EXPECT_EQ(pixel >> 24, 0u);
  EXPECT_EQ(still.frameCount, 0);
  EXPECT_EQ(tileLoadFailures(), 0u);
}

TEST_F(TilePicture, ManyThreadsLoadClipFramesAtOnce) {
  m_clip.frameCount = 12;
  m_clip.frameRate = 15000;
  configureReverseLoop("NONE");
  constexpr int kThreads = 6;
  std::vector<int> wrong(kThreads, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      // Each render job has its own view of the shared record; the counts are already known.
      uint16_t count = m_clip.frameCount;
      uint16_t rate = m_clip.frameRate;
      for (uint32_t i = 1; i <= 24; ++i) {
        const uint32_t frameNumber = (i * 5 + static_cast<uint32_t>(t)) % 24 + 1;
        Foto foto;
        if (!loadTilePicture(TileSource{m_clip.path, count, rate}, foto, 0, 0, frameNumber, 24) ||
            shownFrame(foto) != static_cast<int>((frameNumber - 1) % 12)) {
          ++wrong[t];
        }
      }
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(wrong, std::vector<int>(kThreads, 0));
  EXPECT_EQ(tileLoadFailures(), 0u);
}

}  // namespace
}  // namespace tg
