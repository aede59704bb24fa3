// SPDX-License-Identifier: GPL-3.0-or-later
#include "job/settings_keys.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "config/settings_store.h"
#include "geometry/units/unit_names.h"
#include "platform/catalogue.h"
#include "platform/text_format.h"

namespace tg {

namespace {

using F = SettingsKeyForm;
using S = MosaicSettings;

constexpr const char* kAdvancedPrefix = "Advanced.";

long truncated(double value) {
  if (std::isnan(value)) return 0;
  if (value >= static_cast<double>(std::numeric_limits<long>::max())) {
    return std::numeric_limits<long>::max();
  }
  if (value <= static_cast<double>(std::numeric_limits<long>::min())) {
    return std::numeric_limits<long>::min();
  }
  return static_cast<long>(value);
}

std::string unitToken(const S& s, UnitId unit) {
  return writeToken(TokenTable::Unit, static_cast<long>(unit), s.videoAvailable);
}

UnitId unitFrom(const S& s, const std::string& text) {
  return unitFromId(readToken(TokenTable::Unit, text, s.videoAvailable));
}

template <QuantityParameter<Quantity> S::*member>
void readUnit(S& s, const std::string& text) {
  QuantityParameter<Quantity>& parameter = s.*member;
  parameter.set(Quantity{parameter.value.value, unitFrom(s, text)});
}

template <QuantityParameter<Quantity> S::*member>
void readWhole(S& s, const std::string& text) {
  QuantityParameter<Quantity>& parameter = s.*member;
  parameter.set(Quantity{static_cast<double>(settingsTextToLong(text)), parameter.value.unit});
}

void readMosaicSide(S& s, const std::string& text, double SizeValue::*side) {
  SizeValue size = s.mosaicSize.value;
  size.*side = advancedTextToDouble(text);
  s.mosaicSize.set(size);
}

// Kept in the order settings sets are written (and their keys listed).
const SettingsKey kKeys[] = {
    {.key = "MosaicSizeUnit",
     .form = F::Token,
     .meaning = N_("unit of the mosaic size"),
     .write = [](const S& s) { return unitToken(s, s.mosaicSize.value.unit); },
     .read =
         [](S& s, const std::string& text) {
           SizeValue size = s.mosaicSize.value;
           size.unit = unitFrom(s, text);
           s.mosaicSize.set(size);
         }},
    {.key = "MosaicSizeWidth",
     .form = F::Decimal,
     .meaning = N_("width of the mosaic in MosaicSizeUnit (above 0)"),
     .write = [](const S& s) { return formatSettingsDouble(s.mosaicSize.value.width); },
     .read = [](S& s, const std::string& text) { readMosaicSide(s, text, &SizeValue::width); }},
    {.key = "MosaicSizeHeight",
     .form = F::Decimal,
     .meaning = N_("height of the mosaic in MosaicSizeUnit (above 0)"),
     .write = [](const S& s) { return formatSettingsDouble(s.mosaicSize.value.height); },
     .read = [](S& s, const std::string& text) { readMosaicSide(s, text, &SizeValue::height); }},
    {.key = "ResolutionUnit",
     .form = F::Token,
     .meaning = N_("unit of the resolution"),
     .write = [](const S& s) { return unitToken(s, s.resolution.value.unit); },
     .read = readUnit<&S::resolution>,
     .constraint = resolutionConstraint},
    {.key = "ResolutionSize",
     .form = F::Integer,
     .meaning = N_("resolution of the printed mosaic in ResolutionUnit (stored as a whole number)"),
     .write = [](const S& s) { return std::to_string(truncated(s.resolution.value.value)); },
     .read = readWhole<&S::resolution>,
     .constraint = resolutionConstraint},
    {.key = "TileUnit",
     .form = F::Token,
     .meaning = N_("unit of the tile size"),
     .write = [](const S& s) { return unitToken(s, s.tileSize.value.unit); },
     .read = readUnit<&S::tileSize>,
     .constraint = tileSizeConstraint},
    {.key = "TileSize",
     .form = F::Decimal,
     .meaning = N_("size of one tile in TileUnit (with tiles or tilesxrow: the number of tiles)"),
     .write = [](const S& s) { return formatSettingsDouble(s.tileSize.value.value); },
     .read =
         [](S& s, const std::string& text) {
           s.tileSize.set(Quantity{advancedTextToDouble(text), s.tileSize.value.unit});
         },
     .constraint = tileSizeConstraint},
    {.key = "MultiSize2",
     .form = F::Integer,
     .meaning = N_("share of the cells split into two half tiles"),
     .integer = &S::multiSize2},
    {.key = "MultiSize4",
     .form = F::Integer,
     .meaning = N_("share of the cells split into four quarter tiles"),
     .integer = &S::multiSize4},
    {.key = "TileDuplication",
     .form = F::Integer,
     .meaning = N_("how often one picture may be used (0 unlimited, n at most n times)"),
     .integer = &S::tileDuplication},
    {.key = "DuplicateSpacing",
     .form = F::Integer,
     .meaning = N_("minimum distance in tiles between two uses of one picture; 0 means no "
                   "duplicates at all and turns TileDuplication to 1 before a mosaic"),
     .integer = &S::duplicateSpacing},
    {.key = "Pattern",
     .form = F::Token,
     .meaning = N_("pattern of the cells"),
     .table = TokenTable::Pattern,
     .numbersStored = true,
     .integer = &S::pattern},
    {.key = "TileAdapt",
     .form = F::Token,
     .meaning = N_("how tiles and mosaic are fitted to each other"),
     .table = TokenTable::Adapt,
     .integer = &S::tileAdapt},
    {.key = "ColorChange",
     .form = F::Integer,
     .meaning = N_("how much a tile may be recoloured toward the main image"),
     .integer = &S::colorChange},
    {.key = "TileVariants",
     .form = F::Token,
     .meaning = N_("the orientations in which a tile may be used, as a sum of the values below"),
     .table = TokenTable::Variant,
     .numbersStored = true,
     .write =
         [](const S& s) {
           return writeToken(TokenTable::Variant, static_cast<long>(s.tileVariants.value),
                             s.videoAvailable);
         },
     .read =
         [](S& s, const std::string& text) {
           s.tileVariants.set(
               static_cast<std::uint32_t>(readToken(TokenTable::Variant, text, s.videoAvailable)));
         }},
    {.key = "MosaicProcessing",
     .form = F::Token,
     .meaning = N_("placement algorithm"),
     .table = TokenTable::Processing,
     .integer = &S::mosaicProcessing},
    {.key = "ImageCompare",
     .form = F::Token,
     .meaning = N_("how strictly tiles are compared with the main image"),
     .table = TokenTable::Compare,
     .integer = &S::imageCompare},
    {.key = "ImageDetail",
     .form = F::Token,
     .meaning = N_("how much detail of the main image the comparison keeps"),
     .table = TokenTable::Detail,
     .integer = &S::imageDetail},
    {.key = "ColorChangePriority",
     .form = F::Token,
     .meaning = N_("balance between the tiles' own colours and the main image's detail"),
     .table = TokenTable::ColorChange,
     .integer = &S::colorChangePriority},
    {.key = "UseAllImages",
     .form = F::Flag,
     .meaning = N_("use every picture of the list at least once"),
     .flag = &S::useAllImages},
    {.key = "FileFormat",
     .form = F::Token,
     .meaning = N_("file format of the mosaic"),
     .table = TokenTable::Format,
     .write =
         [](const S& s) {
           return writeToken(TokenTable::Format, s.fileFormat.value, s.videoAvailable);
         },
     .read = [](S& s, const std::string& text) { readFormatText(s, text, s.jpgQuality.value); }},
    {.key = "JPGQuality",
     .form = F::Integer,
     .meaning = N_("JPEG quality of the mosaic"),
     .integer = &S::jpgQuality},
    {.key = "OutputTransparency",
     .form = F::Flag,
     .meaning = N_("write a transparency channel (TIFF, PSD and PSB only)"),
     .flag = &S::outputTransparency},
    {.key = "OutputLayers",
     .form = F::Flag,
     .meaning = N_("write layers (PSD and PSB only)"),
     .flag = &S::outputLayers},
    {.key = "OutputTIFF64",
     .form = F::Flag,
     .meaning = N_("write a 64-bit TIFF, which has no 4 GB limit"),
     .flag = &S::outputTiff64},
    {.key = "MosaicDirectory",
     .form = F::Text,
     .meaning = N_("folder of the mosaics; empty: the folder of each main image"),
     .write = [](const S& s) { return s.mosaicDirectory.value; },
     .read = [](S& s, const std::string& text) { s.mosaicDirectory.set(text); }},
    {.key = "MosaicSubdirectory",
     .form = F::Token,
     .meaning = N_("whether each mosaic goes into a subfolder of its own"),
     .table = TokenTable::Subdirectory,
     .integer = &S::mosaicSubdirectory},
    {.key = "MosaicFileName",
     .form = F::Token,
     .meaning = N_("whether an existing mosaic of the same name is kept or overwritten"),
     .table = TokenTable::FileName,
     .integer = &S::mosaicFileName},
    {.key = "WebPageSize",
     .form = F::Integer,
     .meaning = N_("width of the mosaic on a web page with a clickable image map; 0 no page"),
     .integer = &S::webPageSize},
    {.key = "TextReport",
     .form = F::Flag,
     .meaning = N_("write a text report and a settings file beside the mosaic"),
     .flag = &S::textReport},
    {.key = "IndividualTiles",
     .form = F::Flag,
     .meaning = N_("write every tile of the mosaic as a file of its own"),
     .flag = &S::individualTiles},
    {.key = "SplitMosaic",
     .form = F::Flag,
     .meaning = N_("write the mosaic in pieces (the CLI takes their size from --split)"),
     .flag = &S::splitMosaic},
    {.key = "CreateMaskFile",
     .form = F::Flag,
     .meaning = N_("write the mask and score images of the mosaic"),
     .flag = &S::createMaskFile},
    {.key = "ConsecutiveFrames",
     .form = F::Integer,
     .meaning = N_("distance between consecutive frames of a video tile; any value but 0 forces "
                   "the Faster algorithm and no duplicates"),
     .integer = &S::consecutiveFrames},
    {.key = "BorderColor",
     .form = F::Integer,
     .meaning = N_("colour of the border between tiles as 0xBBGGRR (red in the low byte)"),
     .integer = &S::borderColor},
    {.key = "BorderSizeUnit",
     .form = F::Token,
     .meaning = N_("unit of the border size"),
     .write = [](const S& s) { return unitToken(s, s.borderSize.value.unit); },
     .read = readUnit<&S::borderSize>,
     .constraint = borderSizeConstraint},
    {.key = "BorderSizeWidth",
     .form = F::Integer,
     .meaning =
         N_("width of the border between tiles in BorderSizeUnit (stored as a whole number)"),
     .write = [](const S& s) { return std::to_string(truncated(s.borderSize.value.value)); },
     .read = readWhole<&S::borderSize>,
     .constraint = borderSizeConstraint},
};

/// What the tile variant bits mean (the codes of `applyVariant` shifted into a set).
struct VariantMeaning {
  long bit;
  const char* meaning;
};
constexpr VariantMeaning kVariantMeanings[] = {
    {2, N_("the tile as it is")},        {4, N_("mirrored left to right")},
    {8, N_("flipped upside down")},      {16, N_("turned by 180°")},
    {32, N_("turned by 90° clockwise")}, {64, N_("turned by 90° counter-clockwise")},
};

std::string rangeNumber(double value) { return formatText("%.10g", value); }

std::string unitName(UnitId unit) { return unitDisplayName(2, false, unit); }

/// The label of the entry with `value` in `parameter`'s list, or "".
std::string entryLabel(const IntParameter& parameter, long value) {
  for (const ChoiceEntry& entry : parameter.list.entries) {
    if (entry.value == value && !entry.label.empty()) {
      return choiceEntryLabel(parameter.list, entry);
    }
  }
  return {};
}

std::string tokenMeaning(const SettingsKey& key, const MosaicSettings& defaults,
                         const SettingsToken& token) {
  switch (key.table) {
    case TokenTable::Unit:
      return unitName(unitFromId(token.id));
    case TokenTable::Variant:
      for (const VariantMeaning& variant : kVariantMeanings) {
        if (variant.bit == token.id) return tr(variant.meaning);
      }
      return {};
    case TokenTable::Format: {
      const PackedFormat packed = unpackFormatId(token.id);
      if (token.readOnly) {
        std::string text = entryLabel(defaults.fileFormat, packed.format);
        text += formatText(tr(", JPEG quality %ld"), packed.quality);
        if (packed.tiff64) text += tr(", 64-bit TIFF");
        return text;
      }
      if (token.id == kFormatMosaic) return tr("no mosaic picture is written");
      return entryLabel(defaults.fileFormat, token.id);
    }
    case TokenTable::Processing:
      if (token.id == 9) return tr("a further variant of High Quality");
      return entryLabel(defaults.*key.integer, token.id);
    default:
      return key.integer != nullptr ? entryLabel(defaults.*key.integer, token.id) : std::string();
  }
}

std::string tokenNote(const SettingsKey& key) {
  switch (key.table) {
    case TokenTable::Pattern:
      return tr(
          "The patterns 5 to 8 mix landscape and portrait cells and have no token: they are "
          "given as the number id + 1 (6 to 9), as settings files store them.");
    case TokenTable::Variant:
      return tr(
          "A set of orientations is the sum of their values; a sum without a token is given "
          "as the number sum + 1, as settings files store it (the Default Settings' 102, "
          "original + mirror + rotated90 + rotated270, is written 103).");
    case TokenTable::Format:
      return tr(
          "Read-only tokens are read from older files and written as tiff_jpg or tiff with "
          "JPGQuality and OutputTIFF64. Older files also hold a number n, read as JPEG of "
          "quality n; typed options take the tokens only.");
    default:
      return tr("Typed options take the tokens only; a number names no value of this key.");
  }
}

void describeTokens(const SettingsKey& key, const MosaicSettings& defaults,
                    SettingsKeyDescription& out) {
  for (const SettingsToken& token : tokenTable(key.table)) {
    if (token.needsVideo && !defaults.videoAvailable) continue;
    if (key.constraint != nullptr) {
      const auto& units = key.constraint().units;
      if (std::find(units.begin(), units.end(), unitFromId(token.id)) == units.end()) continue;
    }
    out.tokens.push_back(
        NamedValue{token.text, tokenMeaning(key, defaults, token), token.readOnly});
  }
  out.note = tokenNote(key);
}

std::string integerRange(const IntParameter& parameter) {
  std::string range = formatText("%ld-%ld", parameter.minimum, parameter.maximum);
  const std::string unit = unitName(parameter.list.labelUnit);
  if (!unit.empty()) range += " " + unit;
  return range;
}

SettingsKeyDescription describeParameterKey(const SettingsKey& key,
                                            const MosaicSettings& defaults) {
  SettingsKeyDescription out;
  out.key = key.key;
  out.form = key.form;
  out.meaning = tr(key.meaning);
  out.defaultValue = settingsKeyText(key, defaults);
  if (key.form == F::Token) describeTokens(key, defaults, out);
  if (key.form == F::Flag) out.range = tr("0 off, 1 on");
  if (key.constraint != nullptr && key.form != F::Token) {
    const UnitConstraint& constraint = key.constraint();
    out.range = rangeNumber(constraint.minimum) + "-" + rangeNumber(constraint.maximum);
  }
  if (key.integer != nullptr && key.form == F::Integer) {
    const IntParameter& parameter = defaults.*key.integer;
    out.range = integerRange(parameter);
    for (const ChoiceEntry& entry : parameter.list.entries) {
      // Placeholders and entries that only print their number ("95%") name nothing.
      if (entry.label.empty() || !entry.translate || entry.value < 0) continue;
      out.namedNumbers.push_back(
          NamedValue{std::to_string(entry.value), choiceEntryLabel(parameter.list, entry)});
    }
  }
  return out;
}

SettingsKeyForm advancedKeyForm(AdvancedCommitRule rule) {
  switch (rule) {
    case AdvancedCommitRule::ProcessCount:
    case AdvancedCommitRule::Integer:
      return F::Integer;
    case AdvancedCommitRule::YesNo:
      return F::Flag;
    case AdvancedCommitRule::Percent:
    case AdvancedCommitRule::PercentOrMinusOne:
      return F::Decimal;
    case AdvancedCommitRule::Choice:
      return F::Token;
    case AdvancedCommitRule::Text:
      break;
  }
  return F::Text;
}

SettingsKeyDescription describeAdvancedRow(std::size_t index, const MosaicSettings& defaults) {
  const AdvancedRowDefinition& definition = advancedRowDefinitions()[index];
  SettingsKeyDescription out;
  out.key = kAdvancedPrefix + std::string(definition.key);
  out.form = advancedKeyForm(definition.rule);
  out.meaning = tr(definition.section) + ": " + tr(definition.label) + ". " +
                advancedRowHelp(static_cast<AdvancedRow>(index));
  std::string unit = definition.unitCode == 22 ? std::string()
                                               : unitName(static_cast<UnitId>(definition.unitCode));
  if (definition.unitLabel[0] != '\0') unit += (unit.empty() ? "" : " ") + tr(definition.unitLabel);
  out.range = unit;
  for (const AdvancedChoice& choice : definition.choices) {
    out.tokens.push_back(NamedValue{choice.token, tr(choice.label)});
  }
  if (definition.rule == AdvancedCommitRule::YesNo) out.range = tr("0 off, 1 on");
  out.note = tr("Empty: the default of the configuration file.");
  out.defaultValue = defaults.advanced.row(index).value;
  return out;
}

SettingsKeyDescription fixedKey(const char* key, const char* meaning, const char* value) {
  SettingsKeyDescription out;
  out.key = key;
  out.form = F::Fixed;
  out.meaning = tr(meaning);
  out.defaultValue = value;
  return out;
}

}  // namespace

UnitId unitFromId(long id) {
  if (id < std::numeric_limits<int>::min() || id > std::numeric_limits<int>::max()) {
    return UnitId::Unknown;
  }
  return static_cast<UnitId>(static_cast<int>(id));
}

void readFormatText(MosaicSettings& s, const std::string& formatText, long quality) {
  const long number = settingsTextToLong(formatText);
  long format = 0;
  if (number > 0) {
    // Older versions stored the JPEG quality as the format.
    format = kFormatJpeg;
    quality = std::min(number, 100L);
  } else {
    const long id = readToken(TokenTable::Format, formatText, s.videoAvailable);
    if (id < 256) {
      format = id;
    } else {
      const PackedFormat packed = unpackFormatId(id);
      s.outputTiff64.set(packed.tiff64);
      quality = packed.quality;
      format = packed.format;
    }
  }
  if (quality <= 0 || quality > 100) quality = 95;
  s.fileFormat.set(format);
  s.jpgQuality.set(quality);
}

std::span<const SettingsKey> settingsKeys() { return kKeys; }

const SettingsKey* findSettingsKey(std::string_view key) {
  for (const SettingsKey& entry : kKeys) {
    if (key == entry.key) return &entry;
  }
  return nullptr;
}

std::string settingsKeyText(const SettingsKey& key, const MosaicSettings& s) {
  if (key.write != nullptr) return key.write(s);
  if (key.flag != nullptr) return (s.*key.flag).value ? "1" : "0";
  const long value = (s.*key.integer).value;
  if (key.form == F::Token) return writeToken(key.table, value, s.videoAvailable);
  return std::to_string(value);
}

void readSettingsKeyText(const SettingsKey& key, MosaicSettings& s, const std::string& text) {
  if (key.read != nullptr) {
    key.read(s, text);
  } else if (key.flag != nullptr) {
    (s.*key.flag).set(settingsTextToLong(text) != 0);
  } else if (key.form == F::Token) {
    (s.*key.integer).set(readToken(key.table, text, s.videoAvailable));
  } else {
    (s.*key.integer).set(settingsTextToLong(text));
  }
}

std::vector<SettingsKeyDescription> describeSettingsKeys(const MosaicSettings& defaults) {
  std::vector<SettingsKeyDescription> keys;
  keys.push_back(fixedKey("Version", N_("version of the settings set; only 1 is read"), "1"));
  for (const SettingsKey& key : kKeys) keys.push_back(describeParameterKey(key, defaults));
  keys.push_back(fixedKey("Advanced.Version",
                          N_("1 when the advanced rows below were saved with the set, else 0"),
                          "1"));
  for (std::size_t i = 0; i < kAdvancedRowCount; ++i) {
    if (defaults.advanced.row(i).key.empty()) continue;  // a video row without video
    keys.push_back(describeAdvancedRow(i, defaults));
  }
  SettingsKeyDescription list;
  list.key = "TileList";
  list.form = F::Text;
  list.meaning = tr("the Tile Images List saved with the set; empty: none");
  keys.push_back(list);
  return keys;
}

const char* settingsKeyFormName(SettingsKeyForm form) {
  switch (form) {
    case F::Fixed:
      return "fixed";
    case F::Integer:
      return "integer";
    case F::Decimal:
      return "decimal";
    case F::Flag:
      return "flag";
    case F::Token:
      return "token";
    case F::Text:
      break;
  }
  return "text";
}

}  // namespace tg
