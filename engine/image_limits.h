// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tg {

struct FotoInfo;
struct MatchingContext;

/// The use limit a path sets with "MAX[n]" (any case, the first occurrence anywhere in the
/// path, folder names included): n, or `kUnlimitedUses` for n = 0 (and for numbers too large to
/// count). Nothing when the path has no such mark ("MAX[]" without digits is none). Pure.
[[nodiscard]] std::optional<std::uint32_t> imageLimitFromPath(const std::string& path);

/// Enters the limit of `tile`'s path into `context.imageLimits` (nothing for a path without a
/// mark). Job thread.
void readImageLimit(const FotoInfo& tile, MatchingContext& context);

}  // namespace tg
