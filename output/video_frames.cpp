// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/video_frames.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <map>
#include <string>

#include "config/advanced_settings.h"
#include "geometry/puzzle_info.h"
#include "tiles/foto_info.h"

namespace tg {

namespace {

// The setting text without asterisks and blanks, in upper case.
std::string prepared(const std::string& text) {
  std::string out;
  for (const char c : text) {
    if (c == '*' || std::isspace(static_cast<unsigned char>(c)) != 0) continue;
    out.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
  }
  return out;
}

struct ClipStatistics {
  std::uint64_t cells = 0;
  std::uint64_t sumCount = 0;
  std::uint32_t minCount = UINT32_MAX;
  std::uint32_t maxCount = 0;
  std::uint32_t minRate = UINT32_MAX;
  std::uint32_t maxRate = 0;
  std::map<std::uint32_t, std::uint64_t> rateUses;
};

std::uint32_t mostFrequentRate(const ClipStatistics& stats) {
  std::uint32_t best = 0;
  std::uint64_t uses = 0;
  // The map is ordered by rate, so a tie keeps the lowest rate.
  for (const auto& [rate, count] : stats.rateUses) {
    if (count > uses) {
      best = rate;
      uses = count;
    }
  }
  return best;
}

std::uint32_t toFrameValue(double value) {
  if (!(value > 0)) return 0;
  return value >= 4294967295.0 ? UINT32_MAX : static_cast<std::uint32_t>(value);
}

}  // namespace

VideoFrames chooseVideoFrames(std::span<PuzzleInfo* const> cells,
                              const AdvancedSettings& advanced) {
  ClipStatistics stats;
  for (const PuzzleInfo* cell : cells) {
    if (cell == nullptr || cell->active == 0 || cell->tile == nullptr) continue;
    const FotoInfo& tile = *cell->tile;
    if (tile.frameCount == 0) continue;
    ++stats.cells;
    stats.sumCount += tile.frameCount;
    stats.minCount = std::min<std::uint32_t>(stats.minCount, tile.frameCount);
    stats.maxCount = std::max<std::uint32_t>(stats.maxCount, tile.frameCount);
    if (tile.frameRate != 0) {
      stats.minRate = std::min<std::uint32_t>(stats.minRate, tile.frameRate);
      stats.maxRate = std::max<std::uint32_t>(stats.maxRate, tile.frameRate);
      ++stats.rateUses[tile.frameRate];
    }
  }

  VideoFrames frames{0, 0};
  if (stats.cells != 0 && stats.maxRate != 0) {
    std::string count = prepared(advanced.rowValue(AdvancedRow::FrameCountFromVideoTile));
    if (count.empty()) count = "MAX2";
    std::uint64_t base = 0;
    bool hasBase = false;
    if (count.size() >= 3) {
      const std::string prefix = count.substr(0, 3);
      if (prefix == "MIN" || prefix == "MAX" || prefix == "AVG") {
        hasBase = true;
        base = prefix == "MIN"   ? stats.minCount
               : prefix == "MAX" ? stats.maxCount
                                 : stats.sumCount / stats.cells;
        count.erase(0, 3);
      }
    }
    const long countFactor = count.empty() ? 1 : advancedTextToLong(count);
    frames.count =
        toFrameValue(hasBase ? static_cast<double>(countFactor) * static_cast<double>(base)
                             : static_cast<double>(countFactor));

    std::string rate = prepared(advanced.rowValue(AdvancedRow::FrameRateFromVideoTile));
    if (rate.empty()) rate = "FREQ";
    double rateBase = 0;
    hasBase = false;
    if (rate.rfind("MIN", 0) == 0 || rate.rfind("MAX", 0) == 0) {
      hasBase = true;
      rateBase = rate[1] == 'I' ? stats.minRate : stats.maxRate;
      rate.erase(0, 3);
    } else if (rate.rfind("FREQ", 0) == 0) {
      hasBase = true;
      rateBase = mostFrequentRate(stats);
      rate.erase(0, 4);
    }
    const double rateFactor = rate.empty() ? 1.0 : advancedTextToDouble(rate);
    frames.rate = toFrameValue(hasBase ? rateFactor * rateBase : rateFactor * 500.0);
  }
  if (frames.count == 0 || frames.rate == 0) {
    frames.count = toFrameValue(advanced.rowDouble(AdvancedRow::FrameCountFromImage));
    if (frames.count == 0) frames.count = 10;
    std::uint32_t fps = toFrameValue(advanced.rowDouble(AdvancedRow::FrameRateFromImage));
    if (fps == 0) fps = 10;
    frames.rate = fps > UINT32_MAX / 500 ? UINT32_MAX : fps * 500;
  }
  return frames;
}

}  // namespace tg
