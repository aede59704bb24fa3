// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <array>
#include <functional>

#include "job/more_options_model.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLineEdit;
class QPushButton;

namespace tg {

/// How the More Options window reaches the update check. Until the program sets it (the update
/// check has its own place in `update/`), the update controls are hidden.
struct UpdateCheckHooks {
  std::function<int()> mode;         ///< the stored update mode (1..6)
  std::function<void(int)> setMode;  ///< stores the chosen mode
  std::function<void()> checkNow;    ///< the Check Now button: a check on request
  [[nodiscard]] bool available() const { return mode && setMode && checkNow; }
};
/// Installs the hooks for every More Options window opened afterwards (window thread).
void setUpdateCheckHooks(UpdateCheckHooks hooks);

/// The More Options window: every mosaic parameter that the main window does not show, grouped
/// as placement and matching, colour and border, output format and quality, output files and
/// folders, extra outputs (report, web page, mask, individual tiles, split) and video frames,
/// plus the Advanced Settings dialog. It edits a `MoreOptionsModel` copy of the settings; OK
/// hands the copy back after the parameter rules (or says why a value is refused and stays),
/// Cancel changes nothing. While a job runs everything is shown but nothing can change.
/// Window thread only; `settings` outlives the window.
class MoreOptionsDialog final : public QDialog {
  Q_OBJECT

 public:
  MoreOptionsDialog(MosaicSettings& settings, bool jobRunning, QWidget* parent = nullptr);

  [[nodiscard]] QComboBox* choiceBox(MoreOptionsChoice choice) const;
  [[nodiscard]] QCheckBox* switchBox(MoreOptionsSwitch item) const;
  [[nodiscard]] QComboBox* borderSizeBox() const { return m_borderSize; }
  [[nodiscard]] QLineEdit* directoryEdit() const { return m_directory; }
  [[nodiscard]] QPushButton* button(const char* objectName) const;
  [[nodiscard]] QGroupBox* updateGroup() const { return m_updateGroup; }

 public slots:
  void accept() override;

 private:
  void chooseEntry(MoreOptionsChoice choice, int index);
  void typeText(MoreOptionsChoice choice);
  void chooseBorderColour();
  void chooseFolder();
  void openAdvancedSettings();
  void refresh();

  MosaicSettings& m_settings;
  MoreOptionsModel m_model;
  std::array<QComboBox*, kMoreOptionsChoiceCount> m_choices{};
  std::array<QCheckBox*, kMoreOptionsSwitchCount> m_switches{};
  QComboBox* m_borderSize = nullptr;
  QLineEdit* m_directory = nullptr;
  QGroupBox* m_updateGroup = nullptr;
  QComboBox* m_updateMode = nullptr;
  bool m_filling = false;
};

}  // namespace tg
