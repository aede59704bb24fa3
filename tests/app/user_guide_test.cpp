// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/user_guide.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "platform/paths.h"
#include "platform/scripted_dialogs.h"
#include "platform/shell.h"

namespace tg {
namespace {

TEST(UserGuide, PathFollowsTheExactLocale) {
  EXPECT_EQ(userGuidePath("/opt/t/", "fr"), "/opt/t/TesselographManual-fr.pdf");
  EXPECT_EQ(userGuidePath("/opt/t/", "de"), "/opt/t/TesselographManual-de.pdf");
  EXPECT_EQ(userGuidePath("/opt/t/", "fr_CH"), "/opt/t/TesselographManual.pdf");
  EXPECT_EQ(userGuidePath("/opt/t/", ""), "/opt/t/TesselographManual.pdf");
  EXPECT_EQ(userGuidePath("/opt/t/", "DE"), "/opt/t/TesselographManual.pdf");
}

TEST(UserGuide, AGuideThatCannotBeOpenedIsReportedWithItsPath) {
  // The build tree holds no guide, so opening it fails before any program is started.
  int started = 0;
  ScopedShellSpawner spawner([&](const std::vector<std::string>&) {
    ++started;
    return 0;
  });
  ScopedScriptedDialogs dialogs;
  const std::string path = programDataFolder() + "TesselographManual-fr.pdf";
  if (std::filesystem::exists(path)) GTEST_SKIP() << "a user guide is installed";
  EXPECT_FALSE(openUserGuideFor("fr"));
  EXPECT_EQ(started, 0);
  EXPECT_EQ(dialogs->texts(),
            std::vector<std::string>{"Unable to open the User Guide '" + path +
                                     "'. Please install the Acrobat PDF Reader or a compatible "
                                     "PDF Reader!"});
  EXPECT_EQ(dialogs->messages()[0].icon, Icon::Exclamation);
}

}  // namespace
}  // namespace tg
