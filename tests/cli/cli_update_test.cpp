// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "cli/cli_helpers.h"
#include "support/loopback_server.h"
#include "support/scratch_dir.h"

namespace tg::test {
namespace {

/// Points the CLI at a loopback update service and a configuration folder of its own.
class CliUpdateCheck : public ::testing::Test {
 protected:
  CliUpdateCheck() : m_server([this](const std::string&) { return m_answer; }) {
    const char* config = std::getenv("TESSELOGRAPH_CONFIG_PATH");
    m_oldConfig = config != nullptr ? config : "";
    setenv("TESSELOGRAPH_CONFIG_PATH", m_scratch.path().c_str(), 1);
    setenv("TESSELOGRAPH_UPDATE_URL", m_server.base().c_str(), 1);
  }
  ~CliUpdateCheck() override {
    setenv("TESSELOGRAPH_CONFIG_PATH", m_oldConfig.c_str(), 1);
    unsetenv("TESSELOGRAPH_UPDATE_URL");
  }

  ScratchDir m_scratch;
  std::string m_oldConfig;
  std::string m_answer = LoopbackServer::reply(200, "<latest>0.00.01</latest>");
  LoopbackServer m_server;
};

TEST_F(CliUpdateCheck, AnswersTheFirstRunQuestionAndReportsTheResult) {
  // No mode chosen yet: --no answers "check at startup?" with No, so nothing is asked.
  CliRun run = runCli(m_scratch.path().string(), "update-check --no");
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.err.find("check for new updates at startup"), std::string::npos) << run.err;
  EXPECT_TRUE(m_server.requests().empty());

  run = runCli(m_scratch.path().string(), "update-check --force");
  EXPECT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.err.find("Your version of Tesselograph is up to date."), std::string::npos)
      << run.err;
  ASSERT_EQ(m_server.requests().size(), 1u);
  EXPECT_EQ(m_server.requests()[0].rfind("GET /checkversion.php?v=", 0), 0u);

  m_answer = LoopbackServer::reply(500, "");
  run = runCli(m_scratch.path().string(), "update-check --force");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("Please check your internet connection."), std::string::npos) << run.err;
}

}  // namespace
}  // namespace tg::test
