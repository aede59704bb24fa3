// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/configuration_store.h"

namespace tg {

SettingsStore& configurationStore() {
  static SettingsStore* store = [] {
    // Never destroyed: threads still running at exit may read their settings.
    auto* opened = new SettingsStore;
    opened->open(kConfigurationFileName, SettingsLocation::ConfigFolder);
    opened->setAutoSync(true);
    return opened;
  }();
  return *store;
}

}  // namespace tg
