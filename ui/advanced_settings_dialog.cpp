// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/advanced_settings_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <string>

#include "config/settings_store.h"
#include "parallel/worker_settings.h"
#include "platform/text_format.h"
#include "platform/user_dialogs.h"
#include "ui/ui_text.h"

namespace tg {

AdvancedSettingsDialog::AdvancedSettingsDialog(AdvancedSettings& rows, QWidget* parent,
                                               std::string configFile, SettingsLocation location)
    : QDialog(parent) {
  SettingsStore config;
  config.open(configFile, location);
  m_configPath = config.path();
  m_model = std::make_unique<AdvancedSettingsDialogModel>(rows, std::move(configFile), location,
                                                          systemProcessorCount());
  setObjectName(QStringLiteral("advancedSettingsDialog"));
  setWindowTitle(applicationTitle() + QStringLiteral(" - ") + qtr("Advanced Settings"));

  m_list = new QTreeWidget(this);
  m_list->setRootIsDecorated(false);
  m_list->setUniformRowHeights(true);
  QStringList titles;
  for (const std::string& title : AdvancedSettingsDialogModel::columnTitles()) {
    titles << toQString(title);
  }
  m_list->setHeaderLabels(titles);
  m_list->setColumnWidth(0, AdvancedSettingsDialogModel::kSectionColumnWidth);
  m_list->setColumnWidth(1, AdvancedSettingsDialogModel::kParameterColumnWidth);
  m_list->setColumnWidth(2, AdvancedSettingsDialogModel::kValueColumnWidth);
  m_list->setMinimumSize(AdvancedSettingsDialogModel::kSectionColumnWidth +
                             AdvancedSettingsDialogModel::kParameterColumnWidth +
                             AdvancedSettingsDialogModel::kValueColumnWidth + 40,
                         360);
  for (const auto& line : m_model->lines()) {
    m_list->addTopLevelItem(new QTreeWidgetItem(
        QStringList{toQString(line.section), toQString(line.parameter), toQString(line.value)}));
  }

  m_value = new QComboBox(this);
  m_value->setEditable(true);
  m_value->setInsertPolicy(QComboBox::NoInsert);
  m_value->setEnabled(false);
  m_help = new QLabel(this);
  m_help->setWordWrap(true);
  m_help->setMinimumHeight(96);
  m_help->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  m_help->setTextFormat(Qt::PlainText);

  m_loadDefaults = new QPushButton(qtr("Load Default Values"), this);
  m_loadDefaults->setToolTip(toQString(AdvancedSettingsDialogModel::loadDefaultsTooltip()));
  m_loadDefaults->setAutoDefault(false);
  m_saveDefaults = new QPushButton(qtr("Save Default Values"), this);
  m_saveDefaults->setToolTip(toQString(AdvancedSettingsDialogModel::saveDefaultsTooltip()));
  m_saveDefaults->setAutoDefault(false);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setText(qtr("OK"));
  buttons->button(QDialogButtonBox::Cancel)->setText(qtr("Cancel"));
  auto* buttonRow = new QHBoxLayout;
  buttonRow->addWidget(m_loadDefaults);
  buttonRow->addWidget(m_saveDefaults);
  buttonRow->addStretch();
  buttonRow->addWidget(buttons);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(m_list, 1);
  layout->addWidget(m_value);
  layout->addWidget(m_help);
  layout->addLayout(buttonRow);

  connect(m_list, &QTreeWidget::currentItemChanged, this,
          [this](QTreeWidgetItem* current) { selectLine(m_list->indexOfTopLevelItem(current)); });
  connect(m_value, &QComboBox::currentTextChanged, this, [this](const QString& text) {
    if (!m_filling) m_model->setEditText(toStdString(text));
  });
  connect(m_loadDefaults, &QPushButton::clicked, this, [this] {
    m_model->loadDefaultValues();
    refreshValues();
    refreshValueBox();
  });
  connect(m_saveDefaults, &QPushButton::clicked, this, [this] {
    if (!m_model->saveDefaultValues()) {
      showMessage(formatText(tg::tr("Unable to save file '%s'"), m_configPath));
    }
    refreshValues();
    refreshValueBox();
  });
  connect(buttons, &QDialogButtonBox::accepted, this, &AdvancedSettingsDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &AdvancedSettingsDialog::reject);
}

AdvancedSettingsDialog::~AdvancedSettingsDialog() = default;

void AdvancedSettingsDialog::setJobRunning(bool running) {
  m_jobRunning = running;
  m_loadDefaults->setEnabled(!running);
  m_saveDefaults->setEnabled(!running);
  m_value->setEnabled(!running && m_model->selectedIndex() >= 0);
}

void AdvancedSettingsDialog::accept() {
  if (!m_jobRunning) m_model->ok();
  QDialog::accept();
}

void AdvancedSettingsDialog::selectLine(int index) {
  m_model->select(index);  // commits the text edited on the line left
  refreshValues();
  refreshValueBox();
}

void AdvancedSettingsDialog::refreshValues() {
  const auto lines = m_model->lines();
  for (int i = 0; i < m_list->topLevelItemCount() && i < static_cast<int>(lines.size()); ++i) {
    m_list->topLevelItem(i)->setText(2, toQString(lines[static_cast<std::size_t>(i)].value));
  }
}

void AdvancedSettingsDialog::refreshValueBox() {
  m_filling = true;
  m_value->clear();
  for (const std::string& entry : m_model->valueBoxEntries()) m_value->addItem(toQString(entry));
  m_value->setEditText(toQString(m_model->editText()));
  m_filling = false;
  m_value->setEnabled(!m_jobRunning && m_model->selectedIndex() >= 0);
  m_help->setText(toQString(m_model->helpLine()));
}

}  // namespace tg
