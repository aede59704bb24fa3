// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "config/settings_store.h"

namespace tg {

/// The configuration file in the configuration folder.
inline constexpr const char* kConfigurationFileName = "TesselographConfig.txt";
/// Its section of the small per-user values (`userValue`).
inline constexpr const char* kUserSettingsSection = "UserSettings";
/// Its section of the advanced settings' defaults.
inline constexpr const char* kDefaultValuesSection = "Default Values";

/// The process's configuration store: a `SettingsStore` on `TesselographConfig.txt` in the
/// configuration folder, auto-sync on, so every read reloads the file and every change writes it
/// back at once. Opened on first use (which resolves the configuration folder); lives until the
/// process ends. Safe on any thread (the store locks itself).
[[nodiscard]] SettingsStore& configurationStore();

}  // namespace tg
