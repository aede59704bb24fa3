// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

namespace tg {

/// The start menu that `-m` shows instead of the main window: it offers the window's main
/// commands. Choosing one closes the menu with that choice (the program then opens the main
/// window and runs it); the user guide, the about box and the language dialog open from the menu
/// itself. Closing the menu ends the program.
class StartMenu final : public QDialog {
  Q_OBJECT

 public:
  enum class Choice { None, MakeMosaic, AddMainImages, LoadSettings, TileImages };

  /// `tileImages` says whether the Tile Images window exists (its entry is offered then).
  StartMenu(bool tileImages, QWidget* parent = nullptr);

  [[nodiscard]] Choice choice() const { return m_choice; }

 private:
  Choice m_choice = Choice::None;
};

}  // namespace tg
