// SPDX-License-Identifier: GPL-3.0-or-later
#include "job/advanced_settings_dialog.h"

#include <algorithm>
#include <cmath>
#include <thread>
#include <utility>

#include "geometry/units/quantity_text.h"
#include "geometry/units/unit_names.h"
#include "platform/catalogue.h"
#include "platform/text_format.h"

namespace tg {

namespace {

std::size_t indexOf(AdvancedRow row) { return static_cast<std::size_t>(row); }

std::string choiceToken(const AdvancedRowDefinition& definition, const std::string& edited) {
  for (const AdvancedChoice& choice : definition.choices) {
    if (edited == tr(choice.label)) return choice.token;
  }
  for (const AdvancedChoice& choice : definition.choices) {
    if (equalsIgnoringCase(edited, tr(choice.label))) return choice.token;
  }
  // A token typed as it is stored, or any other text, stays as typed.
  return edited;
}

std::string clampedPercent(const std::string& edited, double minimum) {
  double value = advancedTextToDouble(edited);
  if (std::isnan(value)) value = minimum;
  value = std::clamp(value, minimum, 100.0);
  return formatFixed(value, std::trunc(value) == value ? 0 : 2);
}

}  // namespace

std::string advancedDisplayValue(AdvancedRow row, const std::string& value) {
  const AdvancedRowDefinition& definition = advancedRowDefinition(row);
  if (definition.rule == AdvancedCommitRule::Choice) {
    for (const AdvancedChoice& choice : definition.choices) {
      if (value == choice.token) return tr(choice.label);
    }
  } else if (definition.rule == AdvancedCommitRule::YesNo) {
    if (value == "1") return tr("yes");
    if (value == "0") return tr("no");
  }
  return value;
}

std::string commitAdvancedValue(AdvancedRow row, const std::string& edited, unsigned processors) {
  const AdvancedRowDefinition& definition = advancedRowDefinition(row);
  switch (definition.rule) {
    case AdvancedCommitRule::ProcessCount: {
      long value = advancedTextToLong(edited);
      if (value < 0) value = (processors == 0 || processors > 5000) ? 1 : processors;
      return std::to_string(value);
    }
    case AdvancedCommitRule::Integer:
      return std::to_string(advancedTextToLong(edited));
    case AdvancedCommitRule::Choice:
      return choiceToken(definition, edited);
    case AdvancedCommitRule::YesNo:
      if (equalsIgnoringCase(edited, tr("yes"))) return "1";
      if (equalsIgnoringCase(edited, tr("no"))) return "0";
      return std::to_string(advancedTextToLong(edited));
    case AdvancedCommitRule::Percent:
      return clampedPercent(edited, 0.0);
    case AdvancedCommitRule::PercentOrMinusOne:
      return clampedPercent(edited, -1.0);
    case AdvancedCommitRule::Text:
      break;
  }
  return edited;
}

std::string advancedHelpLine(AdvancedRow row) {
  const AdvancedRowDefinition& definition = advancedRowDefinition(row);
  std::string line = advancedRowHelp(row);
  line += "\n" + tr("Default factory value") + ": " + definition.factoryDefault;
  const long count = advancedTextToLong(definition.factoryDefault);
  const std::string unit =
      unitDisplayName(static_cast<unsigned long>(count < 0 ? -count : count), false,
                      static_cast<UnitId>(definition.unitCode)) +
      (definition.unitLabel[0] != '\0' ? tr(definition.unitLabel) : std::string());
  // A unit without a name (none) and without a label would only leave a stray space.
  if (!unit.empty()) line += " " + unit;
  return line + ".";
}

AdvancedSettingsDialogModel::AdvancedSettingsDialogModel(AdvancedSettings& rows,
                                                         std::string configFile,
                                                         SettingsLocation location,
                                                         unsigned processors)
    : m_rows(rows),
      m_configFile(std::move(configFile)),
      m_location(location),
      m_processors(processors != 0 ? processors : std::thread::hardware_concurrency()) {
  for (std::size_t i = 0; i < kAdvancedRowCount; ++i) {
    m_working[i] = rows.rowValue(i);
    if (!rows.row(i).key.empty()) m_visible.push_back(static_cast<AdvancedRow>(i));
  }
}

std::array<std::string, 3> AdvancedSettingsDialogModel::columnTitles() {
  return {tr("Section"), tr("Parameter"), tr("Value")};
}

std::string AdvancedSettingsDialogModel::loadDefaultsTooltip() {
  return tr("Set the Advanced Settings to the default values.");
}

std::string AdvancedSettingsDialogModel::saveDefaultsTooltip() {
  return tr("Replace the default values with the current Advanced Settings.");
}

std::vector<AdvancedSettingsDialogModel::Line> AdvancedSettingsDialogModel::lines() const {
  std::vector<Line> result;
  for (AdvancedRow row : m_visible) {
    const AdvancedRowDefinition& definition = advancedRowDefinition(row);
    result.push_back(Line{row, tr(definition.section), tr(definition.label),
                          advancedDisplayValue(row, m_working[indexOf(row)])});
  }
  return result;
}

void AdvancedSettingsDialogModel::select(int index) {
  commitEdit();
  m_entries.clear();
  m_help.clear();
  m_edit.clear();
  if (index < 0 || static_cast<std::size_t>(index) >= m_visible.size()) {
    m_selected = -1;
    return;
  }
  m_selected = index;
  const AdvancedRow row = m_visible[static_cast<std::size_t>(index)];
  const AdvancedRowDefinition& definition = advancedRowDefinition(row);
  m_edit = advancedDisplayValue(row, m_working[indexOf(row)]);
  m_entries.push_back(m_edit);
  if (definition.rule == AdvancedCommitRule::Choice) {
    for (const AdvancedChoice& choice : definition.choices) m_entries.push_back(tr(choice.label));
  } else if (definition.rule == AdvancedCommitRule::YesNo) {
    m_entries.push_back(tr("yes"));
    m_entries.push_back(tr("no"));
  } else {
    for (const char* value : definition.offeredValues) m_entries.emplace_back(value);
  }
  m_help = advancedHelpLine(row);
}

const std::string& AdvancedSettingsDialogModel::workingValue(AdvancedRow row) const {
  return m_working[indexOf(row)];
}

void AdvancedSettingsDialogModel::commitEdit() {
  if (m_selected < 0) return;
  const AdvancedRow row = m_visible[static_cast<std::size_t>(m_selected)];
  m_working[indexOf(row)] = commitAdvancedValue(row, m_edit, m_processors);
}

void AdvancedSettingsDialogModel::ok() {
  commitEdit();
  for (std::size_t i = 0; i < kAdvancedRowCount; ++i) m_rows.setRowValue(i, m_working[i]);
}

void AdvancedSettingsDialogModel::openConfig(SettingsStore& store) const {
  store.open(m_configFile, m_location);
}

void AdvancedSettingsDialogModel::loadDefaultValues() {
  SettingsStore config;
  openConfig(config);
  config.setAutoSync(false);
  (void)config.load();  // missing or unreadable: the factory defaults
  AdvancedSettings defaults(m_rows.videoAvailable());
  loadAdvancedRows(defaults, true, config);
  for (std::size_t i = 0; i < kAdvancedRowCount; ++i) m_working[i] = defaults.rowValue(i);
  // The value box shows the reloaded value of the selected line, not the text edited before.
  const int selected = m_selected;
  m_selected = -1;
  select(selected);
}

bool AdvancedSettingsDialogModel::saveDefaultValues() {
  commitEdit();
  for (std::size_t i = 0; i < kAdvancedRowCount; ++i) m_rows.setRowValue(i, m_working[i]);
  SettingsStore config;
  openConfig(config);
  const bool saved = saveAdvancedDefaults(m_rows, config);
  loadDefaultValues();
  return saved;
}

}  // namespace tg
