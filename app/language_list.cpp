// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/language_list.h"

#include <algorithm>
#include <memory>

#include <unicode/ucol.h>

#include "config/settings_store.h"
#include "platform/catalogue.h"
#include "platform/paths.h"
#include "platform/user_dialogs.h"

namespace tg {

namespace {

struct CollatorCloser {
  void operator()(UCollator* collator) const { ucol_close(collator); }
};

}  // namespace

std::vector<LanguageEntry> readLanguageList(const std::string& path) {
  SettingsStore store;
  store.open(path, SettingsLocation::AsGiven);
  store.setAutoSync(false);
  if (!store.load()) return {};
  std::vector<LanguageEntry> list;
  for (const std::string& name : store.listKeys("locale")) {
    list.push_back({name, store.getText("locale", name, "")});
  }
  return list;
}

std::vector<LanguageEntry> installedLanguageList() {
  return readLanguageList(programDataFolder() + "locale/locale.txt");
}

LanguageDialogModel::LanguageDialogModel(std::vector<LanguageEntry> languages,
                                         const std::string& currentLocale) {
  UErrorCode status = U_ZERO_ERROR;
  std::unique_ptr<UCollator, CollatorCloser> collator(ucol_open("", &status));
  auto less = [&](const LanguageEntry& a, const LanguageEntry& b) {
    if (collator && U_SUCCESS(status)) {
      UErrorCode compareStatus = U_ZERO_ERROR;
      const UCollationResult order =
          ucol_strcollUTF8(collator.get(), a.name.data(), static_cast<int32_t>(a.name.size()),
                           b.name.data(), static_cast<int32_t>(b.name.size()), &compareStatus);
      if (U_SUCCESS(compareStatus) && order != UCOL_EQUAL) return order == UCOL_LESS;
    }
    return a.name < b.name;
  };
  std::stable_sort(languages.begin(), languages.end(), less);
  m_entries.push_back({tr("(auto)"), ""});
  for (LanguageEntry& entry : languages) m_entries.push_back(std::move(entry));
  m_selection = 0;
  for (size_t i = 1; i < m_entries.size(); ++i) {
    if (m_entries[i].code == currentLocale) {
      m_selection = static_cast<int>(i);
      break;
    }
  }
}

void LanguageDialogModel::select(int index) {
  m_selection = (index >= 0 && static_cast<size_t>(index) < m_entries.size()) ? index : -1;
}

std::string LanguageDialogModel::prompt() { return tr("Select your prefered language:"); }

std::string LanguageDialogModel::okLabel() { return tr("OK"); }

std::string LanguageDialogModel::cancelLabel() { return tr("Cancel"); }

bool LanguageDialogModel::accept(UserValues& values) const {
  if (m_selection < 0) return false;
  if (!values.setValue("Locale", m_entries[static_cast<size_t>(m_selection)].code)) return false;
  showMessage(tr("You must restart Tesselograph for this change to take effect."));
  return true;
}

}  // namespace tg
