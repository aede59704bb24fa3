// SPDX-License-Identifier: GPL-3.0-or-later
#include "job/mosaic_settings.h"

#include <cmath>
#include <initializer_list>
#include <utility>

#include "geometry/units/quantity_text.h"
#include "geometry/units/unit_names.h"
#include "job/settings_tokens.h"
#include "platform/catalogue.h"
#include "platform/text_format.h"

namespace tg {

namespace {

struct LabelledValue {
  const char* label;
  long value;
};

IntParameter makeParameter(long value, long minimum, long maximum,
                           UnitId labelUnit = UnitId::None) {
  IntParameter parameter;
  parameter.value = value;
  parameter.minimum = minimum;
  parameter.maximum = maximum;
  parameter.list.labelUnit = labelUnit;
  return parameter;
}

void addLabelled(IntParameter& parameter, std::initializer_list<LabelledValue> entries) {
  for (const LabelledValue& entry : entries) {
    parameter.list.entries.push_back(ChoiceEntry{entry.value, entry.label, "", true});
  }
}

void addValues(IntParameter& parameter, std::initializer_list<long> values) {
  for (long value : values) parameter.list.entries.push_back(ChoiceEntry{value, "", "", true});
}

void addFormat(IntParameter& parameter, const char* name, const char* extension, long id) {
  parameter.list.entries.push_back(ChoiceEntry{id, name, extension, true});
}

std::string colourText(long value) {
  if (value == -1) return formatRgb(RgbValue{});
  const auto bits = static_cast<unsigned long>(value);
  return formatRgb(RgbValue{static_cast<int>(bits & 255), static_cast<int>((bits >> 8) & 255),
                            static_cast<int>((bits >> 16) & 255)});
}

bool admits(const UnitConstraint& constraint, const Quantity& q) { return constraint.admits(q); }

}  // namespace

void IntParameter::select(std::size_t index) {
  if (index >= list.entries.size()) return;
  value = list.entries[index].value;
  isSet = true;
  list.shown = static_cast<int>(index);
}

MosaicSettings::MosaicSettings(bool video) : videoAvailable(video), advanced(video) {
  mosaicSize.value = SizeValue{42, 29, UnitId::Cm};
  resolution.value = Quantity{300, UnitId::Ppi};
  tileSize.value = Quantity{40, UnitId::TilesPerRow};
  borderSize.value = Quantity{0, UnitId::Pixel};

  multiSize2 = makeParameter(0, 0, 80, UnitId::Percent);
  addValues(multiSize2, {0, 1, 3, 5, 10, 15, 20, 30, 40, 50, 60});
  multiSize4 = makeParameter(0, 0, 80, UnitId::Percent);
  addValues(multiSize4, {0, 1, 3, 5, 10, 15, 20, 30, 40, 50, 60});

  tileDuplication = makeParameter(0, 0, 10000, UnitId::Times);
  addLabelled(tileDuplication, {{N_("unlimited times"), 0}, {N_("no duplicates"), 1}});
  addValues(tileDuplication, {2, 3, 4, 5, 10, 20, 30, 50, 100, 500, -1});

  duplicateSpacing = makeParameter(3, 0, 10000, UnitId::TileMinimum);
  addLabelled(duplicateSpacing, {{N_("unlimited"), 1}, {N_("no duplicates"), 0}});
  addValues(duplicateSpacing, {2, 3, 4, 5, 10, 15, -1});

  pattern = makeParameter(1, 1, 10);
  pattern.list.entries.push_back(ChoiceEntry{1, tr("Square"), "", false});
  // Pattern ids with their number of rows in one cycle; 5-8 mix orientations and are not offered.
  for (const auto& [rows, id] : {std::pair{2L, 2L}, {3L, 3L}, {5L, 4L}, {7L, 9L}, {10L, 10L}}) {
    pattern.list.entries.push_back(
        ChoiceEntry{id, tr("Square") + formatText(tr(" (%ld rows)"), rows), "", false});
  }

  tileAdapt = makeParameter(1, 0, 2);
  addLabelled(tileAdapt, {{N_("Crop Tile"), 0}, {N_("Adapt Tile"), 1}, {N_("Adapt Mosaic"), 2}});

  colorChange = makeParameter(30, 0, 100, UnitId::Percent);
  addLabelled(colorChange, {{N_("Original"), 0}});
  addValues(colorChange, {3, 5, 7, 10, 15, 20, 25, 30, 40, 50, 60, 70, 80, -1});

  tileVariants.value = 102;

  mosaicProcessing = makeParameter(1, 1, 9);
  addLabelled(mosaicProcessing, {{N_("High Quality"), 1},
                                 {N_("Faster"), 2},
                                 {N_("Custom Tile Variants"), 3},
                                 {N_("Folder Tile Variants"), 6},
                                 {N_("Sequential"), 4},
                                 {N_("Sequential by Date"), 7},
                                 {N_("Random"), 5},
                                 {N_("Experimental (No-Duplicates)"), 8}});

  imageCompare = makeParameter(2, 1, 3);
  addLabelled(imageCompare, {{N_("Best Quality"), 2}, {N_("Stronger"), 1}, {N_("Weaker"), 3}});

  imageDetail = makeParameter(1, 1, 8);
  addLabelled(imageDetail, {{N_("Automatic"), 1},
                            {N_("No Detail"), 2},
                            {N_("Very Low Detail"), 3},
                            {N_("Low Detail"), 4},
                            {N_("Medium Detail"), 5},
                            {N_("High Detail"), 6},
                            {N_("Very High Detail"), 7},
                            {N_("Maxium Detail"), 8}});

  colorChangePriority = makeParameter(3, 1, 5);
  addLabelled(colorChangePriority, {{N_("High Tile Quality"), 1},
                                    {N_("Good Tile Quality"), 2},
                                    {N_("Balanced Quality"), 3},
                                    {N_("Good Detail Quality"), 4},
                                    {N_("High Detail Quality"), 5}});

  fileFormat = makeParameter(kFormatJpeg, 100, 111);
  addFormat(fileFormat, N_("JPEG Format"), " (.JPG)", kFormatJpeg);
  addFormat(fileFormat, N_("Photoshop's Standard Format"), " (.PSD)", kFormatPsd);
  addFormat(fileFormat, N_("Photoshop's Large Document Format"), " (.PSB)", kFormatPsb);
  addFormat(fileFormat, N_("Portable Pixel Format"), " (.PPM)", kFormatPpm);
  addFormat(fileFormat, N_("TIFF Uncompressed Format"), " (.TIFF)", kFormatTiff);
  addFormat(fileFormat, N_("TIFF with JPG Compression Format"), " (.TIFF)", kFormatTiffJpeg);
  addFormat(fileFormat, N_("RAW Format"), " (.RAW)", kFormatRaw);
  addFormat(fileFormat, N_("Windows Bitmap Format"), " (.BMP)", kFormatBmp);
  if (videoAvailable) {
    addFormat(fileFormat, N_("VideoMosaic (Uncompressed)"), " (.AVI)", kFormatAviUncompressed);
    addFormat(fileFormat, N_("VideoMosaic (Compressed)"), " (.AVI)", kFormatAviCompressed);
  }
  addFormat(fileFormat, N_("VideoMosaic Individual Frames"), " (.JPG)", kFormatVideoJpeg);

  jpgQuality = makeParameter(95, 1, 100);
  {
    const std::string percent = tr("%d%%");
    for (long quality : {100L, 98L, 96L, 94L, 92L, 90L}) {
      jpgQuality.list.entries.push_back(
          ChoiceEntry{quality, formatText(percent, static_cast<int>(quality)), "", false});
    }
    for (long quality = 85; quality >= 5; quality -= 5) {
      jpgQuality.list.entries.push_back(
          ChoiceEntry{quality, formatText(percent, static_cast<int>(quality)), "", false});
    }
  }

  mosaicSubdirectory = makeParameter(1, 1, 3);
  addLabelled(mosaicSubdirectory, {{N_("Do not create subdirectories"), 1},
                                   {N_("Create a subdirectory"), 2},
                                   {N_("Create a NEW subdirectory"), 3}});
  mosaicFileName = makeParameter(2, 1, 2);
  addLabelled(mosaicFileName, {{N_("Save a new Mosaic"), 2}, {N_("Overwrite existing Mosaic"), 1}});

  webPageSize = makeParameter(0, 0, 100000, UnitId::Pixel);
  addLabelled(webPageSize, {{N_("No Web Page"), 0}});
  addValues(webPageSize, {1000, 750, 450, -1});

  consecutiveFrames = makeParameter(0, 0, 10000, UnitId::Frames);
  addLabelled(consecutiveFrames, {{N_("No Frames"), 0}});
  addValues(consecutiveFrames, {3, 5, 10, -1});

  borderColor = makeParameter(0, 0, 0xFFFFFF);
  borderColor.list.colourLabels = true;
  addLabelled(borderColor, {{N_("Black"), 0},
                            {N_("White"), 0xFFFFFF},
                            {N_("Red"), 255},
                            {N_("Blue"), 0xFF0000},
                            {N_("Green"), 0x00FF00},
                            {N_("Yellow"), 0x00FFFF},
                            {N_("Orange"), 0x0080FF},
                            {N_("Cyan"), 0xFFFF00},
                            {N_("Purple"), 0xFF00FF},
                            {N_("Gray"), 0x808080}});
  addValues(borderColor, {-1});
}

std::string choiceEntryLabel(const ChoiceList& list, const ChoiceEntry& entry) {
  if (!entry.label.empty()) {
    return (entry.translate ? tr(entry.label) : entry.label) + entry.suffix;
  }
  if (list.colourLabels) return colourText(entry.value) + tr(" RGB Value");
  return formatQuantity(static_cast<double>(entry.value), list.labelUnit) + entry.suffix;
}

std::string displayLabel(IntParameter& parameter) {
  ChoiceList& list = parameter.list;
  const bool shownValid =
      list.shown >= 0 && static_cast<std::size_t>(list.shown) < list.entries.size();
  if (!list.changed && shownValid) return choiceEntryLabel(list, list.entries[list.shown]);
  int found = -1;
  for (std::size_t i = 0; i < list.entries.size(); ++i) {
    if (list.entries[i].value == parameter.value) {
      found = static_cast<int>(i);
      break;
    }
  }
  if (found < 0) {
    list.entries.push_back(ChoiceEntry{parameter.value, "", "", false});
    found = static_cast<int>(list.entries.size() - 1);
  }
  list.shown = found;
  list.changed = false;
  return choiceEntryLabel(list, list.entries[found]);
}

std::string presetLabel(const QuantityPreset<SizeValue>& preset) {
  if (!preset.label.empty()) return preset.translate ? tr(preset.label) : preset.label;
  return formatSize(preset.value);
}

std::string presetLabel(const QuantityPreset<Quantity>& preset) {
  if (!preset.label.empty()) return preset.translate ? tr(preset.label) : preset.label;
  return formatQuantity(preset.value);
}

namespace {

template <typename T>
std::string quantityDisplayLabel(QuantityParameter<T>& parameter) {
  const bool shownValid =
      parameter.shown >= 0 && static_cast<std::size_t>(parameter.shown) < parameter.presets.size();
  if (!parameter.changed && shownValid) return presetLabel(parameter.presets[parameter.shown]);
  int found = -1;
  for (std::size_t i = 0; i < parameter.presets.size(); ++i) {
    if (parameter.presets[i].value == parameter.value) {
      found = static_cast<int>(i);
      break;
    }
  }
  if (found < 0) {
    parameter.presets.push_back(QuantityPreset<T>{"", parameter.value, false});
    found = static_cast<int>(parameter.presets.size() - 1);
  }
  parameter.shown = found;
  parameter.changed = false;
  return presetLabel(parameter.presets[found]);
}

/// Selects the preset whose label equals `text` ignoring case; true when there is one.
template <typename T>
bool selectPresetByLabel(QuantityParameter<T>& parameter, const std::string& text) {
  for (std::size_t i = 0; i < parameter.presets.size(); ++i) {
    if (equalsIgnoringCase(presetLabel(parameter.presets[i]), text)) {
      parameter.value = parameter.presets[i].value;
      parameter.isSet = true;
      parameter.shown = static_cast<int>(i);
      parameter.changed = false;
      return true;
    }
  }
  return false;
}

template <typename T>
void appendTyped(QuantityParameter<T>& parameter, const std::string& text, const T& value) {
  parameter.presets.push_back(QuantityPreset<T>{text, value, false});
  parameter.value = value;
  parameter.isSet = true;
  parameter.shown = static_cast<int>(parameter.presets.size() - 1);
  parameter.changed = false;
}

}  // namespace

std::string displayLabel(QuantityParameter<SizeValue>& parameter) {
  return quantityDisplayLabel(parameter);
}

std::string displayLabel(QuantityParameter<Quantity>& parameter) {
  return quantityDisplayLabel(parameter);
}

bool applyTypedText(IntParameter& parameter, const std::string& text) {
  ChoiceList& list = parameter.list;
  for (std::size_t i = 0; i < list.entries.size(); ++i) {
    if (equalsIgnoringCase(choiceEntryLabel(list, list.entries[i]), text)) {
      parameter.select(i);
      list.changed = false;
      return true;
    }
  }
  const auto number = parsePlainNumber(text);
  if (!number || !(*number < 2147483647.0)) {
    parameter.set(-1);
    return false;
  }
  list.entries.push_back(ChoiceEntry{static_cast<long>(*number), text, "", false});
  parameter.select(list.entries.size() - 1);
  list.changed = false;
  return true;
}

bool applyTypedText(QuantityParameter<SizeValue>& parameter, const std::string& text) {
  if (selectPresetByLabel(parameter, text)) return true;
  const auto size = parseSizeText(text);
  if (!size) {
    parameter.set(SizeValue{-1, -1, parameter.value.unit});
    return false;
  }
  appendTyped(parameter, text, *size);
  return true;
}

bool applyTypedText(QuantityParameter<Quantity>& parameter, const std::string& text,
                    const UnitConstraint& constraint) {
  if (selectPresetByLabel(parameter, text)) return true;
  const auto quantity = parseQuantityText(text, constraint);
  if (!quantity) {
    parameter.set(Quantity{-1, parameter.value.unit});
    return false;
  }
  appendTyped(parameter, text, *quantity);
  return true;
}

std::string mosaicDirectoryLabel(const MosaicSettings& settings) {
  if (settings.mosaicDirectory.value.empty()) return tr("(Use Directory of Input Image)");
  return settings.mosaicDirectory.value;
}

bool applyParameterRules(MosaicSettings& s, bool skipDuplicatesRule,
                         std::vector<std::string>* notes) {
  bool changed = false;
  auto change = [&changed](IntParameter& parameter, long value) {
    if (parameter.value == value) return false;
    parameter.set(value);
    changed = true;
    return true;
  };
  auto switchOff = [&changed](Parameter<bool>& parameter) {
    if (!parameter.value) return false;
    parameter.set(false);
    changed = true;
    return true;
  };
  auto note = [notes](const std::string& text) {
    if (notes != nullptr) notes->push_back(text);
  };
  const auto processingToken = [&s](long id) {
    return writeToken(TokenTable::Processing, id, s.videoAvailable);
  };

  if (s.consecutiveFrames.value != 0) {
    const long processing = s.mosaicProcessing.value;
    const long duplication = s.tileDuplication.value;
    const bool faster = change(s.mosaicProcessing, 2);
    const bool single = change(s.tileDuplication, 1);
    if (faster || single) {
      std::string text = formatText(tr("ConsecutiveFrames %ld needs the Faster algorithm and no "
                                       "duplicates:"),
                                    s.consecutiveFrames.value);
      if (faster) {
        text += formatText(tr(" MosaicProcessing %s becomes %s"), processingToken(processing),
                           processingToken(2));
      }
      if (single) {
        text += formatText(tr(" TileDuplication %ld becomes 1"), duplication);
      }
      note(text + ".");
    }
  } else if (!skipDuplicatesRule) {
    const bool noDuplicates = s.tileDuplication.value == 1;
    const long spacing = s.duplicateSpacing.value;
    const long duplication = s.tileDuplication.value;
    if ((spacing != 0) == noDuplicates) {
      (void)change(s.duplicateSpacing, 0);
      (void)change(s.tileDuplication, 1);
      note(noDuplicates
               ? formatText(tr("TileDuplication 1 means no duplicates: DuplicateSpacing %ld "
                               "becomes 0."),
                            spacing)
               : formatText(tr("DuplicateSpacing 0 means no duplicates: TileDuplication %ld "
                               "becomes 1, so every picture is used at most once."),
                            duplication));
    }
  }
  const long format = s.fileFormat.value;
  const std::string formatToken = writeToken(TokenTable::Format, format, s.videoAvailable);
  if (format != kFormatPsd && format != kFormatPsb && switchOff(s.outputLayers)) {
    note(formatText(tr("OutputLayers is switched off: the format %s has no layers (only psd and "
                       "psb have)."),
                    formatToken));
  }
  if (format != kFormatTiff && format != kFormatPsd && format != kFormatPsb &&
      switchOff(s.outputTransparency)) {
    note(formatText(tr("OutputTransparency is switched off: the format %s has no transparency "
                       "(only tiff, psd and psb have)."),
                    formatToken));
  }
  if (s.mosaicSubdirectory.value == 3 && s.mosaicFileName.value == 2) {
    (void)change(s.mosaicFileName, 1);
    note(tr("MosaicFileName becomes overwrite: every mosaic gets a new subdirectory of its own."));
  }
  return changed;
}

bool validateParameters(const MosaicSettings& s) {
  if (!(s.mosaicSize.value.width > 0) || !(s.mosaicSize.value.height > 0)) return false;
  if (!admits(resolutionConstraint(), s.resolution.value)) return false;
  if (!admits(tileSizeConstraint(), s.tileSize.value)) return false;
  if (!admits(borderSizeConstraint(), s.borderSize.value)) return false;
  for (const IntParameter* parameter :
       {&s.tileDuplication, &s.duplicateSpacing, &s.colorChange, &s.pattern, &s.fileFormat,
        &s.jpgQuality, &s.consecutiveFrames, &s.webPageSize, &s.imageCompare, &s.mosaicProcessing,
        &s.colorChangePriority, &s.imageDetail, &s.mosaicFileName, &s.mosaicSubdirectory,
        &s.multiSize2, &s.multiSize4, &s.tileAdapt, &s.borderColor}) {
    if (!parameter->inRange()) return false;
  }
  if (s.tileVariants.value == 0) return false;
  if (s.mosaicDirectory.value == "-") return false;
  return true;
}

unsigned resolutionInPpi(const MosaicSettings& settings) {
  const Quantity& r = settings.resolution.value;
  if (r.unit != UnitId::Ppi && r.unit != UnitId::Dpi) return 0;
  const auto ppi = convertUnits(r.unit, UnitId::Ppi, 0, 0, r.value);
  if (!ppi || !(*ppi > 0)) return 0;
  if (*ppi >= 4294967295.0) return 4294967295u;
  return static_cast<unsigned>(std::trunc(*ppi));
}

}  // namespace tg
