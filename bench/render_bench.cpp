// SPDX-License-Identifier: GPL-3.0-or-later
// End-to-end speed and memory of the banded renderer on real photographs.
//
//   render_bench                 a mosaic of about 100 MP (116 x 87 cells of 100 pixels) from the
//                                tiles of TG_RENDER_CORPUS, written as JPEG and as PPM; then a
//                                mosaic of about 1 gigapixel written as RAW, and one of 40,020
//                                cells (0.999 gigapixels) written as JPEG-in-BigTIFF next to its
//                                floor: decoding the tile pictures the bands need, scaling and
//                                colouring the cells and encoding the same pixels, alone
//   render_bench --cell-costs    the cost of one cell's preparation, step by step
//   render_bench --samples DIR   one small mosaic in every picture format into DIR (and one JPEG
//                                wider than 16,384 pixels), for bench/check_outputs.sh
//
// Environment: TG_RENDER_CORPUS  folder of JPEG photographs (e.g. the tiles folder made by
//                                ../shared/tools/peer_corpus.sh 1000 OUT); required for the runs
//              TG_RENDER_TILES   how many of them to use (default 300)
//              TG_RENDER_OUT     folder for the outputs (default: a temporary folder, removed)
//              TG_RENDER_SKIP_GP set to skip the gigapixel runs
//              TG_RENDER_SKIP_100MP set to skip the 100 MP runs
//              TG_RENDER_SKIP_RAW set to skip the 1 GP RAW run
//
// Every run prints its wall time and CPU time, how the CPU time divides into decoding the tiles,
// preparing cells (crop, scale, turn, colour change), pasting and the writer (packing, encoding,
// writing), and the peak resident memory of the run next to the band budget
// (Options.MemoryBlockSizeMB = 200, i.e. 200 MB of band pixels). CPU times are thread CPU times,
// so that other programs on a shared machine do not inflate them; wall times are not.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/comparison_settings.h"
#include "geometry/puzzle_info.h"
#include "imaging/foto.h"
#include "imaging/image_file.h"
#include "imaging/image_signature.h"
#include "job/mosaic_job.h"
#include "job/mosaic_settings.h"
#include "output/cell_image.h"
#include "output/jpeg_writer.h"
#include "output/jpg_mosaic_save.h"
#include "output/tiff_writer.h"
#include "parallel/worker_settings.h"
#include "tiles/foto_info.h"
#include "video/tile_picture.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// User and system CPU time of the whole process so far, in seconds.
double processCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The peak resident set of the process since the last reset, in megabytes.
double peakResidentMB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::strtod(line.c_str() + 6, nullptr) / 1024.0;
  }
  return 0;
}

// Starts a new peak measurement (Linux: "5" resets the peak resident set).
void resetPeak() {
  std::ofstream refs("/proc/self/clear_refs");
  refs << "5";
}

double currentResidentMB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return std::strtod(line.c_str() + 6, nullptr) / 1024.0;
  }
  return 0;
}

std::deque<tg::FotoInfo> loadTiles(const std::string& folder, std::size_t count) {
  std::vector<std::string> paths;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    const std::string ext = entry.path().extension().string();
    if (entry.is_regular_file() && (ext == ".jpg" || ext == ".jpeg" || ext == ".JPG")) {
      paths.push_back(entry.path().string());
    }
  }
  std::sort(paths.begin(), paths.end());
  if (paths.size() > count) paths.resize(count);
  std::deque<tg::FotoInfo> tiles;
  for (const std::string& path : paths) {
    tg::Foto image;
    if (!tg::loadImageFile(image, path, 48, 48, false)) continue;
    tg::FotoInfo& tile = tiles.emplace_back();
    tile.path = path;
    if (!tg::buildSignature(image, true, tile.signature)) tiles.pop_back();
  }
  return tiles;
}

struct Mosaic {
  std::vector<std::unique_ptr<tg::PuzzleInfo>> store;
  std::vector<tg::PuzzleInfo*> cells;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t tileSize = 0;
};

