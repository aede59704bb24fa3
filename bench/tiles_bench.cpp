// SPDX-License-Identifier: GPL-3.0-or-later
// Tile analysis on a folder of real photographs: the first analysis (every file decoded at 1/8
// scale and reduced to its signature), and the re-save of the unchanged list (no file decoded:
// one status query per tile), on one thread and on every processor, printed beside the bare
// libjpeg-turbo 1/8 decode of the same files.
//
// The photographs come from the environment, never from the repository:
//   TG_TILES_CORPUS=folder[:folder...]   folders of JPEG photographs (scanned recursively)
// e.g. the 1,000 tiles of `peer_corpus.sh 1000 OUT` (OUT/tiles) and a folder of 12 MP photographs.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <jpeglib.h>

#include "parallel/worker_pool.h"
#include "parallel/worker_settings.h"
#include "platform/paths.h"
#include "tiles/tile_analyser.h"
#include "tiles/tile_analysis.h"
#include "tiles/tile_images_list.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> corpusFolders() {
  std::vector<std::string> folders;
  const std::string value = tg::environmentValue("TG_TILES_CORPUS");
  std::size_t start = 0;
  while (start < value.size()) {
    std::size_t end = value.find(':', start);
    if (end == std::string::npos) end = value.size();
    if (end > start) folders.push_back(tg::withTrailingSeparator(value.substr(start, end - start)));
    start = end + 1;
  }
  return folders;
}

std::vector<std::string> corpusFiles() {
  std::vector<std::string> files;
  for (const std::string& folder : corpusFolders()) {
    std::error_code error;
    for (const auto& entry : fs::recursive_directory_iterator(folder, error)) {
      if (entry.is_regular_file() &&
          tg::hasExtensionFrom(entry.path().filename().string(), tg::kPictureExtensions)) {
        files.push_back(entry.path().string());
      }
    }
  }
  return files;
}

std::uint32_t threadsOf(const benchmark::State& state) {
  return state.range(0) == 0 ? std::max(1u, tg::systemProcessorCount())
                             : static_cast<std::uint32_t>(state.range(0));
}

void addCorpus(tg::TileImagesList& list) {
  for (const std::string& folder : corpusFolders()) tg::addFolder(list, folder, tg::kIncludeList);
}

/// Analyses `list` to the end the way the Tile Images window does: the pool gets the full thread
/// count (none for one thread: the caller does everything).
std::size_t analyse(tg::TileImagesList& list, tg::WorkerPool& pool, std::uint32_t threads) {
  pool.setThreadCount(threads > 1 ? threads : 0, tg::kPriorityNormal);
  tg::TileAnalyser analyser(&pool);
  tg::buildTileCollection(list);
  analyser.prepare(list);
  while (analyser.runSlice(list)) {
  }
  analyser.stop();
  pool.setThreadCount(0, tg::kPriorityNormal);
  return analyser.decodedCount();
}

void firstAnalysis(benchmark::State& state) {
  if (corpusFolders().empty()) return state.SkipWithError("set TG_TILES_CORPUS");
  const std::uint32_t threads = threadsOf(state);
  tg::WorkerPool pool;
  std::size_t decoded = 0;
  std::size_t tiles = 0;
  for (auto _ : state) {
    tg::TileImagesList list;
    addCorpus(list);
    decoded = analyse(list, pool, threads);
    tiles = list.tiles.size();
  }
  state.counters["threads"] = threads;
  state.counters["tiles"] = static_cast<double>(tiles);
  state.counters["decoded"] = static_cast<double>(decoded);
  state.counters["tiles/s"] =
      benchmark::Counter(static_cast<double>(tiles), benchmark::Counter::kIsIterationInvariantRate);
}

void resaveUnchanged(benchmark::State& state) {
  if (corpusFolders().empty()) return state.SkipWithError("set TG_TILES_CORPUS");
  const std::uint32_t threads = threadsOf(state);
  tg::WorkerPool pool;
  tg::TileImagesList list;
  addCorpus(list);
  analyse(list, pool, threads);
  const std::string path = (fs::temp_directory_path() / "tiles-bench-list.tg4").string();
  std::size_t decoded = 0;
  for (auto _ : state) {
    decoded = analyse(list, pool, threads);
    if (!tg::saveTileImagesList(path, list)) return state.SkipWithError("cannot save the list");
  }
  fs::remove(path);
  state.counters["threads"] = threads;
  state.counters["tiles"] = static_cast<double>(list.tiles.size());
  state.counters["decoded"] = static_cast<double>(decoded);
}

/// libjpeg-turbo alone: each file decoded at 1/8 scale into a row buffer, nothing else.
bool decodeEighth(const std::string& path, std::vector<JSAMPLE>& row) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  jpeg_decompress_struct cinfo{};
  jpeg_error_mgr jerr{};
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_decompress(&cinfo);
  jpeg_stdio_src(&cinfo, file);
  jpeg_read_header(&cinfo, TRUE);
  cinfo.scale_num = 1;
  cinfo.scale_denom = 8;
  cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&cinfo);
  row.resize(static_cast<std::size_t>(cinfo.output_width) * cinfo.output_components);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW rows[] = {row.data()};
    jpeg_read_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  std::fclose(file);
  return true;
}

void bareDecodeEighth(benchmark::State& state) {
  const std::vector<std::string> files = corpusFiles();
  if (files.empty()) return state.SkipWithError("set TG_TILES_CORPUS");
  const std::uint32_t threads = threadsOf(state);
  for (auto _ : state) {
    std::vector<std::thread> workers;
    for (std::uint32_t t = 0; t < threads; ++t) {
      workers.emplace_back([&files, t, threads] {
        std::vector<JSAMPLE> row;
        for (std::size_t i = t; i < files.size(); i += threads) {
          benchmark::DoNotOptimize(decodeEighth(files[i], row));
        }
      });
    }
    for (std::thread& worker : workers) worker.join();
  }
  state.counters["threads"] = threads;
  state.counters["tiles"] = static_cast<double>(files.size());
  state.counters["tiles/s"] = benchmark::Counter(static_cast<double>(files.size()),
                                                 benchmark::Counter::kIsIterationInvariantRate);
}

// Argument: threads (0 = every processor).
BENCHMARK(firstAnalysis)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(bareDecodeEighth)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(resaveUnchanged)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
