// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/user_guide.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/scripted_dialogs.h"
#include "platform/shell.h"
#include "support/scratch_dir.h"

namespace tg {
namespace {

TEST(UserGuide, PathFollowsTheExactLocale) {
  EXPECT_EQ(userGuidePath("/opt/t/", "fr"), "/opt/t/TesselographManual-fr.pdf");
  EXPECT_EQ(userGuidePath("/opt/t/", "de"), "/opt/t/TesselographManual-de.pdf");
  EXPECT_EQ(userGuidePath("/opt/t/", "fr_CH"), "/opt/t/TesselographManual.pdf");
  EXPECT_EQ(userGuidePath("/opt/t/", ""), "/opt/t/TesselographManual.pdf");
  EXPECT_EQ(userGuidePath("/opt/t/", "DE"), "/opt/t/TesselographManual.pdf");
}

TEST(UserGuide, ALanguageWithoutItsOwnGuideOpensTheEnglishOne) {
  test::ScratchDir dir;
  const std::string folder = dir.path().string() + "/";
  std::vector<std::vector<std::string>> started;
  ScopedShellSpawner spawner([&](const std::vector<std::string>& argv) {
    started.push_back(argv);
    return 0;
  });
  ScopedScriptedDialogs dialogs;

  // Nothing installed: the user is told which guide was missing, nothing is started.
  EXPECT_FALSE(openUserGuideIn(folder, "fr"));
  EXPECT_TRUE(started.empty());
  EXPECT_EQ(dialogs->texts(),
            std::vector<std::string>{"Unable to open the User Guide '" + folder +
                                     "TesselographManual-fr.pdf'. Please install the Acrobat "
                                     "PDF Reader or a compatible PDF Reader!"});
  EXPECT_EQ(dialogs->messages()[0].icon, Icon::Exclamation);

  test::writeFile(folder + "TesselographManual.pdf", "%PDF-1.4\n");
  EXPECT_TRUE(openUserGuideIn(folder, "fr"));
  test::writeFile(folder + "TesselographManual-de.pdf", "%PDF-1.4\n");
  EXPECT_TRUE(openUserGuideIn(folder, "de"));
  ASSERT_EQ(started.size(), 2u);
  EXPECT_EQ(started[0].back(), folder + "TesselographManual.pdf");
  EXPECT_EQ(started[1].back(), folder + "TesselographManual-de.pdf");
  EXPECT_EQ(dialogs->texts().size(), 1u);
}

}  // namespace
}  // namespace tg
