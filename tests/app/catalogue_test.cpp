// SPDX-License-Identifier: GPL-3.0-or-later
#include <spawn.h>
#include <sys/wait.h>

#include <clocale>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/catalogue_binding.h"
#include "platform/catalogue.h"
#include "platform/paths.h"
#include "support/scratch_dir.h"

extern char** environ;

namespace tg {
namespace {

/// Runs a program to its end; returns its exit status (-1 when it could not run).
int run(const std::vector<std::string>& argv) {
  std::vector<char*> pointers;
  for (const std::string& a : argv) pointers.push_back(const_cast<char*>(a.c_str()));
  pointers.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawnp(&pid, pointers[0], nullptr, nullptr, pointers.data(), environ) != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A language with three plural forms, so that the plural rule of the catalogue (not the
// English singular/plural choice) is what picks the text.
const char* const kPolishCatalogue = R"(msgid ""
msgstr ""
"Project-Id-Version: Tesselograph test\n"
"PO-Revision-Date: 2024-01-01 00:00+0000\n"
"Last-Translator: Tests\n"
"Language-Team: Tests\n"
"Language: pl\n"
"MIME-Version: 1.0\n"
"Content-Type: text/plain; charset=UTF-8\n"
"Content-Transfer-Encoding: 8bit\n"
"Plural-Forms: nplurals=3; plural=(n==1 ? 0 : n%10>=2 && n%10<=4 && (n%100<10 || n%100>=20) ? 1 : 2);\n"

msgid "Select your prefered language:"
msgstr "Wybierz preferowany język:"

msgid "You have created %ld Mosaic since %s!"
msgid_plural "You have created %ld Mosaics since %s!"
msgstr[0] "Utworzono %ld mozaikę od %s!"
msgstr[1] "Utworzono %ld mozaiki od %s!"
msgstr[2] "Utworzono %ld mozaik od %s!"
)";

class CatalogueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string po = m_dir.file("pl.po");
    test::writeFile(po, kPolishCatalogue);
    const std::string folder = m_dir.file("locale/pl/LC_MESSAGES");
    std::filesystem::create_directories(folder);
    ASSERT_EQ(run({"msgfmt", "--check", "-o", folder + "/tesselograph.mo", po}), 0);
    m_savedLanguage = environmentValue("LANGUAGE");
  }
  void TearDown() override {
    // Back to the program's own catalogue for the other tests of this process.
    (void)setCatalogueLanguage(m_savedLanguage);
    (void)bindCatalogue(installedLocaleFolder());
  }

