// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/production_stages.h"

#include <cstdint>

#include "engine/cell_priorities.h"
#include "engine/comparison_settings.h"
#include "engine/main_image_analysis.h"
#include "engine/matching_context.h"
#include "engine/place_tiles.h"
#include "engine/required_images.h"
#include "engine/tile_split.h"
#include "job/mosaic_job.h"
#include "output/mask_image.h"
#include "output/save_mosaic.h"
#include "output/text_report.h"
#include "output/web_page.h"
#include "platform/user_dialogs.h"
#include "tiles/tile_groups.h"
#include "tiles/tile_images_list.h"

namespace tg {

namespace {

// A stage this build has no code for fails visibly instead of producing a wrong mosaic.
bool unavailable(const char* what) {
  showMessage(std::string("This build of Tesselograph cannot ") + what + " yet.", Buttons::Ok,
              Icon::Error);
  return false;
}

}  // namespace

ProductionStages::ProductionStages(TileImagesList& list)
    : m_list(list),
      m_placement(tg::placeTiles),
      m_maskImage(writeMaskImageStage),
      m_textReport(writeTextReportStage),
      m_webPage(writeWebPageStage) {}

ProductionStages::~ProductionStages() = default;

MatchingContext& ProductionStages::context(MosaicJob& job) {
  if (!m_context) m_context = std::make_unique<MatchingContext>(job, m_grid.grid, m_list);
  return *m_context;
}

void ProductionStages::numberTileGroups(MosaicJob& job) {
  numberGroups(m_list, static_cast<int>(job.settings.mosaicProcessing.value));
}

bool ProductionStages::tileListIsBlackAndWhite(MosaicJob&) { return m_list.blackAndWhite; }

std::string ProductionStages::tileListPath(MosaicJob&) { return m_list.filePath; }

bool ProductionStages::isMaskFileMode(MosaicJob&) { return m_grid.isMaskFileMode(); }

bool ProductionStages::computeGeometry(MosaicJob& job) { return m_grid.computeGeometry(job); }

bool ProductionStages::buildCellsFromMask(MosaicJob& job, const std::string& maskFile) {
  m_context.reset();
  return m_grid.buildCellsFromMask(job, maskFile);
}

bool ProductionStages::buildCellGrid(MosaicJob& job) {
  m_context.reset();
  if (m_list.tiles.empty()) return false;
  return m_grid.buildCellGrid(job);
}

std::size_t ProductionStages::gridSize(MosaicJob&) { return m_grid.gridSize(); }

void ProductionStages::copyGridSizeToGeometry(MosaicJob&) { m_grid.copyGridSizeToGeometry(); }

void ProductionStages::freeCells(MosaicJob&, bool releaseStorage) {
  m_context.reset();
  m_grid.freeCells(releaseStorage);
}

bool ProductionStages::analyzeMainImage(MosaicJob& job, bool fitGridInsideImage, bool onlyMissing) {
  return tg::analyzeMainImage(job.mainImage, m_grid.grid, fitGridInsideImage, onlyMissing);
}

bool ProductionStages::initializeCells(MosaicJob& job, bool withPriorities) {
  return tg::initializeCells(context(job), withPriorities);
}

bool ProductionStages::placeTiles(MosaicJob& job) {
  if (!m_placement) return unavailable("place tiles");
  return m_placement(context(job));
}

bool ProductionStages::splitTiles(MosaicJob& job) { return tg::splitTiles(context(job)); }

void ProductionStages::insertRequiredImages(MosaicJob& job) {
  tg::insertRequiredImages(context(job));
}

bool ProductionStages::writeMaskImage(MosaicJob& job, bool scoreImage,
                                      const std::vector<MaskImageTarget>& targets) {
  if (!m_maskImage) return unavailable("write mask and score images");
  return m_maskImage(context(job), scoreImage, targets);
}

bool ProductionStages::saveMosaic(MosaicJob& job) {
  if (m_grid.isMaskFileMode()) {
    // Cells drawn from a mask file are in the mask's pixels and the geometry has no mosaic size
    // of its own: the mosaic is the part of the mask that covers the main image, which the
    // main image analysis left as the grid's column and row counts.
    MosaicGeometry geometry = m_grid.geometry;
    geometry.mosaicWidth = m_grid.grid.columns;
    geometry.mosaicHeight = m_grid.grid.rows;
    geometry.pixelCount = std::uint64_t{geometry.mosaicWidth} * geometry.mosaicHeight;
    return tg::saveMosaic(job, m_grid.grid, geometry, job.settings.blackAndWhiteOutput);
  }
  return tg::saveMosaic(job, m_grid.grid, m_grid.geometry, job.settings.blackAndWhiteOutput);
}

bool ProductionStages::writeTextReport(MosaicJob& job, const std::string& path) {
  if (!m_textReport) return unavailable("write the text report");
  return m_textReport(context(job), path);
}

bool ProductionStages::writeWebPage(MosaicJob& job, const std::string& folder, long webPageSize,
                                    bool copyTiles) {
  if (!m_webPage) return unavailable("write the web page");
  return m_webPage(context(job), folder, webPageSize, copyTiles);
}

}  // namespace tg
