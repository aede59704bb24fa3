// SPDX-License-Identifier: GPL-3.0-or-later
// Faster with ConsecutiveFrames: frames of one clip are kept apart, and no frame is placed twice.
#include <cstdint>
#include <map>
#include <string>

#include <gtest/gtest.h>

#include "engine/matching_context.h"
#include "engine/place_tiles.h"
#include "engine/tile_distance.h"
#include "engine_test_support.h"

namespace tg {
namespace {

std::uint32_t gap(std::uint32_t a, std::uint32_t b) { return a > b ? a - b : b - a; }

// A 8 x 6 grid of 10 x 10 cells whose grey levels wander, and `frames` frames of one clip
// numbered 1..frames whose grey levels drift slowly (neighbouring frames look alike).
struct FramesWorld : test::PlacementWorld {
  FramesWorld(long consecutive, long spacing, int frames) : PlacementWorld(kProcessingHighQuality) {
    job.settings.consecutiveFrames.set(consecutive);
    job.settings.duplicateSpacing.set(spacing);
    job.settings.tileDuplication.set(1);
    job.threadCount = 1;
    grid.columns = 80;
    grid.rows = 60;
    for (int i = 0; i < 48; ++i) {
      PuzzleInfo& cell = test::addCell(grid, (i % 8) * 10, (i / 8) * 10, 10, 10);
      const auto grey = static_cast<std::uint32_t>(40 + (i * 53) % 120);
      cell.signature = test::uniformSignature(grey, grey, grey);
    }
    for (int i = 0; i < frames; ++i) {
      const std::string name = std::to_string(100000 + i);
      FotoInfo& frame =
          test::addTile(list, "/clips/a_FRAMES1 Image/f" + name + ".jpg", 40 + (i * 120) / frames);
      frame.groupId = static_cast<std::uint32_t>(i + 1);
    }
  }

  // No frame in two cells, use counts that match the cells, and no two frames within
  // `consecutive` of each other in cells that see each other.
  void expectSound(long consecutive) const {
    std::map<const FotoInfo*, std::uint32_t> held;
    for (const auto& cell : grid.cells) {
      if (cell->tile != nullptr) ++held[cell->tile];
    }
    for (const auto& [path, tile] : list.tiles) {
      const auto it = held.find(&tile);
      const std::uint32_t cells = it == held.end() ? 0 : it->second;
      EXPECT_LE(cells, 1u) << path << " placed more than once";
      EXPECT_EQ(tile.useCount, cells) << path;
    }
    const std::uint64_t threshold = spacingThreshold(grid, job.settings.duplicateSpacing.value);
    for (std::size_t i = 0; i < grid.cells.size(); ++i) {
      for (std::size_t j = i + 1; j < grid.cells.size(); ++j) {
        const PuzzleInfo& a = *grid.cells[i];
        const PuzzleInfo& b = *grid.cells[j];
        if (a.tile == nullptr || b.tile == nullptr) continue;
        if (threshold > 0 && !withinSpacing(a, b, threshold)) continue;
        EXPECT_GT(gap(a.tile->groupId, b.tile->groupId), static_cast<std::uint32_t>(consecutive))
            << "cells " << i << " and " << j;
      }
    }
  }

  std::size_t filled() const {
    std::size_t n = 0;
    for (const auto& cell : grid.cells) n += cell->tile != nullptr ? 1 : 0;
    return n;
  }
};

TEST(ConsecutiveFrames, NoFrameIsPlacedTwiceAndNearFramesStayApart) {
  for (const long consecutive : {1L, 3L, 10L}) {
    for (const long spacing : {0L, 3L}) {
      SCOPED_TRACE("ConsecutiveFrames " + std::to_string(consecutive) + ", DuplicateSpacing " +
                   std::to_string(spacing));
      FramesWorld world(consecutive, spacing, 120);
      // A frame fixed in its cell beforehand (as by a tile list file) stays there only.
      PuzzleInfo& fixed = *world.grid.cells[20];
      test::place(fixed, world.list.tiles.at("/clips/a_FRAMES1 Image/f100060.jpg"));
      fixed.locked = 1;
      ASSERT_TRUE(placeTiles(world.context));
      world.expectSound(consecutive);
      EXPECT_GT(world.filled(), 0u);
    }
  }
}

}  // namespace
}  // namespace tg
