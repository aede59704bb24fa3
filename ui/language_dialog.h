// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

#include "app/language_list.h"

class QListWidget;

namespace tg {

/// The language dialog: "(auto)" and the installed languages, the current `Locale` selected; OK
/// stores the chosen language for the next start (`LanguageDialogModel`).
class LanguageDialog final : public QDialog {
  Q_OBJECT

 public:
  explicit LanguageDialog(QWidget* parent = nullptr);
  /// As above with the languages given (tests).
  LanguageDialog(std::vector<LanguageEntry> languages, QWidget* parent);

  [[nodiscard]] QListWidget* list() const { return m_list; }
  void accept() override;

 private:
  LanguageDialogModel m_model;
  QListWidget* m_list = nullptr;
};

}  // namespace tg
