// SPDX-License-Identifier: GPL-3.0-or-later
// Laying out a grid of a million cells, and cutting the cells out of a 10,000 x 10,000 mask with
// a few thousand regions (time, and the peak memory of the process while the cells are built).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <fstream>
#include <string>

#include "geometry/cell_grid.h"
#include "geometry/mask_cells.h"
#include "geometry/mosaic_geometry.h"
#include "imaging/foto.h"

namespace {

/// The process's resident-set high-water mark in MB, from /proc/self/status.
double peakResidentMb() {
  std::ifstream status("/proc/self/status");
  std::string key;
  while (status >> key) {
    if (key == "VmHWM:") {
      double kb = 0;
      status >> kb;
      return kb / 1024.0;
    }
  }
  return 0;
}

/// Starts a new high-water mark at the present resident size.
void resetPeakResident() { std::ofstream("/proc/self/clear_refs") << "5"; }

void gridOfAMillionCells(benchmark::State& state) {
  tg::MosaicGeometry g;
  g.mosaicWidth = 100000;
  g.mosaicHeight = 100000;
  g.tileWidth = g.tileHeight = 98;
  g.border = 2;
  g.columns = g.rows = 1000;
  g.tileCount = 1000000;
  const long pattern = state.range(0);
  for (auto _ : state) {
    tg::CellGrid grid;
    if (!tg::buildCellGrid(grid, pattern, g, 1)) state.SkipWithError("no grid");
    benchmark::DoNotOptimize(grid.cells.data());
    state.PauseTiming();
    grid.clear(true);
    state.ResumeTiming();
  }
  state.counters["cells"] = g.tileCount;
}
BENCHMARK(gridOfAMillionCells)->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond);

/// A `side` x `side` mask of square regions of `cell` pixels, each its own colour, separated by
/// black lines 4 pixels wide.
bool drawMask(tg::Foto& mask, std::uint32_t side, std::uint32_t cell) {
  if (!mask.createQuiet(side, side)) return false;
  for (std::uint32_t y = 0; y < side; ++y) {
    tg::Pixel* row = mask.row(y);
    const std::uint32_t cy = y / cell;
    for (std::uint32_t x = 0; x < side; ++x) {
      const std::uint32_t cx = x / cell;
      if (x % cell < 4 || y % cell < 4) {
        row[x] = tg::makePixel(0, 0, 0);
      } else {
        const std::uint32_t n = cx * 37 + cy * 91;
        row[x] = tg::makePixel(40 + n % 170, 40 + (n / 7) % 170, 40 + (n / 49) % 170);
      }
    }
  }
  return true;
}

void cellsFromALargeMask(benchmark::State& state) {
  const auto side = static_cast<std::uint32_t>(state.range(0));
  const std::uint32_t cell = 160;  // 62 x 62 = 3844 regions on 10,000 pixels
  double peak = 0;
  double maskMb = 0;
  std::size_t cells = 0;
  for (auto _ : state) {
    state.PauseTiming();
    tg::Foto mask;
    if (!drawMask(mask, side, cell)) {
      state.SkipWithError("no memory for the mask");
      break;
    }
    maskMb = static_cast<double>(mask.pixelCount()) * 4 / (1024.0 * 1024.0);
    tg::CellGrid grid;
    resetPeakResident();
    state.ResumeTiming();
    if (!tg::buildCellsFromMaskImage(grid, mask, 0, 0)) state.SkipWithError("no cells");
    state.PauseTiming();
    peak = peakResidentMb();
    cells = grid.size();
    grid.clear(true);
    state.ResumeTiming();
  }
  state.counters["cells"] = static_cast<double>(cells);
  state.counters["mask_MB"] = maskMb;
  state.counters["peak_MB"] = peak;
}
BENCHMARK(cellsFromALargeMask)->Arg(2000)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace

BENCHMARK_MAIN();
