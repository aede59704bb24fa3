// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <memory>
#include <string>

#include "job/advanced_settings_dialog.h"

class QComboBox;
class QLabel;
class QPushButton;
class QTreeWidget;

namespace tg {

/// The Advanced Settings dialog over `AdvancedSettingsDialogModel`: the list of rows (Section,
/// Parameter, Value), an editable value box with the values the row offers, the help line of the
/// selected row, OK, Cancel, Load Default Values and Save Default Values. The dialog edits the
/// model's working copy; only OK (and Save Default Values, which also writes the configuration
/// file) changes the rows. Window thread only; the rows outlive the dialog.
class AdvancedSettingsDialog final : public QDialog {
  Q_OBJECT

 public:
  /// A dialog on `rows`, with Load/Save Default Values on the configuration file `configFile`.
  explicit AdvancedSettingsDialog(AdvancedSettings& rows, QWidget* parent = nullptr,
                                  std::string configFile = kConfigFileName,
                                  SettingsLocation location = SettingsLocation::ConfigFolder);
  ~AdvancedSettingsDialog() override;

  /// While a job runs the values are shown but cannot change (OK then only closes).
  void setJobRunning(bool running);

  [[nodiscard]] QTreeWidget* rowList() const { return m_list; }
  [[nodiscard]] QComboBox* valueBox() const { return m_value; }
  [[nodiscard]] QLabel* helpLabel() const { return m_help; }
  [[nodiscard]] QPushButton* loadDefaultsButton() const { return m_loadDefaults; }
  [[nodiscard]] QPushButton* saveDefaultsButton() const { return m_saveDefaults; }
  [[nodiscard]] AdvancedSettingsDialogModel& model() { return *m_model; }

 public slots:
  void accept() override;

 private:
  void selectLine(int index);
  void refreshValues();
  void refreshValueBox();

  std::unique_ptr<AdvancedSettingsDialogModel> m_model;
  std::string m_configPath;
  QTreeWidget* m_list = nullptr;
  QComboBox* m_value = nullptr;
  QLabel* m_help = nullptr;
  QPushButton* m_loadDefaults = nullptr;
  QPushButton* m_saveDefaults = nullptr;
  bool m_jobRunning = false;
  bool m_filling = false;
};

}  // namespace tg
