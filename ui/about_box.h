// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;

namespace tg {

/// The about box: the program's name and version, how many mosaics the user has made
/// (`UserValues::createdMosaicsText`) and the tooltip switch (`toolTipsEnabled`).
class AboutBox final : public QDialog {
  Q_OBJECT

 public:
  explicit AboutBox(QWidget* parent = nullptr);

  [[nodiscard]] QLabel* countText() const { return m_count; }
  [[nodiscard]] QCheckBox* toolTipsBox() const { return m_toolTips; }

 private:
  QLabel* m_count = nullptr;
  QCheckBox* m_toolTips = nullptr;
};

}  // namespace tg
