// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/production_stages.h"

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "config/advanced_settings.h"
#include "engine/comparison_settings.h"
#include "engine/matching_context.h"
#include "imaging/image_file.h"
#include "job/run_job.h"
#include "platform/scripted_dialogs.h"
#include "real_job.h"

namespace tg {
namespace {

namespace fs = std::filesystem;

class ProductionStagesJob : public test::RealJobFixture {
 protected:
  /// Runs the job over main.jpg on this thread, as the job thread would.
  void run() {
    (void)configureComparison(m_job.settings, m_list.tiles.size());
    m_job.mainImages = {m_mainImage};
    runJob(m_job, m_stages);
  }

  [[nodiscard]] bool exists(const std::string& suffix) const { return fs::exists(m_base + suffix); }

  ProductionStages m_stages{m_list};
};

TEST_F(ProductionStagesJob, EveryStageOfARealJobLeavesItsFile) {
  ScopedScriptedDialogs dialogs;
  m_job.settings.textReport.set(true);
  m_job.settings.createMaskFile.set(true);
  m_job.settings.webPageSize.set(100);
  run();
  EXPECT_EQ(m_job.statusText(), "Completed 1 Mosaic!") << m_job.statusText();
  EXPECT_EQ(m_job.completedCount(), 1);
  ASSERT_TRUE(m_job.outputRecord(m_mainImage));
  EXPECT_TRUE(m_job.outputRecord(m_mainImage)->saved);
  EXPECT_TRUE(dialogs->texts().empty()) << dialogs->texts().front();

  // The mosaic looks like its main image: red tiles on the left, blue ones on the right.
  Foto mosaic;
  ASSERT_TRUE(loadImageFile(mosaic, m_output, 0, 0, false));
  ASSERT_EQ(mosaic.width, 200u);
  ASSERT_EQ(mosaic.height, 150u);
  EXPECT_GT(test::channelMean(mosaic, 0, 0, 0, 90, 150), 150);
  EXPECT_LT(test::channelMean(mosaic, 2, 0, 0, 90, 150), 100);
  EXPECT_GT(test::channelMean(mosaic, 2, 110, 0, 90, 150), 150);
  EXPECT_LT(test::channelMean(mosaic, 0, 110, 0, 90, 150), 100);

  // One report row per cell of 20 x 15, every one with a tile of the list.
  const auto rows = reportCellLines(m_base + " Text Report.csv");
  ASSERT_EQ(rows.size(), 300u);
  for (const auto& row : rows) EXPECT_NE(row.find(m_dir.file("tiles/")), std::string::npos) << row;
  EXPECT_TRUE(exists(" Settings.txt"));
  // Mask and score images of the mosaic's size, and the web page.
  for (const char* suffix : {" MaskFile.jpg", " MaskFile.bmp", " Score.jpg"}) {
    SCOPED_TRACE(suffix);
    ASSERT_TRUE(exists(suffix));
  }
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  ASSERT_TRUE(readImageSize(m_base + " MaskFile.jpg", width, height));
  EXPECT_EQ(width, 200u);
  EXPECT_EQ(height, 150u);
  EXPECT_TRUE(exists(" Web Page/index.html"));
  EXPECT_TRUE(exists(" Web Page/mosaic.jpg"));
}

TEST_F(ProductionStagesJob, RequiredImagesAndTheSplitPassReachTheGrid) {
  ScopedScriptedDialogs dialogs;
  // A green tile matches nothing in a red and blue picture: only the required insertion uses it.
  const std::string green = m_dir.file("green/green.jpg");
  fs::create_directories(m_dir.path() / "green");
  test::writeColourPhoto(green, 64, 48, 0x0020D020);
  addFolder(m_list, m_dir.file("green") + "/", kRequiredList);
  buildTileCollection(m_list);
  prepareAnalysis(m_list);
  while (runAnalysisSlice(m_list)) {
  }
  ASSERT_EQ(m_list.tiles.size(), 25u);
  m_job.settings.textReport.set(true);
  // Cells of 20 pixels, a tenth of them (the worst) split in two and placed again.
  m_job.settings.tileSize.set(Quantity{20, UnitId::Pixel});
  m_job.settings.multiSize2.set(10);
  run();
  ASSERT_EQ(m_job.completedCount(), 1) << m_job.statusText();
  const auto rows = reportCellLines(m_base + " Text Report.csv");
  // More cells than the pattern laid out.
  const std::uint32_t laidOut = m_stages.gridStage().geometry.tileCount;
  EXPECT_GE(laidOut, 60u);
  EXPECT_GT(rows.size(), laidOut);
  std::size_t greens = 0;
  for (const auto& row : rows) greens += row.find(green) != std::string::npos ? 1 : 0;
  EXPECT_GE(greens, 1u);
}

TEST_F(ProductionStagesJob, AMaskFileChosenAtTheStartShapesTheCells) {
  ScopedScriptedDialogs dialogs;
  Foto mask;
  ASSERT_TRUE(mask.create(240, 180));
  for (std::uint32_t y = 0; y < 180; ++y) {
    for (std::uint32_t x = 0; x < 240; ++x) mask.row(y)[x] = y < 90 ? 0x000000FF : 0x0000FF00;
  }
  const std::string shape = m_dir.file("shape.jpg");
  ASSERT_TRUE(writeJpegImage(shape, mask, 100, 0));
  m_job.settings.mosaicSize.set(m_job.settings.mosaicSize.presets.back().value);
  ASSERT_EQ(m_job.settings.mosaicSize.presets.back().label, "MaskFile");
  m_job.settings.textReport.set(true);
  // The window computes the geometry before the start; that is what makes this MaskFile mode.
  MosaicJob window;
  ASSERT_TRUE(window.mainImage.create(240, 180));
  window.settings = m_job.settings;
  ASSERT_TRUE(m_stages.computeGeometry(window));
  ASSERT_TRUE(m_stages.isMaskFileMode(m_job));
  dialogs->answerNext(Answer::No);  // one mask file, not a folder of them
  dialogs->chooseNext(shape);
  run();
  ASSERT_EQ(m_job.completedCount(), 1) << m_job.statusText();
  // Two regions, two cells.
  EXPECT_EQ(reportCellLines(m_base + " Text Report.csv").size(), 2u);
  EXPECT_TRUE(fs::exists(m_output));
  // The mosaic is the mask's size, which covers the main image (both 240 x 180).
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  ASSERT_TRUE(readImageSize(m_output, width, height));
  EXPECT_EQ(width, 240u);
  EXPECT_EQ(height, 180u);
}

TEST_F(ProductionStagesJob, AFailingStageStopsTheJobBeforeAnythingIsSaved) {
  ScopedScriptedDialogs dialogs;
  m_job.settings.textReport.set(true);
  bool placed = false;
  m_stages.setPlacement([&placed](MatchingContext& context) {
    placed = context.grid.size() == 300;
    return false;
  });
  run();
  EXPECT_TRUE(placed);
  EXPECT_EQ(m_job.statusText(), "Stopped!");
  EXPECT_EQ(m_job.completedCount(), 0);
  EXPECT_FALSE(fs::exists(m_output));
  EXPECT_FALSE(exists(" Text Report.csv"));
  EXPECT_FALSE(m_job.outputRecord(m_mainImage)->saved);
  // The settings file is written before the long stages, so a stopped job still leaves it.
  EXPECT_TRUE(exists(" Settings.txt"));

  // A stage without code says so instead of producing a wrong mosaic.
  m_stages.setPlacement(nullptr);
  run();
  EXPECT_EQ(m_job.statusText(), "Stopped!");
  ASSERT_FALSE(dialogs->texts().empty());
  EXPECT_EQ(dialogs->texts().back(), "This build of Tesselograph cannot place tiles yet.");
  EXPECT_FALSE(fs::exists(m_output));
}

TEST_F(ProductionStagesJob, AFailedWriterOfACompanionFileKeepsTheMosaic) {
  ScopedScriptedDialogs dialogs;
  m_job.settings.textReport.set(true);
  m_job.settings.webPageSize.set(100);
  std::string reportPath;
  m_stages.setTextReportWriter([&reportPath](MatchingContext&, const std::string& path) {
    reportPath = path;
    return false;
  });
  run();
  EXPECT_EQ(reportPath, m_base + " Text Report.csv");
  EXPECT_EQ(m_job.completedCount(), 1);
  EXPECT_TRUE(fs::exists(m_output));
  EXPECT_TRUE(exists(" Web Page/index.html"));
}

TEST_F(ProductionStagesJob, AnEmptyListBuildsNoGrid) {
  ScopedScriptedDialogs dialogs;
  clearTiles(m_list);
  run();
  EXPECT_EQ(m_job.completedCount(), 0);
  EXPECT_EQ(m_stages.gridSize(m_job), 0u);
  EXPECT_FALSE(fs::exists(m_output));
}

// A main image larger than Options.MemoryMaxSizeMB allows is refused from its header with the
// out-of-memory message, before a byte of it is allocated (here a PNG whose header claims
// 65000 x 65000 pixels, 16.9 GB, which a large machine might otherwise grant).
TEST(MainImageLimit, APictureAboveMaxMemoryIsRefusedFromItsHeader) {
  ScopedScriptedDialogs dialogs;
  TileImagesList list;
  ProductionStages stages(list);
  MosaicJob job;
  loadAdvancedRows(job.settings.advanced, true);
  const std::string huge =
      (test::testDataDir() / "imaging" / "huge-dimensions-65000x65000.png").string();
  EXPECT_FALSE(stages.loadMainImage(job, huge));
  EXPECT_TRUE(job.mainImage.empty());
  ASSERT_EQ(dialogs->texts().size(), 1u);
  EXPECT_EQ(dialogs->texts()[0],
            "Out Of Memory while allocating an Image made of 65000x65000 Pixels!!");
}

}  // namespace
}  // namespace tg
