// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/config_folder.h"

#include <strings.h>

#include "config/settings_store.h"
#include "platform/paths.h"

namespace tg {

namespace {

constexpr const char* kStandardFolder = "Tesselograph Standard";

}  // namespace

bool isPortablePackage(const std::string& packageValue) {
  return strcasecmp(packageValue.c_str(), "WindowsPortable") == 0;
}

std::string packageFileValue(const std::string& key) {
  SettingsStore package;
  package.open("package.txt", SettingsLocation::ProgramFolder);
  return package.getText("package", key, "");
}

std::string installedPackageValue() { return packageFileValue("package"); }

ConfigFolderSources currentConfigFolderSources() {
  ConfigFolderSources sources;
  sources.environmentPath = environmentValue("TESSELOGRAPH_CONFIG_PATH");
  sources.packageValue = installedPackageValue();
  sources.programFolder = programFolder();
  sources.userConfigHome = xdgConfigHome();
  sources.appData = environmentValue("APPDATA");
  return sources;
}

std::string resolveConfigFolder(const ConfigFolderSources& sources) {
  std::string folder = sources.environmentPath;
  std::string subFolder;
  if (isPortablePackage(sources.packageValue)) {
    folder = sources.programFolder;
    subFolder = "Settings";
  }
  if (folder.empty()) {
    subFolder = "Tesselograph";
    folder = sources.userConfigHome;
  }
  if (folder.empty()) folder = sources.appData;
  if (folder.empty()) {
    folder = sources.programFolder;
    subFolder = "Settings";
  }
  folder = withTrailingSeparator(folder);
  if (!subFolder.empty()) {
    folder += subFolder;
    folder += kPathSeparator;
    createFolder(folder);
  }
  folder += kStandardFolder;
  folder += kPathSeparator;
  createFolder(folder);
  return folder;
}

const std::string& configFolder() {
  static const std::string folder = resolveConfigFolder(currentConfigFolderSources());
  return folder;
}

}  // namespace tg