// columns x rows square cells of `tileSize` with a 0-pixel border, each with a tile picked at
// random and the signature of another random tile as "the main image under it", so that variant
// choice, colour shift and blend all have work to do.
Mosaic makeMosaic(std::deque<tg::FotoInfo>& tiles, std::uint32_t columns, std::uint32_t rows,
                  std::uint32_t tileSize) {
  Mosaic mosaic;
  mosaic.width = columns * tileSize;
  mosaic.height = rows * tileSize;
  mosaic.tileSize = tileSize;
  std::mt19937 random(7);
  std::uniform_int_distribution<std::size_t> pick(0, tiles.size() - 1);
  for (std::uint32_t r = 0; r < rows; ++r) {
    for (std::uint32_t c = 0; c < columns; ++c) {
      auto cell = std::make_unique<tg::PuzzleInfo>();
      cell->shape.setBox(static_cast<std::int32_t>(r * tileSize),
                         static_cast<std::int32_t>(c * tileSize),
                         static_cast<std::int32_t>(tileSize), static_cast<std::int32_t>(tileSize));
      cell->active = 1;
      cell->tile = &tiles[pick(random)];
      cell->signature = tiles[pick(random)].signature;
      mosaic.cells.push_back(cell.get());
      mosaic.store.push_back(std::move(cell));
    }
  }
  return mosaic;
}

tg::ComparisonSettings renderComparison() {
  // What "balanced" colour change at 30 % gives.
  tg::ComparisonSettings comparison;
  comparison.setShiftLimit(38);
  comparison.blendStrength = 38;
  return comparison;
}

