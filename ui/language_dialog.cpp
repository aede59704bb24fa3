// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/language_dialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "config/user_values.h"
#include "ui/ui_text.h"

namespace tg {

LanguageDialog::LanguageDialog(QWidget* parent) : LanguageDialog(installedLanguageList(), parent) {}

LanguageDialog::LanguageDialog(std::vector<LanguageEntry> languages, QWidget* parent)
    : QDialog(parent), m_model(std::move(languages), userValue("Locale", "")) {
  setWindowTitle(applicationTitle());
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(toQString(LanguageDialogModel::prompt())));
  m_list = new QListWidget;
  for (const auto& entry : m_model.entries()) m_list->addItem(toQString(entry.name));
  m_list->setCurrentRow(m_model.selection());
  connect(m_list, &QListWidget::currentRowChanged, this, [this](int row) { m_model.select(row); });
  connect(m_list, &QListWidget::itemDoubleClicked, this, &LanguageDialog::accept);
  layout->addWidget(m_list);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  buttons->button(QDialogButtonBox::Ok)->setText(toQString(LanguageDialogModel::okLabel()));
  buttons->button(QDialogButtonBox::Cancel)->setText(toQString(LanguageDialogModel::cancelLabel()));
  connect(buttons, &QDialogButtonBox::accepted, this, &LanguageDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);
}

void LanguageDialog::accept() {
  if (m_model.accept(userValues())) QDialog::accept();
}

}  // namespace tg
