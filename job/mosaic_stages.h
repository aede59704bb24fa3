// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tg {

class MosaicJob;

/// One picture file a mask or score image is written to.
struct MaskImageTarget {
  enum class Format { Jpeg, Bmp };
  std::string path;  ///< full path with extension
  Format format = Format::Jpeg;
  int quality = 100;  ///< JPEG quality (ignored for BMP)
};

/// The operations `runJob` calls, in its fixed order, to build one mosaic. The driver owns the
/// sequence, the names, the status texts between stages, the stop checks and the endings; each
/// operation here does one stage's work and nothing else. Production code implements this
/// interface once, above every stage folder (it sees the geometry, the tile list, the engine and
/// the writers), and keeps the working data that the job folder cannot name: the Tile Images
/// List, the geometry record and the cell grid. Everything the job folder can name (settings,
/// main image, output names, saved pieces, thread count and priority, progress and stop) lives
/// in `MosaicJob` and reaches the stages through the `job` argument.
///
/// Common rules for every operation:
/// - All run on the job thread, one at a time; an operation may spread its work over a worker
///   pool of its own (`job.threadCount` − 1 threads at `job.workerPriority`) and must wait for it
///   before returning.
/// - Progress goes through `job.beginStage` / `addProgress` / `endStage` (stages 0, 1, 2, 3, 4
///   and 6 are begun and advanced by the operations themselves); the driver sets the status text
///   before each step, and an operation may set a more precise one.
/// - Long loops poll `job.stopRequested()` and return failure (or return early) once it is set.
/// - An operation that meets a problem the user must know of tells the user itself, once,
///   through `UserDialogs`, and then returns failure; the driver shows nothing more.
/// - Failures are return values; nothing throws out of an operation.
class MosaicStages {
 public:
  virtual ~MosaicStages();

  // --- Tile Images List -----------------------------------------------------------------------

  /// Numbers the groups of the list's tiles for `job.settings`' `MosaicProcessing`
  /// (`numberGroups`), which placement relies on. Once per job, first.
  virtual void numberTileGroups(MosaicJob& job) = 0;
  /// True when the loaded list is in black-and-white mode (main images are turned grey).
  [[nodiscard]] virtual bool tileListIsBlackAndWhite(MosaicJob& job) = 0;
  /// The path of the loaded list, recorded in the mosaic settings file; empty when it has none.
  [[nodiscard]] virtual std::string tileListPath(MosaicJob& job) = 0;

  // --- Pictures (default implementations use the imaging folder) --------------------------------

  /// Loads `path` into `job.mainImage` at full size, showing the loader's own messages. False
  /// (image empty) when it cannot be loaded.
  [[nodiscard]] virtual bool loadMainImage(MosaicJob& job, const std::string& path);
  /// Turns `job.mainImage` grey.
  virtual void convertMainImageToGrey(MosaicJob& job);
  /// Frees `job.mainImage` (nothing happens when it is empty).
  virtual void releaseMainImage(MosaicJob& job);
  /// The stored pixel size of the picture at `path` from its header; false when it cannot be
  /// read. No message. Used to accept the pictures of a mask file folder.
  [[nodiscard]] virtual bool readImageSize(const std::string& path, std::uint32_t& width,
                                           std::uint32_t& height);

  // --- Geometry and grid ------------------------------------------------------------------------

