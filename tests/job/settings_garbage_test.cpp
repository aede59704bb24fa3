// SPDX-License-Identifier: GPL-3.0-or-later
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "config/settings_store.h"
#include "job/mosaic_settings.h"
#include "job/settings_sets.h"
#include "platform/scripted_dialogs.h"
#include "support/scratch_dir.h"

namespace tg {
namespace {

using test::readFile;
using test::ScratchDir;
using test::writeFile;

/// The keys of a saved set, in file order, read from the lines of section `section`.
std::vector<std::string> keysOf(const std::string& text) {
  std::vector<std::string> keys;
  std::size_t at = 0;
  while ((at = text.find("\r\n", at)) != std::string::npos) {
    at += 2;
    const std::size_t equals = text.find(" = ", at);
    const std::size_t end = text.find("\r\n", at);
    if (equals != std::string::npos && equals < end) keys.push_back(text.substr(at, equals - at));
  }
  return keys;
}

/// Saves `settings` as set "S" of a new file `file` and returns the file's text.
std::string saveAndRead(const MosaicSettings& settings, const std::string& file) {
  std::filesystem::remove(file);
  EXPECT_TRUE(
      saveSettingsSet(settings, file, SettingsLocation::AsGiven, "S", std::string("/l.tg4"), true));
  return readFile(file);
}

bool load(MosaicSettings& settings, const std::string& file) {
  SettingsStore store;
  store.open(file, SettingsLocation::AsGiven);
  return readSettingsSection(settings, store, "S").applied;
}

// Garbage in any one key of a saved set never crashes the reader, and a record that the reader
// made of it and that passes validation (only such records are ever saved) is written in the
// documented text forms: saving it and reading it back gives the same file.
TEST(SettingsGarbage, AnyValueInAnyKeyReadsToARecordThatRoundTrips) {
  ScopedScriptedDialogs dialogs;
  ScratchDir dir;
  // About a thousand safe saves, each synced to disk: keep them in memory where the system allows.
  const std::filesystem::path shm = "/dev/shm/tg-settings-garbage-" + std::to_string(::getpid());
  std::error_code error;
  const bool inMemory = std::filesystem::create_directory(shm, error);
  const std::filesystem::path folder = inMemory ? shm : dir.path();
  const std::string first = (folder / "first.txt").string();
  const std::string second = (folder / "second.txt").string();
  const std::string defaults = saveAndRead(MosaicSettings{}, first);
  const std::vector<std::string> keys = keysOf(defaults);
  ASSERT_GT(keys.size(), 60u);
  const char* const garbage[] = {"abc", "-1", "1e400", "nan", "99999999999999999999", "\xff\xfe"};
  int valid = 0;
  for (const std::string& key : keys) {
    if (key == "Version" || key == "Advanced.Version") continue;
    const std::size_t line = defaults.find("\r\n" + key + " = ") + 2;
    const std::size_t lineEnd = defaults.find("\r\n", line);
    for (const char* value : garbage) {
      SCOPED_TRACE(key + " = " + value);
      std::string text = defaults;
      text.replace(line, lineEnd - line, key + " = " + value);
      writeFile(first, text);
      MosaicSettings once;
      ASSERT_TRUE(load(once, first));
      // A unit id beyond every unit reads as no unit; written back as such, the next read takes
      // the size as not given. Such a set is refused later by the geometry, not by validation.
      if (!validateParameters(once) || once.mosaicSize.value.unit == UnitId::Unknown) continue;
      ++valid;
      const std::string saved = saveAndRead(once, second);
      MosaicSettings twice;
      ASSERT_TRUE(load(twice, second));
      EXPECT_EQ(saveAndRead(twice, first), saved);
    }
  }
  EXPECT_GT(valid, 200);
  if (inMemory) std::filesystem::remove_all(shm, error);
}

}  // namespace
}  // namespace tg
