// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace tg {

/// Takes the user's locale from the environment (`setlocale(LC_ALL, "")`). When that fails or
/// yields the plain C/POSIX locale, C.UTF-8 is used instead: the catalogue library ignores
/// "LANGUAGE" under C, so a chosen language would otherwise never show. Numbers keep the C
/// conventions ('.' as decimal point) so files and texts are formatted the same everywhere.
/// Returns the name of the messages locale in force. Start-up only, before other threads exist.
std::string initialiseLocale();

/// The environment variables that name the user's language.
struct LanguageEnvironment {
  std::string language;    ///< LANGUAGE: a colon-separated list of languages
  std::string lcAll;       ///< LC_ALL
  std::string lcMessages;  ///< LC_MESSAGES
  std::string lang;        ///< LANG
};

/// The variables of this process.
[[nodiscard]] LanguageEnvironment currentLanguageEnvironment();

/// The value "LANGUAGE" gets for the stored `Locale` `code`: the code itself when one was chosen
/// in the language dialog; with "" (automatic), the user's own choice as every Linux program reads
/// it: the messages locale is the first of LC_ALL, LC_MESSAGES and LANG that is set; when it is
/// C or POSIX (or none is set) the texts stay English (""), else LANGUAGE wins when set, else the
/// messages locale without its codeset and modifier ("de_DE.UTF-8" gives "de_DE").
[[nodiscard]] std::string catalogueLanguage(const std::string& code,
                                            const LanguageEnvironment& environment);

/// Puts `catalogueLanguage(code, currentLanguageEnvironment())` into "LANGUAGE", the variable
/// the catalogue library reads: the language dialog's choice wins, and without one the user's
/// LANGUAGE/LANG decide even when their locale is not installed (start-up may fall back to
/// C.UTF-8, under which only "LANGUAGE" selects a catalogue). Call before the catalogue is first
/// used; false when the environment refused the value.
[[nodiscard]] bool setCatalogueLanguage(const std::string& code);

/// Binds the domain "tesselograph" to `localeFolder` (normally program folder + "locale"), asks
/// for UTF-8 texts and makes it the default domain. Also call it again after changing
/// "LANGUAGE" at run time, or the old translation keeps being served. False when the library
/// refused the binding (texts then stay English).
[[nodiscard]] bool bindCatalogue(const std::string& localeFolder);

/// The catalogue folder of the program's data (`programDataFolder`) + "locale".
[[nodiscard]] std::string installedLocaleFolder();

}  // namespace tg
