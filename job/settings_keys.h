// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "job/mosaic_settings.h"
#include "job/settings_tokens.h"

namespace tg {

/// The text form of a settings-file key's value.
enum class SettingsKeyForm {
  Fixed,    ///< written by the program, never set by the user (`Version`, `Advanced.Version`)
  Integer,  ///< a whole decimal number
  Decimal,  ///< a decimal number
  Flag,     ///< 0 or 1
  Token,    ///< a token of the key's table
  Text,     ///< free text (a folder, a path, the value of an advanced row)
};

/// One parameter key of a settings set (`MosaicSizeUnit` .. `BorderSizeWidth`): how its value
/// is written and read, and what it means. The table of these keys is the one every settings
/// set is written with and every typed override is read with.
struct SettingsKey {
  const char* key;
  SettingsKeyForm form;
  const char* meaning;                  ///< English catalogue text
  TokenTable table = TokenTable::Unit;  ///< the token table of a `Token` key
  /// A `Token` key whose values can lack a token (pattern ids 5-8, sets of variants): settings
  /// files store those as the number id + 1, and a typed number is read the same way. For the
  /// other token keys a number names nothing the user would mean.
  bool numbersStored = false;
  IntParameter MosaicSettings::*integer = nullptr;  ///< the parameter of a plain integer key
  Parameter<bool> MosaicSettings::*flag = nullptr;  ///< the parameter of a flag key
  /// Writing and reading of the keys that are neither (units, sizes, variants, format, folder).
  std::string (*write)(const MosaicSettings&) = nullptr;
  void (*read)(MosaicSettings&, const std::string&) = nullptr;
  /// The allowed units and range of a quantity (resolution, tile size, border size).
  const UnitConstraint& (*constraint)() = nullptr;
};

/// The parameter keys in the order a settings set is written.
[[nodiscard]] std::span<const SettingsKey> settingsKeys();

/// The parameter key named `key` (exact spelling), or nullptr.
[[nodiscard]] const SettingsKey* findSettingsKey(std::string_view key);

/// The text `settings` stores under `key` (a token, a number, "%lf", 0 or 1, or the text).
[[nodiscard]] std::string settingsKeyText(const SettingsKey& key, const MosaicSettings& settings);

/// Sets the parameter of `key` from `text` the way a settings file is read: unknown tokens read
/// as numbers (id + 1, 0 for none), numbers as `atol` does, and the older numeric `FileFormat`
/// as JPEG of that quality. Marks the parameter as set.
void readSettingsKeyText(const SettingsKey& key, MosaicSettings& settings, const std::string& text);

/// The unit of a unit token's id (`UnitId::Unknown` outside the range of the codes' type).
[[nodiscard]] UnitId unitFromId(long id);

/// Sets `FileFormat` and `JPGQuality` from a stored `FileFormat` text and the quality `quality`:
/// a number n > 0 (older files) is JPEG of quality min(n, 100); a packed read-only token also
/// sets the quality and `OutputTIFF64`; a quality of 0 or above 100 becomes 95.
void readFormatText(MosaicSettings& settings, const std::string& formatText, long quality);

/// A value a key takes by name: a token, or a number the window offers with a label.
struct NamedValue {
  std::string text;       ///< the token or the number as written
  std::string meaning;    ///< translated label
  bool readOnly = false;  ///< read from older files, never written
};

/// Everything a user needs to know to write one settings-file key.
struct SettingsKeyDescription {
  std::string key;
  SettingsKeyForm form = SettingsKeyForm::Text;
  std::string meaning;             ///< translated
  std::string range;               ///< range and unit, translated; empty when there is none
  std::vector<NamedValue> tokens;  ///< the tokens of a `Token` key (and of an advanced choice)
  std::vector<NamedValue> namedNumbers;  ///< numbers with a meaning of their own ("0": off)
  std::string note;                      ///< how numbers are read where tokens are missing, etc.
  std::string defaultValue;              ///< the text written for the Default Settings set
};

/// Describes every key of a settings set, in file order: `Version`, the parameter keys,
/// `Advanced.Version`, the "Advanced." rows and `TileList`. Meanings of tokens and numbers come
/// from the parameters' choice lists, ranges from their limits, defaults from `defaults` (the
/// Default Settings with the configured advanced rows). Rows that need video are left out
/// without it, as settings files leave them out.
[[nodiscard]] std::vector<SettingsKeyDescription> describeSettingsKeys(
    const MosaicSettings& defaults);

/// The lower-case name of a form ("integer", "token", ...), as scripts see it.
[[nodiscard]] const char* settingsKeyFormName(SettingsKeyForm form);

}  // namespace tg
