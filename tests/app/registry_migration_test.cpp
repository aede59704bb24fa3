// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/registry_migration.h"

#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "support/scratch_dir.h"

namespace tg {
namespace {

/// A registry with one key whose values the test chooses; it records every call.
class FakeRegistry final : public LegacyRegistry {
 public:
  bool keyExists = true;
  std::map<std::string, std::string> values;
  std::vector<std::string> calls;

  bool openKey(const std::string& path) override {
    calls.push_back("open " + path);
    m_open = keyExists;
    return keyExists;
  }
  std::optional<std::string> readValue(const std::string& name, size_t maxChars) override {
    calls.push_back("read " + name + " " + std::to_string(maxChars));
    if (!m_open) return std::nullopt;
    const auto found = values.find(name);
    if (found == values.end()) return std::nullopt;
    return found->second.substr(0, maxChars);
  }
  void closeKey() override {
    calls.push_back("close");
    m_open = false;
  }
  bool deleteKey(const std::string& parent, const std::string& child) override {
    calls.push_back("delete " + parent + "\\" + child);
    keyExists = false;
    return true;
  }

 private:
  bool m_open = false;
};

class RegistryMigrationTest : public ::testing::Test {
 protected:
  RegistryMigrationTest() { m_store.open(m_dir.file("config.txt"), SettingsLocation::AsGiven); }

  test::ScratchDir m_dir;
  SettingsStore m_store;
  UserValues m_values{m_store};
  FakeRegistry m_registry;
};

TEST_F(RegistryMigrationTest, WithoutTheKeyNothingHappens) {
  m_registry.keyExists = false;
  EXPECT_FALSE(migrateRegistryValues(m_registry, m_values));
  EXPECT_EQ(m_registry.calls, std::vector<std::string>{"open Software\\Tesselograph"});
  EXPECT_TRUE(m_store.listSections().empty());
}

TEST_F(RegistryMigrationTest, CopiesIntoEmptyValuesOnlyThenDeletesTheKey) {
  m_registry.values = {{"MosaicCount", "12"},
                       {"Locale", "de"},
                       {"FolderDialog.SavePath.Path", "C:\\Mosaics\\"},
                       {"ShowToolTips", "0"},
                       {"Unrelated", "ignored"}};
  ASSERT_TRUE(m_values.setValue("Locale", "fr"));      // already chosen: kept
  ASSERT_TRUE(m_values.setValue("ShowToolTips", ""));  // empty: filled
  EXPECT_TRUE(migrateRegistryValues(m_registry, m_values));
  EXPECT_EQ(m_values.value("MosaicCount", ""), "12");
  EXPECT_EQ(m_values.value("Locale", ""), "fr");
  EXPECT_EQ(m_values.value("FolderDialog.SavePath.Path", ""), "C:\\Mosaics\\");
  EXPECT_EQ(m_values.value("ShowToolTips", ""), "0");
  EXPECT_EQ(m_values.value("Unrelated", "<none>"), "<none>");
  EXPECT_EQ(m_values.value("DateFirstMosaic", "<none>"), "<none>");  // unreadable: skipped

  const std::vector<std::string> expected = {
      "open Software\\Tesselograph",
      "read FileDialog.ImageList.Path 1024",
      "read FileDialog.ImageArchive.Path 1024",
      "read FileDialog.MaskFile.Path 1024",
      "read FileDialog.ExtractMovie.Path 1024",
      "read FolderDialog.Include.Path 1024",
      "read FolderDialog.SavePath.Path 1024",
      "read ShowToolTips 1024",
      "read MosaicCount 1024",
      "read DateFirstMosaic 1024",
      "read Locale 1024",
      "close",
      "delete Software\\Tesselograph",
  };
  EXPECT_EQ(m_registry.calls, expected);
  // The key is gone: a second start migrates nothing.
  EXPECT_FALSE(migrateRegistryValues(m_registry, m_values));
}

TEST_F(RegistryMigrationTest, TheKeyIsDeletedEvenWhenNothingCouldBeCopied) {
  m_registry.values = {{"MosaicCount", "3"}};
  ASSERT_TRUE(m_values.setValue("MosaicCount", "9"));
  EXPECT_TRUE(migrateRegistryValues(m_registry, m_values));
  EXPECT_EQ(m_values.value("MosaicCount", ""), "9");
  EXPECT_EQ(m_registry.calls.back(), "delete Software\\Tesselograph");
}

}  // namespace
}  // namespace tg
