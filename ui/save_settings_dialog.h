// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <optional>

#include "job/settings_sets.h"

class QCheckBox;
class QLineEdit;

namespace tg {

/// The Save Settings dialog: the name of the set and whether the Tile Images List and the
/// advanced settings are saved with it. The name rules and the overwrite question belong to
/// `SettingsSetsModel::saveSettingsInteractive`, which shows this dialog again after a refusal.
class SaveSettingsWindow final : public QDialog {
  Q_OBJECT

 public:
  SaveSettingsWindow(const SaveSettingsChoice& initial, bool tileListAvailable,
                     QWidget* parent = nullptr);

  [[nodiscard]] SaveSettingsChoice choice() const;
  [[nodiscard]] QLineEdit* nameEdit() const { return m_name; }
  [[nodiscard]] QCheckBox* tileListBox() const { return m_tileList; }
  [[nodiscard]] QCheckBox* advancedBox() const { return m_advanced; }

 private:
  QLineEdit* m_name = nullptr;
  QCheckBox* m_tileList = nullptr;
  QCheckBox* m_advanced = nullptr;
};

/// The window program's `SaveSettingsDialog`: shows a `SaveSettingsWindow` modally over
/// `parent`. Window thread only.
class QtSaveSettingsDialog final : public SaveSettingsDialog {
 public:
  explicit QtSaveSettingsDialog(QWidget* parent = nullptr) : m_parent(parent) {}
  std::optional<SaveSettingsChoice> ask(const SaveSettingsChoice& initial,
                                        bool tileListAvailable) override;

 private:
  QWidget* m_parent;
};

}  // namespace tg
