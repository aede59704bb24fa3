// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "platform/terminal_dialogs.h"
#include "platform/user_dialogs.h"

namespace tg {

struct MosaicSettings;

/// Exit codes of the command-line program.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

/// The arguments of one command, read front to back.
class ArgumentReader {
 public:
  explicit ArgumentReader(std::vector<std::string> arguments) : m_args(std::move(arguments)) {}
  [[nodiscard]] bool done() const { return m_next >= m_args.size(); }
  /// The next argument, consumed.
  [[nodiscard]] std::string take() { return m_args[m_next++]; }
  /// The value of option `option`, consumed; nothing (and an error printed) when it is missing.
  [[nodiscard]] std::optional<std::string> value(const std::string& option);
  /// Whether the arguments ask for help.
  [[nodiscard]] bool wantsHelp() const;

 private:
  std::vector<std::string> m_args;
  std::size_t m_next = 0;
};

/// `text` as a JSON string literal, quotes included: valid UTF-8 passes through, control
/// characters are escaped, and a byte that is not part of valid UTF-8 (file names are bytes) is
/// written as the escaped UTF-16 unit 0xDC00 + byte, so the output stays parseable and the name
/// recoverable.
[[nodiscard]] std::string jsonString(const std::string& text);

/// Prints "tesselograph-cli: " + `text` to standard error.
void printError(const std::string& text);

/// Where the settings of a command come from: the Default Settings set, then a settings file
/// (a mosaic settings file, or with `section` a named set of a user settings file) or, with
/// `section` alone, a set of the settings list by name (a set of the user settings file in the
/// configuration folder, or a built-in set such as "(Video Mosaic)"), then the KEY=VALUE
/// overrides in order.
struct SettingsSource {
  std::optional<std::string> file;
  std::optional<std::string> section;
  std::vector<std::string> overrides;
  /// Reads the options of a settings source; true when `argument` was one of them (its value
  /// consumed from `reader`). `ok` turns false on a missing value.
  bool readOption(const std::string& argument, ArgumentReader& reader, bool& ok);
};

/// Builds `settings` from `source` (the presets installed, the advanced rows from the
/// configuration file). False, with the reason printed, when the file cannot be read, lacks the
/// section or is of another version, when no set of the settings list has the name, or when an
/// override names an unknown key or has no "=".
[[nodiscard]] bool assembleSettings(const SettingsSource& source, MosaicSettings& settings);

/// The `UserDialogs` of the CLI: the terminal's, with the file dialogs of the job answered from
/// the command line (mask file or folder, priority map, the save name of a list).
class CliDialogs final : public UserDialogs {
 public:
  CliDialogs(ForcedAnswer forced);
  void setMask(const std::string& path, bool isFolder);
  void setPriorityMap(const std::string& path) { m_priorityMap = path; }
  void setSavePath(const std::string& path) { m_savePath = path; }

  Answer message(const std::string& text, Buttons buttons, Icon icon,
                 Answer defaultButton) override;
  using UserDialogs::openFile;
  std::optional<std::string> openFile(const OpenFileRequest& request) override;
  std::optional<std::string> openFolder(const std::string& profile,
                                        const std::string& prompt) override;
  std::optional<std::string> saveFile(const std::string& profile, const std::string& filter,
                                      const std::string& title,
                                      const std::string& suggestedPath) override;

 private:
  TerminalDialogs m_terminal;
  std::string m_maskFile;
  std::string m_maskFolder;
  std::string m_priorityMap;
  std::string m_savePath;
};

/// The CLI's dialogs, installed by `main` for the whole run.
[[nodiscard]] CliDialogs& cliDialogs();

/// A progress display on standard error: a bar redrawn in place on a terminal, else one line
/// per new status text.
class ProgressDisplay {
 public:
  ProgressDisplay();
  /// Shows `text` at `percent` (0-100).
  void update(const std::string& text, double percent);
  /// Ends the bar's line.
  void finish();

 private:
  bool m_terminal;
  bool m_open = false;
  std::string m_lastText;
};

}  // namespace tg
