// SPDX-License-Identifier: GPL-3.0-or-later
#include "job/progress_tracker.h"

#include <gtest/gtest.h>

namespace tg {
namespace {

using S = ProgressStage;

constexpr S kAllStages[] = {S::NeighbourLists, S::Rendering,     S::BuildingTiles, S::Analysis,
                            S::RequiredImages, S::FreeingMemory, S::Placement,     S::SecondPass};

TEST(ProgressTracker, StartsEmptyWithTheFixedWeights) {
  ProgressTracker tracker;
  EXPECT_DOUBLE_EQ(tracker.totalWeight(), 15807.0);
  tracker.recompute(1000);
  EXPECT_DOUBLE_EQ(tracker.overall(), 0.0);
  EXPECT_FALSE(tracker.currentStage());
  EXPECT_FALSE(tracker.stagePercentage());
  for (const S stage : kAllStages) EXPECT_DOUBLE_EQ(tracker.maximum(stage), 1.0);
}

TEST(ProgressTracker, AStageCountsItsProgressTimeAndWeight) {
  ProgressTracker tracker;
  tracker.beginStage(S::Placement, 200, 1000);
  tracker.addProgress(50);
  tracker.recompute(1600);
  ASSERT_TRUE(tracker.stagePercentage());
  EXPECT_DOUBLE_EQ(*tracker.stagePercentage(), 25.0);
  EXPECT_DOUBLE_EQ(tracker.overall(), 100.0 / 15807 * 5800 * 0.25);
  EXPECT_EQ(tracker.milliseconds(S::Placement), 600u);
  EXPECT_EQ(tracker.totalMilliseconds(), 600u);

  // Beginning the next stage completes this one.
  tracker.beginStage(S::Rendering, 0, 2000);
  EXPECT_DOUBLE_EQ(tracker.current(S::Placement), 200.0);
  EXPECT_EQ(tracker.milliseconds(S::Placement), 1000u);
  EXPECT_EQ(tracker.currentStage(), S::Rendering);
  tracker.recompute(2100);
  // A stage whose maximum stayed 1.0 shows no stage percentage.
  EXPECT_FALSE(tracker.stagePercentage());
  tracker.endStage(2500);
  EXPECT_FALSE(tracker.currentStage());
  tracker.recompute(9999);
  EXPECT_EQ(tracker.milliseconds(S::Rendering), 500u);
  EXPECT_DOUBLE_EQ(tracker.overall(), 100.0 / 15807 * (5800 + 3870));
}

TEST(ProgressTracker, ProgressIsClampedToTheStageRange) {
  ProgressTracker tracker;
  tracker.beginStage(S::Analysis, 10, 0);
  tracker.addProgress(25);
  tracker.recompute(0);
  EXPECT_DOUBLE_EQ(tracker.current(S::Analysis), 10.0);
  EXPECT_DOUBLE_EQ(*tracker.stagePercentage(), 100.0);
  // Without a current stage progress goes nowhere.
  tracker.endStage(0);
  tracker.addProgress(5);
  tracker.recompute(0);
  EXPECT_DOUBLE_EQ(tracker.current(S::Analysis), 10.0);
}

TEST(ProgressTracker, EveryStageDoneIsOneHundredPercent) {
  for (const bool split : {false, true}) {
    ProgressTracker tracker;
    if (!split) tracker.setLastStageWeight(0, 0);
    for (const S stage : kAllStages) {
      if (!split && stage == S::SecondPass) continue;
      tracker.beginStage(stage, 3, 0);
      tracker.endStage(0);
    }
    tracker.recompute(0);
    EXPECT_NEAR(tracker.overall(), 100.0, 1e-9) << split;
  }
}

TEST(ProgressTracker, LastStageWeightChangesTheTotal) {
  ProgressTracker tracker;
  tracker.setLastStageWeight(0, 0);
  EXPECT_DOUBLE_EQ(tracker.totalWeight(), 15807.0 - 5804);
  tracker.setLastStageWeight(-4, 0);
  EXPECT_DOUBLE_EQ(tracker.weight(S::SecondPass), 0.0);
  tracker.setLastStageWeight(100, 0);
  EXPECT_DOUBLE_EQ(tracker.totalWeight(), 15807.0 - 5804 + 100);
  tracker.reset();
  EXPECT_DOUBLE_EQ(tracker.weight(S::SecondPass), 5804.0);
}

TEST(ProgressTracker, MergingMovesStagesIntoTheLast) {
  ProgressTracker tracker;
  tracker.beginStage(S::Analysis, 40, 100);
  tracker.addProgress(40);
  tracker.endStage(300);
  tracker.beginStage(S::Placement, 10, 300);
  tracker.addProgress(4);
  tracker.recompute(1300);
  tracker.endStage(1300);
  tracker.mergeStagesIntoLast({S::Analysis, S::Placement, S::SecondPass});
  EXPECT_DOUBLE_EQ(tracker.current(S::SecondPass), 50.0);
  EXPECT_DOUBLE_EQ(tracker.maximum(S::SecondPass), 51.0);
  EXPECT_EQ(tracker.milliseconds(S::SecondPass), 1200u);
  EXPECT_DOUBLE_EQ(tracker.current(S::Analysis), 0.0);
  EXPECT_EQ(tracker.milliseconds(S::Placement), 0u);
  // The maxima stay, so the stages can run again.
  EXPECT_DOUBLE_EQ(tracker.maximum(S::Analysis), 40.0);
}

}  // namespace
}  // namespace tg
