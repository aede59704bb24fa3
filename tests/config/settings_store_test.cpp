// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/settings_store.h"

#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <clocale>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "support/scratch_dir.h"

extern char** environ;

namespace tg {
namespace {

using test::readFile;
using test::ScratchDir;
using test::writeFile;

class SettingsStoreTest : public ::testing::Test {
 protected:
  SettingsStore& storeOn(const std::string& name) {
    m_store.open(m_dir.file(name), SettingsLocation::AsGiven);
    return m_store;
  }
  std::string file(const std::string& name) const { return m_dir.file(name); }

  ScratchDir m_dir;
  SettingsStore m_store;
};

TEST_F(SettingsStoreTest, WritesBomCrLfAndSpacedEquals) {
  SettingsStore& store = storeOn("s.txt");
  ASSERT_TRUE(store.setText("Mosaic Settings", "Version", "1"));
  ASSERT_TRUE(store.setLong("Mosaic Settings", "TileSize", -40));
  ASSERT_TRUE(store.setDouble("Other", "Width", 42.0));
  EXPECT_EQ(readFile(file("s.txt")),
            "\xEF\xBB\xBF[Mosaic Settings]\r\nVersion = 1\r\nTileSize = -40\r\n\r\n\r\n"
            "[Other]\r\nWidth = 42.000000\r\n");
}

TEST_F(SettingsStoreTest, ReadsTheSameValuesWithAndWithoutBomAndAnyLineEnds) {
  const std::string body = "[a]\nKey = v\xC3\xA4lue\n[b]\nN = 12\n";
  std::string crlf;
  for (char c : body) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  std::string cr = body;
  for (char& c : cr) c = c == '\n' ? '\r' : c;
  for (const std::string& content : {body, "\xEF\xBB\xBF" + body, crlf, "\xEF\xBB\xBF" + cr}) {
    writeFile(file("in.txt"), content);
    SettingsStore& store = storeOn("in.txt");
    EXPECT_EQ(store.getText("a", "Key", "?"), "v\xC3\xA4lue");
    EXPECT_EQ(store.getLong("b", "N", 0), 12);
    EXPECT_EQ(store.listSections(), (std::vector<std::string>{"a", "b"}));
  }
}

TEST_F(SettingsStoreTest, MissingFileReadsAsEmptyAndGivesDefaults) {
  SettingsStore& store = storeOn("missing.txt");
  EXPECT_EQ(store.getText("s", "k", "dflt"), "dflt");
  EXPECT_EQ(store.getLong("s", "k", 7), 7);
  EXPECT_DOUBLE_EQ(store.getDouble("s", "k", 2.5), 2.5);
  EXPECT_TRUE(store.listSections().empty());
  EXPECT_TRUE(store.load());
  EXPECT_FALSE(std::filesystem::exists(file("missing.txt")));
}

TEST_F(SettingsStoreTest, NumbersFollowTheTextRules) {
  writeFile(file("n.txt"),
            "[n]\nplain = 42\nsigned = -7\nblank =\nword = abc\nlead = 12abc\n"
            "real = 299.9\ncomma = 1,5\nexp = 1e3\nplus = +2.5\n");
  SettingsStore& store = storeOn("n.txt");
  EXPECT_EQ(store.getLong("n", "plain", 0), 42);
  EXPECT_EQ(store.getLong("n", "signed", 0), -7);
  EXPECT_EQ(store.getLong("n", "blank", 5), 0);  // present but empty: not the default
  EXPECT_EQ(store.getLong("n", "word", 5), 0);
  EXPECT_EQ(store.getLong("n", "lead", 0), 12);
  EXPECT_DOUBLE_EQ(store.getDouble("n", "real", 0), 299.9);
  EXPECT_DOUBLE_EQ(store.getDouble("n", "comma", 0), 1.0);
  EXPECT_DOUBLE_EQ(store.getDouble("n", "exp", 0), 1000.0);
  EXPECT_DOUBLE_EQ(store.getDouble("n", "plus", 0), 2.5);
  EXPECT_DOUBLE_EQ(store.getDouble("n", "word", 3), 0.0);
}

/// Builds the de_DE.UTF-8 locale (decimal comma) into `folder` for use through LOCPATH; a bare
/// machine has no such locale installed. False when the locale tools are missing.
bool buildDecimalCommaLocale(const std::string& folder) {
  const std::string output = folder + "/de_DE.UTF-8";
  const char* argv[] = {"localedef", "-i", "de_DE", "-f", "UTF-8", output.c_str(), nullptr};
  pid_t pid = 0;
  if (posix_spawnp(&pid, argv[0], nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
    return false;
  }
  int status = 0;
  return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(SettingsStoreTest, DoublesUseAPointWhateverTheLocale) {
  // A user locale with a decimal comma must change neither what is written nor what is read.
  if (!buildDecimalCommaLocale(m_dir.path().string())) GTEST_SKIP() << "localedef unavailable";
  ASSERT_EQ(setenv("LOCPATH", m_dir.path().c_str(), 1), 0);
  const bool german = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
  unsetenv("LOCPATH");
  ASSERT_TRUE(german);
  ASSERT_STREQ(std::localeconv()->decimal_point, ",");
  writeFile(file("d.txt"), "[s]\nread = 2.25\n");
  SettingsStore& store = storeOn("d.txt");
  const bool written = store.setDouble("s", "w", 29.5);
  const double value = store.getDouble("s", "w", 0);
  const double read = store.getDouble("s", "read", 0);
  std::setlocale(LC_NUMERIC, "C");
  EXPECT_TRUE(written);
  EXPECT_DOUBLE_EQ(value, 29.5);
  EXPECT_DOUBLE_EQ(read, 2.25);
  EXPECT_NE(readFile(file("d.txt")).find("w = 29.500000\r\n"), std::string::npos);
}

TEST_F(SettingsStoreTest, NamesIgnoreCaseIncludingBeyondAscii) {
  SettingsStore& store = storeOn("c.txt");
  ASSERT_TRUE(store.setText("\xC3\x84rger", "Schl\xC3\xBCssel", "1"));    // Ärger / Schlüssel
  EXPECT_EQ(store.getText("\xC3\xA4RGER", "SCHL\xC3\x9CSSEL", ""), "1");  // äRGER / SCHLÜSSEL
  ASSERT_TRUE(store.setText("\xC3\xA4rger", "schl\xC3\xBCssel", "2"));
  EXPECT_EQ(store.listSections().size(), 1u);
  EXPECT_EQ(store.listKeys("\xC3\x84rger").size(), 1u);
  EXPECT_EQ(store.getText("\xC3\x84rger", "Schl\xC3\xBCssel", ""), "2");
}

TEST_F(SettingsStoreTest, ValuesKeepTheirBlanksAndQuotes) {
  SettingsStore& store = storeOn("v.txt");
  const std::vector<std::string> values = {
      "  lead",    "trail  ", " both ", "\"quoted\"",      "\"",
      "a \"b\" c", "",        "x = y",  "[not a section]", "; not a comment"};
  for (size_t i = 0; i < values.size(); ++i) {
    ASSERT_TRUE(store.setText("v", "k" + std::to_string(i), values[i])) << i;
  }
  SettingsStore reader;
  reader.open(file("v.txt"), SettingsLocation::AsGiven);
  for (size_t i = 0; i < values.size(); ++i) {
    EXPECT_EQ(reader.getText("v", "k" + std::to_string(i), "?"), values[i]) << i;
  }
}

TEST_F(SettingsStoreTest, RefusesNamesAndValuesTheFileCannotHold) {
  writeFile(file("r.txt"), "\xEF\xBB\xBF[s]\r\nk = 1\r\n");
  const std::string before = readFile(file("r.txt"));
  SettingsStore& store = storeOn("r.txt");
  EXPECT_FALSE(store.setText("s", "k", "line\nbreak"));
  EXPECT_FALSE(store.setText("s", "k", "carriage\rreturn"));
  EXPECT_FALSE(store.setText("s", "k", std::string("nul\0byte", 8)));
  EXPECT_FALSE(store.setText("s", "a=b", "1"));
  EXPECT_FALSE(store.setText("s", "", "1"));
  EXPECT_FALSE(store.setText("s", "[x", "1"));
  EXPECT_FALSE(store.setText("s", ";x", "1"));
  EXPECT_FALSE(store.setText("a]b", "k", "1"));
  EXPECT_FALSE(store.setText("a\n[evil]", "k", "1"));
  EXPECT_EQ(readFile(file("r.txt")), before);
  // Blanks around names are not part of them.
  EXPECT_TRUE(store.setText("  s ", " k ", "2"));
  EXPECT_EQ(store.getText("s", "k", ""), "2");
}

TEST_F(SettingsStoreTest, SectionsAreListedInOrdinalOrderAndDeleted) {
  SettingsStore& store = storeOn("l.txt");
  for (const char* name : {"beta", "Alpha", "(Auto Save)", "alpha2", "Zeta", "\xC3\xA9t\xC3\xA9"}) {
    ASSERT_TRUE(store.setText(name, "Version", "1"));
  }
  EXPECT_EQ(store.listSections(),
            (std::vector<std::string>{"(Auto Save)", "Alpha", "Zeta", "alpha2", "beta",
                                      "\xC3\xA9t\xC3\xA9"}));
  ASSERT_TRUE(store.deleteSection("ZETA"));
  ASSERT_TRUE(store.deleteSection("no such section"));
  EXPECT_EQ(store.listSections().size(), 5u);
  EXPECT_FALSE(store.hasSection("Zeta"));
  EXPECT_TRUE(store.hasSection("beta"));
  SettingsStore reader;
  reader.open(file("l.txt"), SettingsLocation::AsGiven);
  EXPECT_EQ(reader.listSections().size(), 5u);
}

TEST_F(SettingsStoreTest, KeysAreListedInFileOrder) {
  writeFile(file("k.txt"),
            "[locale]\nEnglish = en\nDeutsch = de\nFran\xC3\xA7"
            "ais = fr\n");
  SettingsStore& store = storeOn("k.txt");
  EXPECT_EQ(store.listKeys("locale"), (std::vector<std::string>{"English", "Deutsch",
                                                                "Fran\xC3\xA7"
                                                                "ais"}));
  EXPECT_TRUE(store.listKeys("none").empty());
}

TEST_F(SettingsStoreTest, AutoSyncSeesOtherWritersAndWritesEveryChange) {
  SettingsStore& first = storeOn("shared.txt");
  SettingsStore second;
  second.open(file("shared.txt"), SettingsLocation::AsGiven);
  ASSERT_TRUE(first.setText("s", "a", "1"));
  EXPECT_EQ(second.getText("s", "a", ""), "1");
  ASSERT_TRUE(second.setText("s", "b", "2"));
  EXPECT_EQ(first.getText("s", "b", ""), "2");
  ASSERT_TRUE(first.setText("s", "a", "3"));  // keeps the other writer's key
  EXPECT_EQ(second.getText("s", "b", ""), "2");
  EXPECT_EQ(second.getText("s", "a", ""), "3");
}

TEST_F(SettingsStoreTest, WithoutAutoSyncTheCallerLoadsAndSavesOnce) {
  writeFile(file("m.txt"), "[s]\nold = 1\n");
  SettingsStore& store = storeOn("m.txt");
  store.setAutoSync(false);
  ASSERT_TRUE(store.load());
  ASSERT_TRUE(store.setText("s", "new", "2"));
  writeFile(file("m.txt"), "[s]\nold = changed behind our back\n");
  EXPECT_EQ(store.getText("s", "old", ""), "1");                               // no reload
  EXPECT_EQ(readFile(file("m.txt")), "[s]\nold = changed behind our back\n");  // no write
  store.setAutoSync(true);
  ASSERT_TRUE(store.save());
  SettingsStore reader;
  reader.open(file("m.txt"), SettingsLocation::AsGiven);
  EXPECT_EQ(reader.getText("s", "old", ""), "1");
  EXPECT_EQ(reader.getText("s", "new", ""), "2");
}

// A full disk is simulated with a file-size limit: writes beyond it fail with EFBIG.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    m_oldHandler = signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &m_old);
    rlimit limit = m_old;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &m_old);
    signal(SIGXFSZ, m_oldHandler);
  }

