// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace tg {

/// Result codes of `openWithShell`: values below 32 mean failure.
inline constexpr int kShellOutOfMemory = 0;
inline constexpr int kShellFileNotFound = 2;
inline constexpr int kShellAccessDenied = 5;
inline constexpr int kShellNoAssociation = 31;
inline constexpr int kShellStarted = 42;

/// What is handed to the desktop for one path: the opening program and its argument text.
struct ShellRequest {
  std::string program;   ///< "xdg-open", or "winebrowser.exe" under Wine
  std::string argument;  ///< the path, between double quotes when it holds a blank
};

/// `text` between double quotes when it holds a blank after its first character, else unchanged.
[[nodiscard]] std::string quotedIfBlank(const std::string& text);

/// The host form of a path seen under Wine: a path that begins with "Z:" (any letter case) loses
/// those two characters and has every backslash turned into "/"; any other path is unchanged.
[[nodiscard]] std::string wineHostPath(const std::string& path);

/// The request for `path`: xdg-open with the quoted path, or under Wine "winebrowser.exe" with the
/// quoted host form.
[[nodiscard]] ShellRequest shellRequestFor(const std::string& path);

/// The argument vector started for `request`: the program, then the argument with its enclosing
/// quotes removed (no shell runs, so the quotes only mark where the path begins and ends).
[[nodiscard]] std::vector<std::string> spawnArgumentsFor(const ShellRequest& request);

/// Hands `path` (a file, a folder or an address such as "https://...") to the desktop to open,
/// without waiting for it. Returns 0 for an empty path (nothing happens), `kShellFileNotFound`
/// when a local path does not exist, `kShellNoAssociation` when the opener cannot be started,
/// and `kShellStarted` (above 32) once it runs. Safe on any thread; shows no message.
[[nodiscard]] int openWithShell(const std::string& path);

/// Starts `argv[0]` (searched in PATH) with `argv`, never through a shell, and reaps it in the
/// background. Returns 0 when it started, else the errno of the failure.
[[nodiscard]] int spawnDetached(const std::vector<std::string>& argv);

/// Test seam: while an object lives, `openWithShell` hands its argument vector to `spawner`
/// instead of starting anything. Objects must not overlap across threads.
class ScopedShellSpawner {
 public:
  using Spawner = std::function<int(const std::vector<std::string>& argv)>;
  explicit ScopedShellSpawner(Spawner spawner);
  ~ScopedShellSpawner();
  ScopedShellSpawner(const ScopedShellSpawner&) = delete;
  ScopedShellSpawner& operator=(const ScopedShellSpawner&) = delete;

 private:
  Spawner m_previous;
};

}  // namespace tg
