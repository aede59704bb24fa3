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

/// Puts `code` (the stored `Locale`, "" for automatic) into the environment variable "LANGUAGE"
/// that the catalogue library reads. An empty code leaves the choice of language to the library.
/// Call before the catalogue is first used; false when the environment refused the value.
[[nodiscard]] bool setCatalogueLanguage(const std::string& code);

/// Binds the domain "tesselograph" to `localeFolder` (normally program folder + "locale"), asks
/// for UTF-8 texts and makes it the default domain. Also call it again after changing
/// "LANGUAGE" at run time, or the old translation keeps being served. False when the library
/// refused the binding (texts then stay English).
[[nodiscard]] bool bindCatalogue(const std::string& localeFolder);

/// The catalogue folder beside the executable: program folder + "locale".
[[nodiscard]] std::string installedLocaleFolder();

}  // namespace tg
