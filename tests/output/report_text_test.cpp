// SPDX-License-Identifier: GPL-3.0-or-later
// The CSV text report: summary, cell lines, the distinct-tile table, quoting and failures.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/tile_distance.h"
#include "job/mosaic_settings.h"
#include "output/text_report.h"
#include "report_fixture.h"

namespace tg::test {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

class TextReportTest : public ReportFixture {
 protected:
  TextReportTest() : settings(false) {}

  /// Writes the report and returns its lines (without the byte order mark).
  std::vector<std::string> report(const std::string& mask = "") {
    const std::string path = dir.file("beach Mosaic Text Report.csv");
    EXPECT_TRUE(writeTextReport(path, grid, settings, 640, 480, mask, comparison));
    const std::string bytes = readFile(path);
    EXPECT_EQ(bytes.substr(0, 3), "\xEF\xBB\xBF");
    const std::string text = bytes.substr(3);
    EXPECT_EQ(text.find('\n'), text.find("\r\n") + 1) << "a line end without CR";
    return splitCrLf(text);
  }

  /// The line starting with `label`, or "".
  static std::string lineOf(const std::vector<std::string>& lines, const std::string& label) {
    for (const auto& line : lines) {
      if (line.rfind(label, 0) == 0) return line;
    }
    return {};
  }

  /// The cell lines: those after the column heading up to the empty line.
  static std::vector<CsvLine> cellLines(const std::vector<std::string>& lines) {
    std::vector<CsvLine> cells;
    bool inside = false;
    for (const auto& line : lines) {
      if (line.rfind("Left,Top,Width", 0) == 0) {
        inside = true;
      } else if (inside && line.empty()) {
        break;
      } else if (inside) {
        cells.push_back(parseCsvLine(line));
      }
    }
    return cells;
  }

