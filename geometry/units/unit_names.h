// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

#include "geometry/units/quantity.h"

namespace tg {

/// Recognises a typed unit name. The text is compared, ignoring case with full Unicode case
/// folding, with each row of the unit table in turn (inch, cm, pixel, KP, GP, MP, MB, GB, mm, m,
/// ft, PPI, DPI, tiles, tiles per row, times, tile minimum, frames, %): a row matches when the
/// text equals an entry of its translated comma-separated list (entries trimmed) or one of its
/// literal aliases. The first matching row wins. Bytes, processes and none are never
/// recognised; empty or unknown text gives nothing. Thread-safe.
[[nodiscard]] std::optional<UnitId> parseUnitName(const std::string& text);

/// The display name of `unit` for `count` through the catalogue (singular or plural by count);
/// with `shortForm` the short name where the unit has one ("KP", "MP", "GP", "m", "MB", "GB",
/// the inch mark, the foot mark). "%" and the empty name of `UnitId::None` are used as they
/// stand; an unknown code gives the empty text.
[[nodiscard]] std::string unitDisplayName(unsigned long count, bool shortForm, UnitId unit);

/// True when the two texts are equal ignoring case (full Unicode case folding of UTF-8 text).
[[nodiscard]] bool equalsIgnoringCase(const std::string& a, const std::string& b);

}  // namespace tg
