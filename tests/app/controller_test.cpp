// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "app/job_controller.h"
#include "app/preflight.h"
#include "app/production_stages.h"
#include "config/advanced_settings.h"
#include "geometry/geometry_presets.h"
#include "imaging/foto.h"
#include "job/mosaic_job.h"
#include "output/jpeg_writer.h"
#include "platform/scripted_dialogs.h"
#include "support/scratch_dir.h"
#include "tiles/tile_images_list.h"

namespace tg {
namespace {

constexpr const char* kUnfilled = "Not all tiles in your Mosaic will be filled";
constexpr const char* kLeftOver = "Not all pictures in your Tile Images List will be used";
constexpr const char* kRotation =
    "I suggest to enable Tile Rotation 90° or select a Pattern with both Landscape and Portrait "
    "tiles, for example Parquet/Mixed";
constexpr const char* kDuplication = "I suggest to allow the Tile Duplication";
constexpr const char* kSpacing = "I suggest to reduce the Duplicate Spacing";

std::string joined(std::initializer_list<const char*> parts) {
  std::string text;
  for (const char* part : parts) text += std::string(part) + ". ";
  return text + "Do you want to continue?";
}

MosaicSettings plainSettings() {
  MosaicSettings settings;
  settings.tileVariants.value = 1;  // no rotation
  settings.tileDuplication.value = 0;
  settings.duplicateSpacing.value = 1;
  return settings;
}

TEST(Preflight, EnoughTilesOfTheRightOrientationSayNothing) {
  const PreflightResult result = preflightCheck({0, 500, 400, 0}, plainSettings());
  EXPECT_FALSE(result.warn);
  EXPECT_TRUE(result.message.empty());
}

TEST(Preflight, EachWarningJoinsItsPartsInOrder) {
  MosaicSettings settings = plainSettings();
  // Portrait pictures only, landscape cells only: cells stay empty and pictures unused.
  EXPECT_EQ(preflightCheck({50, 0, 40, 0}, settings).message,
            joined({kUnfilled, kLeftOver, kRotation}));
  // Rotation allowed: only the shortage of tiles counts.
  settings.tileVariants.value = 1 | 32;
  EXPECT_FALSE(preflightCheck({50, 0, 40, 0}, settings).warn);
  // Each tile at most twice, 3 tiles for 10 cells.
  settings.tileDuplication.value = 2;
  EXPECT_EQ(preflightCheck({0, 3, 10, 0}, settings).message, joined({kUnfilled, kDuplication}));
  // No duplicates at all: more cells than tiles.
  settings.tileDuplication.value = 0;
  settings.duplicateSpacing.value = 0;
  EXPECT_EQ(preflightCheck({0, 3, 4, 0}, settings).message, joined({kUnfilled, kDuplication}));
  EXPECT_FALSE(preflightCheck({0, 4, 4, 0}, settings).warn);
  // Spacing 2 needs (2 x 2 + 1)^2 = 25 different tiles.
  settings.duplicateSpacing.value = 2;
  EXPECT_EQ(preflightCheck({0, 24, 4, 0}, settings).message, joined({kUnfilled, kSpacing}));
  EXPECT_FALSE(preflightCheck({0, 25, 4, 0}, settings).warn);
}

TEST(Preflight, CountsTheCellsNoTileCanFill) {
  MosaicSettings settings = plainSettings();
  settings.duplicateSpacing.value = 0;  // no duplicates: 1000 tiles for 1200 cells
  EXPECT_EQ(preflightCheck({0, 1000, 1200, 0}, settings).emptyCells, 200u);
  EXPECT_EQ(preflightCheck({0, 1000, 1200, 0}, settings).cells, 1200u);
  settings.duplicateSpacing.value = 1;
  settings.tileDuplication.value = 2;  // each tile twice
  EXPECT_EQ(preflightCheck({0, 500, 1200, 0}, settings).emptyCells, 200u);
  // Without rotation portrait pictures fill no landscape cell; with it they do.
  EXPECT_EQ(preflightCheck({400, 0, 300, 0}, settings).emptyCells, 300u);
  settings.tileVariants.value = 1 | 32;
  EXPECT_EQ(preflightCheck({400, 0, 300, 0}, settings).emptyCells, 0u);
  // A spacing too wide for the tiles warns, but how many cells it leaves empty is unknown.
  settings.tileDuplication.value = 0;
  settings.duplicateSpacing.value = 2;
  EXPECT_TRUE(preflightCheck({0, 24, 4, 0}, settings).warn);
  EXPECT_EQ(preflightCheck({0, 24, 4, 0}, settings).emptyCells, 0u);
}

TEST(Preflight, CountsTakeHalvesQuartersAndMixedPatternsIntoAccount) {
  TileImagesList list;
  list.landscapeCount = 7;
  list.portraitCount = 3;
  list.portraitClipCount = 2;
  MosaicGeometry geometry;
  geometry.tileCount = 100;
  geometry.multiSize2 = 10;
  geometry.multiSize4 = 0;
  MosaicSettings settings;
  settings.pattern.value = 1;
  const PreflightCounts counts = preflightCounts(list, geometry, settings);
  EXPECT_EQ(counts.landscapeTiles, 7u);
  EXPECT_EQ(counts.portraitTiles, 5u);
  EXPECT_EQ(counts.landscapeCells, tileCountBreakdown(geometry).effective());
  EXPECT_EQ(counts.portraitCells, 0u);
  for (long pattern = 1; pattern <= 10; ++pattern) {
    settings.pattern.value = pattern;
    const PreflightCounts mixed = preflightCounts(list, geometry, settings);
    EXPECT_EQ(mixed.landscapeCells + mixed.portraitCells, tileCountBreakdown(geometry).effective())
        << pattern;
  }
}

TEST(Controller, DisplayExtensionTable) {
  const std::pair<long, const char*> rows[] = {
      {100, ".jpg"}, {101, ".bmp"},  {102, ".tiff"},   {103, ".ppm"},  {104, ".raw"},
      {105, ".avi"}, {106, ".avi"},  {107, ".mosaic"}, {108, ".jpg"},  {109, ".psd"},
      {110, ".psb"}, {111, ".tiff"}, {99, ".error"},   {112, ".error"}};
  for (const auto& [format, extension] : rows) EXPECT_EQ(displayExtension(format), extension);
}

TEST(Controller, SplitPieceSizesAreCheckedAgainstRangeAndFormat) {
  ScopedScriptedDialogs dialogs;
  MosaicSettings settings;
  settings.fileFormat.value = kFormatJpeg;
  EXPECT_FALSE(acceptSplitPiece(settings, 10, 500));
  EXPECT_FALSE(acceptSplitPiece(settings, 500, 1000001));
  EXPECT_TRUE(acceptSplitPiece(settings, 11, 1000000 / 40));
  EXPECT_EQ(dialogs->texts().size(), 2u);
  EXPECT_EQ(dialogs->texts()[0],
            "Please insert valid values for the Split Size in Pixels. Valid values between 10 and "
            "1,000,000 pixel.");
  // A JPEG piece of 40000 pixels is asked about; No keeps the dialog open.
  dialogs->clear();
  dialogs->answerNext(Answer::No);
  EXPECT_FALSE(acceptSplitPiece(settings, 40000, 100));
  dialogs->answerNext(Answer::Yes);
  EXPECT_TRUE(acceptSplitPiece(settings, 40000, 100));
  ASSERT_EQ(dialogs->messages().size(), 2u);
  EXPECT_NE(dialogs->texts()[0].find(
                "Are you sure that you want to create splitted pieces with such a size?"),
            std::string::npos);
}

/// A controller over a real main image and a list with a chosen number of tiles.
class ControllerStart : public ::testing::Test {
 protected:
  void SetUp() override {
    installGeometryPresets(m_job.settings);
    Foto image;
    ASSERT_TRUE(image.create(200, 100));
    image.fill(0x00336699);
    m_image = m_dir.file("main.jpg");
    ASSERT_TRUE(writeJpegImage(m_image, image, 90, 0));
    m_files.userSettingsFile = m_dir.file("user settings.txt");
    m_files.userSettingsLocation = SettingsLocation::AsGiven;
  }

