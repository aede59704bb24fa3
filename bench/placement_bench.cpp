// SPDX-License-Identifier: GPL-3.0-or-later
// Tile placement on real photographs: High Quality with and without duplicates and spacing,
// Faster and the no-duplicates auction, on one thread and on every core, printing seconds, the
// case's own peak memory and the mean score.
//
//   TG_PLACEMENT_CORPUS=OUT placement_bench [largest-size-index|=size-index [name-filter]]
//
// OUT is a corpus of `peer_corpus.sh 1000 OUT`: the tiles come from OUT/tiles (analysed as the
// Tile Images window does); lists larger than the corpus are topped up with the signatures of
// cells of the main images in OUT/main, and the mosaic's cells are cells of OUT/main/main1.jpg.
// Sizes: 0 = 1,000 cells x 1,000 tiles, 1 = 10,000 x 10,000, 2 = 40,000 x 20,000, 3 = 7,500 x
// 10,000, 4 = 2,500 x 2,500, 5 = 10,000 x 5,000 (default 0); "=2" runs size 2 alone.
// With a name filter only the cases whose name contains it run ("Auction", "dup=1"); a filter
// starting with "=" names one case exactly ("=HighQuality dup=1"). TG_PLACEMENT_THREADS=N runs
// only the runs on N threads (1, or the number of cores). TG_AUCTION_METHOD=nearest or
// reference runs the no-duplicates case with that method instead of the automatic choice
// (=automatic: the automatic choice, with its counts printed);
// TG_AUCTION_ROW=N and TG_AUCTION_TABLE=BYTES set the price auction's first row length and the
// bytes its table of all distances may take (1: no table, the rows alone).
//
// Each case runs in a forked child so that its peak is its own: "peak" is the child's largest
// resident size (the corpus and grids it inherits included), "+N" how much of it the case added
// over what the child held when it started.

#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engine/cell_priorities.h"
#include "engine/comparison_settings.h"
#include "engine/improve_quality.h"
#include "engine/main_image_analysis.h"
#include "engine/matching_context.h"
#include "engine/place_tiles.h"
#include "engine/score_tile.h"
#include "geometry/cell_grid.h"
#include "imaging/foto.h"
#include "imaging/image_file.h"
#include "job/mosaic_job.h"
#include "parallel/worker_pool.h"
#include "parallel/worker_settings.h"
#include "tiles/tile_analyser.h"
#include "tiles/tile_analysis.h"
#include "tiles/tile_images_list.h"

namespace {

struct Size {
  int columns;
  int rows;
  std::size_t tiles;
};

// A grid of columns x rows square cells of 16 units over `image`, analysed.
bool buildGrid(const tg::Foto& image, int columns, int rows, tg::CellGrid& grid) {
  grid.clear();
  grid.columns = static_cast<std::uint32_t>(columns * 16);
  grid.rows = static_cast<std::uint32_t>(rows * 16);
  for (int y = 0; y < rows; ++y) {
    for (int x = 0; x < columns; ++x) {
      tg::PuzzleInfo& cell = grid.append();
      cell.shape.setBox(y * 16, x * 16, 16, 16);
      cell.active = 1;
      cell.weight = 20;
    }
  }
  return tg::analyzeMainImage(image, grid, true, false);
}

// The current resident size in kilobytes, 0 when /proc cannot be read.
long residentKilobytes() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0;
  long resident = 0;
  if (!(statm >> pages >> resident)) return 0;
  return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

// Runs `body` in a forked child, which writes its result line to a pipe; prints that line
// followed by the child's own peak. Returns false when the child could not run or failed.
template <typename Body>
bool runIsolated(Body body) {
  int channel[2];
  if (pipe(channel) != 0) return false;
  std::fflush(stdout);
  const pid_t child = fork();
  if (child < 0) {
    close(channel[0]);
    close(channel[1]);
    return false;
  }
  if (child == 0) {
    close(channel[0]);
    // What the child holds before the case runs: the pages it shares with the parent count
    // from here on, as the child touches them.
    const long before = residentKilobytes();
    const std::string result = body();
    const std::string line = result.empty() ? result : std::to_string(before) + "\n" + result;
    const char* data = line.data();
    std::size_t left = line.size();
    while (left > 0) {
      const ssize_t written = write(channel[1], data, left);
      if (written <= 0) _exit(3);
      data += written;
      left -= static_cast<std::size_t>(written);
    }
    close(channel[1]);
    _exit(line.empty() ? 2 : 0);
  }
  close(channel[1]);
  std::string line;
  char buffer[512];
  for (;;) {
    const ssize_t got = read(channel[0], buffer, sizeof buffer);
    if (got <= 0) break;
    line.append(buffer, static_cast<std::size_t>(got));
  }
  close(channel[0]);
  int status = 0;
  rusage usage{};
  if (wait4(child, &status, 0, &usage) != child) return false;
  bool ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  const std::size_t newline = line.find('\n');
  long before = 0;
  if (ok && newline != std::string::npos) {
    before = std::atol(line.c_str());
    line.erase(0, newline + 1);
  } else {
    ok = false;
  }
  // The processor time of the child: with other work on the machine, a case on n threads may
  // take longer than n times less, but it should not take more processor time.
  const double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  std::printf("%s  peak %6ld MB (+%ld)  cpu %.2f s\n", ok ? line.c_str() : "case failed to run",
              usage.ru_maxrss / 1024, std::max(0L, usage.ru_maxrss - before) / 1024, cpu);
  std::fflush(stdout);
  return ok;
}

struct Case {
  const char* name;
  long processing;
  long duplication;
  long spacing;
  const char* megabytes;  // Options.MemoryMaxSizeMB
};

}  // namespace

