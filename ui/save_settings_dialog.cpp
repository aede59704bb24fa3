// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/save_settings_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/ui_text.h"

namespace tg {

SaveSettingsWindow::SaveSettingsWindow(const SaveSettingsChoice& initial, bool tileListAvailable,
                                       QWidget* parent)
    : QDialog(parent) {
  setObjectName(QStringLiteral("saveSettingsDialog"));
  setWindowTitle(applicationTitle() + QStringLiteral(" - ") + qtr("Save Settings"));

  m_name = new QLineEdit(toQString(initial.name), this);
  m_name->setMinimumWidth(320);
  m_name->setToolTip(qtr("The name under which the settings appear in the settings list."));
  m_tileList = new QCheckBox(qtr("Save the Tile Images List with the settings"), this);
  m_tileList->setToolTip(
      qtr("Loading these settings then loads the Tile Images List used now as well."));
  m_tileList->setChecked(tileListAvailable && initial.includeTileList);
  m_tileList->setEnabled(tileListAvailable);
  m_advanced = new QCheckBox(qtr("Save the Advanced Settings with the settings"), this);
  m_advanced->setToolTip(
      qtr("Without them, loading these settings keeps your default Advanced "
          "Settings."));
  m_advanced->setChecked(initial.includeAdvanced);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText(qtr("OK"));
  buttons->button(QDialogButtonBox::Cancel)->setText(qtr("Cancel"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* form = new QFormLayout;
  form->addRow(qtr("Settings name:"), m_name);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(m_tileList);
  layout->addWidget(m_advanced);
  layout->addWidget(buttons);
}

SaveSettingsChoice SaveSettingsWindow::choice() const {
  SaveSettingsChoice choice;
  choice.name = toStdString(m_name->text());
  choice.includeTileList = m_tileList->isEnabled() && m_tileList->isChecked();
  choice.includeAdvanced = m_advanced->isChecked();
  return choice;
}

std::optional<SaveSettingsChoice> QtSaveSettingsDialog::ask(const SaveSettingsChoice& initial,
                                                            bool tileListAvailable) {
  SaveSettingsWindow window(initial, tileListAvailable, m_parent);
  if (window.exec() != QDialog::Accepted) return std::nullopt;
  return window.choice();
}

}  // namespace tg
