// SPDX-License-Identifier: GPL-3.0-or-later
#include "video/clip_selection.h"

#include <gtest/gtest.h>

namespace tg {
namespace {

// One scene of `length` frames (cut after it), then `tail` frames that no cut ends.
std::vector<FrameRun> sceneThenTail(std::uint32_t length, std::uint32_t tail) {
  std::vector<FrameRun> runs(length + tail);
  for (std::uint32_t k = 0; k < length; ++k) runs[k].sceneLength = length - k;
  return runs;
}

TEST(ClipSelection, LongScenesAreCutIntoPiecesOfTheMaximumLength) {
  // A 1000-frame scene cut at frame 1000 of 1200: three clips; the last 200 frames give none.
  EXPECT_EQ(chooseSceneClips(sceneThenTail(1000, 200), 30, 400),
            (FrameIntervals{{0, 400}, {400, 800}, {800, 1000}}));
  // A remainder of exactly the minimum is not kept.
  EXPECT_EQ(selectClips({{50, 480}}, 30, 400), (FrameIntervals{{50, 450}}));
  // Shorter than the minimum: nothing.
  EXPECT_TRUE(chooseSceneClips(sceneThenTail(29, 0), 30, 400).empty());
}

TEST(ClipSelection, OverlapsAreTrimmedAndTheLatestOfEqualLengthsWins) {
  // Of the two 100-frame candidates the one added last, [60,160), is taken first; [0,100) keeps
  // its head [0,60); [10,40) lies inside that head's clip and goes.
  EXPECT_EQ(selectClips({{0, 100}, {60, 160}, {10, 40}}, 30, 400),
            (FrameIntervals{{0, 60}, {60, 160}}));
  // A head shorter than the minimum is dropped.
  EXPECT_EQ(selectClips({{0, 50}, {20, 70}}, 30, 400), (FrameIntervals{{20, 70}}));
  // A head long enough survives.
  EXPECT_EQ(selectClips({{0, 80}, {40, 130}}, 30, 400), (FrameIntervals{{0, 40}, {40, 130}}));
}

TEST(ClipSelection, StaticRunsAreFoundAndCutScenesShort) {
  std::vector<FrameRun> runs(10);
  for (std::uint32_t k = 0; k < 10; ++k) runs[k].staticLength = 1;
  // With a minimum of 1 the scan still moves on by one frame per step.
  EXPECT_EQ(findStaticRuns(runs, 1).size(), 10u);
  EXPECT_TRUE(findStaticRuns(runs, 0).empty());

  // Frames 4..8 are still; the scene from 0 runs into them and ends at their first frame.
  std::vector<FrameRun> scene(12);
  for (std::uint32_t k = 0; k < 10; ++k) scene[k].sceneLength = 10 - k;
  scene[4].staticLength = 5;
  const FrameIntervals still = findStaticRuns(scene, 3);
  EXPECT_EQ(still, (FrameIntervals{{8, 4}}));
  cutScenesAtStaticRuns(scene, still, 2);
  EXPECT_EQ(scene[0].sceneLength, 5u);  // frames 0..4
  EXPECT_EQ(scene[4].sceneLength, 0u);  // starts inside the still stretch
  EXPECT_EQ(scene[9].sceneLength, 1u);  // below the minimum: untouched
}

}  // namespace
}  // namespace tg
