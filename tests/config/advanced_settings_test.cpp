// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/advanced_settings.h"

#include <limits>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "config/settings_store.h"
#include "support/scratch_dir.h"

namespace tg {
namespace {

TEST(AdvancedRows, TableHasUniqueKeysAndDefaultsInRowOrder) {
  const auto rows = advancedRowDefinitions();
  std::set<std::string> keys;
  for (const auto& row : rows) {
    EXPECT_TRUE(keys.insert(row.key).second) << row.key;
  }
  EXPECT_STREQ(rows[0].key, "Options.ThreadCount");
  EXPECT_STREQ(rows[9].key, "Options.TilePrioritySize");
  EXPECT_STREQ(rows[10].key, "Options.TileSplit");
  EXPECT_STREQ(rows[10].factoryDefault, "AUTO");
  EXPECT_STREQ(rows[11].key, "ImageCompare.ProrityRed");
  EXPECT_STREQ(rows[17].factoryDefault, "MAX*2");
  EXPECT_STREQ(rows[22].factoryDefault, "uncompressed");
  EXPECT_STREQ(rows[27].key, "Extract.MinimumFrameCountForStaticVideoTile");
  EXPECT_STREQ(rows[28].key, "Extract.ExtractStaticVideo");
  // A choice row's factory default is one of its tokens.
  for (const auto& row : rows) {
    if (row.rule != AdvancedCommitRule::Choice) continue;
    bool found = false;
    for (const auto& choice : row.choices) found |= std::string(choice.token) == row.factoryDefault;
    EXPECT_TRUE(found) << row.key;
  }
}

TEST(AdvancedRows, VideoRowsStayEmptyWithoutVideo) {
  const AdvancedSettings withVideo(true);
  const AdvancedSettings withoutVideo(false);
  EXPECT_EQ(withVideo.row(17).key, "VideoMosaic.FrameCountFromVideoTile");
  EXPECT_EQ(withoutVideo.row(16).key, "WebPage.DontCopyTiles");
  for (std::size_t i = 17; i < kAdvancedRowCount; ++i) {
    EXPECT_TRUE(withoutVideo.row(i).key.empty());
    EXPECT_TRUE(withoutVideo.row(i).factoryDefault.empty());
  }
}

TEST(AdvancedRows, ValuesConvertLikeTheirReadersExpect) {
  AdvancedSettings rows;
  rows.setRowValue(AdvancedRow::ThreadCount, "-1");
  rows.setRowValue(AdvancedRow::MemoryMaxSizeMB, "1500 MB");
  rows.setRowValue(AdvancedRow::FrameRateFromImage, "29.97");
  rows.setRowValue(AdvancedRow::MosaicFastPreview, "yes");
  rows.setRowValue(kAdvancedRowCount, "ignored");
  EXPECT_EQ(rows.rowLong(AdvancedRow::ThreadCount), -1);
  EXPECT_EQ(rows.rowLong(AdvancedRow::MemoryMaxSizeMB), 1500);
  EXPECT_DOUBLE_EQ(rows.rowDouble(AdvancedRow::FrameRateFromImage), 29.97);
  EXPECT_FALSE(rows.rowYes(AdvancedRow::MosaicFastPreview));  // text that is not a number is 0
  EXPECT_EQ(rows.rowValue(kAdvancedRowCount), "");
  EXPECT_EQ(advancedTextToLong("99999999999999999999999"), std::numeric_limits<long>::max());
  EXPECT_DOUBLE_EQ(advancedTextToDouble("  +12.5x"), 12.5);
  EXPECT_DOUBLE_EQ(advancedTextToDouble("FREQ"), 0.0);
}

TEST(AdvancedRows, HelpTextsOfChoiceRowsListEveryChoice) {
  const std::string area = advancedRowHelp(AdvancedRow::TilePriorityArea);
  EXPECT_NE(area.find("'center small' - Priority will grow from 0% at the edge to 50% at the "
                      "center."),
            std::string::npos);
  EXPECT_NE(area.find("'center wide' - Like 'center small' but the priority reaches 50%"),
            std::string::npos);
  EXPECT_NE(area.find(" \n'center strong' - Priority will grow from 0% at the edge to 100%"),
            std::string::npos);
  const std::string split = advancedRowHelp(AdvancedRow::TileSplit);
  EXPECT_NE(split.find("'auto' - automatically selects"), std::string::npos);
  const std::string staticHelp = advancedRowHelp(AdvancedRow::MinimumFrameCountForStaticTile);
  EXPECT_NE(staticHelp.find("lower than the 'Static Video Threshold'"), std::string::npos);
  EXPECT_NE(staticHelp.find("Enable option 'Static Videos'"), std::string::npos);
  for (std::size_t i = 0; i < kAdvancedRowCount; ++i) {
    EXPECT_FALSE(advancedRowHelp(static_cast<AdvancedRow>(i)).empty()) << i;
  }
}

TEST(AdvancedDefaults, MissingFileGivesFactoryDefaultsAndSavedValuesComeBack) {
  test::ScratchDir dir;
  SettingsStore store;
  store.open(dir.file("TesselographConfig.txt"), SettingsLocation::AsGiven);

  AdvancedSettings rows;
  loadAdvancedRows(rows, true, store);
  for (std::size_t i = 0; i < kAdvancedRowCount; ++i) {
    EXPECT_EQ(rows.rowValue(i), advancedRowDefinitions()[i].factoryDefault) << i;
  }

  rows.setRowValue(AdvancedRow::ThreadCount, "3");
  rows.setRowValue(AdvancedRow::FourCC, "XVID");
  ASSERT_TRUE(saveAdvancedDefaults(rows, store));
  const std::string text = test::readFile(dir.file("TesselographConfig.txt"));
  EXPECT_NE(text.find("[Default Values]\r\nOptions.ThreadCount = 3\r\n"), std::string::npos);
  EXPECT_NE(text.find("VideoMosaic.FourCC = XVID\r\n"), std::string::npos);

  // Reload-all replaces every value; without it only empty values are filled.
  AdvancedSettings fresh;
  fresh.setRowValue(AdvancedRow::FourCC, "DIVX");
  loadAdvancedRows(fresh, false, store);
  EXPECT_EQ(fresh.rowValue(AdvancedRow::ThreadCount), "3");
  EXPECT_EQ(fresh.rowValue(AdvancedRow::FourCC), "DIVX");
  loadAdvancedRows(fresh, true, store);
  EXPECT_EQ(fresh.rowValue(AdvancedRow::FourCC), "XVID");
}

TEST(AdvancedDefaults, TileSplitHasItsOwnKey) {
  // A file that names only the tile size priority leaves the tile split at its default.
  test::ScratchDir dir;
  test::writeFile(dir.file("c.txt"),
                  "[Default Values]\nOptions.TilePrioritySize = HIGHER\nOptions.Priority = "
                  "garbage \xff\n");
  SettingsStore store;
  store.open(dir.file("c.txt"), SettingsLocation::AsGiven);
  AdvancedSettings rows;
  loadAdvancedRows(rows, true, store);
  EXPECT_EQ(rows.rowValue(AdvancedRow::TilePrioritySize), "HIGHER");
  EXPECT_EQ(rows.rowValue(AdvancedRow::TileSplit), "AUTO");
  EXPECT_EQ(rows.rowLong(AdvancedRow::Priority), 0);  // not validated when read
}

TEST(AdvancedDefaults, WithoutVideoTheVideoRowsAreNotReadOrWritten) {
  test::ScratchDir dir;
  SettingsStore store;
  store.open(dir.file("c.txt"), SettingsLocation::AsGiven);
  AdvancedSettings rows(false);
  loadAdvancedRows(rows, true, store);
  EXPECT_EQ(rows.rowValue(AdvancedRow::FourCC), "");
  EXPECT_EQ(rows.rowValue(AdvancedRow::WebPageDontCopyTiles), "1");
  ASSERT_TRUE(saveAdvancedDefaults(rows, store));
  EXPECT_EQ(test::readFile(dir.file("c.txt")).find("VideoMosaic"), std::string::npos);
}

}  // namespace
}  // namespace tg
