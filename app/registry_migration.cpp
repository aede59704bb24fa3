// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/registry_migration.h"

namespace tg {

bool migrateRegistryValues(LegacyRegistry& registry, UserValues& values) {
  if (!registry.openKey("Software\\Tesselograph")) return false;
  static const char* const kNames[] = {
      "FileDialog.ImageList.Path",
      "FileDialog.ImageArchive.Path",
      "FileDialog.MaskFile.Path",
      "FileDialog.ExtractMovie.Path",
      "FolderDialog.Include.Path",
      "FolderDialog.SavePath.Path",
      "ShowToolTips",
      "MosaicCount",
      "DateFirstMosaic",
      "Locale",
  };
  for (const char* name : kNames) {
    const std::optional<std::string> old = registry.readValue(name, 1024);
    if (old && values.value(name, "").empty()) (void)values.setValue(name, *old);
  }
  registry.closeKey();
  (void)registry.deleteKey("Software", "Tesselograph");
  return true;
}

}  // namespace tg
