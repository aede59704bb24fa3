// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/about_box.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "config/user_values.h"
#include "ui/ui_text.h"

namespace tg {

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
  setWindowTitle(qtr("About Tesselograph"));
  auto* layout = new QVBoxLayout(this);
  auto* top = new QHBoxLayout;
  auto* icon = new QLabel;
  icon->setPixmap(QApplication::windowIcon().pixmap(96, 96));
  top->addWidget(icon);
  auto* name =
      new QLabel(QStringLiteral("<h2>%1</h2><p>%2 %3</p><p>%4</p>")
                     .arg(applicationTitle(), qtr("Version"), QApplication::applicationVersion(),
                          qtr("Photographic mosaics from your own pictures.")));
  top->addWidget(name, 1);
  layout->addLayout(top);
  m_count = new QLabel(toQString(userValues().createdMosaicsText()));
  m_count->setWordWrap(true);
  layout->addWidget(m_count);
  m_toolTips = new QCheckBox(qtr("Show tooltips"));
  m_toolTips->setChecked(toolTipsEnabled(-1));
  connect(m_toolTips, &QCheckBox::toggled, this,
          [](bool on) { (void)toolTipsEnabled(on ? 1 : 0); });
  layout->addWidget(m_toolTips);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
  buttons->button(QDialogButtonBox::Ok)->setText(qtr("OK"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  layout->addWidget(buttons);
}

}  // namespace tg
