// SPDX-License-Identifier: GPL-3.0-or-later
#include "video/clip_selection.h"

#include <cstdlib>
#include <random>

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
  // A maximum of 0 frames makes no clip (and ends; the settings allow it).
  EXPECT_TRUE(chooseSceneClips(sceneThenTail(100, 0), 0, 0).empty());
  const FrameIntervals capped = chooseSceneClips(sceneThenTail(25, 0), 0, 10);
  EXPECT_EQ(capped.at(0), 10u);
  EXPECT_EQ(capped.at(10), 20u);
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

// What the frame analysis learns of a film whose frame k shows the "picture" values[k] (frames
// differ by the difference of their values, a cut from 10, still below 3), and the frames k
// before which every frame has met its cut.
struct Analysed {
  std::vector<FrameRun> runs;
  std::vector<std::uint32_t> closedBefore;
};
Analysed analyse(const std::vector<int>& values) {
  Analysed result;
  const auto count = static_cast<std::uint32_t>(values.size());
  result.runs.resize(count);
  std::vector<std::uint32_t> open;
  for (std::uint32_t k = 0; k < count; ++k) {
    std::vector<std::uint32_t> still;
    for (const std::uint32_t m : open) {
      const int d = std::abs(values[m] - values[k]);
      FrameRun& run = result.runs[m];
      if (d >= 10) {
        run.sceneLength = k - m;
        run.staticLength = run.staticLength == 0 ? k - m : run.staticLength;
        continue;
      }
      if (d >= 3 && run.staticLength == 0) run.staticLength = k - m;
      still.push_back(m);
    }
    if (still.empty()) result.closedBefore.push_back(k);
    still.push_back(k);
    open.swap(still);
  }
  return result;
}

TEST(ClipSelection, StretchesThatNoSceneLeavesAreChosenAloneAsTheWholeRangeChoosesThem) {
  std::mt19937 random(21);
  for (int film = 0; film < 300; ++film) {
    // Drifting scenes of random lengths, some still, joined by cuts.
    std::vector<int> values;
    int value = 0;
    const int scenes = 1 + static_cast<int>(random() % 12);
    for (int scene = 0; scene < scenes; ++scene) {
      value += 20 + static_cast<int>(random() % 50);
      const int length = 1 + static_cast<int>(random() % 90);
      const int drift = static_cast<int>(random() % 3);
      for (int i = 0; i < length; ++i) {
        values.push_back(value);
        if (random() % 4 == 0) value += drift;
      }
    }
    const Analysed analysed = analyse(values);
    const std::uint32_t minStatic = random() % 4 == 0 ? 0 : 1 + random() % 20;
    const std::uint32_t minFrames = 1 + random() % 30;
    const std::uint32_t maxFrames = minFrames + random() % 60;
    std::vector<FrameRun> whole = analysed.runs;
    cutScenesAtStaticRuns(whole, findStaticRuns(whole, minStatic), minFrames);
    const FrameIntervals expected = chooseSceneClips(whole, minFrames, maxFrames);

    // Stretch by stretch up to the last frame that every earlier frame's cut has reached.
    FrameIntervals stretched;
    std::uint32_t from = 0;
    for (const std::uint32_t to : analysed.closedBefore) {
      if (to == from) continue;
      const std::vector<FrameRun> stretch(analysed.runs.begin() + from, analysed.runs.begin() + to);
      const FrameIntervals clips =
          chooseStretchClips(stretch, from, minStatic, minFrames, maxFrames);
      stretched.insert(clips.begin(), clips.end());
      from = to;
    }
    FrameIntervals expectedBefore;
    for (const auto& [start, end] : expected) {
      if (start < from) expectedBefore.emplace(start, end);
    }
    ASSERT_EQ(stretched, expectedBefore) << "film " << film;
  }
}

}  // namespace
}  // namespace tg
