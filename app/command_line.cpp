// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/command_line.h"

#include <cctype>
#include <exception>

#include <boost/regex/icu.hpp>

namespace tg {

namespace {

const boost::u32regex& switchPattern() {
  static const boost::u32regex pattern =
      boost::make_u32regex(R"(^\s*\-(\S)\s*(?:(?:["]([^"]+)["])|([^"]\S*))\s*(.*)$)");
  return pattern;
}

// -m and -a take no value. The general pattern needs one, so it would ignore a lone trailing
// "-m" and would swallow the next switch as the value of "-m -i x"; such flags are read first.
const boost::u32regex& flagPattern() {
  static const boost::u32regex pattern = boost::make_u32regex(R"(^\s*\-([mMaA])\s*((?:\-.*)?)$)");
  return pattern;
}

bool matchText(const std::string& text, const boost::u32regex& pattern, boost::smatch& match) {
  try {
    return boost::u32regex_match(text, match, pattern,
                                 boost::match_default | boost::match_single_line);
  } catch (const std::exception&) {
    return false;  // not UTF-8: nothing more is read
  }
}

}  // namespace

CommandLine parseCommandLine(const std::string& text) {
  CommandLine result;
  std::string rest = text;
  std::string lastImage;
  for (;;) {
    boost::smatch match;
    if (matchText(rest, flagPattern(), match)) {
      const char flag =
          static_cast<char>(std::tolower(static_cast<unsigned char>(match[1].str()[0])));
      (flag == 'm' ? result.startMenu : result.aboutBox) = true;
      std::string next = match[2].str();
      if (next.size() >= rest.size()) break;
      rest = std::move(next);
      continue;
    }
    if (!matchText(rest, switchPattern(), match)) break;
    const std::string letter = match[1].str();
    const std::string value =
        match[2].matched && match[2].length() > 0 ? match[2].str() : match[3].str();
    std::string next = match[4].str();
    char key = letter.size() == 1
                   ? static_cast<char>(std::tolower(static_cast<unsigned char>(letter[0])))
                   : '\0';
    // The pattern lets a lone blank stand for a value ("-i \"x" yields " "); no switch takes one.
    const bool blank = value.find_first_not_of(" \t") == std::string::npos;
    if (blank && (key == 'i' || key == 'o')) key = '\0';
    switch (key) {
      case 'i':
        result.mainImages.push_back(value);
        lastImage = value;
        break;
      case 'o':
        if (!lastImage.empty()) result.explicitOutputs[lastImage] = value;
        break;
      case 'm':
        result.startMenu = true;
        break;
      case 'a':
        result.aboutBox = true;
        break;
      default:
        break;
    }
    if (next.size() >= rest.size()) break;  // no progress: stop rather than loop
    rest = std::move(next);
  }
  return result;
}

std::string joinArguments(int argc, const char* const* argv) {
  std::string text;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) text += ' ';
    const std::string argument = argv[i];
    if (argument.find_first_of(" \t") != std::string::npos) {
      text += '"' + argument + '"';
    } else {
      text += argument;
    }
  }
  return text;
}

const char* commandLineHelp() {
  return "Usage: tesselograph [-i MAIN [-o OUT]]... [-m | -a]\n"
         "Opens the Tesselograph window, where main images and mosaic parameters are chosen\n"
         "and mosaics are made.\n"
         "  -i MAIN   adds the picture MAIN to the main images (repeat for more)\n"
         "  -o OUT    names the mosaic of the -i before it OUT (its last four characters,\n"
         "            the extension, are replaced by the format's)\n"
         "  -m        shows the start menu instead of the main window\n"
         "  -a        shows the about box instead of the main window\n"
         "Switch letters may be written in either case; a value with blanks goes in double\n"
         "quotes. Reading stops at the first text that is not a switch.\n";
}

}  // namespace tg
