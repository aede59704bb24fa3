// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/text_report.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <set>
#include <string>

#include "engine/comparison_settings.h"
#include "engine/matching_context.h"
#include "engine/tile_distance.h"
#include "geometry/cell_grid.h"
#include "geometry/puzzle_info.h"
#include "job/mosaic_job.h"
#include "job/mosaic_settings.h"
#include "output/report_file.h"
#include "output/report_grid.h"
#include "platform/catalogue.h"
#include "platform/text_format.h"
#include "platform/user_dialogs.h"
#include "tiles/foto_info.h"

namespace tg {

namespace {

constexpr const char* kByteOrderMark = "\xEF\xBB\xBF";

// The score statistics over the cells with a tile.
struct ScoreSummary {
  std::uint64_t sum = 0;
  long count = 0;
  std::uint32_t smallest = 0xFFFFFFFFu;
  std::uint32_t largest = 0;
  std::set<const FotoInfo*, std::less<>> distinct;
};

// A label for the summary: plain labels stay as they are, one with a comma or a quote becomes
// one quoted field so that it cannot shift the columns after it.
std::string summaryField(const std::string& text) { return csvField(text, false); }

std::string labelOf(const IntParameter& parameter) {
  IntParameter copy = parameter;  // displayLabel may append an entry; the caller's list stays.
  return summaryField(displayLabel(copy));
}

}  // namespace

std::string csvField(const std::string& text, bool alwaysQuote) {
  if (!alwaysQuote && text.find_first_of(",\"") == std::string::npos) return text;
  std::string quoted;
  quoted.reserve(text.size() + 2);
  quoted += '"';
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

double reportQuality(std::uint32_t score, std::uint32_t best, std::uint32_t worst) {
  if (worst == 0) worst = 1;
  if (best >= worst) return 100.0;
  const double factor = 100.0 / (static_cast<double>(worst) - static_cast<double>(best));
  const double quality = 100.0 - (static_cast<double>(score) - static_cast<double>(best)) * factor;
  return std::clamp(quality, 0.0, 100.0);
}

bool writeTextReport(const std::string& path, CellGrid& grid, const MosaicSettings& settings,
                     std::uint32_t mainWidth, std::uint32_t mainHeight, const std::string& maskFile,
                     const ComparisonSettings& comparison) {
  ReportFile file;
  if (!file.create(path)) return false;
  file.write(kByteOrderMark);

  const GridExtent extent = gridExtent(grid);

  ScoreSummary scores;
  long cellCount = 0;
  for (const auto& cell : grid.cells) {
    if (cell == nullptr) continue;
    ++cellCount;
    if (cell->tile == nullptr) continue;
    cell->score = rawDistance(comparison, *cell, *cell->tile);
    scores.sum += cell->score;
    ++scores.count;
    scores.smallest = std::min(scores.smallest, cell->score);
    scores.largest = std::max(scores.largest, cell->score);
    scores.distinct.insert(cell->tile);
  }
  if (scores.largest == 0) scores.largest = 1;
  if (scores.smallest >= scores.largest) scores.smallest = scores.largest;
  const std::uint32_t best = scores.smallest;
  const std::uint32_t worst = scores.largest;
  const auto average = static_cast<std::uint32_t>(
      scores.count > 0 ? scores.sum / static_cast<std::uint64_t>(scores.count) : scores.sum);

  std::string realSize;
  if (std::int64_t{grid.columns} != extent.width && std::int64_t{grid.rows} != extent.height) {
    realSize = formatText(tr("\r\nReal Mosaic Size (Width x Height in Pixels):,%ld,x,%ld"),
                          static_cast<long>(grid.columns), static_cast<long>(grid.rows));
    showMessage(
        tr("Warning: There is a mismatch between the reported Mosaic Size and the effective "
           "Mosaic Size. Please check the Text Report and sent it to the developer of "
           "Tesselograph."));
  }

  const AdvancedSettings& advanced = settings.advanced;
  file.write(
      formatText(tr("Main Image Size (Width x Height in Pixels):,%ld,x,%ld%s\r\n"
                    "Mosaic Size (Width x Height in Pixels):,%ld,x,%ld\r\n"
                    "Tiles with a image:,%d\r\n"
                    "Tiles without a image:,%d\r\n"
                    "Unique number of images used as tiles:,%ld\r\n"
                    "Average Tile Quality:,%.2lf%%,Score:,%u\r\n"
                    "Best Tile Quality:,%.2lf%%,Score:,%u\r\n"
                    "Worst Tile Quality:,%.2lf%%,Score:,%u\r\n"
                    "How much can I modify every tile:,%d%%\r\n"
                    "Minimum distance between duplicate tiles:,%d\r\n"
                    "Minimum distance between sequences:,%d\r\n"
                    "Algorithm:,%s\r\n"
                    "Pattern:,%s\r\n"
                    "Adapt Tile/Mosaic size:,%s\r\n"
                    "Multiple Tile Size 1/2:,%u%%\r\n"
                    "Multiple Tile Size 1/4:,%u%%\r\n"
                    "Tile Area Priority:,%s\r\n"
                    "Tile Size Priority:,%s\r\n"
                    "Tile Split:,%s\r\n"
                    "MaskFile:,%s\r\n"
                    "\r\n"
                    "Left,Top,Width,Height,Size KPixels,Image,ImageID/Sequence,Tile Quality,Tile "
                    "Priority,Score,Used Count\r\n"),
                 static_cast<long>(mainWidth), static_cast<long>(mainHeight), realSize,
                 static_cast<long>(extent.width), static_cast<long>(extent.height),
                 static_cast<int>(scores.count), static_cast<int>(cellCount - scores.count),
                 static_cast<long>(scores.distinct.size()), reportQuality(average, best, worst),
                 average, 100.0, best, 0.0, worst, static_cast<int>(settings.colorChange.value),
                 static_cast<int>(settings.duplicateSpacing.value),
                 static_cast<int>(settings.consecutiveFrames.value),
                 labelOf(settings.mosaicProcessing), labelOf(settings.pattern),
                 labelOf(settings.tileAdapt), static_cast<unsigned>(settings.multiSize2.value),
                 static_cast<unsigned>(settings.multiSize4.value),
                 summaryField(advanced.rowValue(AdvancedRow::TilePriorityArea)),
                 summaryField(advanced.rowValue(AdvancedRow::TilePrioritySize)),
                 summaryField(advanced.rowValue(AdvancedRow::TileSplit)), summaryField(maskFile)));

  const std::string cellLine = tr("%d,%d,%d,%d,%u%c,%s,%u,%.2lf%%,%.0lf%%,%u,%d\r\n");
  for (const auto& cell : grid.cells) {
    if (cell == nullptr) continue;
    const FotoMask& box = cell->shape;
    const auto kiloPixels =
        static_cast<unsigned>(std::int64_t{box.width} * std::int64_t{box.height} / 1000);
    const FotoInfo* tile = cell->tile;
    file.write(formatText(
        cellLine, static_cast<int>(box.left), static_cast<int>(box.top),
        static_cast<int>(box.width), static_cast<int>(box.height), kiloPixels,
        cellIsValid(*cell) ? ' ' : '!', tile != nullptr ? csvField(tile->path, true) : "-",
        tile != nullptr ? static_cast<unsigned>(tile->groupId) : 0u,
        tile != nullptr ? reportQuality(cell->score, best, worst) : 0.0,
        static_cast<double>(cell->weight) / 20.0 * 100.0, static_cast<unsigned>(cell->score),
        tile != nullptr ? static_cast<int>(tile->useCount) : 0));
  }

  file.write(tr("\r\nImage#,Image,Used Count\r\n"));
  const std::string tileLine = tr("%ld,%s,%ld\r\n");
  long number = 0;
  for (const FotoInfo* tile : scores.distinct) {
    file.write(formatText(tileLine, ++number, csvField(tile->path, true),
                          static_cast<long>(tile->useCount)));
  }
  return file.commit();
}

bool writeTextReport(const std::string& path, CellGrid& grid, const MosaicSettings& settings,
                     std::uint32_t mainWidth, std::uint32_t mainHeight,
                     const std::string& maskFile) {
  return writeTextReport(path, grid, settings, mainWidth, mainHeight, maskFile,
                         comparisonSettings());
}

bool writeTextReportStage(MatchingContext& context, const std::string& path) {
  const MosaicJob& job = context.job;
  return writeTextReport(path, context.grid, job.settings, job.mainImageWidth, job.mainImageHeight,
                         job.currentMaskFile, context.comparison);
}

}  // namespace tg
