// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/start_menu.h"

#include <QApplication>
#include <QCommandLinkButton>
#include <QLabel>
#include <QVBoxLayout>

#include "app/user_guide.h"
#include "ui/about_box.h"
#include "ui/language_dialog.h"
#include "ui/ui_text.h"

namespace tg {

StartMenu::StartMenu(bool tileImages, QWidget* parent) : QDialog(parent) {
  setWindowTitle(applicationTitle());
  setMinimumWidth(380);
  auto* layout = new QVBoxLayout(this);
  auto* heading = new QLabel(QStringLiteral("<h2>%1</h2>").arg(applicationTitle()));
  layout->addWidget(heading);
  const auto choose = [this, layout](const char* text, const char* detail, Choice choice) {
    auto* button = new QCommandLinkButton(qtr(text), qtr(detail));
    connect(button, &QPushButton::clicked, this, [this, choice] {
      m_choice = choice;
      accept();
    });
    layout->addWidget(button);
  };
  choose(N_("Make a Mosaic"), N_("Open the main window"), Choice::MakeMosaic);
  choose(N_("Add Main Images..."), N_("Choose the pictures to turn into mosaics"),
         Choice::AddMainImages);
  choose(N_("Load Settings File..."), N_("Start from the settings of an earlier mosaic"),
         Choice::LoadSettings);
  if (tileImages) {
    choose(N_("Tile Images..."), N_("Build or open the list of pictures used as tiles"),
           Choice::TileImages);
  }
  const auto command = [this, layout](const char* text, auto run) {
    auto* button = new QPushButton(qtr(text));
    connect(button, &QPushButton::clicked, this, run);
    layout->addWidget(button);
  };
  command(N_("User Guide"), [] { (void)openUserGuide(); });
  command(N_("Language..."), [this] {
    LanguageDialog dialog(this);
    (void)dialog.exec();
  });
  command(N_("About Tesselograph"), [this] {
    AboutBox about(this);
    (void)about.exec();
  });
}

}  // namespace tg
