// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

/// Marks an English text for the catalogue without looking it up (for tables of texts that are
/// translated later, where they are shown).
#define N_(text) text
/// Marks a singular/plural pair for the catalogue without looking it up (a table entry that is
/// later translated with `trn`); expands to the two texts.
#define NP_(singular, plural) singular, plural

namespace tg {

/// The gettext domain every user-visible text belongs to.
inline constexpr const char* kCatalogueDomain = "tesselograph";

/// Looks up the English text `english` in the message catalogue and returns the translation as
/// UTF-8, or `english` itself when the catalogue has none. Safe on any thread once the catalogue
/// is bound (app start-up); before that it returns the English text.
[[nodiscard]] std::string tr(const char* english);
[[nodiscard]] std::string tr(const std::string& english);

/// Plural lookup: the translation of `singular`/`plural` that the catalogue's plural rule picks
/// for `count` (English: singular for 1, plural otherwise).
[[nodiscard]] std::string trn(const char* singular, const char* plural, unsigned long count);

}  // namespace tg