  test::ScratchDir m_dir;
  std::string m_savedLanguage;
};

TEST_F(CatalogueTest, LooksUpTextsAndPicksPluralsByTheCataloguesRule) {
  // The plain C locale, as on a bare machine: start-up must still honour LANGUAGE.
  ASSERT_TRUE(setEnvironmentValue("LC_ALL", "C"));
  std::setlocale(LC_ALL, "C");
  const std::string messages = initialiseLocale();
  (void)unsetenv("LC_ALL");
  EXPECT_NE(messages, "C");
  ASSERT_TRUE(setCatalogueLanguage("pl"));
  ASSERT_TRUE(bindCatalogue(m_dir.file("locale")));

  EXPECT_EQ(tr("Select your prefered language:"), "Wybierz preferowany język:");
  EXPECT_EQ(tr("A text the catalogue lacks"), "A text the catalogue lacks");
  EXPECT_EQ(tr(""), "");  // never the catalogue's header
  const char* singular = "You have created %ld Mosaic since %s!";
  const char* plural = "You have created %ld Mosaics since %s!";
  EXPECT_EQ(trn(singular, plural, 1), "Utworzono %ld mozaikę od %s!");
  EXPECT_EQ(trn(singular, plural, 3), "Utworzono %ld mozaiki od %s!");
  EXPECT_EQ(trn(singular, plural, 22), "Utworzono %ld mozaiki od %s!");
  EXPECT_EQ(trn(singular, plural, 5), "Utworzono %ld mozaik od %s!");
  EXPECT_EQ(trn(singular, plural, 12), "Utworzono %ld mozaik od %s!");
  // Numbers keep their C form whatever the messages locale.
  EXPECT_STREQ(std::localeconv()->decimal_point, ".");
}

TEST_F(CatalogueTest, ALanguageWithoutCatalogueShowsEnglish) {
  initialiseLocale();
  ASSERT_TRUE(setCatalogueLanguage("pl"));
  ASSERT_TRUE(bindCatalogue(m_dir.file("locale")));
  ASSERT_EQ(tr("Select your prefered language:"), "Wybierz preferowany język:");
  // Switching at run time needs the catalogue bound again, then the new choice holds.
  ASSERT_TRUE(setCatalogueLanguage("xx"));
  ASSERT_TRUE(bindCatalogue(m_dir.file("locale")));
  EXPECT_EQ(tr("Select your prefered language:"), "Select your prefered language:");
  EXPECT_EQ(
      trn("You have created %ld Mosaic since %s!", "You have created %ld Mosaics since %s!", 1),
      "You have created %ld Mosaic since %s!");
  EXPECT_EQ(
      trn("You have created %ld Mosaic since %s!", "You have created %ld Mosaics since %s!", 2),
      "You have created %ld Mosaics since %s!");
}

TEST_F(CatalogueTest, TheShippedGermanCatalogueTranslatesWithGermanPlurals) {
  initialiseLocale();
  ASSERT_TRUE(setCatalogueLanguage("de"));
  ASSERT_TRUE(bindCatalogue(installedLocaleFolder()));
  EXPECT_EQ(tr("Select your prefered language:"), "Wählen Sie Ihre bevorzugte Sprache:");
  const char* singular = "Completed %ld Mosaic!";
  const char* plural = "Completed %ld Mosaics!";
  EXPECT_EQ(trn(singular, plural, 1), "%ld Mosaik fertiggestellt!");
  EXPECT_EQ(trn(singular, plural, 0), "%ld Mosaike fertiggestellt!");
  EXPECT_EQ(trn(singular, plural, 2), "%ld Mosaike fertiggestellt!");
}

TEST(CatalogueLanguage, TheDialogsChoiceWinsElseTheUsersLanguageDecides) {
  const LanguageEnvironment german{"", "", "", "de_DE.UTF-8"};
  EXPECT_EQ(catalogueLanguage("fr", german), "fr");
  EXPECT_EQ(catalogueLanguage("", german), "de_DE");
  EXPECT_EQ(catalogueLanguage("", {"", "", "pl_PL@euro", "de_DE.UTF-8"}), "pl_PL");
  EXPECT_EQ(catalogueLanguage("", {"", "de_AT.UTF-8", "pl_PL", "fr_FR"}), "de_AT");
  // LANGUAGE is a list and wins over the locale, except under plain C, where the library
  // ignores it too; C.UTF-8 is no plain C.
  EXPECT_EQ(catalogueLanguage("", {"fr:de", "", "", "de_DE.UTF-8"}), "fr:de");
  EXPECT_EQ(catalogueLanguage("", {"fr:de", "C.UTF-8", "", ""}), "fr:de");
  EXPECT_EQ(catalogueLanguage("", {"fr:de", "C", "", "de_DE.UTF-8"}), "");
  EXPECT_EQ(catalogueLanguage("", {"fr", "", "", ""}), "");
  EXPECT_EQ(catalogueLanguage("", {"", "", "", "POSIX"}), "");
  EXPECT_EQ(catalogueLanguage("", {"", "", "", "C.UTF-8"}), "");
}

TEST_F(CatalogueTest, AnEmptyLocaleFollowsTheUsersLangEvenWithoutThatLocaleInstalled) {
  const std::string savedLang = environmentValue("LANG");
  const std::string savedAll = environmentValue("LC_ALL");
  (void)unsetenv("LC_ALL");
  (void)unsetenv("LC_MESSAGES");
  (void)unsetenv("LANGUAGE");
  ASSERT_TRUE(setEnvironmentValue("LANG", "pl_PL.UTF-8"));
  initialiseLocale();  // pl_PL is no locale of this machine: C.UTF-8 it is
  ASSERT_TRUE(setCatalogueLanguage(""));
  EXPECT_EQ(environmentValue("LANGUAGE"), "pl_PL");
  ASSERT_TRUE(bindCatalogue(m_dir.file("locale")));
  EXPECT_EQ(tr("Select your prefered language:"), "Wybierz preferowany język:");
  // English chosen in the language dialog wins over the user's language.
  ASSERT_TRUE(setCatalogueLanguage("en"));
  ASSERT_TRUE(bindCatalogue(m_dir.file("locale")));
  EXPECT_EQ(tr("Select your prefered language:"), "Select your prefered language:");
  (void)setEnvironmentValue("LANG", savedLang);
  if (!savedAll.empty()) (void)setEnvironmentValue("LC_ALL", savedAll);
  if (savedLang.empty()) (void)unsetenv("LANG");
}

TEST_F(CatalogueTest, AUserLocaleIsKeptButNumbersStayInTheirCForm) {
  if (run({"localedef", "-i", "de_DE", "-f", "UTF-8", m_dir.file("de_DE.UTF-8")}) != 0) {
    GTEST_SKIP() << "localedef unavailable";
  }
  ASSERT_TRUE(setEnvironmentValue("LOCPATH", m_dir.path().string()));
  ASSERT_TRUE(setEnvironmentValue("LC_ALL", "de_DE.UTF-8"));
  const std::string messages = initialiseLocale();
  const std::string decimalPoint = std::localeconv()->decimal_point;
  (void)unsetenv("LC_ALL");
  std::setlocale(LC_ALL, "C.UTF-8");
  (void)unsetenv("LOCPATH");
  EXPECT_EQ(messages, "de_DE.UTF-8");
  EXPECT_EQ(decimalPoint, ".");
}

}  // namespace
}  // namespace tg
