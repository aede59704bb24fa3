// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "config/user_values.h"
#include "platform/legacy_registry.h"

namespace tg {

/// Copies the values earlier versions kept in the registry key "Software\Tesselograph" into the
/// user values, once: for each of "FileDialog.ImageList.Path", "FileDialog.ImageArchive.Path",
/// "FileDialog.MaskFile.Path", "FileDialog.ExtractMovie.Path", "FolderDialog.Include.Path",
/// "FolderDialog.SavePath.Path", "ShowToolTips", "MosaicCount", "DateFirstMosaic" and "Locale",
/// in this order, a value that can be read (at most 1024 characters) is stored when the user
/// value of the same name is empty. Then the key is deleted, whatever was copied. Returns whether
/// the key existed. Runs at start-up on the window thread.
bool migrateRegistryValues(LegacyRegistry& registry, UserValues& values);

}  // namespace tg
