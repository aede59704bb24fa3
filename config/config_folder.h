// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace tg {

/// The inputs of the configuration-folder rule, gathered from the environment and the
/// installation so that the rule itself can be tested with any of them.
struct ConfigFolderSources {
  std::string environmentPath;  ///< `TESSELOGRAPH_CONFIG_PATH` ("" when unset)
  std::string packageValue;     ///< the `package` value of package.txt ("" when missing)
  std::string programFolder;    ///< ends with the separator
  std::string userConfigHome;   ///< the XDG configuration home ("" when unknown)
  std::string appData;          ///< the "APPDATA" variable ("" when unset)
};

/// The sources of this process: its environment, its package.txt and its program folder.
[[nodiscard]] ConfigFolderSources currentConfigFolderSources();

/// Resolves the configuration folder from `sources` and creates it (with any missing parents;
/// failures are ignored, later writes then fail). The result ends with the separator:
/// - a portable installation (package value "WindowsPortable", any letter case) uses
///   program folder + "Settings/Tesselograph Standard/", even when the variable is set;
/// - else `TESSELOGRAPH_CONFIG_PATH` + "Tesselograph Standard/" (no second separator when the
///   value ends with one);
/// - else the XDG configuration home, then "APPDATA", each + "Tesselograph/Tesselograph Standard/";
/// - else program folder + "Settings/Tesselograph Standard/".
[[nodiscard]] std::string resolveConfigFolder(const ConfigFolderSources& sources);

/// The configuration folder of this process: `resolveConfigFolder(currentConfigFolderSources())`
/// computed on first use and kept for the life of the process. Safe on any thread.
[[nodiscard]] const std::string& configFolder();

/// Whether `packageValue` marks a portable installation ("WindowsPortable", any letter case).
[[nodiscard]] bool isPortablePackage(const std::string& packageValue);

/// The value of `key` in section "package" of package.txt beside the executable ("" when the
/// file or the key is missing): `package` names the installation package, `build` marks a beta.
[[nodiscard]] std::string packageFileValue(const std::string& key);
/// `packageFileValue("package")`.
[[nodiscard]] std::string installedPackageValue();

}  // namespace tg
