// SPDX-License-Identifier: GPL-3.0-or-later
#include "geometry/grid_stage.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "job/mosaic_job.h"
#include "platform/scripted_dialogs.h"

namespace tg {
namespace {

void pixelMosaic(MosaicJob& job, double tile) {
  job.settings.mosaicSize.value = SizeValue{1000, 750, UnitId::Pixel};
  job.settings.tileSize.value = Quantity{tile, UnitId::Pixel};
  job.settings.borderSize.value = Quantity{0, UnitId::Pixel};
  job.settings.tileAdapt.value = 0;
  job.settings.pattern.value = 1;
}

TEST(GridStage, ComputesTheGeometryAndBuildsThePatternGrid) {
  ScopedScriptedDialogs dialogs;
  MosaicJob job;
  pixelMosaic(job, 300);
  ASSERT_TRUE(job.mainImage.create(1000, 750));
  GridStage stage;
  ASSERT_TRUE(stage.computeGeometry(job));
  EXPECT_FALSE(stage.isMaskFileMode());
  ASSERT_TRUE(stage.buildCellGrid(job));
  EXPECT_EQ(stage.gridSize(), 12u);
  EXPECT_EQ(stage.geometry.tileCount, 12u);
  EXPECT_EQ(job.statusText(), "Building Mosaic Tiles...");
  stage.copyGridSizeToGeometry();
  EXPECT_EQ(stage.geometry.columns, 1000u);
  EXPECT_EQ(stage.geometry.rows, 750u);
  stage.freeCells(true);
  EXPECT_EQ(stage.gridSize(), 0u);
  EXPECT_TRUE(dialogs->texts().empty());
}

TEST(GridStage, ShowsTheGeometryMessageAndRefusesToBuild) {
  ScopedScriptedDialogs dialogs;
  MosaicJob job;
  pixelMosaic(job, 0.5);
  job.settings.tileSize.value = Quantity{0.5, UnitId::Tiles};
  ASSERT_TRUE(job.mainImage.create(1000, 750));
  GridStage stage;
  EXPECT_FALSE(stage.computeGeometry(job));
  EXPECT_FALSE(stage.buildCellGrid(job));
  EXPECT_EQ(dialogs->texts(), (std::vector<std::string>{"Please specify all the parameters",
                                                        "Please specify all the parameters"}));
  // Without a main image nothing is built.
  job.mainImage.release();
  pixelMosaic(job, 300);
  EXPECT_FALSE(stage.computeGeometry(job));
  EXPECT_EQ(dialogs->texts().back(), "Please add an Image using the + button");
  EXPECT_FALSE(stage.buildCellGrid(job));
  EXPECT_EQ(stage.gridSize(), 0u);
}

TEST(GridStage, MaskFileModeBuildsNoCellsFromAMissingFile) {
  ScopedScriptedDialogs dialogs;
  MosaicJob job;
  job.settings.mosaicSize.value = SizeValue{1, 1, UnitId::Pixel};
  ASSERT_TRUE(job.mainImage.create(100, 100));
  GridStage stage;
  ASSERT_TRUE(stage.computeGeometry(job));
  EXPECT_TRUE(stage.isMaskFileMode());
  EXPECT_FALSE(stage.buildCellsFromMask(job, "/nonexistent/folder/x Mask.png"));
  EXPECT_EQ(stage.geometry.tileCount, 0u);
  EXPECT_EQ(dialogs->texts().size(), 1u);  // the loader's message
}

}  // namespace
}  // namespace tg
