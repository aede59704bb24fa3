// SPDX-License-Identifier: GPL-3.0-or-later
// The settings (INI) reader and the mosaic settings read from it: any file loads without harm,
// and a section read into the settings can be written and read again.
#include "config/settings_store.h"
#include "fuzz_support.h"
#include "job/mosaic_settings.h"
#include "job/settings_sets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tg::fuzz::quietDialogs();
  const std::string text(reinterpret_cast<const char*>(data), size);
  (void)tg::normaliseSettingsText(text);
  const std::string path = tg::fuzz::scratchFile(data, size, ".txt");
  tg::SettingsStore store;
  store.open(path, tg::SettingsLocation::AsGiven);
  store.setAutoSync(false);
  if (!store.load()) return 0;
  for (const std::string& section : store.listSections()) {
    tg::MosaicSettings settings;
    (void)tg::readSettingsSection(settings, store, section);
    (void)tg::validateParameters(settings);
  }
  return 0;
}
