// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "geometry/puzzle_info.h"
#include "imaging/foto.h"
#include "output/output_format.h"
#include "output/row_source.h"
#include "output/video_writers.h"
#include "parallel/worker_pool.h"

namespace tg {

class ClipStreamCache;
class MosaicJob;
class StillCellCache;
struct ComparisonSettings;
struct FotoInfo;
struct SavedPiece;

/// The split size along one side: the mosaic's own size when `split` is 10 or less or larger
/// than `total`.
[[nodiscard]] std::uint32_t effectiveSplit(std::uint32_t split, std::uint32_t total);
/// Rows per band for a budget of `budgetMB` megabytes (clamped to 10..2900) over bands of
/// `splitWidth` pixels: (budget x 1,000,000 / 4) / splitWidth, at least 1.
[[nodiscard]] std::uint32_t bandRowsForBudget(long budgetMB, std::uint32_t splitWidth);
/// The file name of a cell's individual tile in `tilesFolder`: the translated "Tile", the cell's
/// left and top, and the tile file's name without folder and extension, plus `extension`.
[[nodiscard]] std::string individualTileName(const std::string& tilesFolder, std::int64_t left,
                                             std::int64_t top, const std::string& tilePath,
                                             const std::string& extension);

/// Where the renderer's time went (nanoseconds): CPU time of the parts, summed over every thread
/// that ran render jobs, and the wall time of the bands. Diagnostics for benchmarks; read after
/// the save.
struct RenderStatistics {
  std::atomic<std::uint64_t> decodeNs{0};         ///< loading tile pictures (decode, grey)
  std::atomic<std::uint64_t> prepareNs{0};        ///< crop, scale, turn, colour change, shape
  std::atomic<std::uint64_t> pasteNs{0};          ///< pasting into the band (lock included)
  std::atomic<std::uint64_t> tileFilesNs{0};      ///< writing individual tile files
  std::atomic<std::uint64_t> bandNs{0};           ///< whole bands on the job thread (wall time)
  std::atomic<std::uint64_t> tileLoads{0};        ///< tile pictures loaded (decoded)
  std::atomic<std::uint64_t> clipOpens{0};        ///< clip files opened by video saves
  std::atomic<std::uint64_t> clipStreamsKept{0};  ///< most clip streams open at once
  std::atomic<std::uint64_t> stillCellsKept{0};   ///< still cells kept for later frames
  std::atomic<std::uint64_t> stillCellReuses{0};  ///< kept still cells pasted again
};

/// What `savePieces` is asked to write.
struct SavePiecesRequest {
  std::string base;  ///< output path without extension
  OutputFormat format;
  std::uint32_t width = 0;        ///< mosaic width in pixels
  std::uint32_t height = 0;       ///< mosaic height in pixels
  std::uint32_t splitWidth = 0;   ///< piece width of a split mosaic (0: not split)
  std::uint32_t splitHeight = 0;  ///< piece height (0: not split)
  unsigned resolution = 0;        ///< pixels per inch, for the writers' density fields
  std::uint32_t loadSize = 0;     ///< size hint for decoding tiles (2 x the tile side)
  bool greyTiles = false;         ///< tile pictures are turned grey after loading
  std::string tilesFolder;        ///< folder of the individual tiles, empty when off
};

/// The renderer of one mosaic save: it composes the mosaic band by band from the cells and hands
/// it to the writers row by row (`nextRow`), so the whole mosaic never exists in memory.
///
/// A band spans the full width of the piece being written and holds at most `bandRows` rows; it
/// is filled with the background colour (the border colour with T = 255) and every cell whose
/// box meets it is pasted into it. Cells are visited grouped by tile and size (each group in
/// grid order, the groups in the order they first appear in the grid); the cells of one group
/// that meet a band are rendered from one picture of the tile, decoded once per band at the
/// smallest decoder scale that still covers their side (decoding and scaling dominate the time;
/// decoding at twice the tile size cost half the render time for nothing visible). Groups and
/// cells run as jobs on the renderer's own worker pool; all of a band's jobs finish before its
/// first row is handed out.
///
/// Overlapping cells: shaped cells (mask-file cells) can have overlapping boxes, and blend pastes
/// do not commute, so every paste into the band runs under one band lock. Preparing a cell
/// (decode, crop, scale, colour change) is the expensive part and runs unlocked; the paste itself
/// is a row copy or a short blend loop, so the band ends exactly as if the pastes had run one
/// after the other.
///
/// Video mosaics: the video writers pull the same piece once per output frame
/// (`startNextFrame`); clip tiles show the frame `clipFrameIndex` chooses for it, read through a
/// cache of open clip streams that lives for one `savePieces`, so that memory stays at one band
/// plus the open streams whatever the frame count. Still cells are rendered once and their
/// finished pictures kept for the later bands and frames (`StillCellCache`), within a second
/// budget as large as the band's.
///
/// Threads: the job thread calls every public function; the pool's threads run the render jobs.
/// Cell jobs write only their own cell's `render` record and the band under the lock.
class JPGMosaicSave final : public FrameSource {
 public:
  /// A renderer for `cells` (not owned; they and their tiles must outlive it) of `job` (progress,
  /// stop flag), using `comparison` for variants and colour change, over `background` (R, G, B
  /// of the border colour; T is forced to 255).
  JPGMosaicSave(MosaicJob& job, std::vector<PuzzleInfo*> cells,
                const ComparisonSettings& comparison, Pixel background);
  ~JPGMosaicSave() override;
  JPGMosaicSave(const JPGMosaicSave&) = delete;
  JPGMosaicSave& operator=(const JPGMosaicSave&) = delete;

