// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/required_images.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/matching_context.h"
#include "engine/tile_distance.h"
#include "engine_test_support.h"
#include "job/mosaic_job.h"
#include "platform/scripted_dialogs.h"

namespace tg {
namespace {

using test::addCell;
using test::addTile;

struct Fixture {
  ScopedScriptedDialogs dialogs;
  MosaicJob job;
  CellGrid grid;
  TileImagesList list;
  ComparisonSettings comparison;
  MatchingContext context{job, grid, list, comparison};

  Fixture() {
    comparison.setShiftLimit(0);
    grid.columns = 100;
    grid.rows = 100;
    grid.gap = 2;
    job.settings.tileDuplication.set(0);
    job.settings.useAllImages.set(false);
  }
};

TEST(InsertRequiredImages, PutsRequiredPicturesIntoTheBestInnerCells) {
  Fixture f;
  FotoInfo& filler = addTile(f.list, "/t/filler.jpg", 60);
  FotoInfo& wanted = addTile(f.list, "/t/wanted.jpg", 200, true);
  // A border cell that matches the wanted picture perfectly, and two inner cells.
  PuzzleInfo& border = addCell(f.grid, 0, 0, 20, 20);
  border.signature = test::uniformSignature(200, 200, 200);
  PuzzleInfo& near = addCell(f.grid, 30, 30, 20, 20);
  near.signature = test::uniformSignature(190, 190, 190);
  PuzzleInfo& far = addCell(f.grid, 60, 30, 20, 20);
  for (PuzzleInfo* cell : {&border, &near, &far}) test::place(*cell, filler);

  insertRequiredImages(f.context);
  EXPECT_EQ(near.tile, &wanted);
  EXPECT_EQ(near.score, tileDistance(f.comparison, kNoMatch, near, wanted));
  EXPECT_EQ(border.tile, &filler);
  EXPECT_EQ(wanted.useCount, 1u);
  EXPECT_EQ(filler.useCount, 2u);
  EXPECT_EQ(f.job.statusText(), "Inserting 1 required Images into the mosaic...");
  EXPECT_TRUE(f.dialogs->texts().empty());
  EXPECT_EQ(f.job.progress().maximum(ProgressStage::RequiredImages), 1.0);
}

TEST(InsertRequiredImages, TakesBorderCellsWhenNoInnerCellIsFree) {
  Fixture f;
  FotoInfo& kept = addTile(f.list, "/t/kept.jpg", 128, true);
  FotoInfo& wanted = addTile(f.list, "/t/wanted.jpg", 128, true);
  // The inner zone ends gap units before the grid's edge: this cell touches it.
  PuzzleInfo& edge = addCell(f.grid, 30, 30, 20, 68);
  PuzzleInfo& inner = addCell(f.grid, 30, 10, 20, 10);
  test::place(inner, kept);  // required and used once: not to be displaced
  insertRequiredImages(f.context);
  EXPECT_EQ(edge.tile, &wanted);
  EXPECT_EQ(inner.tile, &kept);
}

TEST(InsertRequiredImages, LeavesPlacedPicturesAloneAndSaysWhatDidNotFit) {
  Fixture f;
  FotoInfo& placed = addTile(f.list, "/t/a.jpg", 128, true);
  addTile(f.list, "/t/b.jpg", 128, true);
  addTile(f.list, "/t/c.jpg", 128, true);
  addTile(f.list, "/t/plain.jpg", 128);
  PuzzleInfo& only = addCell(f.grid, 30, 30, 20, 20);
  PuzzleInfo& empty = addCell(f.grid, 60, 30, 20, 20);
  test::place(only, placed);

  insertRequiredImages(f.context);
  EXPECT_EQ(only.tile, &placed);
  EXPECT_EQ(placed.useCount, 1u);
  ASSERT_NE(empty.tile, nullptr);
  EXPECT_EQ(empty.tile->path, "/t/b.jpg");
  EXPECT_EQ(f.job.statusText(), "Inserting 2 required Images into the mosaic...");
  ASSERT_EQ(f.dialogs->texts().size(), 1u);
  EXPECT_EQ(f.dialogs->texts()[0],
            "It is not possible to insert 1 Images (on a Total of 3 required Images) into the "
            "Mosaic made of 2 Tiles. Please raise the number of Tiles and/or allow Rotate 90 "
            "degrees");
  EXPECT_EQ(f.dialogs->messages()[0].icon, Icon::Exclamation);
}

TEST(InsertRequiredImages, UseAllImagesBringsInEveryUnusedPicture) {
  Fixture f;
  f.job.settings.useAllImages.set(true);
  FotoInfo& twice = addTile(f.list, "/t/twice.jpg", 128);
  FotoInfo& once = addTile(f.list, "/t/once.jpg", 128);
  FotoInfo& unused = addTile(f.list, "/t/unused.jpg", 128);
  PuzzleInfo& a = addCell(f.grid, 10, 10, 20, 20);
  PuzzleInfo& b = addCell(f.grid, 40, 10, 20, 20);
  PuzzleInfo& c = addCell(f.grid, 70, 10, 20, 20);
  test::place(a, twice);
  test::place(b, twice);
  test::place(c, once);
  insertRequiredImages(f.context);
  // Only a cell whose tile is used more than once may give it up.
  EXPECT_EQ(a.tile, &unused);
  EXPECT_EQ(b.tile, &twice);
  EXPECT_EQ(c.tile, &once);
  EXPECT_EQ(twice.useCount, 1u);
  EXPECT_TRUE(f.dialogs->texts().empty());

  // Without duplicates only required pictures are inserted, but all are counted.
  Fixture g;
  g.job.settings.useAllImages.set(true);
  g.job.settings.tileDuplication.set(1);
  addTile(g.list, "/t/x.jpg", 128);
  PuzzleInfo& cell = addCell(g.grid, 10, 10, 20, 20);
  insertRequiredImages(g.context);
  EXPECT_EQ(cell.tile, nullptr);
  ASSERT_EQ(g.dialogs->texts().size(), 1u);
  EXPECT_NE(g.dialogs->texts()[0].find("insert 1 Images (on a Total of 1 required"),
            std::string::npos);
}

TEST(InsertRequiredImages, StopsAtOnce) {
  Fixture f;
  addTile(f.list, "/t/a.jpg", 128, true);
  PuzzleInfo& cell = addCell(f.grid, 10, 10, 20, 20);
  f.job.setStopRequest(true);
  insertRequiredImages(f.context);
  EXPECT_EQ(cell.tile, nullptr);
  EXPECT_TRUE(f.dialogs->texts().empty());
}

}  // namespace
}  // namespace tg