  /// True when the geometry last computed (by the window before the start, or by
  /// `computeGeometry`) takes the mosaic's shape from a mask file. Asked once at the start.
  [[nodiscard]] virtual bool isMaskFileMode(MosaicJob& job) = 0;
  /// Computes the geometry from `job.settings` and the size of `job.mainImage` and keeps it. False
  /// when the geometry is invalid (its message shown); the job then stops.
  [[nodiscard]] virtual bool computeGeometry(MosaicJob& job) = 0;
  /// MaskFile mode: builds the grid from the regions of `maskFile` for the size of
  /// `job.mainImage` (`buildCellsFromMask`). False when no cell was made (messages shown); the
  /// job then ends normally.
  [[nodiscard]] virtual bool buildCellsFromMask(MosaicJob& job, const std::string& maskFile) = 0;
  /// Builds the grid from the pattern (`Pattern`, `TileAdapt`; `buildCellGrid`) for
  /// `job.mainImage`. False when the main image has no pixels, the list has no tiles, the grid is
  /// empty or a geometry check failed (messages shown); the job then ends normally.
  [[nodiscard]] virtual bool buildCellGrid(MosaicJob& job) = 0;
  /// The number of cells in the grid now.
  [[nodiscard]] virtual std::size_t gridSize(MosaicJob& job) = 0;
  /// Copies the grid's column and row counts into the geometry record (after placement).
  virtual void copyGridSizeToGeometry(MosaicJob& job) = 0;
  /// Deletes every cell and empties the grid; `releaseStorage` also gives the grid's storage
  /// back (the stop ending). Called between mosaics and at every ending.
  virtual void freeCells(MosaicJob& job, bool releaseStorage) = 0;

  // --- Matching ---------------------------------------------------------------------------------

  /// Analyses `job.mainImage` under the cells (`analyzeMainImage`): right after the grid is built
  /// with both flags false (a failure then ends the job normally), and after a split for the new
  /// cells with `onlyMissing` set and `fitGridInsideImage` set when `TileAdapt` is
  /// "Mosaic Size" (a failure then stops the job). False when stopped or failed.
  [[nodiscard]] virtual bool analyzeMainImage(MosaicJob& job, bool fitGridInsideImage,
                                              bool onlyMissing) = 0;
  /// Sets up the cells and their weights before a placement (`initializeCells`);
  /// `withPriorities` only the first time (it may ask for a priority image). False when the
  /// priority image is needed but not obtained.
  [[nodiscard]] virtual bool initializeCells(MosaicJob& job, bool withPriorities) = 0;
  /// Places the tiles (`placeTiles`, with the tile distance and the quality pass). False when
  /// stopped or refused.
  [[nodiscard]] virtual bool placeTiles(MosaicJob& job) = 0;
  /// Splits the worst cells into halves or quarters (`splitTiles`); true when any was split.
  [[nodiscard]] virtual bool splitTiles(MosaicJob& job) = 0;
  /// Puts the required images into the mosaic (`insertRequiredImages`).
  virtual void insertRequiredImages(MosaicJob& job) = 0;

  // --- Output -----------------------------------------------------------------------------------

  /// Builds the mask image of the grid (`buildMaskImage`; the score image when `scoreImage` is
  /// set), writes it to every target in order and frees it. False when it could not be built or
  /// a file could not be written (the writer's message shown).
  [[nodiscard]] virtual bool writeMaskImage(MosaicJob& job, bool scoreImage,
                                            const std::vector<MaskImageTarget>& targets) = 0;
  /// Renders the mosaic and saves it (`saveMosaic`) under `job.outputNames`, filling
  /// `job.savedPieces`; the main image is already released. True when it was saved.
  [[nodiscard]] virtual bool saveMosaic(MosaicJob& job) = 0;
  /// Writes the text report to `path` (`writeTextReport`, using `job.mainImageWidth`,
  /// `mainImageHeight` and `currentMaskFile`).
  [[nodiscard]] virtual bool writeTextReport(MosaicJob& job, const std::string& path) = 0;
  /// Writes the web page into `folder` (`writeWebPage`) for the first saved piece, with the
  /// page size `webPageSize`, polling `job.stopFlag()`; `copyTiles` copies the tile images next
  /// to the page.
  [[nodiscard]] virtual bool writeWebPage(MosaicJob& job, const std::string& folder,
                                          long webPageSize, bool copyTiles) = 0;
};

}  // namespace tg