  /// Starts `count` worker threads at thread priority level `priority` (0: the job thread
  /// renders alone).
  void startWorkers(std::uint32_t count, int priority);

  /// Writes the mosaic as one file or as split pieces: empties `pieces`, works out the split, the
  /// band height (from `Options.MemoryBlockSizeMB` of the job's settings, shrunk by 10 % steps
  /// until a band can be allocated) and, for video formats, the frame count and rate; runs the
  /// rendering progress stage and saves every piece (`savePiece`), piece columns first. The first
  /// failing piece ends the save with false.
  [[nodiscard]] bool savePieces(const SavePiecesRequest& request, std::vector<SavedPiece>& pieces);

  /// Sets the renderer up for one piece (`width` x `height` at `x`, `y` of the mosaic), appends
  /// the format's extension to `base`, runs the format's writer and appends the piece's record
  /// to `pieces` (for every format that writes a file, whatever the outcome). Format 107 writes
  /// nothing and fails. The video formats run the video writers with `frameCount` frames at
  /// `frameRate` (AVI 105 uncompressed, 106 through the codec of `VideoMosaic.FourCC`, 108
  /// JPEG frames) and append one record per file started (every AVI part, every frame).
  [[nodiscard]] bool savePiece(const std::string& base, const OutputFormat& format,
                               std::uint32_t width, std::uint32_t height, std::uint32_t bandRows,
                               std::uint32_t y, std::uint32_t x, std::vector<SavedPiece>& pieces,
                               unsigned resolution, std::uint32_t frameCount,
                               std::uint32_t frameRate);

  /// The next row of the current piece (pieceWidth pixels), rendering the next band when the
  /// current one is used up; nullptr when the job is stopped or a band cannot be rendered.
  const Pixel* nextRow() override;
  bool stopRequested() const override;

  /// Back to the first row of the current piece.
  void rewindPiece();
  /// Rewinds the piece and advances the frame index (the video writers call it before each
  /// frame); the status shows the frame and the time left for the piece.
  void startNextFrame() override;
  /// The output frame being rendered (1..frameCount for video; clips show their frame for it).
  void setFrameIndex(std::uint32_t index) { m_frameIndex = index; }
  [[nodiscard]] std::uint32_t frameIndex() const { return m_frameIndex; }
  [[nodiscard]] std::uint32_t frameCount() const { return m_frameCount; }
  [[nodiscard]] std::uint32_t pieceWidth() const { return m_pieceWidth; }
  [[nodiscard]] std::uint32_t pieceHeight() const { return m_pieceHeight; }
  /// Rows per band of the current save.
  [[nodiscard]] std::uint32_t bandRows() const { return m_bandRows; }
  /// Failed individual-tile saves of the current piece (only whether it is 0 is exact).
  [[nodiscard]] std::uint32_t tileSaveErrors() const { return m_tileSaveErrors.load(); }

