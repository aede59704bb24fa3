// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/user_guide.h"

#include <filesystem>
#include <system_error>

#include "config/user_values.h"
#include "platform/catalogue.h"
#include "platform/paths.h"
#include "platform/shell.h"
#include "platform/text_format.h"
#include "platform/user_dialogs.h"

namespace tg {

std::string userGuidePath(const std::string& programFolder, const std::string& locale) {
  std::string path = programFolder + "TesselographManual";
  if (locale == "fr") {
    path += "-fr";
  } else if (locale == "de") {
    path += "-de";
  }
  return path + ".pdf";
}

bool openUserGuide() { return openUserGuideFor(userValue("Locale", "")); }

std::string installedUserGuide(const std::string& folder, const std::string& locale) {
  const std::string path = userGuidePath(folder, locale);
  const std::string english = userGuidePath(folder, "");
  std::error_code error;
  if (path != english && !std::filesystem::exists(path, error) &&
      std::filesystem::exists(english, error)) {
    return english;
  }
  return path;
}

bool openUserGuideFor(const std::string& locale) {
  return openUserGuideIn(programDataFolder(), locale);
}

bool openUserGuideIn(const std::string& folder, const std::string& locale) {
  const std::string path = installedUserGuide(folder, locale);
  if (openWithShell(path) >= 32) return true;
  showMessage(formatText(tr("Unable to open the User Guide '%s'. Please install the Acrobat PDF "
                            "Reader or a compatible PDF Reader!"),
                         path));
  return false;
}

}  // namespace tg
