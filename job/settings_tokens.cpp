// SPDX-License-Identifier: GPL-3.0-or-later
#include "job/settings_tokens.h"

#include <limits>

#include "config/advanced_settings.h"

namespace tg {

namespace {

constexpr SettingsToken kUnitTokens[] = {
    {"cm", 1}, {"inch", 2}, {"pixel", 3}, {"kp", 4},   {"mp", 5},     {"gp", 6},         {"mm", 7},
    {"m", 8},  {"feet", 9}, {"ppi", 10},  {"dpi", 11}, {"tiles", 12}, {"tilesxrow", 13},
};
constexpr SettingsToken kPatternTokens[] = {
    {"Square", 1},          {"Square (2 rows)", 2}, {"Square (3 rows)", 3},
    {"Square (5 rows)", 4}, {"Square (7 rows)", 9}, {"Square (10 rows)", 10},
};
constexpr SettingsToken kAdaptTokens[] = {{"No", 0}, {"Tile Size", 1}, {"Mosaic Size", 2}};
constexpr SettingsToken kVariantTokens[] = {
    {"original", 2},    {"mirror", 4},     {"flipvertically", 8},
    {"rotated180", 16}, {"rotated90", 32}, {"rotated270", 64},
};
constexpr SettingsToken kProcessingTokens[] = {
    {"standard", 1}, {"faster", 2},          {"custom", 3},    {"sequential", 4}, {"random", 5},
    {"folder", 6},   {"sequential_date", 7}, {"standard1", 8}, {"standard2", 9},
};
constexpr SettingsToken kCompareTokens[] = {{"stronger", 1}, {"best", 2}, {"weaker", 3}};
constexpr SettingsToken kDetailTokens[] = {
    {"automatic", 1},     {"no_detail", 2},   {"very_low_detail", 3},  {"low_detail", 4},
    {"medium_detail", 5}, {"high_detail", 6}, {"very_high_detail", 7}, {"maximum_detail", 8},
};
constexpr SettingsToken kColorChangeTokens[] = {
    {"high_tile", 1}, {"good_tile", 2}, {"balanced", 3}, {"good_detail", 4}, {"high_detail", 5},
};
constexpr SettingsToken kSubdirectoryTokens[] = {{"none", 1}, {"overwrite", 2}, {"new", 3}};
constexpr SettingsToken kFileNameTokens[] = {{"overwrite", 1}, {"new", 2}};
constexpr SettingsToken kFormatTokens[] = {
    {"jpg", 100},
    {"bmp", 101},
    {"tiff", 102},
    {"ppm", 103},
    {"raw", 104},
    {"avi_uncompressed", 105, false, true},
    {"avi_compressed", 106, false, true},
    {"mosaic", 107},
    {"video_jpg", 108},
    {"psd", 109},
    {"psb", 110},
    {"tiff_jpg", 111},
    {"tiff_jpg100", 28516, true},
    {"tiff_jpg95", 28511, true},
    {"tiff_jpg80", 28496, true},
    {"tiff_jpg60", 28476, true},
    {"tiff_jpg40", 28456, true},
    {"bigtiff_jpg100", 94052, true},
    {"bigtiff_jpg95", 94047, true},
    {"bigtiff_jpg80", 94032, true},
    {"bigtiff_jpg60", 94012, true},
    {"bigtiff_jpg40", 93992, true},
    {"bigtiff", 91743, true},
};

}  // namespace

std::span<const SettingsToken> tokenTable(TokenTable table) {
  switch (table) {
    case TokenTable::Unit:
      return kUnitTokens;
    case TokenTable::Pattern:
      return kPatternTokens;
    case TokenTable::Adapt:
      return kAdaptTokens;
    case TokenTable::Variant:
      return kVariantTokens;
    case TokenTable::Processing:
      return kProcessingTokens;
    case TokenTable::Compare:
      return kCompareTokens;
    case TokenTable::Detail:
      return kDetailTokens;
    case TokenTable::ColorChange:
      return kColorChangeTokens;
    case TokenTable::Subdirectory:
      return kSubdirectoryTokens;
    case TokenTable::FileName:
      return kFileNameTokens;
    case TokenTable::Format:
      return kFormatTokens;
  }
  return {};
}

std::string writeToken(TokenTable table, long value, bool videoAvailable) {
  for (const SettingsToken& token : tokenTable(table)) {
    if (token.readOnly || (token.needsVideo && !videoAvailable)) continue;
    if (token.id == value) return token.text;
  }
  // Ids without a token are stored shifted by one so that 0 can mean "no value" when read.
  if (value == std::numeric_limits<long>::max()) return std::to_string(value);
  return std::to_string(value + 1);
}

long readToken(TokenTable table, const std::string& text, bool videoAvailable) {
  for (const SettingsToken& token : tokenTable(table)) {
    if (token.needsVideo && !videoAvailable) continue;
    if (text == token.text) return token.id;
  }
  const long v = settingsTextToLong(text);
  if (v == 0 || v == std::numeric_limits<long>::min()) return v;
  return v - 1;
}

PackedFormat unpackFormatId(long id) {
  return PackedFormat{(id >> 8) & 255, id & 255, id >= 65536};
}

long settingsTextToLong(const std::string& text) { return advancedTextToLong(text); }

}  // namespace tg
