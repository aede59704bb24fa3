// SPDX-License-Identifier: GPL-3.0-or-later
#include "geometry/mask_cells.h"

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/foto.h"
#include "job/mosaic_job.h"
#include "platform/scripted_dialogs.h"
#include "support/scratch_dir.h"

namespace tg {
namespace {

constexpr Pixel kWhite = makePixel(255, 255, 255);
constexpr Pixel kBlack = makePixel(0, 0, 0);
constexpr Pixel kBlue = makePixel(30, 60, 200);
constexpr Pixel kRed = makePixel(200, 30, 30);
constexpr Pixel kGreen = makePixel(30, 180, 40);
constexpr Pixel kYellow = makePixel(220, 210, 40);

Foto whiteMask(std::uint32_t w, std::uint32_t h) {
  Foto mask;
  EXPECT_TRUE(mask.create(w, h));
  mask.fill(kWhite);
  return mask;
}

void fillRect(Foto& mask, std::uint32_t x, std::uint32_t y, std::uint32_t w, std::uint32_t h,
              Pixel colour) {
  for (std::uint32_t j = y; j < y + h; ++j) {
    for (std::uint32_t i = x; i < x + w; ++i) mask.at(i, j) = colour;
  }
}

struct Box {
  std::int32_t left, top, width, height;
  std::uint32_t area;
  bool operator==(const Box&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Box& b) {
  return out << "[" << b.left << "," << b.top << " " << b.width << "x" << b.height << " area "
             << b.area << "]";
}

Box boxOf(const PuzzleInfo& cell) {
  const FotoMask& s = cell.shape;
  return Box{s.left, s.top, s.width, s.height, s.area};
}

std::uint32_t setBits(const FotoMask& mask) {
  std::uint32_t n = 0;
  for (std::uint32_t i = 0; i < mask.bitCount; ++i) n += mask.bit(i) ? 1 : 0;
  return n;
}

std::string sample(const std::string& name) {
  return (test::testDataDir() / "geometry" / name).string();
}

TEST(BuildCellsFromMask, SeparateSquaresBecomeCellsInReadingOrder) {
  Foto mask = whiteMask(200, 150);
  fillRect(mask, 120, 10, 50, 50, kBlue);  // appears first when read row by row
  fillRect(mask, 10, 80, 50, 50, kBlue);
  CellGrid grid;
  ASSERT_TRUE(buildCellsFromMaskImage(grid, mask, 0, 0));
  EXPECT_TRUE(mask.empty());  // taken over and released
  ASSERT_EQ(grid.size(), 2u);
  EXPECT_EQ(boxOf(*grid.cells[0]), (Box{120, 10, 50, 50, 2500}));
  EXPECT_EQ(boxOf(*grid.cells[1]), (Box{10, 80, 50, 50, 2500}));
  for (const auto& cell : grid.cells) {
    EXPECT_FALSE(cell->shape.hasBitmap());
    EXPECT_EQ(cell->active, 1u);
  }
  EXPECT_EQ(grid.columns, 200u);
  EXPECT_EQ(grid.rows, 150u);
  EXPECT_EQ(grid.gap, 0u);
}

TEST(BuildCellsFromMask, ASharedLineIsDividedBetweenTheCells) {
  // Red and green squares with a 3-pixel black line between them.
  Foto mask = whiteMask(130, 80);
  fillRect(mask, 10, 10, 50, 50, kRed);
  fillRect(mask, 60, 10, 3, 50, kBlack);
  fillRect(mask, 63, 10, 50, 50, kGreen);
  CellGrid grid;
  ASSERT_TRUE(buildCellsFromMaskImage(grid, mask, 0, 0));
  ASSERT_EQ(grid.size(), 2u);
  const Box red = boxOf(*grid.cells[0]);
  const Box green = boxOf(*grid.cells[1]);
  // Both neighbours of the line take a column in the first pass; the middle one follows the
  // first neighbour that counts (left before right) in the second.
  EXPECT_EQ(red, (Box{10, 10, 52, 50, 2600}));
  EXPECT_EQ(green, (Box{62, 10, 51, 50, 2550}));
  EXPECT_EQ(red.left + red.width, green.left);  // the cells touch, no separator remains
}

TEST(BuildCellsFromMask, ACrossOfLinesGoesToTheNeighboursByTheTieRules) {
  // Four quadrants of different colours separated by a one-pixel black cross at (40, 40).
  Foto mask = whiteMask(81, 81);
  fillRect(mask, 0, 0, 40, 40, kRed);
  fillRect(mask, 41, 0, 40, 40, kGreen);
  fillRect(mask, 0, 41, 40, 40, kBlue);
  fillRect(mask, 41, 41, 40, 40, kYellow);
  fillRect(mask, 40, 0, 1, 81, kBlack);
  fillRect(mask, 0, 40, 81, 1, kBlack);
  CellGrid grid;
  ASSERT_TRUE(buildCellsFromMaskImage(grid, mask, 0, 0));
  ASSERT_EQ(grid.size(), 4u);
  // Upper arm and left arm go to the upper left quadrant (its pixels come first among the
  // candidates); the centre, seen from four labelled arms, follows the first that repeats.
  EXPECT_EQ(boxOf(*grid.cells[0]).area, 1600u + 40u + 40u + 1u);
  EXPECT_EQ(boxOf(*grid.cells[1]).area, 1600u + 40u);  // right arm
  EXPECT_EQ(boxOf(*grid.cells[2]).area, 1600u + 40u);  // lower arm
  EXPECT_EQ(boxOf(*grid.cells[3]).area, 1600u);
  std::uint32_t total = 0;
  for (const auto& cell : grid.cells) total += cell->shape.area;
  EXPECT_EQ(total, 81u * 81u);
}

TEST(BuildCellsFromMask, ASeparatorPixelFollowsTheRepeatedNeighbour) {
  // A black pixel on the top edge between two pixels of a green U and above a red column: of
  // its candidates (down red, left green, right green) the repeated one wins over the first.
  Foto mask = whiteMask(41, 51);
  fillRect(mask, 0, 0, 41, 51, kGreen);
  fillRect(mask, 20, 1, 1, 14, kRed);
  fillRect(mask, 10, 15, 21, 26, kRed);
  mask.at(20, 0) = kBlack;
  CellGrid grid;
  ASSERT_TRUE(buildCellsFromMaskImage(grid, mask, 0, 0));
  ASSERT_EQ(grid.size(), 2u);
  const std::uint32_t red = 14 + 21 * 26;
  EXPECT_EQ(grid.cells[0]->shape.area, 41u * 51u - red);  // green, with the black pixel
  EXPECT_EQ(grid.cells[1]->shape.area, red);
  EXPECT_TRUE(grid.cells[0]->shape.bit(20));
}

TEST(BuildCellsFromMask, SmallDotsAreLinesAndShapedRegionsCarryBitmaps) {
  // A 10 x 10 dot touching a region is absorbed by it; the region's box then holds white
  // pixels, so the cell gets a bitmap and counts only its own pixels.
  Foto mask = whiteMask(100, 100);
  fillRect(mask, 20, 20, 50, 50, kBlue);
  fillRect(mask, 70, 30, 10, 10, kYellow);
  fillRect(mask, 5, 85, 10, 10, kRed);  // alone on white: nothing
  CellGrid grid;
  ASSERT_TRUE(buildCellsFromMaskImage(grid, mask, 0, 0));
  ASSERT_EQ(grid.size(), 1u);
  const FotoMask& shape = grid.cells[0]->shape;
  EXPECT_EQ(boxOf(*grid.cells[0]), (Box{20, 20, 60, 50, 2600}));
  ASSERT_TRUE(shape.hasBitmap());
  EXPECT_EQ(shape.bitCount, 60u * 50u);
  EXPECT_EQ(setBits(shape), 2600u);
  EXPECT_TRUE(shape.bit(0));              // (20, 20): blue
  EXPECT_FALSE(shape.bit(55));            // (75, 20): white above the dot
  EXPECT_TRUE(shape.bit(55 + 60 * 15));   // (75, 35): the dot
  EXPECT_FALSE(shape.bit(55 + 60 * 25));  // (75, 45): white below it
}

TEST(BuildCellsFromMask, DissolvingTheFrontGivesTheCellsOfWholeImagePasses) {
  // Random regions, thick and thin lines, black blocks, white holes and specks.
  for (unsigned seed = 1; seed <= 12; ++seed) {
    SCOPED_TRACE(seed);
    std::mt19937 random(seed);
    const auto uniform = [&](std::uint32_t lo, std::uint32_t hi) {
      return std::uniform_int_distribution<std::uint32_t>(lo, hi)(random);
    };
    Foto mask = whiteMask(160, 120);
    for (int k = 0; k < 25; ++k) {
      const std::uint32_t x = uniform(0, 150), y = uniform(0, 110);
      const std::uint32_t w = std::min(uniform(2, 60), 160 - x);
      const std::uint32_t h = std::min(uniform(2, 60), 120 - y);
      const int kind = static_cast<int>(uniform(0, 9));
      const Pixel colour = kind < 2 ? kBlack
                           : kind < 3
                               ? kWhite
                               : makePixel(uniform(40, 215), uniform(40, 215), uniform(40, 215));
      fillRect(mask, x, y, w, h, colour);
    }
    Foto copy;
    ASSERT_TRUE(copy.copyFrom(mask));
    CellGrid front;
    CellGrid scan;
    const bool a = buildCellsFromMaskImage(front, mask, 0, 0, SeparatorDissolving::Front);
    const bool b = buildCellsFromMaskImage(scan, copy, 0, 0, SeparatorDissolving::Scan);
    ASSERT_EQ(a, b);
    ASSERT_EQ(front.size(), scan.size());
    for (std::size_t i = 0; i < front.size(); ++i) {
      const FotoMask& f = front.cells[i]->shape;
      const FotoMask& s = scan.cells[i]->shape;
      EXPECT_EQ(boxOf(*front.cells[i]), boxOf(*scan.cells[i])) << i;
      ASSERT_EQ(f.bitCount, s.bitCount) << i;
      for (std::uint32_t bit = 0; bit < f.bitCount; ++bit) ASSERT_EQ(f.bit(bit), s.bit(bit)) << i;
    }
  }
}

TEST(BuildCellsFromMask, GradientsStayOneRegion) {
  Foto mask = whiteMask(300, 60);
  for (std::uint32_t x = 0; x < 280; ++x) {
    fillRect(mask, 10 + x, 10, 1, 40, makePixel(40 + x / 2, 100, 200 - x / 2));
  }
  CellGrid grid;
  ASSERT_TRUE(buildCellsFromMaskImage(grid, mask, 0, 0));
  ASSERT_EQ(grid.size(), 1u);
  EXPECT_EQ(boxOf(*grid.cells[0]), (Box{10, 10, 280, 40, 11200}));
}

TEST(BuildCellsFromMask, UsesThePartOfTheMaskWithTheMainImageAspect) {
  Foto mask = whiteMask(1000, 1000);
  fillRect(mask, 100, 400, 200, 200, kRed);    // cut by row 500
  fillRect(mask, 500, 700, 100, 100, kGreen);  // wholly below it
  fillRect(mask, 700, 100, 100, 100, kBlue);
  CellGrid grid;
  ASSERT_TRUE(buildCellsFromMaskImage(grid, mask, 2000, 1000));
  EXPECT_EQ(grid.columns, 1000u);
  EXPECT_EQ(grid.rows, 500u);
  ASSERT_EQ(grid.size(), 2u);
  EXPECT_EQ(boxOf(*grid.cells[0]), (Box{700, 100, 100, 100, 10000}));
  EXPECT_EQ(boxOf(*grid.cells[1]), (Box{100, 400, 200, 100, 20000}));

  // A tall main image uses the left part; an aspect that does not divide evenly keeps the
  // limiting side whole.
  Foto again = whiteMask(1000, 1000);
  fillRect(again, 100, 400, 200, 200, kRed);
  ASSERT_TRUE(buildCellsFromMaskImage(grid, again, 1234, 3000));
  EXPECT_EQ(grid.columns, 411u);
  EXPECT_EQ(grid.rows, 1000u);
  Foto third = whiteMask(1000, 1000);
  fillRect(third, 100, 400, 200, 200, kRed);
  ASSERT_TRUE(buildCellsFromMaskImage(grid, third, 1234, 1000));
  EXPECT_EQ(grid.columns, 1000u);
  EXPECT_EQ(grid.rows, 810u);
}

TEST(BuildCellsFromMask, MasksWithoutRegionsGiveNoCells) {
  struct Case {
    const char* name;
    std::uint32_t w, h;
    Pixel fill;
    bool blackLines;
  };
  const Case cases[] = {
      {"white", 100, 100, kWhite, false},          {"black", 100, 100, kBlack, false},
      {"black and white", 100, 100, kWhite, true}, {"one coloured pixel", 1, 1, kBlue, false},
      {"one white pixel", 1, 1, kWhite, false},    {"thin coloured strip", 500, 11, kBlue, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Foto mask;
    ASSERT_TRUE(mask.create(c.w, c.h));
    mask.fill(c.fill);
    if (c.blackLines) fillRect(mask, 0, 50, 100, 3, kBlack);
    CellGrid grid;
    grid.append();
    EXPECT_FALSE(buildCellsFromMaskImage(grid, mask, 0, 0));
    EXPECT_TRUE(grid.empty());
    EXPECT_TRUE(mask.empty());
  }
  // A main image whose aspect leaves no rows of the mask.
  Foto mask = whiteMask(100, 100);
  fillRect(mask, 10, 10, 50, 50, kBlue);
  CellGrid grid;
  EXPECT_FALSE(buildCellsFromMaskImage(grid, mask, 1000, 0));
  Foto empty;
  EXPECT_FALSE(buildCellsFromMaskImage(grid, empty, 0, 0));
}

TEST(BuildCellsFromMask, StopsWhenTheJobIsStopped) {
  Foto mask = whiteMask(100, 100);
  fillRect(mask, 10, 10, 50, 50, kBlue);
  MosaicJob job;
  job.setStopRequest(true);
  CellGrid grid;
  grid.job = &job;
  EXPECT_FALSE(buildCellsFromMaskImage(grid, mask, 0, 0));
  EXPECT_TRUE(grid.empty());
}

TEST(BuildCellsFromMask, ReadsJpegAndPngFiles) {
  // Two 100 x 100 squares with a 4-pixel black line between them.
  ScopedScriptedDialogs dialogs;
  CellGrid grid;
  ASSERT_TRUE(buildCellsFromMask(grid, sample("two-regions-mask.png"), 0, 0));
  ASSERT_EQ(grid.size(), 2u);
  EXPECT_EQ(boxOf(*grid.cells[0]), (Box{10, 10, 102, 100, 10200}));
  EXPECT_EQ(boxOf(*grid.cells[1]), (Box{112, 10, 102, 100, 10200}));

  // Compression noise keeps each square one region; chroma subsampling and ringing move the
  // edges by a few pixels.
  ASSERT_TRUE(buildCellsFromMask(grid, sample("two-regions-quality85-mask.jpg"), 0, 0));
  ASSERT_EQ(grid.size(), 2u);
  const Box red = boxOf(*grid.cells[0]);
  const Box green = boxOf(*grid.cells[1]);
  EXPECT_NEAR(red.left, 10, 4);
  EXPECT_NEAR(red.left + red.width, green.left, 1);
  EXPECT_NEAR(red.width + green.width, 204, 12);
  EXPECT_NEAR(double(red.area + green.area), 20400.0, 1200.0);
  EXPECT_TRUE(dialogs->texts().empty());
}

TEST(BuildCellsFromMask, BadMaskFilesAreReportedByTheLoader) {
  test::ScratchDir dir;
  for (const std::string& path : {dir.file("missing.png"), sample("text-file-mask.png"),
                                  sample("huge-dimensions-mask.png")}) {
    SCOPED_TRACE(path);
    ScopedScriptedDialogs dialogs;
    CellGrid grid;
    EXPECT_FALSE(buildCellsFromMask(grid, path, 0, 0));
    EXPECT_TRUE(grid.empty());
    EXPECT_EQ(dialogs->texts().size(), 1u);
  }
  // A JPEG cut in half loads as far as its data goes; whatever it shows, the build completes
  // and every cell lies inside the mask.
  ScopedScriptedDialogs dialogs;
  CellGrid grid;
  (void)buildCellsFromMask(grid, sample("truncated-half-mask.jpg"), 0, 0);
  for (const auto& cell : grid.cells) {
    EXPECT_LE(cell->shape.left + cell->shape.width, 240);
    EXPECT_LE(cell->shape.top + cell->shape.height, 120);
  }
}

}  // namespace
}  // namespace tg
