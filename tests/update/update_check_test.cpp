// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/update_check.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <string>
#include <vector>

#include <curl/curl.h>

#include "config/settings_store.h"
#include "config/user_values.h"
#include "platform/scripted_dialogs.h"
#include "platform/shell.h"
#include "support/loopback_server.h"
#include "support/scratch_dir.h"

namespace tg {
namespace {

using test::LoopbackServer;

constexpr std::time_t kNow = 1'800'000'000;
constexpr long kDay = 24 * 3600;

/// One checker on a scratch configuration, a loopback service and recorded shell calls.
class UpdateCheckTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { curl_global_init(CURL_GLOBAL_ALL); }
  static void TearDownTestSuite() { curl_global_cleanup(); }

  UpdateCheckTest()
      : m_server([this](const std::string&) { return m_answer; }),
        m_shell([this](const std::vector<std::string>& argv) {
          m_opened.push_back(argv.back());
          return 0;
        }) {
    m_store.open(m_scratch.file("config.txt"), SettingsLocation::AsGiven);
  }

  UpdateChecker::Setup setup(int major = 2, int minor = 5, int build = 7) {
    UpdateChecker::Setup s;
    s.values = &m_values;
    s.packageValue = [this] { return m_package; };
    s.buildValue = [this] { return m_build; };
    s.version = ProgramVersion{major, minor, build, ""};
    s.service = UpdateService{m_server.base(), "https://example.test/download/",
                              "https://example.test/get.php"};
    s.now = [] { return kNow; };
    s.limits.totalTimeoutSeconds = 60;
    return s;
  }
  void storeMode(int mode, std::time_t lastCheck) {
    ASSERT_TRUE(m_values.setValue("CheckVersion", std::to_string(mode)));
    ASSERT_TRUE(m_values.setValue("CheckVersionDate", std::to_string(lastCheck)));
  }
  /// Runs one check to its end; whether a thread was started.
  bool check(UpdateChecker& checker, bool forced) {
    const bool started = checker.checkForUpdates(forced);
    checker.wait();
    return started;
  }

  test::ScratchDir m_scratch;
  SettingsStore m_store;
  UserValues m_values{m_store};
  std::string m_answer = LoopbackServer::reply(200, "<html><latest>2.05.07</latest></html>\n");
  std::string m_package = "Linux";
  std::string m_build;
  ScopedScriptedDialogs m_dialogs;
  LoopbackServer m_server;
  std::vector<std::string> m_opened;
  ScopedShellSpawner m_shell;
};

TEST(UpdateVersion, ComparesAsTextAndReadsTheLatestElement) {
  EXPECT_EQ(versionText({2, 5, 7, ""}), "2.05.07");
  EXPECT_TRUE(versionSortsBefore("2.05.07", "2.06.00"));
  EXPECT_FALSE(versionSortsBefore("2.05.07", "2.05.07"));
  EXPECT_TRUE(versionSortsBefore("10.00.00", "9.99.99"));
  EXPECT_EQ(latestVersionOf("x\r\n<latest>2.06.00</latest>\r\n"), "2.06.00");
  EXPECT_EQ(latestVersionOf("<latest></latest>"), std::nullopt);
  EXPECT_EQ(latestVersionOf(std::string("\x89PNG\0\xff garbage", 14)), std::nullopt);
  EXPECT_EQ(updateModeInfo(9).mode, 3);
  EXPECT_EQ(updateModeInfo(0).intervalDays, 15);
}

TEST_F(UpdateCheckTest, AutomaticChecksFollowTheModeAndItsInterval) {
  struct Row {
    int mode;
    double daysAgo;
    bool checks;
  };
  const Row rows[] = {{3, 14.9, false}, {3, 15.0, true}, {2, 29.9, false}, {2, 30.0, true},
                      {4, 1.9, false},  {4, 2.0, true},  {1, 400, false},  {3, -3, true},
                      {7, 14.9, false}, {5, 7.0, true}};
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << "mode " << row.mode << ", " << row.daysAgo << " days");
    storeMode(row.mode, kNow - static_cast<std::time_t>(row.daysAgo * kDay));
    UpdateChecker checker(setup());
    const std::size_t before = m_server.requests().size();
    EXPECT_EQ(check(checker, false), row.checks);
    EXPECT_EQ(m_server.requests().size(), before + (row.checks ? 1 : 0));
  }
  // Beta modes ask for beta versions.
  EXPECT_EQ(m_server.requests().back(), "GET /checkversion.php?v=2.05.07&beta=1 HTTP/1.1");
  EXPECT_TRUE(m_dialogs->texts().empty());
}

TEST_F(UpdateCheckTest, CheckNowAlwaysAsksAndReportsUpToDate) {
  storeMode(1, kNow);
  UpdateChecker checker(setup());
  EXPECT_TRUE(check(checker, true));
  EXPECT_EQ(m_server.requests().at(0), "GET /checkversion.php?v=2.05.07 HTTP/1.1");
  EXPECT_EQ(checker.lastOutcome(), CheckOutcome::UpToDate);
  EXPECT_EQ(m_dialogs->texts(),
            std::vector<std::string>{"Your version of Tesselograph is up to date."});
  // No credentials, no cookies: the request carries only what the query needs.
  const std::string headers = m_server.headers().at(0);
  EXPECT_EQ(headers.find("Authorization"), std::string::npos);
  EXPECT_EQ(headers.find("Cookie"), std::string::npos);
}

