// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace tg {

/// The one path separator of the program. Computed folder values end with it.
inline constexpr char kPathSeparator = '/';

/// The folder of the running executable (from /proc/self/exe), ending with the separator. Its
/// data (`package.txt`, `locale/`, the user guide) lies beside it. Computed on first use and kept;
/// safe on any thread. When the executable's path cannot be read, the current folder is used.
[[nodiscard]] const std::string& programFolder();

/// Where the program folder's data (`package.txt`, `locale/`, the user guide, "MaskFile
/// Examples") lies: the program folder itself when it holds `package.txt` (the build tree, a
/// portable unpacked copy), else the installed data folder `programFolder` +
/// `installedRelative` when that exists (an installation: /usr/bin beside /usr/share/tesselograph),
/// else the program folder. Ends with the separator.
[[nodiscard]] std::string findProgramDataFolder(const std::string& programFolder,
                                                const std::string& installedRelative);

/// `findProgramDataFolder` for this executable and the installation layout it was built for.
/// Computed on first use and kept; safe on any thread.
[[nodiscard]] const std::string& programDataFolder();

/// `path` with a separator appended unless it is empty or already ends with one.
[[nodiscard]] std::string withTrailingSeparator(std::string path);

/// `path` up to and including its last separator ("" when it has none).
[[nodiscard]] std::string folderOf(std::string_view path);

/// `path` after its last separator (the whole text when it has none).
[[nodiscard]] std::string fileNameOf(std::string_view path);

/// `folder` and `name` joined by exactly one separator.
[[nodiscard]] std::string joinPath(std::string_view folder, std::string_view name);

/// The value of the environment variable `name`, or "" when it is unset.
[[nodiscard]] std::string environmentValue(const char* name);

/// Sets the environment variable `name` to `value` (an empty value is stored as set-but-empty).
/// Returns false when the environment refuses it. Call before other threads read the
/// environment (start-up).
[[nodiscard]] bool setEnvironmentValue(const char* name, const std::string& value);

/// The user's configuration home: `$XDG_CONFIG_HOME` when it is an absolute path, else
/// `$HOME/.config`, else "" (no separator appended).
[[nodiscard]] std::string xdgConfigHome();

/// Creates `folder` and any missing parents. Returns true when the folder exists afterwards.
bool createFolder(const std::string& folder);

}  // namespace tg