  /// The time spent so far in the parts of rendering.
  [[nodiscard]] const RenderStatistics& statistics() const { return m_statistics; }

  /// Sets what `savePieces` otherwise stores from its request (for callers that drive
  /// `savePiece` themselves, such as tests).
  void configure(const SavePiecesRequest& request);
  /// The clip streams of the current video save (null outside one), for diagnostics.
  [[nodiscard]] const ClipStreamCache* clipStreams() const { return m_clips.get(); }

 private:
  struct TileGroup {
    const FotoInfo* tile = nullptr;
    std::vector<PuzzleInfo*> cells;
    std::uint32_t fitSize = 0;  ///< the larger side of every cell of the group
  };
  struct CellJob {
    PuzzleInfo* cell = nullptr;
    std::shared_ptr<const Foto> image;
  };

  /// The height of the band whose first row is mosaic row `top`, with `rowsLeft` rows of the
  /// piece still to come: at most `m_bandRows`, shortened (by at most half) to end on a line no
  /// cell crosses, so that no cell is prepared for two bands.
  [[nodiscard]] std::uint32_t bandHeight(std::uint32_t top, std::uint32_t rowsLeft) const;
  /// Renders the next band into `m_band`; false when the piece is complete, the job stopped or
  /// the band could not be allocated.
  bool renderBand();
  void renderTileGroup(TileGroup& group);
  void renderCell(CellJob& job);
  /// Writes the cell's individual tile (first frame) and pastes its finished picture.
  void pasteCell(const PuzzleInfo& cell, const Foto& picture);
  /// Decodes the tile picture for the current frame at a scale that covers `fitSize` pixels a
  /// side; false (counted by the loader) on failure.
  bool loadTile(const FotoInfo& tile, std::uint32_t fitSize, Foto& target);
  void saveIndividualTile(const PuzzleInfo& cell, const Foto& image);
  bool writePiece(const std::string& path, const OutputFormat& format, unsigned resolution);
  bool writeVideoPiece(const std::string& base, const OutputFormat& format, unsigned resolution,
                       std::uint32_t frameRate, std::vector<std::string>& paths);

  MosaicJob& m_job;
  std::vector<PuzzleInfo*> m_cells;
  const ComparisonSettings& m_comparison;
  Pixel m_background;

  std::uint32_t m_splitWidth = 0;
  std::uint32_t m_loadSize = 0;
  bool m_greyTiles = false;
  std::string m_tilesFolder;
  OutputFormat m_format;
  unsigned m_resolution = 0;

  std::uint32_t m_pieceWidth = 0;
  std::uint32_t m_pieceHeight = 0;
  std::uint32_t m_pieceX = 0;
  std::uint32_t m_pieceY = 0;
  std::uint32_t m_bandRows = 1;
  std::vector<std::int64_t> m_cellsAcross;  ///< cells crossing the line above each mosaic row
  std::int64_t m_bandX = 0;
  std::int64_t m_bandY = 0;
  std::int64_t m_originX = 0;
  std::int64_t m_originY = 0;
  Foto m_band;
  std::uint64_t m_bandCapacity = 0;  ///< pixels of the band's block
  bool m_haveBand = false;
  std::uint32_t m_rowInBand = 0;
  std::uint32_t m_frameIndex = 0;
  std::uint32_t m_frameCount = 1;
  std::uint64_t m_firstFrameNs = 0;  ///< when frame 1 of the current piece started
  std::unique_ptr<ClipStreamCache> m_clips;
  std::unique_ptr<StillCellCache> m_stills;  ///< video saves only
  std::atomic<std::uint32_t> m_tileSaveErrors{0};
  std::mutex m_pasteLock;
  RenderStatistics m_statistics;

  WorkerPool m_pool;
  std::unique_ptr<JobGroup> m_jobs;
};

}  // namespace tg