 private:
  rlimit m_old{};
  sighandler_t m_oldHandler;
};

TEST_F(SettingsStoreTest, AFailedWriteKeepsTheOldFileAndReportsFailure) {
  SettingsStore& store = storeOn("keep.txt");
  ASSERT_TRUE(store.setText("s", "k", "original"));
  const std::string before = readFile(file("keep.txt"));
  {
    FileSizeLimit limit(before.size() + 10);
    EXPECT_FALSE(store.setText("s", "k", std::string(4000, 'x')));
  }
  EXPECT_EQ(readFile(file("keep.txt")), before);
  EXPECT_EQ(store.getText("s", "k", ""), "original");
  // No temporary file is left behind.
  size_t entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(m_dir.path())) {
    ++entries;
  }
  EXPECT_EQ(entries, 1u);
}

TEST_F(SettingsStoreTest, WritingIntoAMissingFolderFailsWithoutCreatingAnything) {
  SettingsStore& store = storeOn("no/such/folder/x.txt");
  EXPECT_FALSE(store.setText("s", "k", "v"));
  EXPECT_FALSE(std::filesystem::exists(file("no")));
  std::filesystem::create_directory(file("dir.txt"));
  SettingsStore& onFolder = storeOn("dir.txt");
  EXPECT_FALSE(onFolder.setText("s", "k", "v"));
  EXPECT_TRUE(std::filesystem::is_directory(file("dir.txt")));
}

