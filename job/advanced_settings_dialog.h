// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <string>
#include <vector>

#include "config/advanced_settings.h"
#include "config/settings_store.h"

namespace tg {

/// The text a row shows for `value`: the translated label of a choice row's token, "yes"/"no"
/// (translated) for "1"/"0" of a yes/no row, otherwise the value unchanged.
[[nodiscard]] std::string advancedDisplayValue(AdvancedRow row, const std::string& value);

/// Turns the text edited in the value box into the value stored for `row`, by the row's commit
/// rule. `processors` is the processor count the system reports (used by row 0 for negative
/// values; 0 or more than 5000 counts as 1).
[[nodiscard]] std::string commitAdvancedValue(AdvancedRow row, const std::string& edited,
                                              unsigned processors);

/// The help line of a row: its help text, then "Default factory value", ": ", the factory
/// default, the unit name and unit label, and a final ".".
[[nodiscard]] std::string advancedHelpLine(AdvancedRow row);

/// The Advanced Settings dialog as a model: a working copy of the 29 values, the list lines,
/// the value box of the selected line with its help line, and the buttons. The front end shows
/// it; window thread only. The rows and the configuration file outlive the model.
class AdvancedSettingsDialogModel {
 public:
  /// Column widths of the list: "Section", "Parameter", "Value".
  static constexpr int kSectionColumnWidth = 135;
  static constexpr int kParameterColumnWidth = 180;
  static constexpr int kValueColumnWidth = 150;

  /// The translated column titles: "Section", "Parameter", "Value".
  [[nodiscard]] static std::array<std::string, 3> columnTitles();
  /// The translated tooltips of the Load and Save Default Values buttons.
  [[nodiscard]] static std::string loadDefaultsTooltip();
  [[nodiscard]] static std::string saveDefaultsTooltip();

  /// One line of the list.
  struct Line {
    AdvancedRow row;
    std::string section;    ///< translated section
    std::string parameter;  ///< translated label
    std::string value;      ///< `advancedDisplayValue` of the working value
  };

  /// Opens the dialog on `rows`. `configFile`/`location` name the configuration file used by
  /// Load and Save Default Values; `processors` is the processor count for row 0.
  AdvancedSettingsDialogModel(AdvancedSettings& rows, std::string configFile = kConfigFileName,
                              SettingsLocation location = SettingsLocation::ConfigFolder,
                              unsigned processors = 0);

  /// The list lines, in row order (rows that are not set up are left out).
  [[nodiscard]] std::vector<Line> lines() const;

  /// Selects list line `index` (-1: none). The edited text of the line left is committed first.
  void select(int index);
  [[nodiscard]] int selectedIndex() const { return m_selected; }

  /// The value box of the selected line: the current value followed by the offered values.
  [[nodiscard]] const std::vector<std::string>& valueBoxEntries() const { return m_entries; }
  /// The help line of the selected line ("" when none).
  [[nodiscard]] const std::string& helpLine() const { return m_help; }
  /// The text currently in the value box.
  [[nodiscard]] const std::string& editText() const { return m_edit; }
  /// The user typed or chose `text` in the value box.
  void setEditText(const std::string& text) { m_edit = text; }

  /// The working value of `row`.
  [[nodiscard]] const std::string& workingValue(AdvancedRow row) const;

  /// OK: commits the edited text and copies the working copy into the rows.
  void ok();
  /// Load Default Values: the working copy becomes the configuration file's values (factory
  /// defaults where it has none). The rows change only on OK.
  void loadDefaultValues();
  /// Save Default Values: copies the working copy into the rows, writes them as the defaults of
  /// the configuration file, then loads the defaults. Returns false when the file could not be
  /// written.
  [[nodiscard]] bool saveDefaultValues();

 private:
  void commitEdit();
  void openConfig(SettingsStore& store) const;

  AdvancedSettings& m_rows;
  std::array<std::string, kAdvancedRowCount> m_working;
  std::vector<AdvancedRow> m_visible;
  std::string m_configFile;
  SettingsLocation m_location;
  unsigned m_processors;
  int m_selected = -1;
  std::vector<std::string> m_entries;
  std::string m_help;
  std::string m_edit;
};

}  // namespace tg
