// SPDX-License-Identifier: GPL-3.0-or-later
// Comparisons per second of the tile distance with the default settings: the plain loop
// (baseline), the fast form and the prepared cell, without a limit and with the limits a
// placement typically passes (the worst of a cell's best candidates). The last cases walk
// 2,000 and 80,000 tile signatures for 16 cells, one cell after the other (each cell reads every
// signature from memory again) and as one block of 16 cells (each signature is read once).
#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include <benchmark/benchmark.h>

#include "engine/comparison_settings.h"
#include "engine/tile_distance.h"
#include "imaging/foto.h"
#include "imaging/image_signature.h"
#include "job/mosaic_settings.h"
#include "tests/support/photo_signature.h"

namespace {

using namespace tg;

constexpr std::size_t kTiles = 2000;
constexpr std::size_t kCells = 16;
// Candidates a cell keeps; its worst kept score is the limit of the next comparisons.
constexpr std::size_t kKept = 10;

struct Fixture {
  ComparisonSettings settings;
  std::vector<ImageSignature> tiles;
  std::vector<ImageSignature> cells;
  std::vector<std::uint32_t> typicalLimit;  // per cell

  Fixture() {
    MosaicSettings defaults;
    loadDefaults(defaults.advanced);
    if (!configureComparison(defaults, kTiles, settings)) std::abort();
    std::mt19937 rng(7);
    for (std::size_t i = 0; i < kTiles; ++i) tiles.push_back(test::photoLikeSignature(rng));
    for (std::size_t i = 0; i < kCells; ++i) cells.push_back(test::photoLikeSignature(rng));
    for (const ImageSignature& cell : cells) {
      std::vector<std::uint32_t> all;
      for (const ImageSignature& tile : tiles)
        all.push_back(bestVariant(settings, kNoMatch, cell, tile));
      std::nth_element(all.begin(), all.begin() + kKept, all.end());
      typicalLimit.push_back(all[kKept]);
    }
  }

  static void loadDefaults(AdvancedSettings& advanced) {
    for (std::size_t i = 0; i < kAdvancedRowCount; ++i) {
      advanced.setRowValue(i, advanced.row(i).factoryDefault);
    }
  }
};

const Fixture& fixture() {
  static const Fixture f;
  return f;
}

enum class Form { Plain, Fast, Prepared, Blocked };

void compare(benchmark::State& state, Form form, bool typical) {
  const Fixture& f = fixture();
  std::vector<CellComparison> prepared;
  for (const ImageSignature& cell : f.cells) prepared.emplace_back(f.settings, cell);
  std::uint64_t sink = 0;
  for (auto _ : state) {
    for (std::size_t c = 0; c < kCells; ++c) {
      const std::uint32_t limit = typical ? f.typicalLimit[c] : kNoMatch;
      for (const ImageSignature& tile : f.tiles) {
        switch (form) {
          case Form::Plain:
            sink += bestVariantReference(f.settings, limit, f.cells[c], tile);
            break;
          case Form::Fast:
            sink += bestVariant(f.settings, limit, f.cells[c], tile);
            break;
          case Form::Prepared:
          case Form::Blocked:
            sink += prepared[c].bestVariant(limit, tile);
            break;
        }
      }
    }
  }
  benchmark::DoNotOptimize(sink);
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kCells * kTiles));
  state.counters["comparisons/s"] = benchmark::Counter(
      static_cast<double>(state.iterations() * kCells * kTiles), benchmark::Counter::kIsRate);
}

// Many tiles for one block of cells: `count` signatures (as many as the fixture's tiles,
// repeated), each cell with its typical limit.
void walk(benchmark::State& state, Form form, std::size_t count) {
  const Fixture& f = fixture();
  std::vector<ImageSignature> tiles;
  tiles.reserve(count);
  for (std::size_t i = 0; i < count; ++i) tiles.push_back(f.tiles[(i * 7919) % kTiles]);
  std::vector<CellComparison> prepared;
  for (const ImageSignature& cell : f.cells) prepared.emplace_back(f.settings, cell);
  std::vector<const CellComparison*> pointers;
  for (const CellComparison& c : prepared) pointers.push_back(&c);
  const CellBlock block(pointers);
  std::uint64_t sink = 0;
  std::vector<std::uint32_t> out(kCells);
  for (auto _ : state) {
    if (form == Form::Blocked) {
      for (const ImageSignature& tile : tiles) {
        block.distances(tile, f.typicalLimit.data(), out.data());
        for (const std::uint32_t d : out) sink += d;
      }
    } else {
      for (std::size_t c = 0; c < kCells; ++c) {
        for (const ImageSignature& tile : tiles)
          sink += prepared[c].distance(f.typicalLimit[c], tile);
      }
    }
  }
  benchmark::DoNotOptimize(sink);
  const auto done = static_cast<double>(state.iterations() * kCells * count);
  state.counters["comparisons/s"] = benchmark::Counter(done, benchmark::Counter::kIsRate);
}

BENCHMARK_CAPTURE(compare, plain_no_limit, Form::Plain, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(compare, fast_no_limit, Form::Fast, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(compare, prepared_no_limit, Form::Prepared, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(compare, plain_typical_limit, Form::Plain, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(compare, fast_typical_limit, Form::Fast, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(compare, prepared_typical_limit, Form::Prepared, true)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(walk, cell_by_cell_2000_tiles, Form::Prepared, 2000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(walk, block_of_16_2000_tiles, Form::Blocked, 2000)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(walk, cell_by_cell_80000_tiles, Form::Prepared, 80000)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(walk, block_of_16_80000_tiles, Form::Blocked, 80000)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
