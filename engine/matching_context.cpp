// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/matching_context.h"

#include "job/mosaic_job.h"

namespace tg {

MatchingContext::MatchingContext(MosaicJob& jobRef, CellGrid& gridRef, TileImagesList& listRef,
                                 const ComparisonSettings& comparisonRef)
    : job(jobRef), grid(gridRef), list(listRef), comparison(comparisonRef) {}

std::uint32_t MatchingContext::maxUse() const {
  const long duplication = job.settings.tileDuplication.value;
  if (duplication <= 0) return kUnlimitedUses;
  return static_cast<std::uint32_t>(duplication);
}

std::uint32_t MatchingContext::useLimit(const FotoInfo& tile) const {
  const auto found = imageLimits.find(&tile);
  return found != imageLimits.end() ? found->second : maxUse();
}

void MatchingContext::setExhausted(const FotoInfo& tile, bool value) {
  if (value) {
    exhaustedTiles.insert(&tile);
  } else {
    exhaustedTiles.erase(&tile);
  }
}

std::string upperToken(const std::string& text) {
  std::string upper = text;
  for (char& ch : upper) {
    if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
  }
  return upper;
}

}  // namespace tg
