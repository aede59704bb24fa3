// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/config_folder.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "config/settings_store.h"
#include "platform/paths.h"
#include "support/scratch_dir.h"

namespace tg {
namespace {

using test::ScratchDir;

class ConfigFolderTest : public ::testing::Test {
 protected:
  ConfigFolderSources sources() const {
    ConfigFolderSources s;
    s.programFolder = withTrailingSeparator(m_dir.file("program"));
    std::filesystem::create_directories(s.programFolder);
    return s;
  }
  std::string at(const std::string& relative) const { return m_dir.file(relative); }

  ScratchDir m_dir;
};

TEST_F(ConfigFolderTest, EnvironmentVariableGetsTheStandardFolderWithOneSeparator) {
  ConfigFolderSources s = sources();
  s.userConfigHome = at("xdg");
  s.environmentPath = at("cfg");
  EXPECT_EQ(resolveConfigFolder(s), at("cfg") + "/Tesselograph Standard/");
  EXPECT_TRUE(std::filesystem::is_directory(at("cfg/Tesselograph Standard")));
  s.environmentPath = at("cfg") + "/";
  EXPECT_EQ(resolveConfigFolder(s), at("cfg") + "/Tesselograph Standard/");
  EXPECT_FALSE(std::filesystem::exists(at("xdg")));
}

TEST_F(ConfigFolderTest, PortableInstallationWinsOverTheVariableInAnyLetterCase) {
  for (const char* value : {"WindowsPortable", "windowsportable", "WINDOWSPORTABLE"}) {
    ConfigFolderSources s = sources();
    s.packageValue = value;
    s.environmentPath = at("cfg");
    s.userConfigHome = at("xdg");
    EXPECT_EQ(resolveConfigFolder(s), s.programFolder + "Settings/Tesselograph Standard/");
  }
  EXPECT_TRUE(std::filesystem::is_directory(at("program/Settings/Tesselograph Standard")));
  EXPECT_FALSE(std::filesystem::exists(at("cfg")));
  EXPECT_FALSE(isPortablePackage("Linux"));
  EXPECT_FALSE(isPortablePackage("WindowsPortable2"));
}

TEST_F(ConfigFolderTest, FallsBackFromXdgToAppDataToTheProgramFolder) {
  ConfigFolderSources s = sources();
  s.userConfigHome = at("home/.config");  // missing parents are created too
  s.appData = at("appdata");
  EXPECT_EQ(resolveConfigFolder(s), at("home/.config") + "/Tesselograph/Tesselograph Standard/");
  EXPECT_TRUE(std::filesystem::is_directory(at("home/.config/Tesselograph/Tesselograph Standard")));
  s.userConfigHome.clear();
  EXPECT_EQ(resolveConfigFolder(s), at("appdata") + "/Tesselograph/Tesselograph Standard/");
  s.appData.clear();
  EXPECT_EQ(resolveConfigFolder(s), s.programFolder + "Settings/Tesselograph Standard/");
}

TEST_F(ConfigFolderTest, ProcessFolderFollowsTheTestEnvironment) {
  // CTest and the test main point the variable at a scratch folder; the real user's
  // configuration is never touched.
  const std::string variable = environmentValue("TESSELOGRAPH_CONFIG_PATH");
  ASSERT_FALSE(variable.empty());
  if (!isPortablePackage(installedPackageValue())) {
    EXPECT_EQ(configFolder(), withTrailingSeparator(variable) + "Tesselograph Standard/");
  }
  EXPECT_TRUE(std::filesystem::is_directory(configFolder()));
  EXPECT_EQ(&configFolder(), &configFolder());
}

TEST_F(ConfigFolderTest, StoreLocationsResolveAgainstTheFolders) {
  SettingsStore store;
  store.open("TesselographConfig.txt", SettingsLocation::ConfigFolder);
  EXPECT_EQ(store.path(), configFolder() + "TesselographConfig.txt");
  store.open("package.txt", SettingsLocation::ProgramFolder);
  EXPECT_EQ(store.path(), programDataFolder() + "package.txt");
  store.open("relative/name.txt", SettingsLocation::AsGiven);
  EXPECT_EQ(store.path(), "relative/name.txt");
}

TEST(ProgramFolder, IsTheExecutablesFolderWithASeparator) {
  const std::string& folder = programFolder();
  ASSERT_FALSE(folder.empty());
  EXPECT_EQ(folder.back(), '/');
  EXPECT_TRUE(std::filesystem::exists(folder + "tg_tests_config"));
}

TEST(ProgramDataFolder, IsBesideTheExecutableElseTheInstalledShareFolder) {
  test::ScratchDir dir;
  const std::string bin = dir.file("usr/bin") + "/";
  const std::string share = dir.file("usr/share/tesselograph") + "/";
  std::filesystem::create_directories(bin);
  // Neither beside the executable nor installed: the program folder, so messages name a path.
  EXPECT_EQ(findProgramDataFolder(bin, "../share/tesselograph/"), bin);
  std::filesystem::create_directories(share);
  EXPECT_EQ(findProgramDataFolder(bin, "../share/tesselograph/"), share);
  // package.txt beside the executable (the build tree, an unpacked copy) wins.
  test::writeFile(bin + "package.txt", "[package]\r\npackage = Linux\r\n");
  EXPECT_EQ(findProgramDataFolder(bin, "../share/tesselograph/"), bin);
  // The build tree has its data beside the executables.
  EXPECT_EQ(programDataFolder(), programFolder());
}

}  // namespace
}  // namespace tg
