// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/language_list.h"

#include <gtest/gtest.h>

#include "platform/scripted_dialogs.h"
#include "support/scratch_dir.h"

namespace tg {
namespace {

class LanguageDialogTest : public ::testing::Test {
 protected:
  LanguageDialogTest() { m_store.open(m_dir.file("config.txt"), SettingsLocation::AsGiven); }

  static std::vector<LanguageEntry> languages() {
    return {{"English", "en"},
            {"Fran\xC3\xA7"
             "ais",
             "fr"},
            {"Deutsch", "de"},
            {"\xC4\x8C"
             "e\xC5\xA1tina",
             "cs"}};  // Čeština sorts with C, not after Z
  }
  static std::vector<std::string> names(const LanguageDialogModel& model) {
    std::vector<std::string> result;
    for (const LanguageEntry& e : model.entries()) result.push_back(e.name);
    return result;
  }

  test::ScratchDir m_dir;
  SettingsStore m_store;
  UserValues m_values{m_store};
};

TEST_F(LanguageDialogTest, AutoComesFirstThenTheNamesInOrder) {
  const LanguageDialogModel model(languages(), "");
  EXPECT_EQ(names(model), (std::vector<std::string>{"(auto)",
                                                    "\xC4\x8C"
                                                    "e\xC5\xA1tina",
                                                    "Deutsch", "English",
                                                    "Fran\xC3\xA7"
                                                    "ais"}));
  EXPECT_EQ(model.entries()[0].code, "");
  EXPECT_EQ(model.selection(), 0);
  EXPECT_EQ(LanguageDialogModel::prompt(), "Select your prefered language:");
  EXPECT_EQ(LanguageDialogModel::okLabel(), "OK");
  EXPECT_EQ(LanguageDialogModel::cancelLabel(), "Cancel");
}

TEST_F(LanguageDialogTest, SelectsTheStoredLanguageOrAuto) {
  EXPECT_EQ(LanguageDialogModel(languages(), "de").selection(), 2);
  EXPECT_EQ(LanguageDialogModel(languages(), "fr_CH").selection(), 0);
  EXPECT_EQ(LanguageDialogModel({}, "de").selection(), 0);
  EXPECT_EQ(LanguageDialogModel({}, "de").entries().size(), 1u);
}

TEST_F(LanguageDialogTest, OkStoresTheCodeAndAsksForARestart) {
  ScopedScriptedDialogs dialogs;
  LanguageDialogModel model(languages(), "");
  model.select(4);
  ASSERT_TRUE(model.accept(m_values));
  EXPECT_EQ(m_values.value("Locale", "?"), "fr");
  EXPECT_EQ(dialogs->texts(),
            std::vector<std::string>{"You must restart Tesselograph for this change to take "
                                     "effect."});
  model.select(0);
  ASSERT_TRUE(model.accept(m_values));
  EXPECT_EQ(m_values.value("Locale", "?"), "");
}

TEST_F(LanguageDialogTest, OkWithoutASelectionChangesNothing) {
  ScopedScriptedDialogs dialogs;
  LanguageDialogModel model(languages(), "de");
  model.select(99);
  EXPECT_EQ(model.selection(), -1);
  EXPECT_FALSE(model.accept(m_values));
  EXPECT_EQ(m_values.value("Locale", "<unset>"), "<unset>");
  EXPECT_TRUE(dialogs->texts().empty());
}

TEST_F(LanguageDialogTest, ListFileIsReadInFileOrder) {
  test::writeFile(m_dir.file("locale.txt"),
                  "\xEF\xBB\xBF[locale]\r\nEnglish = en\r\nDeutsch = de\r\n[other]\r\nx = y\r\n");
  const auto list = readLanguageList(m_dir.file("locale.txt"));
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].name, "English");
  EXPECT_EQ(list[1].code, "de");
  EXPECT_TRUE(readLanguageList(m_dir.file("missing.txt")).empty());
  // The list shipped beside the program.
  const auto installed = installedLanguageList();
  EXPECT_FALSE(installed.empty());
  for (const LanguageEntry& e : installed) EXPECT_FALSE(e.code.empty()) << e.name;
}

}  // namespace
}  // namespace tg
