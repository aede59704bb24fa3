// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/jpg_mosaic_save.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <ctime>
#include <memory>
#include <new>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "config/advanced_settings.h"
#include "engine/comparison_settings.h"
#include "imaging/foto.h"
#include "job/mosaic_job.h"
#include "job/mosaic_settings.h"
#include "job/output_names.h"
#include "output/bmp_writer.h"
#include "output/cell_image.h"
#include "output/jpeg_writer.h"
#include "output/photoshop_writer.h"
#include "output/ppm_writer.h"
#include "output/still_cell_cache.h"
#include "output/tiff_writer.h"
#include "output/video_frames.h"
#include "platform/catalogue.h"
#include "platform/text_format.h"
#include "platform/user_dialogs.h"
#include "tiles/foto_info.h"
#include "video/clip_stream_cache.h"
#include "video/four_cc.h"
#include "video/tile_picture.h"

namespace tg {

namespace {

constexpr long kMinBudgetMB = 10;
constexpr long kMaxBudgetMB = 2900;

// CPU time of the calling thread: on a shared machine wall time would count other programs.
std::uint64_t threadCpuNs() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<std::uint64_t>(now.tv_sec) * 1000000000u +
         static_cast<std::uint64_t>(now.tv_nsec);
}

std::uint64_t wallNs() {
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::nanoseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
}

// Adds the time since its creation (thread CPU time, or wall time for `Wall`) to a counter when
// it goes away.
class ScopedTimer {
 public:
  enum Kind { ThreadCpu, Wall };
  explicit ScopedTimer(std::atomic<std::uint64_t>& counter, Kind kind = ThreadCpu)
      : m_counter(counter), m_kind(kind), m_start(now()) {}
  ~ScopedTimer() { m_counter.fetch_add(now() - m_start, std::memory_order_relaxed); }
  ScopedTimer(const ScopedTimer&) = delete;
  ScopedTimer& operator=(const ScopedTimer&) = delete;

