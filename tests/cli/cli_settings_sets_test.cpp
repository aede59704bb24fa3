// SPDX-License-Identifier: GPL-3.0-or-later
// --section without --settings: a set of the settings list, built in or saved, by name.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "cli/cli_helpers.h"
#include "support/scratch_dir.h"

namespace tg::test {
namespace {

/// Runs the CLI with a configuration folder of its own.
class CliSettingsSets : public ::testing::Test {
 protected:
  CliSettingsSets() {
    const char* config = std::getenv("TESSELOGRAPH_CONFIG_PATH");
    m_oldConfig = config != nullptr ? config : "";
    setenv("TESSELOGRAPH_CONFIG_PATH", m_dir.path().c_str(), 1);
  }
  ~CliSettingsSets() override { setenv("TESSELOGRAPH_CONFIG_PATH", m_oldConfig.c_str(), 1); }

  CliRun cli(const std::string& arguments) { return runCli(m_dir.path().string(), arguments); }
  std::string written(const std::string& name) { return readFile(m_dir.path() / name); }

  ScratchDir m_dir;
  std::string m_oldConfig;
};

TEST_F(CliSettingsSets, BuiltInAndSavedSetsByTheirListedName) {
  CliRun run = cli("settings --section '(Video Mosaic)' --set JPGQuality=80 --write video.txt");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const std::string video = written("video.txt");
  for (const char* line :
       {"MosaicSizeUnit = pixel", "MosaicSizeWidth = 1280.000000", "MosaicSizeHeight = 720.000000",
        "TileUnit = tiles", "TileSize = 300.000000", "FileFormat = avi_uncompressed",
        "JPGQuality = 80"}) {
    EXPECT_NE(video.find(line), std::string::npos) << line << "\n" << video;
  }
  // The parentheses of a built-in name may be left out.
  run = cli("settings --section 'Video Mosaic' --set JPGQuality=80 --write bare.txt");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(written("bare.txt"), video);

  // A set saved in the window lives in the user settings file of the configuration folder.
  run = cli("settings --set TileUnit=tiles --set TileSize=77 --write full.txt");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::string set = written("full.txt");
  set.replace(set.find("[Mosaic Settings]"), 17, "[Portraits]");
  std::filesystem::create_directories(m_dir.path() / "Tesselograph Standard");
  writeFile(m_dir.path() / "Tesselograph Standard" / "TesselographSettings12x12.txt", set);
  run = cli("settings --section Portraits --write saved.txt");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(written("saved.txt").find("TileSize = 77.000000"), std::string::npos);

  run = cli("settings --section 'No Such Set' --write none.txt");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("(Video Mosaic)"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find("Portraits"), std::string::npos) << run.err;
  // Use All Images is worked out from a main image and a loaded list: not offered here.
  run = cli("settings --section '(Use All Images)' --write all.txt");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_FALSE(std::filesystem::exists(m_dir.path() / "none.txt"));
  EXPECT_FALSE(std::filesystem::exists(m_dir.path() / "all.txt"));
}

}  // namespace
}  // namespace tg::test