  void addTiles(int count) {
    for (int i = 0; i < count; ++i) {
      FotoInfo tile;
      tile.path = m_dir.file("tile" + std::to_string(i) + ".jpg");
      tile.signature.valid = 1;
      m_list.tiles.emplace(tile.path, tile);
    }
    m_list.landscapeCount = static_cast<std::uint32_t>(count);
  }

  StartResult start() {
    JobController controller(m_job, m_list, m_stages, m_stages.gridStage(), m_host, m_files);
    return controller.startJob({m_image});
  }

  test::ScratchDir m_dir;
  MosaicJob m_job;
  TileImagesList m_list;
  ProductionStages m_stages{m_list};
  JobControllerHost m_host;
  SettingsFiles m_files;
  std::string m_image;
};

TEST_F(ControllerStart, EmptyListIsRefusedAfterTheOtherChecks) {
  ScopedScriptedDialogs dialogs;
  m_job.settings.duplicateSpacing.set(1);
  m_job.settings.tileDuplication.set(0);
  // With no tiles the tile warning comes first; continuing reaches the empty-list refusal.
  dialogs->answerNext(Answer::Yes);
  EXPECT_EQ(start(), StartResult::NoTiles);
  const auto texts = dialogs->texts();
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ(texts.back(),
            "Please load or create a Tile Images List. This List will be used to build the "
            "Mosaic.");
}

TEST_F(ControllerStart, DecliningTheTileWarningStopsTheStart) {
  ScopedScriptedDialogs dialogs;
  addTiles(2);
  m_job.settings.duplicateSpacing.set(0);  // no duplicates: 2 tiles cannot fill the mosaic
  dialogs->answerNext(Answer::No);
  EXPECT_EQ(start(), StartResult::PreflightDeclined);
  ASSERT_EQ(dialogs->messages().size(), 1u);
  EXPECT_EQ(dialogs->messages()[0].buttons, Buttons::YesNo);
  EXPECT_EQ(dialogs->messages()[0].icon, Icon::Question);
}

TEST_F(ControllerStart, FormatLimitRefusesAHugeJpegWithoutSplit) {
  ScopedScriptedDialogs dialogs;
  addTiles(3000);
  m_job.settings.tileDuplication.set(0);
  m_job.settings.duplicateSpacing.set(1);
  m_job.settings.mosaicSize.set(SizeValue{140000, 70000, UnitId::Pixel});
  m_job.settings.fileFormat.set(kFormatJpeg);
  EXPECT_EQ(start(), StartResult::FormatLimit);
  ASSERT_FALSE(dialogs->messages().empty());
  EXPECT_EQ(dialogs->messages().back().buttons, Buttons::Ok);
  EXPECT_FALSE(m_job.settings.blackAndWhiteOutput);
  EXPECT_TRUE(m_job.mainImages.empty());
}

TEST_F(ControllerStart, InvalidParametersAreShownAndLeaveTheSettingsAlone) {
  ScopedScriptedDialogs dialogs;
  addTiles(10);
  m_job.settings.tileVariants.set(0);  // no variant at all
  m_job.settings.outputLayers.set(true);
  m_job.settings.fileFormat.set(kFormatJpeg);  // the rules would clear the layers of a JPEG
  EXPECT_EQ(start(), StartResult::InvalidParameters);
  EXPECT_EQ(dialogs->texts(), std::vector<std::string>{"Please specify all the parameters"});
  EXPECT_TRUE(m_job.settings.outputLayers.value);
  EXPECT_EQ(m_job.statusColour(), kStatusColourError);
}

TEST_F(ControllerStart, BlackAndWhiteListAsksAndCancelStops) {
  ScopedScriptedDialogs dialogs;
  addTiles(3000);
  m_list.blackAndWhite = true;
  m_job.settings.tileDuplication.set(0);
  m_job.settings.duplicateSpacing.set(1);
  dialogs->answerNext(Answer::Cancel);
  EXPECT_EQ(start(), StartResult::BlackAndWhiteCancelled);
  EXPECT_EQ(dialogs->texts().back(), "Do you want to save the Mosaic in Black&White?");
}

TEST_F(ControllerStart, EveryRefusalLeavesTheSettingsAsTheyWere) {
  ScopedScriptedDialogs dialogs;
  addTiles(3000);
  m_list.blackAndWhite = true;
  m_job.settings.tileDuplication.set(0);
  m_job.settings.duplicateSpacing.set(1);
  m_job.settings.outputLayers.set(true);
  m_job.settings.fileFormat.set(kFormatJpeg);  // the rules clear the layers of a JPEG
  dialogs->answerNext(Answer::Cancel);
  EXPECT_EQ(start(), StartResult::BlackAndWhiteCancelled);
  EXPECT_TRUE(m_job.settings.outputLayers.value);

  // Declined tile warning: the same.
  m_list.tiles.clear();
  addTiles(2);
  m_job.settings.duplicateSpacing.set(0);
  dialogs->answerNext(Answer::No);
  EXPECT_EQ(start(), StartResult::PreflightDeclined);
  EXPECT_TRUE(m_job.settings.outputLayers.value);
}

TEST_F(ControllerStart, AnUnreadableFirstImageDoesNotRefuseTheOthers) {
  ScopedScriptedDialogs dialogs;
  JobController controller(m_job, m_list, m_stages, m_stages.gridStage(), m_host, m_files);
  // Only the empty list stops this start: the geometry came from the second image.
  EXPECT_EQ(controller.startJob({m_dir.file("missing.jpg"), m_image}), StartResult::NoTiles);
}

TEST_F(ControllerStart, EmptyAdvancedRowsGetTheirDefaultsBeforeAJob) {
  ScopedScriptedDialogs dialogs;
  loadAdvancedRows(m_job.settings.advanced, true);
  // A settings file with only some advanced rows leaves the others empty; a priority of 0 would
  // make every tile match perfectly.
  m_job.settings.advanced.setRowValue(AdvancedRow::PriorityRed, "");
  for (std::size_t i = 0; i < kAdvancedRowCount; i += 3) m_job.settings.advanced.setRowValue(i, "");
  (void)start();
  EXPECT_GT(m_job.settings.advanced.rowLong(AdvancedRow::PriorityRed), 0);
  for (std::size_t i = 0; i < kAdvancedRowCount; ++i) {
    const auto& row = m_job.settings.advanced.row(i);
    if (row.key.empty()) continue;  // a video row without video
    EXPECT_FALSE(row.value.empty()) << row.key;
  }
}

TEST(Controller, RequestStopWithoutAJobLetsTheCallerGoOn) {
  ScopedScriptedDialogs dialogs;
  MosaicJob job;
  TileImagesList list;
  ProductionStages stages(list);
  JobControllerHost host;
  JobController controller(job, list, stages, stages.gridStage(), host);
  EXPECT_TRUE(controller.requestStop());
  EXPECT_FALSE(controller.running());
  EXPECT_TRUE(dialogs->texts().empty());
  EXPECT_EQ(controller.outputDisplay("a.j").first, "");
  EXPECT_EQ(controller.outputFolder("a.j"), "");
  // Before any mosaic the link opens the folder the next one goes to: the main image's.
  EXPECT_EQ(controller.outputFolder("/photos/beach.jpg"), "/photos");
  // A video saved as single pictures is named by its first picture.
  job.settings.fileFormat.value = kFormatVideoJpeg;
  EXPECT_EQ(controller.outputDisplay("/photos/beach.jpg").first,
            "Mosaic in: /photos/beach Mosaic__000000001.jpg");
}

}  // namespace
}  // namespace tg
