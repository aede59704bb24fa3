// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/settings_keys_listing.h"

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/cli_support.h"
#include "job/mosaic_settings.h"
#include "job/settings_keys.h"

namespace tg {

namespace {

constexpr const char* kIntroduction =
    "The keys of a settings file (section \"Mosaic Settings\" of a mosaic settings file, or a\n"
    "named set of the user settings file), which --set KEY=VALUE takes in the same text form.\n"
    "Each key shows its form and the value of the Default Settings every command starts from.\n";

/// `text` with every line after the first indented by `indent`.
std::string indented(const std::string& text, const std::string& indent) {
  std::string out;
  for (const char c : text) {
    out += c;
    if (c == '\n') out += indent;
  }
  return out;
}

/// Prints `values` as a two-column table below a key.
void printValues(const std::vector<NamedValue>& values) {
  std::size_t width = 0;
  for (const NamedValue& value : values) width = std::max(width, value.text.size());
  for (const NamedValue& value : values) {
    std::string text = value.text;
    text.resize(width, ' ');
    std::string meaning = value.meaning;
    if (value.readOnly) meaning += meaning.empty() ? "(read only)" : " (read only)";
    std::printf("      %s  %s\n", text.c_str(), meaning.c_str());
  }
}

void printText(const std::vector<SettingsKeyDescription>& keys) {
  std::fputs(kIntroduction, stdout);
  for (const SettingsKeyDescription& key : keys) {
    std::printf("\n%s (%s), default: \"%s\"\n", key.key.c_str(), settingsKeyFormName(key.form),
                key.defaultValue.c_str());
    std::printf("    %s\n", indented(key.meaning, "    ").c_str());
    if (!key.range.empty()) std::printf("    range: %s\n", key.range.c_str());
    if (!key.tokens.empty()) {
      std::printf("    tokens:\n");
      printValues(key.tokens);
    }
    if (!key.namedNumbers.empty()) {
      std::printf("    numbers with a name:\n");
      printValues(key.namedNumbers);
    }
    if (!key.note.empty()) std::printf("    %s\n", indented(key.note, "    ").c_str());
  }
}

std::string jsonValues(const std::vector<NamedValue>& values, const char* textName) {
  std::string out = "[";
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i > 0) out += ",";
    out += "{\"" + std::string(textName) + "\":" + jsonString(values[i].text) +
           ",\"meaning\":" + jsonString(values[i].meaning) +
           ",\"readOnly\":" + (values[i].readOnly ? "true" : "false") + "}";
  }
  return out + "]";
}

void printJson(const std::vector<SettingsKeyDescription>& keys) {
  std::string out = "{\"keys\":[";
  for (std::size_t i = 0; i < keys.size(); ++i) {
    const SettingsKeyDescription& key = keys[i];
    if (i > 0) out += ",";
    out += "{\"key\":" + jsonString(key.key);
    out += ",\"form\":" + jsonString(settingsKeyFormName(key.form));
    out += ",\"meaning\":" + jsonString(key.meaning);
    out += ",\"range\":" + jsonString(key.range);
    out += ",\"default\":" + jsonString(key.defaultValue);
    out += ",\"tokens\":" + jsonValues(key.tokens, "token");
    out += ",\"namedNumbers\":" + jsonValues(key.namedNumbers, "value");
    out += ",\"note\":" + jsonString(key.note) + "}";
  }
  out += "]}\n";
  std::fputs(out.c_str(), stdout);
}

}  // namespace

bool printSettingsKeys(bool json) {
  // The same start every command makes: the Default Settings with the configured advanced rows.
  MosaicSettings defaults;
  if (!assembleSettings(SettingsSource{}, defaults)) return false;
  const std::vector<SettingsKeyDescription> keys = describeSettingsKeys(defaults);
  if (json) {
    printJson(keys);
  } else {
    printText(keys);
  }
  return true;
}

}  // namespace tg
