// SPDX-License-Identifier: GPL-3.0-or-later
// Faults found by review, seen from the command line.
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "cli_helpers.h"

namespace tg {
namespace {

using test::CliFixture;
using test::CliRun;

class CliFaults : public CliFixture {};

TEST_F(CliFaults, ListInfoJsonEscapesNamesThatAreNotUtf8) {
  std::filesystem::copy_file(m_dir.file("tiles/t0.jpg"), m_dir.file("tiles/caf\xE9.jpg"));
  std::filesystem::copy_file(m_dir.file("tiles/t1.jpg"), m_dir.file("tiles/caf\xC3\xA9.jpg"));
  CliRun run = cli("list build --include tiles tiles.tg4");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  run = cli("list info --json tiles.tg4");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("/tiles/caf\\udce9.jpg\""), std::string::npos);
  EXPECT_NE(run.out.find("/tiles/caf\xC3\xA9.jpg\""), std::string::npos);
  for (const char c : run.out) {
    EXPECT_NE(static_cast<unsigned char>(c), 0xE9u) << "a raw byte that is not UTF-8";
  }
}

// 1-pixel tiles on a 10-gigapixel mosaic: the information comes at once, from the geometry,
// instead of after laying out ten thousand million cells.
TEST_F(CliFaults, GeometryOfAHugeGridOfTinyTilesAnswersAtOnce) {
  const CliRun run =
      cli("geometry --set MosaicSizeUnit=pixel --set MosaicSizeWidth=100000 "
          "--set MosaicSizeHeight=100000 --set TileUnit=pixel --set TileSize=1 "
          "--set BorderSizeWidth=0 --image 100000x100000");
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("Tile Pattern: "), std::string::npos) << run.out;
}

}  // namespace
}  // namespace tg
