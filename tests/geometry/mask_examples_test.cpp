// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "geometry/mask_cells.h"
#include "platform/paths.h"
#include "platform/scripted_dialogs.h"

namespace tg {
namespace {

// The example mask files shipped beside the program: each must load and give many cells.
TEST(MaskFileExamples, EveryShippedExampleGivesItsCells) {
  const std::filesystem::path folder = programDataFolder() + "MaskFile Examples";
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  ASSERT_EQ(names, (std::vector<std::string>{"Big and Small.png", "Bricks.png", "Heart.png",
                                             "Rings.png"}));
  ScopedScriptedDialogs dialogs;
  for (const std::string& name : names) {
    CellGrid grid;
    ASSERT_TRUE(buildCellsFromMask(grid, (folder / name).string(), 0, 0)) << name;
    EXPECT_GE(grid.cells.size(), 100u) << name;
    std::uint32_t largest = 0;
    for (const auto& cell : grid.cells) largest = std::max(largest, cell->shape.area);
    // The oval of "Big and Small" is one cell of about 235,000 pixels, not many small ones.
    if (name == "Big and Small.png") {
      EXPECT_GT(largest, 200000u);
    }
  }
  EXPECT_TRUE(dialogs->texts().empty());
}

}  // namespace
}  // namespace tg
