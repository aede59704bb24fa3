// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "geometry/grid_stage.h"
#include "job/mosaic_stages.h"

namespace tg {

struct MatchingContext;
struct TileImagesList;

/// The stages of a real mosaic job: the geometry and grid of `GridStage`, the main image
/// analysis, priorities, split and required images of the engine, and the renderer and writers
/// of the output folder, over one loaded Tile Images List. The list and the stages object must
/// outlive every job run with it; the list must not change while a job runs.
///
/// Tile placement and the mask image, text report and web page writers are reached through the
/// hooks below, which start as the engine's and output folder's own stages; tests may replace
/// them. A stage whose hook was emptied tells the user that it cannot run and fails, which ends
/// the job with "Stopped!". Job thread only (see `MosaicStages`).
class ProductionStages final : public MosaicStages {
 public:
  /// Places the tiles on the cells of the context (the engine's placement and quality pass).
  using PlacementHook = std::function<bool(MatchingContext&)>;
  /// Writes the mask (or, with the flag, score) image of the context's grid to the targets.
  using MaskImageHook =
      std::function<bool(MatchingContext&, bool, const std::vector<MaskImageTarget>&)>;
  /// Writes the text report of the context to the path.
  using TextReportHook = std::function<bool(MatchingContext&, const std::string&)>;
  /// Writes the web page of the context into the folder with the page size and tile copies.
  using WebPageHook = std::function<bool(MatchingContext&, const std::string&, long, bool)>;

  explicit ProductionStages(TileImagesList& list);
  ~ProductionStages() override;

  void setPlacement(PlacementHook hook) { m_placement = std::move(hook); }
  void setMaskImageWriter(MaskImageHook hook) { m_maskImage = std::move(hook); }
  void setTextReportWriter(TextReportHook hook) { m_textReport = std::move(hook); }
  void setWebPageWriter(WebPageHook hook) { m_webPage = std::move(hook); }

  /// The geometry and grid of the mosaic being built (the window computes the geometry here
  /// before a start).
  [[nodiscard]] GridStage& gridStage() { return m_grid; }

  void numberTileGroups(MosaicJob& job) override;
  [[nodiscard]] bool tileListIsBlackAndWhite(MosaicJob& job) override;
  [[nodiscard]] std::string tileListPath(MosaicJob& job) override;
  [[nodiscard]] bool isMaskFileMode(MosaicJob& job) override;
  [[nodiscard]] bool computeGeometry(MosaicJob& job) override;
  [[nodiscard]] bool buildCellsFromMask(MosaicJob& job, const std::string& maskFile) override;
  [[nodiscard]] bool buildCellGrid(MosaicJob& job) override;
  [[nodiscard]] std::size_t gridSize(MosaicJob& job) override;
  void copyGridSizeToGeometry(MosaicJob& job) override;
  void freeCells(MosaicJob& job, bool releaseStorage) override;
  [[nodiscard]] bool analyzeMainImage(MosaicJob& job, bool fitGridInsideImage,
                                      bool onlyMissing) override;
  [[nodiscard]] bool initializeCells(MosaicJob& job, bool withPriorities) override;
  [[nodiscard]] bool placeTiles(MosaicJob& job) override;
  [[nodiscard]] bool splitTiles(MosaicJob& job) override;
  void insertRequiredImages(MosaicJob& job) override;
  [[nodiscard]] bool writeMaskImage(MosaicJob& job, bool scoreImage,
                                    const std::vector<MaskImageTarget>& targets) override;
  [[nodiscard]] bool saveMosaic(MosaicJob& job) override;
  [[nodiscard]] bool writeTextReport(MosaicJob& job, const std::string& path) override;
  [[nodiscard]] bool writeWebPage(MosaicJob& job, const std::string& folder, long webPageSize,
                                  bool copyTiles) override;

 private:
  /// The matching context of the current mosaic, made on first use after the grid was built.
  MatchingContext& context(MosaicJob& job);

  TileImagesList& m_list;
  GridStage m_grid;
  std::unique_ptr<MatchingContext> m_context;
  PlacementHook m_placement;
  MaskImageHook m_maskImage;
  TextReportHook m_textReport;
  WebPageHook m_webPage;
};

}  // namespace tg
