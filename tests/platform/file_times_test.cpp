// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/file_times.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <ctime>

#include <gtest/gtest.h>

#include "platform/paths.h"
#include "support/scratch_dir.h"

namespace tg {
namespace {

TEST(FileTimes, ModificationAndBirthTimes) {
  test::ScratchDir dir;
  const std::string file = dir.file("tile.jpg");
  test::writeFile(file, "x");
  const std::int64_t past = 978307200;  // 2001-01-01 00:00 UTC
  const timespec times[2] = {{past, 0}, {past, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
  const auto read = fileTimes(file);
  ASSERT_TRUE(read.has_value());
  EXPECT_EQ(read->modified, past);
  EXPECT_EQ(fileModificationTime(file), past);
  if (read->hasBirthTime) {
    // The birth time is when the file was made, whatever its modification time says.
    EXPECT_GT(read->created, past);
    EXPECT_LE(read->created, static_cast<std::int64_t>(std::time(nullptr)) + 1);
  } else {
    EXPECT_EQ(read->created, past);
  }
  EXPECT_EQ(fileCreationTime(file), read->created);
  EXPECT_FALSE(fileTimes(dir.file("missing")).has_value());
  EXPECT_FALSE(fileCreationTime(dir.file("missing")).has_value());
}

TEST(Paths, ConfigurationHomeFollowsXdgRules) {
  const std::string savedXdg = environmentValue("XDG_CONFIG_HOME");
  const std::string savedHome = environmentValue("HOME");
  ASSERT_TRUE(setEnvironmentValue("XDG_CONFIG_HOME", "/xdg/config"));
  ASSERT_TRUE(setEnvironmentValue("HOME", "/home/u"));
  EXPECT_EQ(xdgConfigHome(), "/xdg/config");
  ASSERT_TRUE(setEnvironmentValue("XDG_CONFIG_HOME", "relative/ignored"));
  EXPECT_EQ(xdgConfigHome(), "/home/u/.config");
  ASSERT_TRUE(setEnvironmentValue("XDG_CONFIG_HOME", ""));
  ASSERT_TRUE(setEnvironmentValue("HOME", ""));
  EXPECT_EQ(xdgConfigHome(), "");
  (void)setEnvironmentValue("XDG_CONFIG_HOME", savedXdg);
  (void)setEnvironmentValue("HOME", savedHome);
}

}  // namespace
}  // namespace tg