bool runOnce(const char* label, Mosaic& mosaic, long format, const std::string& base,
             std::uint32_t threads, bool tiff64 = false) {
  tg::MosaicJob job;
  job.settings.advanced.setRowValue(tg::AdvancedRow::MemoryBlockSizeMB, "200");
  const tg::ComparisonSettings comparison = renderComparison();
  tg::resetTileLoadFailures();
  const double before = currentResidentMB();
  resetPeak();
  const double cpuStart = processCpuSeconds();
  const auto start = Clock::now();
  bool ok = false;
  tg::RenderStatistics copy;
  std::uint32_t bandRows = 0;
  {
    tg::JPGMosaicSave save(job, mosaic.cells, comparison, tg::makePixel(0, 0, 0));
    save.startWorkers(threads > 1 ? threads - 1 : 0, tg::kPriorityNormal);
    tg::SavePiecesRequest request;
    request.base = base;
    request.format.format = format;
    request.format.tiff64 = tiff64;
    request.format.quality = 95;
    request.width = mosaic.width;
    request.height = mosaic.height;
    request.resolution = 300;
    request.loadSize = 2 * mosaic.tileSize;
    std::vector<tg::SavedPiece> pieces;
    ok = save.savePieces(request, pieces);
    const tg::RenderStatistics& s = save.statistics();
    copy.decodeNs = s.decodeNs.load();
    copy.prepareNs = s.prepareNs.load();
    copy.pasteNs = s.pasteNs.load();
    copy.tileLoads = s.tileLoads.load();
    bandRows = save.bandRows();
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  const double cpu = processCpuSeconds() - cpuStart;
  const double peak = peakResidentMB();
  const double decode = copy.decodeNs.load() / 1e9;
  const double prepare = copy.prepareNs.load() / 1e9;
  const double paste = copy.pasteNs.load() / 1e9;
  // Whatever CPU time the render jobs did not use went to the writer: packing, encoding, I/O.
  const double writer = std::max(0.0, cpu - decode - prepare - paste);
  const double megapixels = static_cast<double>(mosaic.width) * mosaic.height / 1e6;
  std::printf(
      "%-10s %6.1f MP %6zu cells %2u threads: %s in %7.2f s wall (%6.1f MP/s), %.2f s CPU\n"
      "           CPU: decoding tiles %.2f s (%.0f %%), preparing cells %.2f s (%.0f %%: crop, "
      "scale, turn, colour), pasting %.2f s (%.0f %%), encoding and writing %.2f s (%.0f %%)\n"
      "           bands of %u rows (%.0f MB); peak resident %.0f MB, of which %.0f MB before the "
      "save; %llu tile pictures decoded, tile load failures %u\n",
      label, megapixels, mosaic.cells.size(), threads, ok ? "saved" : "FAILED", seconds,
      megapixels / seconds, cpu, decode, 100 * decode / cpu, prepare, 100 * prepare / cpu, paste,
      100 * paste / cpu, writer, 100 * writer / cpu, bandRows,
      static_cast<double>(bandRows) * mosaic.width * 4 / 1e6, peak, before,
      static_cast<unsigned long long>(copy.tileLoads.load()), tg::tileLoadFailures());
  std::fflush(stdout);
  return ok;
}

// The rows of one band of pictures, over and over: what an encoder is handed, without the
// rendering behind it.
class RepeatedRows final : public tg::RowSource {
 public:
  explicit RepeatedRows(const tg::Foto& band) : m_band(band) {}
  const tg::Pixel* nextRow() override {
    const tg::Pixel* row = m_band.row(m_next);
    m_next = (m_next + 1) % m_band.height;
    return row;
  }

 private:
  const tg::Foto& m_band;
  std::uint32_t m_next = 0;
};

// How many tile pictures the renderer must decode: one per tile and cell size in every band of
// `bandRows` rows that holds a cell showing it (cells of one tile share one decoded picture per
// band).
std::size_t decodesNeeded(const Mosaic& mosaic, std::uint32_t bandRows) {
  std::size_t decodes = 0;
  for (std::uint32_t top = 0; top < mosaic.height; top += bandRows) {
    std::set<std::pair<const tg::FotoInfo*, std::int32_t>> seen;
    for (const tg::PuzzleInfo* cell : mosaic.cells) {
      const std::int64_t cellTop = cell->shape.top;
      if (cellTop < std::int64_t{top} + bandRows && top < cellTop + cell->shape.height) {
        seen.emplace(cell->tile, std::max(cell->shape.width, cell->shape.height));
      }
    }
    decodes += seen.size();
  }
  return decodes;
}

// The least work behind the mosaic's pixels, on one thread: the tile pictures the renderer must
// decode (one per tile, size and band, at the size the renderer asks for), every cell scaled
// and coloured from its tile (both measured on the first `sample` cells and counted for all),
// and the whole picture encoded as a JPEG-in-BigTIFF from a band of those cells repeated. Prints
// the parts and returns their sum in CPU seconds.
double floorSeconds(const Mosaic& mosaic, const std::string& base, std::size_t sample) {
  const tg::ComparisonSettings comparison = renderComparison();
  const std::size_t cells = std::min(sample, mosaic.cells.size());
  tg::Foto band;
  const std::uint32_t side = mosaic.tileSize;
  if (!band.create(mosaic.width, side)) return 0;
  band.fill(tg::makePixel(0, 0, 0));
  double decodeSeconds = 0;
  double prepareSeconds = 0;
  for (std::size_t i = 0; i < cells; ++i) {
    const tg::PuzzleInfo& cell = *mosaic.cells[i];
    tg::Foto picture;
    std::uint16_t frameCount = cell.tile->frameCount;
    std::uint16_t frameRate = cell.tile->frameRate;
    const tg::TileSource source{cell.tile->path, frameCount, frameRate};
    double start = processCpuSeconds();
    const bool loaded = tg::loadTilePicture(source, picture, side, side, 1, 0);
    decodeSeconds += processCpuSeconds() - start;
    if (!loaded) continue;
    start = processCpuSeconds();
    auto prepared = tg::prepareCellImage(picture, cell.signature, cell.tile->signature, nullptr,
                                         side, side, comparison);
    prepareSeconds += processCpuSeconds() - start;
    if (prepared && cell.shape.top == 0) {
      (void)tg::paste(*prepared, band, cell.shape.left, 0, tg::kPasteCopy);
    }
  }
  const std::size_t decodes = decodesNeeded(mosaic, tg::bandRowsForBudget(200, mosaic.width));
  const double perDecode = decodeSeconds / static_cast<double>(cells);
  const double perCell = prepareSeconds / static_cast<double>(cells);
  const double cellsSeconds =
      perDecode * static_cast<double>(decodes) + perCell * static_cast<double>(mosaic.cells.size());
  const double start = processCpuSeconds();
  RepeatedRows rows(band);
  tg::OutputFormat format;
  format.format = tg::kFormatTiffJpeg;
  format.quality = 95;
  format.tiff64 = true;
  const bool ok =
      tg::writeTiffRows(base + ".tif", format, 3, mosaic.width, mosaic.height, 300, rows);
  const double encodeSeconds = processCpuSeconds() - start;
  std::error_code ignored;
  fs::remove(base + ".tif", ignored);
  std::printf(
      "floor      decoding %zu tile pictures (%.3f ms each; one per tile and band): %.2f s; "
      "scaling and colouring %zu cells (%.3f ms each): %.2f s; encoding %.1f MP as "
      "JPEG-in-BigTIFF: %.2f s%s; floor %.2f s CPU\n",
      decodes, 1000 * perDecode, perDecode * static_cast<double>(decodes), mosaic.cells.size(),
      1000 * perCell, perCell * static_cast<double>(mosaic.cells.size()),
      static_cast<double>(mosaic.width) * mosaic.height / 1e6, encodeSeconds, ok ? "" : " (FAILED)",
      cellsSeconds + encodeSeconds);
  std::fflush(stdout);
  return ok ? cellsSeconds + encodeSeconds : 0;
}

// Small synthetic tiles for the sample outputs (no corpus needed).
std::deque<tg::FotoInfo> syntheticTiles(const std::string& folder) {
  std::deque<tg::FotoInfo> tiles;
  fs::create_directories(folder);
  for (int i = 0; i < 6; ++i) {
    tg::Foto image;
    if (!image.create(120, 90)) break;
    for (std::uint32_t y = 0; y < 90; ++y) {
      for (std::uint32_t x = 0; x < 120; ++x) {
        image.at(x, y) = tg::makePixel(40 * i + x, 2 * y, 255 - 40 * i);
      }
    }
    tg::FotoInfo& tile = tiles.emplace_back();
    tile.path = folder + "/tile" + std::to_string(i) + ".jpg";
    if (!tg::writeJpegImage(tile.path, image, 90, 0) ||
        !tg::buildSignature(image, true, tile.signature)) {
      tiles.pop_back();
    }
  }
  return tiles;
}

int writeSamples(const std::string& folder) {
  std::deque<tg::FotoInfo> tiles = syntheticTiles(folder + "/tiles");
  if (tiles.empty()) return 1;
  Mosaic small = makeMosaic(tiles, 12, 9, 40);
  const struct {
    long format;
    bool transparency;
    bool tiff64;
    const char* name;
  } formats[] = {
      {tg::kFormatJpeg, false, false, "sample-jpeg"},
      {tg::kFormatBmp, false, false, "sample-bmp"},
      {tg::kFormatTiff, false, false, "sample-tiff"},
      {tg::kFormatTiff, true, false, "sample-tiff-alpha"},
      {tg::kFormatTiff, false, true, "sample-bigtiff"},
      {tg::kFormatTiffJpeg, false, false, "sample-tiff-jpeg"},
      {tg::kFormatPpm, false, false, "sample-ppm"},
      {tg::kFormatPsd, false, false, "sample-psd"},
      {tg::kFormatPsb, false, false, "sample-psb"},
  };
  tg::MosaicJob job;
  const tg::ComparisonSettings comparison = renderComparison();
  int failures = 0;
  auto save = [&](Mosaic& mosaic, long format, bool transparency, bool tiff64,
                  const std::string& base) {
    tg::JPGMosaicSave renderer(job, mosaic.cells, comparison, tg::makePixel(0, 0, 0));
    renderer.startWorkers(1, tg::kPriorityNormal);
    tg::SavePiecesRequest request;
    request.base = base;
    request.format.format = format;
    request.format.transparency = transparency;
    request.format.tiff64 = tiff64;
    request.width = mosaic.width;
    request.height = mosaic.height;
    request.resolution = 150;
    request.loadSize = 2 * mosaic.tileSize;
    std::vector<tg::SavedPiece> pieces;
    if (!renderer.savePieces(request, pieces)) ++failures;
  };
  for (const auto& f : formats)
    save(small, f.format, f.transparency, f.tiff64, folder + "/" + f.name);
  // Wider than ImageMagick's default policy allows.
  Mosaic wide = makeMosaic(tiles, 520, 2, 40);
  save(wide, tg::kFormatJpeg, false, false, folder + "/sample-wide");
  save(wide, tg::kFormatPsb, false, false, folder + "/sample-wide");
  return failures == 0 ? 0 : 1;
}

// The cost of one cell's preparation split into its steps: the crop and scale alone, then with
// the colour shift, then with the blend, for cells of 100 and 400 pixels from a 640 x 480 photo.
void cellCosts() {
  tg::Foto photo;
  if (!photo.create(640, 480)) return;
  for (std::uint32_t y = 0; y < 480; ++y)
    for (std::uint32_t x = 0; x < 640; ++x) photo.at(x, y) = tg::makePixel(x, y, x ^ y);
  tg::ImageSignature tileSig;
  tg::ImageSignature cellSig;
  if (!tg::buildSignature(photo, true, tileSig)) return;
  cellSig = tileSig;
  cellSig.values[0] = tg::makePixel(200, 40, 90);
  for (const std::uint32_t side : {100u, 400u}) {
    double previous = 0;
    for (int step = 0; step < 3; ++step) {
      tg::ComparisonSettings c;
      c.setShiftLimit(step >= 1 ? 38 : 0);
      c.blendStrength = step >= 2 ? 38 : 0;
      const int rounds = side == 100 ? 400 : 40;
      const auto start = Clock::now();
      for (int i = 0; i < rounds; ++i) {
        auto cell = tg::prepareCellImage(photo, cellSig, tileSig, nullptr, side, side, c);
        if (!cell) return;
      }
      const double ms =
          std::chrono::duration<double, std::milli>(Clock::now() - start).count() / rounds;
      const char* names[] = {"crop, scale, turn", "+ colour shift", "+ blend"};
      std::printf("cell %3u px: %-18s %7.3f ms (step %+.3f ms)\n", side, names[step], ms,
                  ms - previous);
      previous = ms;
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--samples") return writeSamples(argv[2]);
  if (argc == 2 && std::string(argv[1]) == "--cell-costs") {
    cellCosts();
    return 0;
  }
  const char* corpus = std::getenv("TG_RENDER_CORPUS");
  if (corpus == nullptr || !fs::is_directory(corpus)) {
    std::fprintf(stderr, "render_bench: set TG_RENDER_CORPUS to a folder of JPEG photographs\n");
    return 2;
  }
  const char* countText = std::getenv("TG_RENDER_TILES");
  const std::size_t count = countText != nullptr ? std::strtoul(countText, nullptr, 10) : 300;
  std::deque<tg::FotoInfo> tiles = loadTiles(corpus, count == 0 ? 300 : count);
  if (tiles.empty()) {
    std::fprintf(stderr, "render_bench: no photograph could be loaded from %s\n", corpus);
    return 2;
  }
  const char* outText = std::getenv("TG_RENDER_OUT");
  const bool temporary = outText == nullptr;
  const fs::path out =
      temporary ? fs::temp_directory_path() / "tg-render-bench" : fs::path(outText);
  fs::create_directories(out);
  const std::uint32_t threads = std::max(1u, tg::systemProcessorCount());
  std::printf("%zu tiles from %s, %u threads\n", tiles.size(), corpus, threads);

  bool ok = true;
  if (std::getenv("TG_RENDER_SKIP_100MP") == nullptr) {
    Mosaic mosaic = makeMosaic(tiles, 116, 87, 100);
    ok = runOnce("JPEG", mosaic, tg::kFormatJpeg, (out / "bench-100mp").string(), threads) && ok;
    ok = runOnce("PPM", mosaic, tg::kFormatPpm, (out / "bench-100mp").string(), threads) && ok;
    ok = runOnce("JPEG 1 thr", mosaic, tg::kFormatJpeg, (out / "bench-100mp-1").string(), 1) && ok;
  }
  if (std::getenv("TG_RENDER_SKIP_GP") == nullptr) {
    // 36,000 x 27,600 pixels: 0.99 gigapixels in 90 x 69 cells of 400 pixels.
    Mosaic mosaic = makeMosaic(tiles, 90, 69, 400);
    const std::string base = (out / "bench-1gp").string();
    if (std::getenv("TG_RENDER_SKIP_RAW") == nullptr) {
      ok = runOnce("RAW 1 GP", mosaic, tg::kFormatRaw, base, threads) && ok;
    }
    std::error_code ignored;
    fs::remove(base + ".raw", ignored);
  }
  if (std::getenv("TG_RENDER_SKIP_GP") == nullptr) {
    // 36,340 x 27,492 pixels: 0.999 gigapixels in 230 x 174 = 40,020 cells of 158 pixels.
    Mosaic mosaic = makeMosaic(tiles, 230, 174, 158);
    const std::string base = (out / "bench-1gp-tiff").string();
    ok = runOnce("TIFF-JPEG 1 GP", mosaic, tg::kFormatTiffJpeg, base, threads, true) && ok;
    std::error_code ignored;
    fs::remove(base + ".tif", ignored);
    ok = floorSeconds(mosaic, (out / "bench-floor").string(), 2000) > 0 && ok;
  }
  if (temporary) {
    std::error_code ignored;
    fs::remove_all(out, ignored);
  }
  return ok ? 0 : 1;
}
