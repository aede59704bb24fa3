// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/main_window_model.h"

#include <filesystem>

#include "engine/comparison_settings.h"
#include "geometry/mosaic_information.h"
#include "geometry/units/unit_names.h"
#include "job/mosaic_job.h"
#include "job/settings_sets.h"
#include "platform/catalogue.h"
#include "platform/text_format.h"
#include "tiles/tile_groups.h"
#include "tiles/tile_images_list.h"

namespace tg {

namespace {

constexpr std::uint32_t kBoxBits[] = {2, 4, 8, 16, 32 | 64};

/// Dropped paths are read into a buffer of 2000 characters; longer ones cannot be meant.
constexpr std::size_t kDroppedPathLimit = 2000;

IntParameter* integerParameter(MosaicSettings& s, ParameterControl control) {
  switch (control) {
    case ParameterControl::TileDuplication:
      return &s.tileDuplication;
    case ParameterControl::DuplicateSpacing:
      return &s.duplicateSpacing;
    case ParameterControl::ColorChange:
      return &s.colorChange;
    case ParameterControl::Pattern:
      return &s.pattern;
    case ParameterControl::TileAdapt:
      return &s.tileAdapt;
    case ParameterControl::MultiSize2:
      return &s.multiSize2;
    case ParameterControl::MultiSize4:
      return &s.multiSize4;
    case ParameterControl::MosaicSize:
    case ParameterControl::Resolution:
    case ParameterControl::TileSize:
      break;
  }
  return nullptr;
}

const IntParameter* integerParameter(const MosaicSettings& s, ParameterControl control) {
  return integerParameter(const_cast<MosaicSettings&>(s), control);
}

QuantityParameter<Quantity>* quantityParameter(MosaicSettings& s, ParameterControl control) {
  if (control == ParameterControl::Resolution) return &s.resolution;
  if (control == ParameterControl::TileSize) return &s.tileSize;
  return nullptr;
}

const UnitConstraint& constraintOf(ParameterControl control) {
  return control == ParameterControl::Resolution ? resolutionConstraint() : tileSizeConstraint();
}

template <typename T>
std::vector<std::string> presetLabels(const QuantityParameter<T>& parameter) {
  std::vector<std::string> labels;
  for (const auto& preset : parameter.presets) labels.push_back(presetLabel(preset));
  return labels;
}

}  // namespace

std::uint32_t variantsFromBoxes(const VariantBoxes& boxes) {
  std::uint32_t variants = 0;
  for (std::size_t i = 0; i < boxes.size(); ++i) {
    if (boxes[i]) variants |= kBoxBits[i];
  }
  return variants;
}

VariantBoxes boxesFromVariants(std::uint32_t variants) {
  VariantBoxes boxes{};
  for (std::size_t i = 0; i < boxes.size(); ++i) boxes[i] = (variants & kBoxBits[i]) != 0;
  return boxes;
}

std::vector<DisplayUnitChoice> displayUnitChoices() {
  std::vector<DisplayUnitChoice> choices;
  for (UnitId unit : {UnitId::Pixel, UnitId::Inch, UnitId::Cm, UnitId::Tiles}) {
    choices.push_back({unit, unitDisplayName(2, false, unit)});
  }
  return choices;
}

MainWindowModel::MainWindowModel(MosaicJob& job, TileImagesList& list, SettingsSetsModel& sets)
    : m_job(job), m_list(list), m_sets(sets) {}

bool MainWindowModel::openFile(const std::string& path, bool select) {
  if (m_sets.openFile(path)) return false;
  return addMainImage(path, select) >= 0;
}

int MainWindowModel::addMainImage(const std::string& path, bool select) {
  if (m_cache.image(path) == nullptr) return -1;
  // A path equal to a listed one, ignoring case, is that entry. (A listed path that merely
  // begins with the new one is another file and does not count.)
  int index = -1;
  for (std::size_t i = 0; i < m_images.size(); ++i) {
    if (equalsIgnoringCase(m_images[i], path)) {
      index = static_cast<int>(i);
      break;
    }
  }
  if (index < 0) {
    m_images.push_back(path);
    index = static_cast<int>(m_images.size()) - 1;
  }
  if (select) selectMainImage(index);
  return index;
}

bool MainWindowModel::dropFiles(const std::vector<std::string>& paths) {
  bool select = true;
  bool added = false;
  for (const auto& path : paths) {
    if (path.empty() || path.size() >= kDroppedPathLimit) continue;
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (error || !std::filesystem::exists(status) || std::filesystem::is_directory(status)) {
      continue;
    }
    if (openFile(path, select)) {
      select = false;
      added = true;
    }
  }
  return added;
}

void MainWindowModel::removeMainImage() {
  if (m_selected < 0 || m_selected >= static_cast<int>(m_images.size())) return;
  const std::string path = m_images[static_cast<std::size_t>(m_selected)];
  // The shown picture is released with its entry: forget it before the pointer dangles.
  m_shownPath.clear();
  m_cache.release(path);
  m_images.erase(m_images.begin() + m_selected);
  m_selected = -1;
  selectMainImage(m_images.empty() ? -1 : 0);
}

void MainWindowModel::removeAllMainImages() {
  m_images.clear();
  m_selected = -1;
  m_shownPath.clear();
  m_cache.releaseAll();
  selectMainImage(-1);
}

bool MainWindowModel::selectMainImage(int index) {
  m_selected = index >= 0 && index < static_cast<int>(m_images.size()) ? index : -1;
  const std::string path = selectedPath();
  const Foto* image = path.empty() ? nullptr : m_cache.image(path);
  m_width = image != nullptr ? image->width : 0;
  m_height = image != nullptr ? image->height : 0;
  m_sets.setMainImageSelected(m_selected >= 0);
  const bool changed = path != m_shownPath;
  m_shownPath = path;
  return changed;
}

std::string MainWindowModel::selectedPath() const {
  return m_selected >= 0 ? m_images[static_cast<std::size_t>(m_selected)] : std::string();
}

const Foto* MainWindowModel::selectedImage() {
  const std::string path = selectedPath();
  return path.empty() ? nullptr : m_cache.image(path);
}

std::vector<std::string> MainWindowModel::choiceLabels(ParameterControl control) const {
  const MosaicSettings& s = m_job.settings;
  if (control == ParameterControl::MosaicSize) return presetLabels(s.mosaicSize);
  if (control == ParameterControl::Resolution) return presetLabels(s.resolution);
  if (control == ParameterControl::TileSize) return presetLabels(s.tileSize);
  const IntParameter& parameter = *integerParameter(s, control);
  std::vector<std::string> labels;
  for (const auto& entry : parameter.list.entries) {
    labels.push_back(choiceEntryLabel(parameter.list, entry));
  }
  return labels;
}

std::string MainWindowModel::currentLabel(ParameterControl control) {
  MosaicSettings& s = m_job.settings;
  if (control == ParameterControl::MosaicSize) return displayLabel(s.mosaicSize);
  if (auto* quantity = quantityParameter(s, control)) return displayLabel(*quantity);
  return displayLabel(*integerParameter(s, control));
}

bool MainWindowModel::takeControlText(ParameterControl control, const std::string& text) {
  MosaicSettings& s = m_job.settings;
  if (control == ParameterControl::MosaicSize) return applyTypedText(s.mosaicSize, text);
  if (auto* quantity = quantityParameter(s, control)) {
    return applyTypedText(*quantity, text, constraintOf(control));
  }
  return applyTypedText(*integerParameter(s, control), text);
}

void MainWindowModel::takeVariantBoxes(const VariantBoxes& boxes) {
  m_job.settings.tileVariants.set(variantsFromBoxes(boxes));
}

VariantBoxes MainWindowModel::variantBoxes() const {
  return boxesFromVariants(m_job.settings.tileVariants.value);
}

bool MainWindowModel::invalid(ParameterControl control) const {
  const MosaicSettings& s = m_job.settings;
  switch (control) {
    case ParameterControl::MosaicSize:
      return !(s.mosaicSize.value.width > 0) || !(s.mosaicSize.value.height > 0);
    case ParameterControl::Resolution:
      return !resolutionConstraint().admits(s.resolution.value);
    case ParameterControl::TileSize:
      return !tileSizeConstraint().admits(s.tileSize.value);
    case ParameterControl::Pattern:
      return !s.pattern.inRange();
    default:
      break;
  }
  // Compared unsigned, so a negative value (text that did not parse) is out of range.
  const IntParameter& p = *integerParameter(s, control);
  const auto value = static_cast<unsigned long>(p.value);
  return value < static_cast<unsigned long>(p.minimum) ||
         value > static_cast<unsigned long>(p.maximum);
}

const MainWindowInformation& MainWindowModel::refreshInformation(bool jobRunning) {
  if (m_refreshing) return m_info;
  m_refreshing = true;
  MosaicSettings& s = m_job.settings;
  MainWindowInformation info;
  for (std::size_t i = 0; i < kParameterControlCount; ++i) {
    info.invalid[i] = invalid(static_cast<ParameterControl>(i));
  }
  info.controlsChanged = applyParameterRules(s, true);

  if (!jobRunning) numberGroups(m_list, static_cast<int>(s.mosaicProcessing.value));
  const std::size_t tileCount = std::size_t{m_list.landscapeCount} + m_list.portraitCount +
                                m_list.landscapeClipCount + m_list.portraitClipCount;

  bool correct = false;
  info.geometryValid = computeMosaicGeometry(s, m_width, m_height, info.geometry);
  if (!info.geometryValid) {
    info.message = info.geometry.message;
  } else if (!jobRunning) {
    correct = configureComparison(s, tileCount);
  }
  if (!jobRunning && info.message.empty()) {
    if (!validateParameters(s)) {
      info.message = tr("Please specify all the parameters");
      correct = false;
    } else if (m_list.tiles.empty()) {
      info.message = tr("Please select the Images to use as Tiles using Button #2 (pictures Icon)");
      correct = false;
    }
  }

  const PatternLayout* preview = nullptr;
  if (info.geometryValid && !info.geometry.isMaskFileMode()) {
    auto& cells = info.previewCells;
    const bool laidOut = layoutPattern(
        s.pattern.value, info.geometry, s.tileAdapt.value,
        [&cells](const CellRect& cell) {
          if (cells.size() < kPreviewCellLimit) cells.push_back(cell);
          return true;
        },
        info.layout);
    if (laidOut) preview = &info.layout;
  }
  info.informationLines = mosaicInformationLines(info.geometry, s, m_displayUnit, preview);
  info.tileLines = tileLines(info);

  info.parametersCorrect = correct;
  if (correct) info.message = tr("All Parameters are correct :-)");
  info.colour = correct ? kStatusColourNormal : kStatusColourError;
  if (!info.message.empty()) m_job.setStatus(info.message, info.colour);

  info.createEnabled = correct || jobRunning;
  info.removeEnabled = !m_images.empty();
  info.removeAllEnabled = m_images.size() >= 2;
  m_info = std::move(info);
  m_refreshing = false;
  return m_info;
}

std::vector<std::string> MainWindowModel::tileLines(const MainWindowInformation& info) const {
  std::vector<std::string> lines;
  const auto line = [&lines](const char* label, const std::string& text) {
    lines.push_back(formatText("%s %s", tr(label), text));
  };
  const auto counts = [](const char* format, unsigned long landscape, unsigned long portrait) {
    return formatText(tr(format), landscape, portrait);
  };
  const PatternLayout& layout = info.layout;
  if (layout.landscapeCells > 0 || layout.portraitCells > 0) {
    line(N_("Tile Type:"),
         formatText(tr("%lu(L) + %lu(P) %s"), static_cast<unsigned long>(layout.landscapeCells),
                    static_cast<unsigned long>(layout.portraitCells),
                    unitDisplayName(2, false, UnitId::Tiles)));
  }
  if (m_list.landscapeCount > 0 || m_list.portraitCount > 0) {
    line(N_("List Type:"),
         counts(N_("%lu(L) + %lu(P) images"), m_list.landscapeCount, m_list.portraitCount));
  }
  if (m_list.landscapeClipCount > 0 || m_list.portraitClipCount > 0) {
    line(N_("List Type:"), counts(N_("%lu(L) + %lu(P) videoclip"), m_list.landscapeClipCount,
                                  m_list.portraitClipCount));
  }
  if (m_list.tiles.empty()) {
    line(N_("List Type:"), formatText(trn("%ld Landscape image", "%ld Landscape images", 0), 0L));
  }
  const long processing = m_job.settings.mosaicProcessing.value;
  if (processing == kGroupModeCustomVariants || processing == kGroupModeFolderVariants) {
    const long groups = static_cast<long>(m_list.lastGroupId);
    line(N_("List Type:"),
         formatText(trn("%ld unique tile", "%ld unique tiles", static_cast<unsigned long>(groups)),
                    groups));
  }
  return lines;
}

}  // namespace tg
