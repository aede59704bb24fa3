// SPDX-License-Identifier: GPL-3.0-or-later
// The window program's command line: any text splits into switches and values without harm,
// and so does the text joined from any arguments.
#include <vector>

#include "app/command_line.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tg::fuzz::quietDialogs();
  const std::string text(reinterpret_cast<const char*>(data), size);
  (void)tg::parseCommandLine(text);
  // The same bytes cut at NULs as an argument vector.
  std::vector<std::string> arguments{"tesselograph"};
  std::string current;
  for (const char c : text) {
    if (c == '\0') {
      arguments.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  arguments.push_back(current);
  std::vector<const char*> argv;
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());
  (void)tg::parseCommandLine(tg::joinArguments(static_cast<int>(argv.size()), argv.data()));
  return 0;
}