TEST_F(UpdateCheckTest, FirstRunQuestionStoresTheModeAndChecksAtOnce) {
  struct Row {
    Answer answer;
    std::string build;
    int mode;
    bool checks;
  };
  for (const Row& row : {Row{Answer::Yes, "", 3, true}, Row{Answer::Yes, "BETA", 5, true},
                         Row{Answer::No, "", 1, false}}) {
    ASSERT_TRUE(m_values.setValue("CheckVersion", ""));
    ASSERT_TRUE(m_values.setValue("CheckVersionDate", std::to_string(kNow)));  // just checked
    m_build = row.build;
    m_dialogs->clear();
    m_dialogs->answerNext(row.answer);
    UpdateChecker checker(setup());
    EXPECT_EQ(check(checker, false), row.checks);
    EXPECT_EQ(m_values.number("CheckVersion"), row.mode);
    ASSERT_FALSE(m_dialogs->messages().empty());
    EXPECT_EQ(m_dialogs->messages()[0].buttons, Buttons::YesNo);
    // The consent makes this one check forced: it says the version is up to date.
    EXPECT_EQ(m_dialogs->messages().size(), row.checks ? 2u : 1u);
  }
}

TEST_F(UpdateCheckTest, NewerVersionOffersTheDownload) {
  struct Row {
    ProgramVersion version;
    std::string latest;
    Answer answer;
  };
  for (const Row& row :
       {Row{{2, 5, 7, ""}, "2.06.00", Answer::Yes}, Row{{10, 0, 0, ""}, "9.99.99", Answer::No}}) {
    m_answer = LoopbackServer::reply(200, "<latest>" + row.latest + "</latest>");
    m_opened.clear();
    m_dialogs->clear();
    m_dialogs->answerNext(row.answer);
    storeMode(3, kNow - 20 * kDay);
    UpdateChecker checker(setup(row.version.major, row.version.minor, row.version.build));
    EXPECT_TRUE(check(checker, false));
    EXPECT_EQ(checker.lastOutcome(), CheckOutcome::Newer);
    ASSERT_EQ(m_dialogs->texts().size(), 1u);
    EXPECT_EQ(
        m_dialogs->texts()[0],
        "A newer version of Tesselograph is available! Click YES to download the new version.");
    if (row.answer == Answer::Yes) {
      EXPECT_EQ(m_opened,
                (std::vector<std::string>{
                    "https://example.test/download/",
                    "https://example.test/get.php?build=tesselograph-linux&package=Linux&beta=0"}));
    } else {
      EXPECT_TRUE(m_opened.empty());
    }
    EXPECT_EQ(m_values.number("CheckVersionDate"), kNow);
  }
}

TEST_F(UpdateCheckTest, PackageOtherTurnsOnlyAutomaticChecksOff) {
  m_package = "oTHER";
  storeMode(3, kNow - 100 * kDay);
  UpdateChecker checker(setup());
  check(checker, false);
  EXPECT_TRUE(m_server.requests().empty());
  EXPECT_EQ(checker.lastOutcome(), CheckOutcome::Skipped);
  check(checker, true);
  EXPECT_EQ(m_server.requests().size(), 1u);
}

TEST_F(UpdateCheckTest, BadServicesFailWithoutChangingTheLastCheck) {
  const std::string big(10 * 1024 * 1024, 'x');
  struct Row {
    const char* what;
    std::string answer;
    CheckOutcome outcome;
    bool message;
  };
  const Row rows[] = {
      {"404", LoopbackServer::reply(404, "<latest>9.00.00</latest>"), CheckOutcome::Unreachable,
       true},
      {"10 MB", LoopbackServer::reply(200, big + "<latest>9.00.00</latest>"),
       CheckOutcome::Unreachable, true},
      {"redirect",
       LoopbackServer::reply(302, "", "Location: http://192.0.2.1/checkversion.php\r\n"),
       CheckOutcome::Unreachable, true},
      {"garbage", LoopbackServer::reply(200, std::string("\x00\xff<latest>", 10)),
       CheckOutcome::NoVersion, false},
      {"no HTTP at all", "garbage without a status line\r\n\r\n", CheckOutcome::Unreachable, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    m_answer = row.answer;
    m_dialogs->clear();
    storeMode(3, 12345);
    UpdateChecker checker(setup());
    EXPECT_TRUE(check(checker, true));
    EXPECT_EQ(checker.lastOutcome(), row.outcome);
    if (row.message) {
      EXPECT_EQ(m_dialogs->texts(),
                std::vector<std::string>{"Unable to verify if a new version is available. Please "
                                         "check your internet connection."});
      EXPECT_EQ(m_values.number("CheckVersionDate"), 12345);
    } else {
      EXPECT_TRUE(m_dialogs->texts().empty());
      EXPECT_EQ(m_values.number("CheckVersionDate"), kNow);
    }
  }
}

TEST_F(UpdateCheckTest, ShutDownDoesNotWaitForAServerThatNeverAnswers) {
  m_answer.clear();  // the server takes the request and stays silent
  storeMode(3, 0);
  auto checker = std::make_unique<UpdateChecker>(setup());
  ASSERT_TRUE(checker->checkForUpdates(true));
  while (m_server.requests().empty()) std::this_thread::yield();
  EXPECT_TRUE(checker->fetching());
  EXPECT_FALSE(checker->checkForUpdates(true));  // one check at a time
  const auto start = std::chrono::steady_clock::now();
  checker.reset();  // closing the program
  // The fetch would wait 60 s for its time-out; closing aborts it at once, silently.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_TRUE(m_dialogs->texts().empty());
}

}  // namespace
}  // namespace tg