 private:
  [[nodiscard]] std::uint64_t now() const { return m_kind == Wall ? wallNs() : threadCpuNs(); }
  std::atomic<std::uint64_t>& m_counter;
  Kind m_kind;
  std::uint64_t m_start;
};

bool intersects(const FotoMask& box, std::int64_t x, std::int64_t y, std::int64_t w,
                std::int64_t h) {
  return box.left < x + w && x < std::int64_t{box.left} + box.width && box.top < y + h &&
         y < std::int64_t{box.top} + box.height;
}

// The memory block budget of `Options.MemoryBlockSizeMB` in bytes (a row the configuration never
// filled in takes its factory default), clamped like the band's.
std::uint64_t blockBudgetBytes(const AdvancedSettings& advanced) {
  const auto& row = advanced.row(static_cast<std::size_t>(AdvancedRow::MemoryBlockSizeMB));
  const long budget = advancedTextToLong(row.value.empty() ? row.factoryDefault : row.value);
  return static_cast<std::uint64_t>(std::clamp(budget, kMinBudgetMB, kMaxBudgetMB)) * 1000000u;
}

// The largest side of a cell's box: the size its tile picture is decoded for.
std::uint32_t cellSide(const PuzzleInfo& cell) {
  return static_cast<std::uint32_t>(std::max({0, cell.shape.width, cell.shape.height}));
}

// Cells that show the same tile at the same size are visited one after the other, in the order
// in which their (tile, side) pair first appears in the grid and in grid order within it, so that
// a band decodes each tile picture once for all of its cells. Duplicate spacing keeps repeats of
// a tile apart, so in grid order nearly every cell would decode its tile again.
std::vector<PuzzleInfo*> groupCellsByTile(std::vector<PuzzleInfo*> cells) {
  struct KeyHash {
    std::size_t operator()(const std::pair<const FotoInfo*, std::uint32_t>& key) const {
      return std::hash<const FotoInfo*>()(key.first) ^ (std::size_t{key.second} << 1);
    }
  };
  std::unordered_map<std::pair<const FotoInfo*, std::uint32_t>, std::size_t, KeyHash> rankOf;
  std::vector<std::pair<std::size_t, PuzzleInfo*>> ranked;
  ranked.reserve(cells.size());
  for (PuzzleInfo* cell : cells) {
    std::pair<const FotoInfo*, std::uint32_t> key{nullptr, 0};
    if (cell != nullptr) key = {cell->tile, cellSide(*cell)};
    const std::size_t rank = rankOf.try_emplace(key, rankOf.size()).first->second;
    ranked.emplace_back(rank, cell);
  }
  std::stable_sort(ranked.begin(), ranked.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (std::size_t i = 0; i < cells.size(); ++i) cells[i] = ranked[i].second;
  return cells;
}

SavedPiece pieceRecord(const std::string& path, std::uint32_t x, std::uint32_t y,
                       std::uint32_t width, std::uint32_t height) {
  SavedPiece piece;
  piece.x = x;
  piece.y = y;
  piece.width = width;
  piece.height = height;
  const PathParts parts = splitPath(path);
  piece.directory = parts.directory;
  piece.directorySeparator = parts.directory + "/";
  piece.name = parts.title;
  piece.path = path;
  return piece;
}

}  // namespace

std::uint32_t effectiveSplit(std::uint32_t split, std::uint32_t total) {
  return split <= 10 || split > total ? total : split;
}

std::uint32_t bandRowsForBudget(long budgetMB, std::uint32_t splitWidth) {
  const std::uint64_t budget =
      static_cast<std::uint64_t>(std::clamp(budgetMB, kMinBudgetMB, kMaxBudgetMB));
  if (splitWidth == 0) return 1;
  const std::uint64_t rows = (budget * 1000000u / 4u) / splitWidth;
  return static_cast<std::uint32_t>(std::clamp<std::uint64_t>(rows, 1, UINT32_MAX));
}

std::string individualTileName(const std::string& tilesFolder, std::int64_t left, std::int64_t top,
                               const std::string& tilePath, const std::string& extension) {
  std::string folder = tilesFolder;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return formatText(std::string("%s/%s_x%07ld_y%07ld__%s"), folder, tr("Tile"),
                    static_cast<long>(left), static_cast<long>(top), splitPath(tilePath).title) +
         extension;
}

JPGMosaicSave::JPGMosaicSave(MosaicJob& job, std::vector<PuzzleInfo*> cells,
                             const ComparisonSettings& comparison, Pixel background)
    : m_job(job),
      m_cells(groupCellsByTile(std::move(cells))),
      m_comparison(comparison),
      m_background((background & 0x00FFFFFFu) | 0xFF000000u) {
  m_jobs = std::make_unique<JobGroup>(m_pool, true);
}

JPGMosaicSave::~JPGMosaicSave() {
  m_jobs.reset();
  m_pool.setThreadCount(0, 0);
}

void JPGMosaicSave::startWorkers(std::uint32_t count, int priority) {
  m_pool.setThreadCount(count, priority);
}

bool JPGMosaicSave::stopRequested() const { return m_job.stopRequested(); }

void JPGMosaicSave::configure(const SavePiecesRequest& request) {
  // For every line between mosaic rows y - 1 and y: how many cells with a tile it cuts through.
  // A cell from `top` to `bottom` crosses the lines top + 1 .. bottom - 1: counted as a step up
  // at top + 1 and a step down at bottom, summed from the top.
  m_cellsAcross.assign(static_cast<std::size_t>(request.height) + 1, 0);
  for (const PuzzleInfo* cell : m_cells) {
    if (cell == nullptr || cell->tile == nullptr || cell->shape.height <= 0) continue;
    const std::int64_t top = std::max<std::int64_t>(0, cell->shape.top);
    const std::int64_t bottom =
        std::min<std::int64_t>(request.height, std::int64_t{cell->shape.top} + cell->shape.height);
    if (top + 1 >= bottom) continue;
    ++m_cellsAcross[static_cast<std::size_t>(top + 1)];
    --m_cellsAcross[static_cast<std::size_t>(bottom)];
  }
  for (std::size_t y = 1; y < m_cellsAcross.size(); ++y) m_cellsAcross[y] += m_cellsAcross[y - 1];
  m_greyTiles = request.greyTiles;
  m_tilesFolder = request.tilesFolder;
  m_loadSize = request.loadSize;
  m_format = request.format;
  m_resolution = request.resolution;
  m_splitWidth = effectiveSplit(request.splitWidth, request.width);
}

bool JPGMosaicSave::savePieces(const SavePiecesRequest& request, std::vector<SavedPiece>& pieces) {
  pieces.clear();
  configure(request);
  const std::uint32_t w = request.width;
  const std::uint32_t h = request.height;
  if (w == 0 || h == 0) return false;
  const std::uint32_t splitW = effectiveSplit(request.splitWidth, w);
  const std::uint32_t splitH = effectiveSplit(request.splitHeight, h);
  const std::uint32_t columns = (w + splitW - 1) / splitW;
  const std::uint32_t rows = (h + splitH - 1) / splitH;
  const std::uint64_t pieceCount = std::uint64_t{columns} * rows;

  // A row the configuration never filled in takes its factory default.
  const AdvancedSettings& advanced = m_job.settings.advanced;
  const auto& budgetRow = advanced.row(static_cast<std::size_t>(AdvancedRow::MemoryBlockSizeMB));
  const long budget =
      advancedTextToLong(budgetRow.value.empty() ? budgetRow.factoryDefault : budgetRow.value);
  std::uint32_t bandRows = bandRowsForBudget(budget, splitW);
  bandRows = std::min(bandRows, splitH);
  {
    Foto probe;
    while (bandRows > 1 && !probe.createQuiet(splitW, bandRows)) {
      bandRows -= std::max<std::uint32_t>(1, static_cast<std::uint32_t>(bandRows * 0.1));
    }
  }
  m_bandRows = bandRows;
  // Bands end where no cell is cut (see `bandHeight`), so there may be more than splitH /
  // bandRows of them: count them for the progress.
  std::uint64_t bands = 0;
  for (std::uint32_t y = 0; y < h; y += splitH) {
    const std::uint32_t pieceH = std::min(splitH, h - y);
    for (std::uint32_t rows = 0; rows < pieceH; ++bands)
      rows += bandHeight(y + rows, pieceH - rows);
  }
  bands *= columns;

  VideoFrames frames;
  if (isVideoFormat(request.format.format)) {
    frames = chooseVideoFrames(m_cells, m_job.settings.advanced);
    m_clips = std::make_unique<ClipStreamCache>();
    m_stills = std::make_unique<StillCellCache>(blockBudgetBytes(advanced));
  }

  m_job.beginStage(ProgressStage::Rendering, static_cast<double>(frames.count) *
                                                 static_cast<double>(m_cells.size()) *
                                                 static_cast<double>(bands));
  bool ok = true;
  if (pieceCount >= 2) {
    std::uint64_t k = 0;
    for (std::uint32_t column = 0; ok && column < columns; ++column) {
      for (std::uint32_t row = 0; ok && row < rows; ++row) {
        ++k;
        const std::uint32_t x = column * splitW;
        const std::uint32_t y = row * splitH;
        m_job.setStatus(formatText(tr("Saving Split Image #%d/%d: %dx%d..."), static_cast<int>(k),
                                   static_cast<int>(pieceCount), static_cast<int>(row + 1),
                                   static_cast<int>(column + 1)));
        const std::string base =
            formatText(std::string("%s%02dx%02d"), request.base, static_cast<int>(row + 1),
                       static_cast<int>(column + 1));
        ok = savePiece(base, request.format, std::min(splitW, w - x), std::min(splitH, h - y),
                       bandRows, y, x, pieces, request.resolution, frames.count, frames.rate);
      }
    }
  } else {
    m_job.setStatus(tr("Saving Mosaic..."));
    ok = savePiece(request.base, request.format, w, h, bandRows, 0, 0, pieces, request.resolution,
                   frames.count, frames.rate);
  }
  m_band.release();
  m_bandCapacity = 0;
  m_haveBand = false;
  if (m_clips) {
    m_statistics.clipOpens.fetch_add(m_clips->opens());
    m_statistics.clipStreamsKept.store(
        std::max<std::uint64_t>(m_statistics.clipStreamsKept.load(), m_clips->openStreams()));
  }
  m_clips.reset();
  if (m_stills) {
    m_statistics.stillCellsKept.store(m_stills->cells());
    m_statistics.stillCellReuses.fetch_add(m_stills->reuses());
  }
  m_stills.reset();
  m_job.endStage();
  return ok;
}

bool JPGMosaicSave::savePiece(const std::string& base, const OutputFormat& format,
                              std::uint32_t width, std::uint32_t height, std::uint32_t bandRows,
                              std::uint32_t y, std::uint32_t x, std::vector<SavedPiece>& pieces,
                              unsigned resolution, std::uint32_t frameCount,
                              std::uint32_t frameRate) {
  m_format = format;
  m_resolution = resolution;
  m_pieceWidth = width;
  m_pieceHeight = height;
  m_pieceX = x;
  m_pieceY = y;
  m_bandRows = std::max<std::uint32_t>(1, bandRows);
  m_frameIndex = 0;
  m_frameCount = isVideoFormat(format.format) ? std::max<std::uint32_t>(1, frameCount) : 1;
  m_tileSaveErrors.store(0);
  if (m_splitWidth == 0) m_splitWidth = width;
  rewindPiece();

  if (format.format == kFormatMosaic) return false;
  if (isVideoFormat(format.format)) {
    std::vector<std::string> paths;
    const bool written = writeVideoPiece(base, format, resolution, frameRate, paths);
    for (const auto& path : paths) pieces.push_back(pieceRecord(path, x, y, width, height));
    return written;
  }
  const std::string path = base + outputExtension(format.format);
  const bool written = writePiece(path, format, resolution);
  pieces.push_back(pieceRecord(path, x, y, width, height));
  return written;
}

bool JPGMosaicSave::writePiece(const std::string& path, const OutputFormat& format,
                               unsigned resolution) {
  switch (format.format) {
    case kFormatJpeg:
      return writeJpegRows(path, m_pieceWidth, m_pieceHeight, format.quality, *this, resolution);
    case kFormatBmp:
      return writeBmpRows(path, m_pieceWidth, m_pieceHeight, *this);
    case kFormatTiff:
    case kFormatTiffJpeg:
      return writeTiffRows(path, format, format.transparency ? 4 : 3, m_pieceWidth, m_pieceHeight,
                           resolution, *this);
    case kFormatPpm:
      return writePpmRows(path, m_pieceWidth, m_pieceHeight, true, *this);
    case kFormatRaw:
      return writePpmRows(path, m_pieceWidth, m_pieceHeight, false, *this);
    case kFormatPsd:
    case kFormatPsb:
      return writePhotoshopRows(*this, path, m_pieceWidth, m_pieceHeight,
                                format.format == kFormatPsb, resolution);
    default:
      return false;
  }
}

bool JPGMosaicSave::writeVideoPiece(const std::string& base, const OutputFormat& format,
                                    unsigned resolution, std::uint32_t frameRate,
                                    std::vector<std::string>& paths) {
  // A renderer driven piece by piece without `savePieces` still reads clips through a cache.
  if (!m_clips) m_clips = std::make_unique<ClipStreamCache>();
  if (!m_stills) {
    m_stills = std::make_unique<StillCellCache>(blockBudgetBytes(m_job.settings.advanced));
  }
  if (format.format == kFormatVideoJpeg) {
    return writeVideoJpegFrames(*this, base, m_pieceWidth, m_pieceHeight, resolution, m_frameCount,
                                paths);
  }
  std::uint32_t fourcc = 0;
  if (format.format == kFormatAviCompressed) {
    const auto& row = m_job.settings.advanced.row(static_cast<std::size_t>(AdvancedRow::FourCC));
    fourcc = fourCCFromText(row.value.empty() ? row.factoryDefault : row.value);
  }
  return writeVideoAvi(base, *this, m_pieceWidth, m_pieceHeight, fourcc, m_frameCount, frameRate,
                       paths);
}

void JPGMosaicSave::startNextFrame() {
  rewindPiece();
  ++m_frameIndex;
  const std::uint64_t now = wallNs();
  if (m_frameIndex <= 1) m_firstFrameNs = now;
  const std::uint32_t done = m_frameIndex - 1;
  // Frames take about the same time each: the time left follows from the frames done.
  const std::uint64_t leftMs =
      done == 0 || m_frameIndex > m_frameCount
          ? 0
          : (now - m_firstFrameNs) / 1000000u * (m_frameCount - done) / done;
  const std::string left =
      done == 0
          ? std::string("--:--:--")
          : formatText(tr("%02d:%02d:%02d"), static_cast<int>(leftMs / 3600000),
                       static_cast<int>(leftMs / 60000 % 60), static_cast<int>(leftMs / 1000 % 60));
  m_job.setStatus(formatText(tr("Saving Video Frame %d/%d, %s left..."),
                             static_cast<int>(m_frameIndex), static_cast<int>(m_frameCount), left));
}

void JPGMosaicSave::rewindPiece() {
  m_bandY = 0;
  m_bandX = -static_cast<std::int64_t>(m_splitWidth);
  m_haveBand = false;
  m_rowInBand = 0;
}

const Pixel* JPGMosaicSave::nextRow() {
  if (m_job.stopRequested()) return nullptr;
  if (!m_haveBand || m_rowInBand >= m_band.height) {
    try {
      m_haveBand = renderBand();
    } catch (const std::bad_alloc&) {
      // A render job ran out of memory (its exception arrives through the group): the band is
      // incomplete and the writer abandons the file, leaving any older one as it was.
      m_jobs->cancel();
      showMessage(outOfMemoryText(m_band.width, m_band.height) + "!");
      m_haveBand = false;
    }
    if (!m_haveBand) return nullptr;
    m_rowInBand = 0;
  }
  return m_band.row(m_rowInBand++);
}

std::uint32_t JPGMosaicSave::bandHeight(std::uint32_t top, std::uint32_t rowsLeft) const {
  const std::uint32_t full = std::min(m_bandRows, rowsLeft);
  if (full == rowsLeft) return full;
  // A cell cut by the band's lower edge is prepared twice, once for each band; end the band
  // higher up, where no cell is cut, unless that would lose more than half of it.
  for (std::uint32_t rows = full; rows > full / 2; --rows) {
    const std::size_t line = std::size_t{top} + rows;
    if (line >= m_cellsAcross.size() || m_cellsAcross[line] == 0) return rows;
  }
  return full;
}

bool JPGMosaicSave::renderBand() {
  if (m_job.stopRequested()) return false;
  m_bandX += m_splitWidth;
  if (m_bandX >= m_pieceWidth) {
    m_bandY += m_band.height;
    m_bandX = 0;
  }
  if (m_bandX >= m_pieceWidth || m_bandY >= m_pieceHeight) return false;
  const ScopedTimer timer(m_statistics.bandNs, ScopedTimer::Wall);

  const auto bandW = static_cast<std::uint32_t>(
      std::min<std::int64_t>(m_splitWidth, std::int64_t{m_pieceWidth} - m_bandX));
  const std::uint32_t bandH = bandHeight(static_cast<std::uint32_t>(m_pieceY + m_bandY),
                                         static_cast<std::uint32_t>(m_pieceHeight - m_bandY));
  if (!m_band.empty() && std::uint64_t{bandW} * bandH <= m_bandCapacity) {
    // A band that fits the block reuses it: only the size changes.
    m_band.width = bandW;
    m_band.height = bandH;
  } else {
    // Room for the tallest band the piece can have, so that bands shortened to end between
    // cells do not make the next one allocate again.
    const auto rows = static_cast<std::uint32_t>(
        std::max<std::int64_t>(bandH, std::min<std::int64_t>(m_bandRows, m_pieceHeight - m_bandY)));
    if (!m_band.create(bandW, rows)) return false;
    m_bandCapacity = std::uint64_t{bandW} * rows;
    m_band.height = bandH;
  }
  m_band.fill(m_background);
  m_originX = m_pieceX + m_bandX;
  m_originY = m_pieceY + m_bandY;

  std::uint32_t skipped = 0;
  TileGroup group;
  for (PuzzleInfo* cell : m_cells) {
    if (m_job.stopRequested()) {
      m_jobs->cancel();
      return false;
    }
    if (cell == nullptr || cell->tile == nullptr ||
        !intersects(cell->shape, m_originX, m_originY, bandW, bandH)) {
      ++skipped;
      continue;
    }
    const std::uint32_t side = cellSide(*cell);
    if (group.tile != cell->tile || group.fitSize != side) {
      if (!group.cells.empty()) {
        m_jobs->submit(makeParallelJob(this, &JPGMosaicSave::renderTileGroup, std::move(group)));
      }
      group = TileGroup{cell->tile, {}, side};
    }
    group.cells.push_back(cell);
  }
  if (skipped != 0) m_job.addProgress(skipped);
  if (!group.cells.empty()) {
    m_jobs->submit(makeParallelJob(this, &JPGMosaicSave::renderTileGroup, std::move(group)));
  }
  m_jobs->waitIdle();
  // A stop during the band leaves it half composed: it is not handed out.
  return !m_job.stopRequested();
}

bool JPGMosaicSave::loadTile(const FotoInfo& tile, std::uint32_t fitSize, Foto& target) {
  const ScopedTimer timer(m_statistics.decodeNs);
  m_statistics.tileLoads.fetch_add(1, std::memory_order_relaxed);
  // Copies: render jobs never write the shared tile records.
  std::uint16_t frameCount = tile.frameCount;
  std::uint16_t frameRate = tile.frameRate;
  const TileSource source{tile.path, frameCount, frameRate};
  const std::uint32_t frame = std::max<std::uint32_t>(1, m_frameIndex);
  // The decoder picks the smallest of its scales that still covers the largest cell side, so
  // that every cell is cut from at least as many pixels as it shows; `loadSize` (twice the tile
  // side) is only the fallback when the cells give no size.
  const std::uint32_t fit = fitSize != 0 ? fitSize : m_loadSize;
  if (!loadTilePicture(source, target, fit, fit, frame, m_frameCount, nullptr, m_clips.get())) {
    return false;
  }
  if (m_greyTiles) (void)toGrey(target);
  return true;
}

void JPGMosaicSave::renderTileGroup(TileGroup& group) {
  if (m_job.stopRequested() || group.cells.empty() || group.tile == nullptr) return;
  // A still cell rendered in an earlier band or frame of a video save is pasted as it was; the
  // tile is decoded only for the cells that have no picture kept.
  if (m_stills && !group.tile->isClip()) {
    std::erase_if(group.cells, [this](PuzzleInfo* cell) {
      const std::shared_ptr<const Foto> kept = m_stills->find(cell);
      if (!kept) return false;
      m_job.addProgress(1);
      pasteCell(*cell, *kept);
      return true;
    });
    if (group.cells.empty()) return;
  }
  auto image = std::make_shared<Foto>();
  std::shared_ptr<const Foto> loaded;
  // A failed load leaves the group's cells in the background colour; the loader counted it.
  if (loadTile(*group.tile, group.fitSize, *image)) loaded = std::move(image);
  if (!loaded) {
    m_job.addProgress(static_cast<std::uint32_t>(group.cells.size()));
    return;
  }
  // Every cell but the last goes to the pool; the last is rendered right here. The picture is
  // released by whichever cell job finishes last.
  for (std::size_t i = 0; i + 1 < group.cells.size(); ++i) {
    if (m_job.stopRequested()) return;
    m_jobs->submit(
        makeParallelJob(this, &JPGMosaicSave::renderCell, CellJob{group.cells[i], loaded}));
  }
  CellJob last{group.cells.back(), std::move(loaded)};
  renderCell(last);
}

void JPGMosaicSave::renderCell(CellJob& job) {
  if (m_job.stopRequested()) return;
  m_job.addProgress(1);
  PuzzleInfo& cell = *job.cell;
  if (!job.image) {
    auto image = std::make_shared<Foto>();
    const auto side =
        static_cast<std::uint32_t>(std::max(0, std::max(cell.shape.width, cell.shape.height)));
    if (!loadTile(*cell.tile, side, *image)) return;
    job.image = std::move(image);
  }
  const FotoMask& shape = cell.shape;
  if (shape.width <= 0 || shape.height <= 0) return;
  std::unique_ptr<Foto> picture;
  {
    const ScopedTimer timer(m_statistics.prepareNs);
    picture = prepareCellImage(*job.image, cell.signature, cell.tile->signature, &cell.render,
                               static_cast<std::uint32_t>(shape.width),
                               static_cast<std::uint32_t>(shape.height), m_comparison);
    job.image.reset();
    if (!picture) return;
    if (shape.hasBitmap() && !applyMask(*picture, shape)) return;
  }
  if (m_job.stopRequested()) return;
  if (m_stills && !cell.tile->isClip()) {
    std::shared_ptr<const Foto> kept(std::move(picture));
    (void)m_stills->keep(&cell, kept);
    pasteCell(cell, *kept);
    return;
  }
  pasteCell(cell, *picture);
}

void JPGMosaicSave::pasteCell(const PuzzleInfo& cell, const Foto& picture) {
  saveIndividualTile(cell, picture);

  const ScopedTimer timer(m_statistics.pasteNs);
  const FotoMask& shape = cell.shape;
  const unsigned mode = shape.hasBitmap() ? kPasteBlend : kPasteCopy;
  std::lock_guard<std::mutex> lock(m_pasteLock);
  (void)paste(picture, m_band, shape.left - m_originX, shape.top - m_originY, mode);
}

void JPGMosaicSave::saveIndividualTile(const PuzzleInfo& cell, const Foto& image) {
  if (m_tilesFolder.empty() || m_tileSaveErrors.load() != 0 || m_frameIndex > 1) return;
  // A cell that spans several bands or pieces is written once: by the band that holds the
  // first pixel of its box.
  const std::int64_t firstX = std::max<std::int64_t>(0, cell.shape.left);
  const std::int64_t firstY = std::max<std::int64_t>(0, cell.shape.top);
  if (firstX < m_originX || firstX >= m_originX + m_band.width || firstY < m_originY ||
      firstY >= m_originY + m_band.height) {
    return;
  }
  const ScopedTimer timer(m_statistics.tileFilesNs);
  const long format = m_format.format;
  bool written = false;
  if (format == kFormatJpeg) {
    written = writeJpegImage(
        individualTileName(m_tilesFolder, cell.shape.left, cell.shape.top, cell.tile->path, ".jpg"),
        image, m_format.quality, m_resolution);
  } else if (format == kFormatBmp) {
    written = writeBmpImage(image, individualTileName(m_tilesFolder, cell.shape.left,
                                                      cell.shape.top, cell.tile->path, ".bmp"));
  } else if (format == kFormatTiff || format == kFormatPpm || format == kFormatRaw ||
             format == kFormatPsd || format == kFormatPsb || format == kFormatTiffJpeg) {
    written = writePhotoshopImage(
        image,
        individualTileName(m_tilesFolder, cell.shape.left, cell.shape.top, cell.tile->path, ".psd"),
        m_resolution);
  }
  if (!written) m_tileSaveErrors.fetch_add(1);
}

}  // namespace tg
