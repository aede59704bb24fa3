// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/catalogue_binding.h"

#include <libintl.h>

#include <clocale>
#include <cstring>

#include "platform/catalogue.h"
#include "platform/paths.h"

namespace tg {

namespace {

bool isPlainC(const char* name) {
  return name == nullptr || std::strcmp(name, "C") == 0 || std::strcmp(name, "POSIX") == 0;
}

}  // namespace

std::string initialiseLocale() {
  const char* chosen = std::setlocale(LC_ALL, "");
  if (chosen == nullptr || isPlainC(std::setlocale(LC_MESSAGES, nullptr))) {
    if (std::setlocale(LC_ALL, "C.UTF-8") == nullptr) std::setlocale(LC_ALL, "C");
  }
  std::setlocale(LC_NUMERIC, "C");
  const char* messages = std::setlocale(LC_MESSAGES, nullptr);
  return messages != nullptr ? std::string(messages) : std::string("C");
}

LanguageEnvironment currentLanguageEnvironment() {
  return {environmentValue("LANGUAGE"), environmentValue("LC_ALL"), environmentValue("LC_MESSAGES"),
          environmentValue("LANG")};
}

std::string catalogueLanguage(const std::string& code, const LanguageEnvironment& environment) {
  if (!code.empty()) return code;
  std::string messages = environment.lcAll;
  if (messages.empty()) messages = environment.lcMessages;
  if (messages.empty()) messages = environment.lang;
  // Under C and POSIX the catalogue library itself ignores LANGUAGE: texts stay English.
  if (messages.empty() || isPlainC(messages.c_str())) return {};
  if (!environment.language.empty()) return environment.language;
  const std::string language = messages.substr(0, messages.find_first_of(".@"));
  return isPlainC(language.c_str()) ? std::string() : language;
}

bool setCatalogueLanguage(const std::string& code) {
  return setEnvironmentValue("LANGUAGE", catalogueLanguage(code, currentLanguageEnvironment()));
}

bool bindCatalogue(const std::string& localeFolder) {
  if (bindtextdomain(kCatalogueDomain, localeFolder.c_str()) == nullptr) return false;
  if (bind_textdomain_codeset(kCatalogueDomain, "UTF-8") == nullptr) return false;
  return textdomain(kCatalogueDomain) != nullptr;
}

std::string installedLocaleFolder() { return programDataFolder() + "locale"; }

}  // namespace tg
