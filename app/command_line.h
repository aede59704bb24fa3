// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <map>
#include <string>
#include <vector>

namespace tg {

/// What the program's command line asks for.
struct CommandLine {
  /// Main images added when the main window opens, in order (-i).
  std::vector<std::string> mainImages;
  /// Explicit output paths by main image (-o after an -i); the mosaic is named after the path
  /// without its last 4 characters.
  std::map<std::string, std::string> explicitOutputs;
  bool startMenu = false;  ///< -m: the start menu dialog instead of the main window
  bool aboutBox = false;   ///< -a: the about dialog instead of the main window
};

/// Parses the whole command line `text` (the arguments joined by blanks, quotes kept): switch
/// after switch, "-x value" or "-x \"quoted value\"", letters in any case. Unknown letters are
/// skipped with their value; -o before any -i is ignored; parsing ends at the first text that is
/// not a switch. Text that is not UTF-8 ends parsing. Any thread.
[[nodiscard]] CommandLine parseCommandLine(const std::string& text);

/// Joins `argv[1..argc-1]` the way the command line reached a program that gets one text: an
/// argument with a blank is put in double quotes.
[[nodiscard]] std::string joinArguments(int argc, const char* const* argv);

/// The usage of the window program's command line: the synopsis and one line per switch, in
/// English. The window's --help prints it and its manual page is made from it.
[[nodiscard]] const char* commandLineHelp();

}  // namespace tg