TEST_F(SettingsStoreTest, AnUnreadableFileIsNeverOverwritten) {
  // A folder in place of the file cannot be read; a store must not replace it either way, and a
  // file larger than the store reads is kept intact too.
  writeFile(file("huge.txt"), "[s]\nk = 1\n");
  std::filesystem::resize_file(file("huge.txt"), kMaxSettingsFileBytes + 1);
  SettingsStore& store = storeOn("huge.txt");
  EXPECT_EQ(store.getText("s", "k", "dflt"), "dflt");
  EXPECT_FALSE(store.setText("s", "k", "2"));
  store.setAutoSync(false);
  EXPECT_FALSE(store.load());
  ASSERT_TRUE(store.setText("s", "k", "2"));
  EXPECT_FALSE(store.save());
  EXPECT_EQ(std::filesystem::file_size(file("huge.txt")), kMaxSettingsFileBytes + 1);
}

TEST_F(SettingsStoreTest, ReplacingKeepsPermissionsAndSymbolicLinks) {
  writeFile(file("target.txt"), "[s]\nk = 1\n");
  chmod(file("target.txt").c_str(), 0640);
  std::filesystem::create_symlink(file("target.txt"), file("link.txt"));
  SettingsStore& store = storeOn("link.txt");
  ASSERT_TRUE(store.setText("s", "k", "2"));
  EXPECT_TRUE(std::filesystem::is_symlink(file("link.txt")));
  struct stat info {};
  ASSERT_EQ(stat(file("target.txt").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
  SettingsStore reader;
  reader.open(file("target.txt"), SettingsLocation::AsGiven);
  EXPECT_EQ(reader.getText("s", "k", ""), "2");
}

/// Loads and saves the file `cycles` times with auto-sync off and returns the file after each.
std::vector<std::string> loadSaveCycles(const std::string& path, int cycles) {
  std::vector<std::string> files;
  for (int i = 0; i < cycles; ++i) {
    SettingsStore store;
    store.open(path, SettingsLocation::AsGiven);
    store.setAutoSync(false);
    EXPECT_TRUE(store.load());
    EXPECT_TRUE(store.save());
    files.push_back(readFile(path));
  }
  return files;
}

TEST_F(SettingsStoreTest, DamagedFilesReadStablyAndStopChangingAfterTheFirstSave) {
  struct Case {
    const char* name;
    std::string content;
    const char* section;
    const char* key;
    const char* value;
  };
  const std::vector<Case> cases = {
      {"unterminated section", "[a]\nk = 1\n[broken\nx = 2\n[b]\ny = 3\n", "broken", "x", "2"},
      {"unterminated section at the end", "[a]\nk = 1\n[broken", "a", "k", "1"},
      {"bare bracket", "[a]\nk = 1\n[\nz = 9\n", "a", "z", "9"},
      {"key without equals", "[a]\njustakey\nk = 1\n", "a", "k", "1"},
      {"key without spaces", "[a]\nk=1\n", "a", "k", "1"},
      {"nul byte inside", std::string("[a]\nk = 1\n\0\0garbage\n[b]\ny = 3\n", 29), "b", "y", "3"},
      {"invalid utf-8", "[a]\nk = \xFF\xFE\x80\n[b]\ny = 3\n", "b", "y", "3"},
      {"text after the bracket", "[a] trailing\nk = 1\n", "a", "k", "1"},
      {"duplicate keys", "[a]\nk = 1\nk = 2\n", "a", "k", nullptr},
      {"comments", "; head\n\n[a]\n; about k\nk = 1\n# other\n", "a", "k", "1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    writeFile(file("damaged.txt"), c.content);
    SettingsStore raw;
    raw.open(file("damaged.txt"), SettingsLocation::AsGiven);
    const std::string first = raw.getText(c.section, c.key, "<missing>");
    if (c.value != nullptr) {
      EXPECT_EQ(first, c.value);
    }
    const auto sectionsBefore = raw.listSections();

    const std::vector<std::string> files = loadSaveCycles(file("damaged.txt"), 4);
    for (size_t i = 1; i < files.size(); ++i) EXPECT_EQ(files[i], files[0]) << "cycle " << i;
    SettingsStore again;
    again.open(file("damaged.txt"), SettingsLocation::AsGiven);
    EXPECT_EQ(again.getText(c.section, c.key, "<missing>"), first);
    EXPECT_EQ(again.listSections(), sectionsBefore);
  }
}

TEST_F(SettingsStoreTest, RandomGarbageNeverGrowsAcrossCycles) {
  std::mt19937 random(1234);
  std::uniform_int_distribution<int> byte(0, 255);
  const std::string alphabet = "[]=; \n\r\t#\"ab\xC3\xA4";
  std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
  for (int round = 0; round < 60; ++round) {
    std::string content;
    for (int i = 0; i < 300; ++i) {
      content += (round % 2 == 0) ? static_cast<char>(byte(random)) : alphabet[pick(random)];
    }
    writeFile(file("g.txt"), content);
    SettingsStore raw;
    raw.open(file("g.txt"), SettingsLocation::AsGiven);
    const auto sections = raw.listSections();
    const std::vector<std::string> files = loadSaveCycles(file("g.txt"), 3);
    EXPECT_EQ(files[1], files[0]) << "round " << round;
    EXPECT_EQ(files[2], files[0]) << "round " << round;
    SettingsStore again;
    again.open(file("g.txt"), SettingsLocation::AsGiven);
    EXPECT_EQ(again.listSections(), sections) << "round " << round;
    for (const std::string& section : sections) {
      for (const std::string& key : raw.listKeys(section)) {
        EXPECT_EQ(again.getText(section, key, "<missing>"), raw.getText(section, key, "<none>"))
            << "round " << round;
      }
    }
  }
}

TEST_F(SettingsStoreTest, OneStoreServesManyThreads) {
  SettingsStore& store = storeOn("threads.txt");
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&store, t] {
      for (int i = 0; i < 25; ++i) {
        EXPECT_TRUE(store.setLong("s", "thread" + std::to_string(t), i));
        (void)store.getLong("s", "thread0", 0);
      }
    });
  }
  for (auto& thread : threads) thread.join();
  for (int t = 0; t < 4; ++t) EXPECT_EQ(store.getLong("s", "thread" + std::to_string(t), -1), 24);
}

TEST_F(SettingsStoreTest, TwoStoresOnOneFileKeepEachOthersChanges) {
  // Each store stands for another program instance: only the file is shared.
  SettingsStore first;
  SettingsStore second;
  first.open(file("two.txt"), SettingsLocation::AsGiven);
  second.open(file("two.txt"), SettingsLocation::AsGiven);
  auto writer = [](SettingsStore* store, const std::string& prefix) {
    for (int i = 0; i < 40; ++i) EXPECT_TRUE(store->setLong("s", prefix + std::to_string(i), i));
  };
  std::thread a(writer, &first, "a");
  std::thread b(writer, &second, "b");
  a.join();
  b.join();
  EXPECT_EQ(first.listKeys("s").size(), 80u);
}

}  // namespace
}  // namespace tg
