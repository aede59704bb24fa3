// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/image_limits.h"

#include <boost/regex.hpp>

#include "engine/matching_context.h"
#include "tiles/foto_info.h"

namespace tg {

std::optional<std::uint32_t> imageLimitFromPath(const std::string& path) {
  // Only the ASCII letters of the mark matter, so an ASCII upper-casing of the UTF-8 bytes is
  // enough and leaves other characters alone. Digits are ASCII digits only.
  const std::string upper = upperToken(path);
  static const boost::regex mark("MAX\\[([0-9]+)\\]");
  boost::smatch match;
  if (!boost::regex_search(upper, match, mark)) return std::nullopt;
  std::uint64_t n = 0;
  for (const char digit : match.str(1)) {
    n = n * 10 + static_cast<std::uint64_t>(digit - '0');
    if (n >= kUnlimitedUses) return kUnlimitedUses;
  }
  if (n == 0) return kUnlimitedUses;
  return static_cast<std::uint32_t>(n);
}

void readImageLimit(const FotoInfo& tile, MatchingContext& context) {
  if (const auto limit = imageLimitFromPath(tile.path)) context.imageLimits[&tile] = *limit;
}

}  // namespace tg
