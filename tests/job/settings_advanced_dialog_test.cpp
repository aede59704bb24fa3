// SPDX-License-Identifier: GPL-3.0-or-later
#include "job/advanced_settings_dialog.h"

#include <string>

#include <gtest/gtest.h>

#include "support/scratch_dir.h"

namespace tg {
namespace {

TEST(AdvancedCommitRules, EachRowKindStoresItsOwnForm) {
  struct Row {
    AdvancedRow row;
    const char* edited;
    const char* stored;
  };
  const Row rows[] = {
      {AdvancedRow::ThreadCount, "-5", "4"},
      {AdvancedRow::ThreadCount, "3 cpus", "3"},
      {AdvancedRow::MemoryMaxSizeMB, "abc", "0"},
      {AdvancedRow::ExtractMinFrameCount, "15.7", "15"},
      {AdvancedRow::PriorityRed, "250", "100"},
      {AdvancedRow::PriorityRed, "12.5", "12.50"},
      {AdvancedRow::PriorityRed, "12", "12"},
      {AdvancedRow::PriorityGreen, "-3", "0"},
      {AdvancedRow::MediumDetail, "-7", "-1"},
      {AdvancedRow::FrameRateFromImage, "29.97", "29.97"},
      {AdvancedRow::MosaicFastPreview, "YES", "1"},
      {AdvancedRow::MosaicFastPreview, "No", "0"},
      {AdvancedRow::ExtractStaticVideo, "7", "7"},
      {AdvancedRow::ExtractStaticVideo, "maybe", "0"},
      {AdvancedRow::Priority, "very low", "LOWEST"},
      {AdvancedRow::Priority, "HIGH", "ABOVE_NORMAL"},
      {AdvancedRow::TileSplit, "priority and quality", "PRIORITY_AND_QUALITY"},
      {AdvancedRow::FinalAction, "open folder", "openfolder"},
      {AdvancedRow::ReverseLoop, "NECESSARY", "NECESSARY"},
      {AdvancedRow::FourCC, " XVID", " XVID"},
      {AdvancedRow::FrameCountFromVideoTile, "MAX*3", "MAX*3"},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(commitAdvancedValue(row.row, row.edited, 4), row.stored) << row.edited;
  }
  // A system that reports no processors (or an absurd number) counts as one.
  EXPECT_EQ(commitAdvancedValue(AdvancedRow::ThreadCount, "-1", 0), "1");
  EXPECT_EQ(commitAdvancedValue(AdvancedRow::ThreadCount, "-1", 6000), "1");
}

TEST(AdvancedCommitRules, ValuesShowAsLabelsAndHelpNamesTheDefault) {
  EXPECT_EQ(advancedDisplayValue(AdvancedRow::Priority, "IDLE"), "lowest");
  EXPECT_EQ(advancedDisplayValue(AdvancedRow::Priority, "odd"), "odd");
  EXPECT_EQ(advancedDisplayValue(AdvancedRow::TileListLoad, "1"), "yes");
  EXPECT_EQ(advancedDisplayValue(AdvancedRow::TileListLoad, "7"), "7");
  const std::string threads = advancedHelpLine(AdvancedRow::ThreadCount);
  EXPECT_NE(threads.find("\nDefault factory value: 0 processes."), std::string::npos);
  EXPECT_NE(advancedHelpLine(AdvancedRow::MemoryBlockSizeMB).find(": 200 MByte."),
            std::string::npos);
  EXPECT_NE(advancedHelpLine(AdvancedRow::FrameRateFromVideoTile).find(": FREQ frames/sec."),
            std::string::npos);
  EXPECT_NE(advancedHelpLine(AdvancedRow::PriorityRed).find(": 1 %."), std::string::npos);
  const std::string priority = advancedHelpLine(AdvancedRow::Priority);
  EXPECT_EQ(priority.substr(priority.size() - 30), "Default factory value: LOWEST.");
}

class AdvancedDialogTest : public ::testing::Test {
 protected:
  AdvancedDialogTest() {
    for (std::size_t i = 0; i < kAdvancedRowCount; ++i) {
      m_rows.setRowValue(i, m_rows.row(i).factoryDefault);
    }
  }
  std::string configFile() const { return m_dir.file("TesselographConfig.txt"); }

  test::ScratchDir m_dir;
  AdvancedSettings m_rows;
};

TEST_F(AdvancedDialogTest, EditsGoToTheWorkingCopyUntilOk) {
  AdvancedSettingsDialogModel dialog(m_rows, configFile(), SettingsLocation::AsGiven, 4);
  const auto lines = dialog.lines();
  ASSERT_EQ(lines.size(), kAdvancedRowCount);
  EXPECT_EQ(lines[3].section, "Options");
  EXPECT_EQ(lines[3].parameter, "Priority");
  EXPECT_EQ(lines[3].value, "very low");

  dialog.select(3);
  EXPECT_EQ(dialog.valueBoxEntries(),
            (std::vector<std::string>{"very low", "lowest", "very low", "low", "normal", "high",
                                      "highest"}));
  dialog.setEditText("normal");
  dialog.select(11);  // leaving the line commits it
  EXPECT_EQ(dialog.workingValue(AdvancedRow::Priority), "NORMAL");
  EXPECT_EQ(dialog.valueBoxEntries().front(), "1");
  EXPECT_EQ(dialog.valueBoxEntries().size(), 9u);
  EXPECT_NE(dialog.helpLine().find("Red=30, Green=59 and Blue=11."), std::string::npos);
  dialog.setEditText("250");
  EXPECT_EQ(m_rows.rowValue(AdvancedRow::Priority), "LOWEST");  // not before OK
  dialog.ok();
  EXPECT_EQ(m_rows.rowValue(AdvancedRow::Priority), "NORMAL");
  EXPECT_EQ(m_rows.rowValue(AdvancedRow::PriorityRed), "100");
}

TEST_F(AdvancedDialogTest, SavedDefaultsComeBackOnLoadAndCancelLeavesTheRows) {
  {
    AdvancedSettingsDialogModel dialog(m_rows, configFile(), SettingsLocation::AsGiven, 4);
    dialog.select(0);
    dialog.setEditText("-1");
    ASSERT_TRUE(dialog.saveDefaultValues());
    EXPECT_EQ(m_rows.rowValue(AdvancedRow::ThreadCount), "4");
    EXPECT_EQ(dialog.editText(), "4");
  }
  EXPECT_NE(test::readFile(configFile()).find("Options.ThreadCount = 4\r\n"), std::string::npos);

  m_rows.setRowValue(AdvancedRow::ThreadCount, "2");
  AdvancedSettingsDialogModel dialog(m_rows, configFile(), SettingsLocation::AsGiven, 4);
  dialog.loadDefaultValues();
  EXPECT_EQ(dialog.workingValue(AdvancedRow::ThreadCount), "4");
  EXPECT_EQ(m_rows.rowValue(AdvancedRow::ThreadCount), "2");  // Cancel: the rows stay
}

TEST_F(AdvancedDialogTest, WithoutVideoTheVideoLinesAreNotShown) {
  AdvancedSettings rows(false);
  AdvancedSettingsDialogModel dialog(rows, configFile(), SettingsLocation::AsGiven, 4);
  EXPECT_EQ(dialog.lines().size(), 17u);
  dialog.select(17);
  EXPECT_EQ(dialog.selectedIndex(), -1);
  EXPECT_TRUE(dialog.helpLine().empty());
}

}  // namespace
}  // namespace tg
