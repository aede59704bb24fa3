// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/cli_support.h"

#include <unistd.h>

#include <cctype>
#include <charconv>
#include <cmath>

#include "config/advanced_settings.h"
#include "config/settings_store.h"
#include "geometry/geometry_presets.h"
#include "job/mosaic_job.h"
#include "job/mosaic_settings.h"
#include "job/settings_keys.h"
#include "job/settings_sets.h"
#include "job/settings_tokens.h"
#include "platform/catalogue.h"

namespace tg {

namespace {

/// The length of the valid UTF-8 sequence at `at`, or 0 when the byte there starts none
/// (stray continuation bytes, overlong forms, surrogates and values past U+10FFFF are invalid).
std::size_t utf8SequenceLength(const std::string& text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (at + length > text.size() || byte(at + 1) < low || byte(at + 1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(at + i) < 0x80 || byte(at + i) > 0xBF) return 0;
  }
  return length;
}

std::string trimmedText(const std::string& text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  return text.substr(begin, end - begin);
}

/// A whole decimal number with an optional sign, nothing else.
bool isIntegerText(const std::string& text) {
  const std::string t = trimmedText(text);
  std::size_t at = t.size() > 0 && (t[0] == '+' || t[0] == '-') ? 1 : 0;
  if (at >= t.size()) return false;
  for (; at < t.size(); ++at) {
    if (!std::isdigit(static_cast<unsigned char>(t[at]))) return false;
  }
  return true;
}

/// A decimal number with an optional '+', read without the locale, nothing else.
bool isRealText(const std::string& text) {
  const std::string t = trimmedText(text);
  const std::size_t start = !t.empty() && t[0] == '+' ? 1 : 0;
  double value = 0;
  const auto result = std::from_chars(t.data() + start, t.data() + t.size(), value);
  return result.ec == std::errc() && result.ptr == t.data() + t.size() && std::isfinite(value);
}

/// Why `text` cannot be the value of `key`, or nothing when it can. The form comes from the
/// table settings files are written with. Keys without a fixed form (the folder, advanced rows)
/// and unknown keys pass; `applySettingText` judges the key itself.
std::optional<std::string> overrideProblem(const MosaicSettings& settings, const std::string& key,
                                           const std::string& text) {
  const SettingsKey* entry = findSettingsKey(key);
  if (entry == nullptr) return std::nullopt;
  switch (entry->form) {
    case SettingsKeyForm::Token: {
      std::string accepted;
      for (const SettingsToken& token : tokenTable(entry->table)) {
        if (token.needsVideo && !settings.videoAvailable) continue;
        if (text == token.text) return std::nullopt;
        accepted += (accepted.empty() ? "" : ", ") + std::string(token.text);
      }
      // Only keys whose values can lack a token take the number a settings file stores (id + 1);
      // for the others a typed number is a mistake that a file would read as another value.
      if (entry->numbersStored && isIntegerText(text)) return std::nullopt;
      return "the value '" + text + "' of " + key + " is not one of its tokens: " + accepted +
             (entry->numbersStored ? " (or a number as a settings file stores it)" : "") +
             "; see tesselograph-cli settings --keys";
    }
    case SettingsKeyForm::Integer:
    case SettingsKeyForm::Flag:
      if (!isIntegerText(text))
        return "the value '" + text + "' of " + key + " is not a whole number";
      break;
    case SettingsKeyForm::Decimal:
      if (!isRealText(text)) return "the value '" + text + "' of " + key + " is not a number";
      break;
    case SettingsKeyForm::Fixed:
    case SettingsKeyForm::Text:
      break;
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> ArgumentReader::value(const std::string& option) {
  if (done()) {
    printError(option + " needs a value");
    return std::nullopt;
  }
  return take();
}

bool ArgumentReader::wantsHelp() const {
  for (const auto& argument : m_args) {
    if (argument == "--help" || argument == "-h") return true;
  }
  return false;
}

std::string jsonString(const std::string& text) {
  std::string out = "\"";
  for (std::size_t at = 0; at < text.size();) {
    const char c = text[at];
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x80) {
      const std::size_t length = utf8SequenceLength(text, at);
      if (length == 0) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\udc%02x", byte);
        out += escaped;
        ++at;
      } else {
        out.append(text, at, length);
        at += length;
      }
      continue;
    }
    ++at;
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (byte < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
          out += escaped;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

void printError(const std::string& text) {
  std::fprintf(stderr, "tesselograph-cli: %s\n", text.c_str());
}

bool SettingsSource::readOption(const std::string& argument, ArgumentReader& reader, bool& ok) {
  std::optional<std::string>* target = nullptr;
  if (argument == "--settings") target = &file;
  if (argument == "--section") target = &section;
  if (argument == "--set") {
    const auto text = reader.value(argument);
    if (!text) ok = false;
    if (text) overrides.push_back(*text);
    return true;
  }
  if (target == nullptr) return false;
  *target = reader.value(argument);
  if (!*target) ok = false;
  return true;
}

namespace {

/// Loads the set of the settings list named `name`, as the window's list shows it: a named set
/// of the user settings file in the configuration folder, or a built-in set such as
/// "(Video Mosaic)" (its parentheses may be left out). False, with the names that exist
/// printed, when there is none; Use All Images is refused, it is worked out from the main
/// image and the loaded tile list.
bool loadListedSet(const std::string& name, MosaicSettings& settings) {
  SettingsSetsModel sets(settings);
  sets.listSettingsSets(SettingsSetId::User, name);
  if (sets.selectedIndex() < 0) sets.listSettingsSets(SettingsSetId::User, "(" + name + ")");
  if (sets.selectedIndex() < 0) {
    std::string names;
    for (const auto& entry : sets.entries()) {
      if (entry.id == SettingsSetId::UseAllImages) continue;
      names += (names.empty() ? "" : ", ") + entry.text;
    }
    printError("there is no settings set named '" + name + "'; the sets are: " + names);
    return false;
  }
  const auto& entry = sets.entries()[static_cast<std::size_t>(sets.selectedIndex())];
  if (entry.id == SettingsSetId::UseAllImages) {
    printError("the settings set " + entry.text +
               " depends on the main image and the loaded tile list; it cannot be chosen here");
    return false;
  }
  if (!sets.loadSelected()) {
    printError("the settings set '" + entry.text + "' could not be read");
    return false;
  }
  return true;
}

}  // namespace

bool assembleSettings(const SettingsSource& source, MosaicSettings& settings) {
  installGeometryPresets(settings);
  loadAdvancedRows(settings.advanced, true);
  if (source.section && !source.file && !loadListedSet(*source.section, settings)) return false;
  if (source.file) {
    SettingsStore store;
    store.open(*source.file, SettingsLocation::AsGiven);
    if (access(source.file->c_str(), R_OK) != 0 || !store.load()) {
      printError("cannot read the settings file '" + *source.file + "'");
      return false;
    }
    const std::string section = source.section.value_or(kMosaicSettingsSection);
    if (!store.hasSection(section)) {
      printError("the settings file '" + *source.file + "' has no section [" + section + "]");
      return false;
    }
    if (!readSettingsSection(settings, store, section).applied) {
      printError("the section [" + section + "] of '" + *source.file +
                 "' is not of settings version 1");
      return false;
    }
  }
  for (const auto& text : source.overrides) {
    const auto equals = text.find('=');
    if (equals == std::string::npos || equals == 0) {
      printError("--set needs KEY=VALUE, not '" + text + "'");
      return false;
    }
    const std::string key = text.substr(0, equals);
    const std::string value = text.substr(equals + 1);
    // A settings file forgives values it cannot read; a typed override is checked instead, so
    // that a misspelt token is named here rather than surfacing later as a vague refusal.
    if (const auto problem = overrideProblem(settings, key, value)) {
      printError(*problem);
      return false;
    }
    if (!applySettingText(settings, key, value)) {
      printError("unknown settings key '" + key + "'");
      return false;
    }
  }
  return true;
}

CliDialogs::CliDialogs(ForcedAnswer forced)
    : m_terminal(stdin, stderr, TerminalDialogs::terminalAttached(), forced) {}

void CliDialogs::setMask(const std::string& path, bool isFolder) {
  (isFolder ? m_maskFolder : m_maskFile) = path;
}

Answer CliDialogs::message(const std::string& text, Buttons buttons, Icon icon,
                           Answer defaultButton) {
  // The job asks whether the mask files come from a folder; --mask already says which.
  if ((!m_maskFile.empty() || !m_maskFolder.empty()) &&
      text == tr("Do you want to specify a Folder containing Maskfiles?")) {
    const Answer answer = m_maskFolder.empty() ? Answer::No : Answer::Yes;
    return answer;
  }
  return m_terminal.message(text, buttons, icon, defaultButton);
}

std::optional<std::string> CliDialogs::openFile(const OpenFileRequest& request) {
  if (request.profile == "MaskFile" && !m_maskFile.empty()) return m_maskFile;
  if (request.profile == "TilePriority" && !m_priorityMap.empty()) return m_priorityMap;
  return m_terminal.openFile(request);
}

std::optional<std::string> CliDialogs::openFolder(const std::string& profile,
                                                  const std::string& prompt) {
  if (profile == "MaskFilePath" && !m_maskFolder.empty()) return m_maskFolder;
  return m_terminal.openFolder(profile, prompt);
}

std::optional<std::string> CliDialogs::saveFile(const std::string& profile,
                                                const std::string& filter, const std::string& title,
                                                const std::string& suggestedPath) {
  if (!m_savePath.empty()) return m_savePath;
  return m_terminal.saveFile(profile, filter, title, suggestedPath);
}

ProgressDisplay::ProgressDisplay() : m_terminal(isatty(STDERR_FILENO) != 0) {}

void ProgressDisplay::update(const std::string& text, double percent) {
  if (!std::isfinite(percent) || percent < 0) percent = 0;
  if (percent > 100) percent = 100;
  if (!m_terminal) {
    if (text != m_lastText && !text.empty()) std::fprintf(stderr, "%s\n", text.c_str());
    m_lastText = text;
    return;
  }
  constexpr int kWidth = 30;
  const int filled = static_cast<int>(percent * kWidth / 100);
  std::string bar(static_cast<std::size_t>(filled), '#');
  bar.resize(kWidth, '.');
  const std::string shown = cutToUtf16Units(text, 80);
  std::fprintf(stderr, "\r\033[K[%s] %3d%% %s", bar.c_str(), static_cast<int>(percent),
               shown.c_str());
  std::fflush(stderr);
  m_open = true;
  m_lastText = text;
}

void ProgressDisplay::finish() {
  if (m_open) std::fputc('\n', stderr);
  m_open = false;
}

}  // namespace tg
