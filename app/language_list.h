// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

#include "config/user_values.h"

namespace tg {

/// One language of the language list: the name shown and the code stored in `Locale`.
struct LanguageEntry {
  std::string name;
  std::string code;
};

/// The languages of the list file at `path` (section "locale", key = shown name, value = code),
/// in file order; empty when the file is missing.
[[nodiscard]] std::vector<LanguageEntry> readLanguageList(const std::string& path);

/// The installed list: the program's data folder + "locale/locale.txt".
[[nodiscard]] std::vector<LanguageEntry> installedLanguageList();

/// What the language dialog shows and does, without any window: the entries ("(auto)" with the
/// code "" first, then the languages in ascending collation order of their names), the entry
/// selected, the texts, and what OK stores and says. Used on the window thread.
class LanguageDialogModel {
 public:
  /// Builds the entries from `languages` and selects the one whose code is `currentLocale`
  /// ("(auto)" when none is).
  LanguageDialogModel(std::vector<LanguageEntry> languages, const std::string& currentLocale);

  /// The entries in the order shown; `name` is the label (the "(auto)" label is translated).
  [[nodiscard]] const std::vector<LanguageEntry>& entries() const { return m_entries; }
  /// The index of the selected entry, or -1 when none is selected.
  [[nodiscard]] int selection() const { return m_selection; }
  /// Selects entry `index`; an index outside the list clears the selection.
  void select(int index);

  /// "Select your prefered language:", translated.
  [[nodiscard]] static std::string prompt();
  /// The buttons' labels, translated.
  [[nodiscard]] static std::string okLabel();
  [[nodiscard]] static std::string cancelLabel();

  /// OK: with an entry selected, stores its code as `Locale`, tells the user "You must restart
  /// Tesselograph for this change to take effect." and returns true (the dialog closes). Without
  /// a selection, or when the value could not be stored, nothing is said and the result is false.
  [[nodiscard]] bool accept(UserValues& values) const;

 private:
  std::vector<LanguageEntry> m_entries;
  int m_selection = -1;
};

}  // namespace tg