int main(int argc, char** argv) {
  const char* corpus = std::getenv("TG_PLACEMENT_CORPUS");
  if (corpus == nullptr) {
    std::fprintf(stderr, "set TG_PLACEMENT_CORPUS to a folder made by peer_corpus.sh\n");
    return 2;
  }
  // "N" runs sizes 0 to N, "=N" size N alone.
  const bool alone = argc > 1 && argv[1][0] == '=';
  const int largest = argc > 1 ? std::atoi(argv[1] + (alone ? 1 : 0)) : 0;
  const char* filter = argc > 2 ? argv[2] : nullptr;
  const char* threadChoice = std::getenv("TG_PLACEMENT_THREADS");
  const unsigned onlyThreads =
      threadChoice != nullptr ? static_cast<unsigned>(std::atoi(threadChoice)) : 0;
  bool failures = false;
  const std::filesystem::path root(corpus);
  const unsigned cores = std::max(1u, tg::systemProcessorCount());
  const char* methodChoice = std::getenv("TG_AUCTION_METHOD");
  const std::string method = methodChoice != nullptr ? methodChoice : "";

  tg::TileImagesList list;
  tg::addFolder(list, (root / "tiles").string(), tg::kIncludeList);
  {
    tg::WorkerPool pool;
    pool.setThreadCount(cores > 1 ? cores : 0, tg::kPriorityNormal);
    tg::TileAnalyser analyser(&pool);
    tg::buildTileCollection(list);
    analyser.prepare(list);
    while (analyser.runSlice(list)) {
    }
    analyser.stop();
  }
  std::vector<tg::ImageSignature> photos;
  for (const auto& [path, tile] : list.tiles) {
    if (tile.signature.valid != 0) photos.push_back(tile.signature);
  }
  // Signatures of regions of the three main images, for lists beyond the corpus.
  std::vector<tg::ImageSignature> regions;
  std::vector<std::unique_ptr<tg::Foto>> mains;
  for (const char* name : {"main1.jpg", "main2.jpg", "main3.jpg"}) {
    auto image = std::make_unique<tg::Foto>();
    if (!tg::loadImageFile(*image, (root / "main" / name).string(), 0, 0, false)) {
      std::fprintf(stderr, "cannot load %s\n", name);
      return 2;
    }
    tg::CellGrid grid;
    if (buildGrid(*image, 100, 75, grid)) {
      for (const auto& cell : grid.cells) regions.push_back(cell->signature);
    }
    mains.push_back(std::move(image));
  }
  std::printf("%zu analysed photographs, %zu region signatures, %u cores\n", photos.size(),
              regions.size(), cores);

  const Size sizes[] = {{40, 25, 1000},   {125, 80, 10000}, {250, 160, 20000},
                        {100, 75, 10000}, {50, 50, 2500},   {125, 80, 5000}};
  const Case cases[] = {
      {"HighQuality dup=0", tg::kProcessingHighQuality, 0, 0, "1000"},
      {"HighQuality dup=1", tg::kProcessingHighQuality, 1, 0, "1000"},
      {"HighQuality dup=0 spacing=5", tg::kProcessingHighQuality, 0, 5, "1000"},
      {"HighQuality dup=1 10MB", tg::kProcessingHighQuality, 1, 0, "10"},
      {"HighQuality dup=0 spacing=5 10MB", tg::kProcessingHighQuality, 0, 5, "10"},
      {"Faster dup=0", tg::kProcessingFaster, 0, 0, "1000"},
      {"Faster dup=1", tg::kProcessingFaster, 1, 0, "1000"},
      {"Auction", tg::kProcessingExperimental1, 1, 0, "1000"}};
  tg::ComparisonSettings comparison;
  for (int s = alone ? largest : 0; s <= largest && s < 6; ++s) {
    const Size& size = sizes[s];
    tg::TileImagesList tiles;
    for (std::size_t i = 0; i < size.tiles; ++i) {
      const std::string path = "/bench/tile" + std::to_string(100000 + i);
      tg::FotoInfo& tile = tiles.tiles[path];
      tile.path = path;
      tile.signature =
          i < photos.size() ? photos[i] : regions[(i - photos.size()) % regions.size()];
    }
    comparison.setShiftLimit(25);
    // The start-up comparison (priorities 1, 1, 1, default variants) at the detail level the
    // automatic choice takes for this many tiles.
    tg::setDetailWeights(comparison, tg::effectiveDetailLevel(1, size.tiles), -1);
    for (const Case& c : cases) {
      if (filter != nullptr && (filter[0] == '=' ? std::strcmp(c.name, filter + 1) != 0
                                                 : std::strstr(c.name, filter) == nullptr)) {
        continue;
      }
      for (const unsigned threads : {1u, cores}) {
        if (onlyThreads != 0 && threads != onlyThreads) continue;
        if (threads == cores && c.processing == tg::kProcessingFaster && threads != 1) {
          continue;  // Faster runs on the job thread alone
        }
        if (threads == cores && cores == 1) continue;
        const bool ran = runIsolated([&]() -> std::string {
          tg::MosaicJob job;
          job.threadCount = threads;
          // Worker threads at normal priority: at the product's default (lowest) a busy machine
          // leaves them next to no time and the figures would show the other load instead.
          job.workerPriority = tg::kPriorityNormal;
          job.settings.mosaicProcessing.set(c.processing);
          job.settings.tileDuplication.set(c.duplication);
          job.settings.duplicateSpacing.set(c.spacing);
          job.settings.consecutiveFrames.set(0);
          job.settings.advanced.setRowValue(tg::AdvancedRow::MemoryMaxSizeMB, c.megabytes);
          tg::CellGrid grid;
          if (!buildGrid(*mains[0], size.columns, size.rows, grid)) return {};
          tg::MatchingContext context(job, grid, tiles, comparison);
          if (!tg::initializeCells(context, true)) return {};
          const auto start = std::chrono::steady_clock::now();
          // High Quality directly, as the placement stage runs it, for its memory figures.
          const bool highQuality = c.processing == tg::kProcessingHighQuality;
          tg::HighQualityStats stats;
          tg::AuctionStats auctionStats;
          if (highQuality) context.exhaustedTiles.clear();
          bool placed = false;
          if (highQuality) {
            placed = tg::placeHighQuality(context, false, &stats);
          } else if (c.processing == tg::kProcessingExperimental1 && !method.empty()) {
            tg::AuctionOptions options;
            options.method = method == "reference" ? tg::AuctionMethod::Reference
                             : method == "nearest" ? tg::AuctionMethod::Nearest
                                                   : tg::AuctionMethod::Automatic;
            options.stats = &auctionStats;
            // Overrides for experiments: the first rows' length and the table's bytes.
            if (const char* row = std::getenv("TG_AUCTION_ROW")) {
              options.rowLength = std::strtoul(row, nullptr, 10);
            }
            if (const char* table = std::getenv("TG_AUCTION_TABLE")) {
              options.tableBytes = std::strtoul(table, nullptr, 10);
            }
            placed = tg::improveQuality(context, options);
          } else {
            placed = tg::placeTiles(context);
          }
          const double seconds =
              std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
          double sum = 0;
          std::size_t filled = 0;
          // A checksum of the placement (each cell's tile and score): equal checksums show that
          // two builds or thread counts placed alike.
          std::uint64_t checksum = 1469598103934665603ull;
          for (const auto& cell : grid.cells) {
            const std::uint64_t tile =
                cell->tile != nullptr ? std::hash<std::string>()(cell->tile->path) : 0;
            checksum = ((checksum ^ tile) * 1099511628211ull ^ cell->score) * 1099511628211ull;
            if (cell->tile == nullptr) continue;
            sum += cell->score;
            ++filled;
          }
          char line[512];
          std::snprintf(line, sizeof line,
                        "%6zu cells %6zu tiles  %-32s %u thr  %s %8.2f s  filled %zu"
                        "  mean score %.0f  checksum %016llx",
                        grid.cells.size(), size.tiles, c.name, threads, placed ? "ok  " : "FAIL",
                        seconds, filled, filled ? sum / static_cast<double>(filled) : 0.0,
                        static_cast<unsigned long long>(checksum));
          std::string text = line;
          if (highQuality) {
            // The candidate storage against the budget: candidates listed at most at once out
            // of the budget's room, and the bytes of lists, index and searches together.
            std::snprintf(line, sizeof line,
                          "  lists %llu of %llu (%.1f MB of %.1f MB budget) searches %llu jobs"
                          " %llu",
                          static_cast<unsigned long long>(stats.peakListed),
                          static_cast<unsigned long long>(stats.entries),
                          static_cast<double>(stats.peakBytes) / 1e6,
                          static_cast<double>(stats.entries) * 60 / 1e6,
                          static_cast<unsigned long long>(stats.rebuilds),
                          static_cast<unsigned long long>(stats.searchJobs));
            text += line;
          }
          if (auctionStats.rounds > 0 || auctionStats.rescanned > 0) {
            std::snprintf(line, sizeof line,
                          "  pairs %zu rounds %ld rescanned %zu added %zu compared %zu",
                          auctionStats.firstPairs, auctionStats.rounds, auctionStats.rescanned,
                          auctionStats.addedPairs, auctionStats.compared);
            text += line;
          }
          if (auctionStats.scanSeconds > 0) {
            std::snprintf(line, sizeof line, "  scan %.2f s auction %.2f s cpu",
                          auctionStats.scanSeconds, auctionStats.auctionSeconds);
            text += line;
          }
          return text;
        });
        if (!ran) failures = true;
      }
    }
  }
  return failures ? 1 : 0;
}