  MosaicSettings settings;
};

TEST_F(TextReportTest, SummaryCellLinesAndTileTable) {
  FotoInfo& sea = addTile("/tiles/sea.jpg", 100);
  FotoInfo& sand = addTile("/tiles/sand.jpg", 200);
  sand.groupId = 7;
  addCell(&sea, 0, 0, 100, 50, 100);    // perfect match
  addCell(&sea, 100, 0, 100, 50, 160);  // the worst match
  PuzzleInfo& middle = addCell(&sand, 0, 50, 100, 50, 170);
  middle.weight = 40;
  PuzzleInfo& empty = addCell(nullptr, 100, 50, 100, 50);
  PuzzleInfo& outside = addCell(&sand, 200, 0, 30, 20, 200);
  outside.active = 0;  // did not take part in the analysis: no extent, shown with '!'
  grid.columns = 200;
  grid.rows = 100;

  const auto lines = report();
  const std::uint32_t worst = rawDistance(comparison, *grid.cells[1], sea);
  const std::uint32_t mid = rawDistance(comparison, middle, sand);
  ASSERT_GT(worst, mid);
  ASSERT_GT(mid, 0u);

  EXPECT_EQ(lines[0], "Main Image Size (Width x Height in Pixels):,640,x,480");
  EXPECT_EQ(lineOf(lines, "Mosaic Size"), "Mosaic Size (Width x Height in Pixels):,200,x,100");
  EXPECT_EQ(lineOf(lines, "Tiles with a image"), "Tiles with a image:,4");
  EXPECT_EQ(lineOf(lines, "Tiles without a image"), "Tiles without a image:,1");
  EXPECT_EQ(lineOf(lines, "Unique number"), "Unique number of images used as tiles:,2");
  EXPECT_EQ(lineOf(lines, "Best Tile Quality"), "Best Tile Quality:,100.00%,Score:,0");
  EXPECT_EQ(lineOf(lines, "Worst Tile Quality"),
            "Worst Tile Quality:,0.00%,Score:," + std::to_string(worst));
  EXPECT_EQ(lineOf(lines, "Algorithm"), "Algorithm:,High Quality");
  EXPECT_EQ(lineOf(lines, "MaskFile"), "MaskFile:,");
  EXPECT_EQ(lineOf(lines, "Real Mosaic Size"), "");
  EXPECT_THAT(dialogs->texts(), IsEmpty());

  const auto cells = cellLines(lines);
  ASSERT_EQ(cells.size(), 5u);
  for (const auto& cell : cells) {
    EXPECT_TRUE(cell.ok);
    EXPECT_EQ(cell.fields.size(), 11u);
  }
  EXPECT_THAT(cells[0].fields, ElementsAre("0", "0", "100", "50", "5 ", "/tiles/sea.jpg", "0",
                                           "100.00%", "100%", "0", "2"));
  EXPECT_EQ(cells[1].fields[7], "0.00%");
  EXPECT_EQ(cells[1].fields[9], std::to_string(worst));
  // The middle cell: quality in between, weight 40 shown as 200 %, its sequence id.
  const double quality = 100.0 - mid * 100.0 / worst;
  char expected[32];
  std::snprintf(expected, sizeof expected, "%.2f%%", quality);
  EXPECT_EQ(cells[2].fields[7], expected);
  EXPECT_EQ(cells[2].fields[8], "200%");
  EXPECT_EQ(cells[2].fields[6], "7");
  // A cell without tile: "-", id 0, 0.00 %, its stored score, used count 0.
  EXPECT_THAT(cells[3].fields, ElementsAre("100", "50", "100", "50", "5 ", "-", "0", "0.00%",
                                           "100%", std::to_string(kNoScore), "0"));
  EXPECT_EQ(cells[4].fields[4], "0!");

  // The scores the report computed are kept in the cells.
  EXPECT_EQ(middle.score, mid);
  EXPECT_EQ(empty.score, kNoScore);

  const auto heading = std::find(lines.begin(), lines.end(), "Image#,Image,Used Count");
  ASSERT_NE(heading, lines.end());
  EXPECT_EQ(*(heading - 1), "");
  std::vector<std::vector<std::string>> table;
  for (auto it = heading + 1; it != lines.end() && !it->empty(); ++it) {
    EXPECT_THAT(*it, HasSubstr(",\"/tiles/"));  // paths are quoted in any case
    table.push_back(parseCsvLine(*it).fields);
  }
  ASSERT_EQ(table.size(), 2u);
  EXPECT_EQ(table[0][0], "1");
  EXPECT_EQ(table[1][0], "2");
  std::vector<std::string> paths = {table[0][1], table[1][1]};
  std::sort(paths.begin(), paths.end());
  EXPECT_THAT(paths, ElementsAre("/tiles/sand.jpg", "/tiles/sea.jpg"));
  EXPECT_EQ(table[0][2], "2");
  EXPECT_EQ(table[1][2], "2");
}

TEST_F(TextReportTest, EqualScoresAreAllPerfect) {
  FotoInfo& tile = addTile("/tiles/grey.jpg", 120);
  for (int i = 0; i < 4; ++i) addCell(&tile, i * 10, 0, 10, 10, 100);
  grid.columns = 40;
  grid.rows = 10;
  const auto lines = report();
  const auto cells = cellLines(lines);
  ASSERT_EQ(cells.size(), 4u);
  ASSERT_GT(grid.cells[0]->score, 0u);
  for (const auto& cell : cells) {
    EXPECT_EQ(cell.fields[7], "100.00%");
    EXPECT_EQ(cell.fields[9], std::to_string(grid.cells[0]->score));
  }
  const std::string score = std::to_string(grid.cells[0]->score);
  EXPECT_EQ(lineOf(lines, "Average Tile Quality"), "Average Tile Quality:,100.00%,Score:," + score);
  EXPECT_EQ(lineOf(lines, "Best Tile Quality"), "Best Tile Quality:,100.00%,Score:," + score);
}

TEST_F(TextReportTest, GridWithoutTilesKeepsQualitiesInRange) {
  addCell(nullptr, 0, 0, 10, 10);
  grid.columns = 10;
  grid.rows = 10;
  const auto lines = report();
  EXPECT_EQ(lineOf(lines, "Tiles with a image"), "Tiles with a image:,0");
  EXPECT_EQ(lineOf(lines, "Tiles without a image"), "Tiles without a image:,1");
  EXPECT_EQ(lineOf(lines, "Average Tile Quality"), "Average Tile Quality:,100.00%,Score:,0");
}

TEST(CsvField, QuotesOnlyWhereNeededUnlessAlways) {
  EXPECT_EQ(csvField("plain text", false), "plain text");
  EXPECT_EQ(csvField("a,b", false), "\"a,b\"");
  EXPECT_EQ(csvField("say \"hi\"", false), "\"say \"\"hi\"\"\"");
  EXPECT_EQ(csvField("plain", true), "\"plain\"");
  EXPECT_EQ(csvField("", true), "\"\"");
}

TEST_F(TextReportTest, OddPathsReadBackExactly) {
  const std::vector<std::string> paths = {
      "/photos/with space, and comma.jpg", "/photos/say \"cheese\".jpg",
      "/photos/Zürich Å straße.jpg", "/photos/<b>&amp;</b>'.jpg", "/photos/new\"\"line,.jpg"};
  for (std::size_t i = 0; i < paths.size(); ++i) {
    addCell(&addTile(paths[i], 100 + static_cast<std::uint32_t>(i)), static_cast<int>(i) * 10, 0,
            10, 10, 100);
  }
  grid.columns = 50;
  grid.rows = 10;
  const auto lines = report("/masks/mask, \"two\".png");
  const auto cells = cellLines(lines);
  ASSERT_EQ(cells.size(), paths.size());
  for (std::size_t i = 0; i < paths.size(); ++i) {
    EXPECT_TRUE(cells[i].ok) << i;
    ASSERT_EQ(cells[i].fields.size(), 11u) << i;
    EXPECT_EQ(cells[i].fields[5], paths[i]);
  }
  // The mask file's path cannot shift the summary's columns either.
  const CsvLine mask = parseCsvLine(lineOf(lines, "MaskFile:"));
  EXPECT_TRUE(mask.ok);
  EXPECT_THAT(mask.fields, ElementsAre("MaskFile:", "/masks/mask, \"two\".png"));
}

TEST_F(TextReportTest, SizeMismatchOnBothSidesIsReportedAndWarned) {
  FotoInfo& tile = addTile("/tiles/grey.jpg", 100);
  addCell(&tile, 0, 0, 90, 60, 100);
  grid.columns = 100;
  grid.rows = 70;
  auto lines = report();
  EXPECT_EQ(lines[0], "Main Image Size (Width x Height in Pixels):,640,x,480");
  EXPECT_EQ(lines[1], "Real Mosaic Size (Width x Height in Pixels):,100,x,70");
  EXPECT_EQ(lineOf(lines, "Mosaic Size"), "Mosaic Size (Width x Height in Pixels):,90,x,60");
  EXPECT_THAT(dialogs->texts(),
              ElementsAre("Warning: There is a mismatch between the reported Mosaic Size and the "
                          "effective Mosaic Size. Please check the Text Report and sent it to the "
                          "developer of Tesselograph."));

  // Only one side differing is no mismatch.
  dialogs->clear();
  grid.rows = 60;
  lines = report();
  EXPECT_EQ(lineOf(lines, "Real Mosaic Size"), "");
  EXPECT_THAT(dialogs->texts(), IsEmpty());
}

TEST_F(TextReportTest, FailsQuietlyAndKeepsAnOlderReport) {
  FotoInfo& tile = addTile("/tiles/grey.jpg", 100);
  addCell(&tile, 0, 0, 10, 10, 100);
  grid.columns = grid.rows = 10;

  const std::string missing = dir.file("no such folder/report.csv");
  EXPECT_FALSE(writeTextReport(missing, grid, settings, 10, 10, "", comparison));
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "no such folder"));
  EXPECT_THAT(dialogs->texts(), IsEmpty());

  // A report written again replaces the old one whole and leaves no temporary file behind.
  const std::string path = dir.file("report.csv");
  writeFile(path, "old report");
  ASSERT_TRUE(writeTextReport(path, grid, settings, 10, 10, "", comparison));
  EXPECT_THAT(readFile(path), HasSubstr("Main Image Size"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                          std::filesystem::directory_iterator()),
            1);
}

}  // namespace
}  // namespace tg::test
