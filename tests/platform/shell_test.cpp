// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/shell.h"

#include <cerrno>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/wine.h"
#include "support/scratch_dir.h"

namespace tg {
namespace {

using Argv = std::vector<std::string>;

TEST(Shell, QuotesOnlyPathsWithABlankAfterTheFirstCharacter) {
  EXPECT_EQ(quotedIfBlank("/home/a b/x.pdf"), "\"/home/a b/x.pdf\"");
  EXPECT_EQ(quotedIfBlank("/home/ab/x.pdf"), "/home/ab/x.pdf");
  EXPECT_EQ(quotedIfBlank(" x"), " x");
  EXPECT_EQ(quotedIfBlank("x "), "\"x \"");
  EXPECT_EQ(quotedIfBlank(""), "");
}

TEST(Shell, WineHostFormOnlyForTheZDrive) {
  EXPECT_EQ(wineHostPath("Z:\\home\\a b\\x.pdf"), "/home/a b/x.pdf");
  EXPECT_EQ(wineHostPath("z:\\tmp"), "/tmp");
  EXPECT_EQ(wineHostPath("C:\\Users\\x.pdf"), "C:\\Users\\x.pdf");
  EXPECT_EQ(wineHostPath("/already/host"), "/already/host");
  EXPECT_EQ(wineHostPath("Z"), "Z");
}

TEST(Shell, RequestsNameTheOpenerAndTheQuotedPath) {
  const ShellRequest native = shellRequestFor("/home/a b/x.pdf");
  EXPECT_EQ(native.program, "xdg-open");
  EXPECT_EQ(native.argument, "\"/home/a b/x.pdf\"");
  // No shell parses the argument: the started program receives the path itself.
  EXPECT_EQ(spawnArgumentsFor(native), (Argv{"xdg-open", "/home/a b/x.pdf"}));
  ScopedUnderWine wine(true);
  const ShellRequest underWineRequest = shellRequestFor("Z:\\home\\a b\\x.pdf");
  EXPECT_EQ(underWineRequest.program, "winebrowser.exe");
  EXPECT_EQ(underWineRequest.argument, "\"/home/a b/x.pdf\"");
  EXPECT_EQ(shellRequestFor("Z:\\home\\ab.pdf").argument, "/home/ab.pdf");
}

TEST(Shell, OpensExistingFilesAndAddressesAndReportsFailuresBelow32) {
  test::ScratchDir dir;
  const std::string file = dir.file("a b.pdf");
  test::writeFile(file, "%PDF");
  std::vector<Argv> started;
  int nextResult = 0;
  ScopedShellSpawner spawner([&](const Argv& argv) {
    started.push_back(argv);
    return nextResult;
  });
  EXPECT_EQ(openWithShell(""), 0);
  EXPECT_EQ(openWithShell(dir.file("missing.pdf")), kShellFileNotFound);
  EXPECT_TRUE(started.empty());
  EXPECT_EQ(openWithShell(file), kShellStarted);
  EXPECT_EQ(openWithShell("https://example.org/download"), kShellStarted);
  nextResult = ENOENT;  // no opener installed
  EXPECT_LT(openWithShell(file), 32);
  nextResult = EACCES;
  EXPECT_EQ(openWithShell(file), kShellAccessDenied);
  ASSERT_EQ(started.size(), 4u);
  EXPECT_EQ(started[0], (Argv{"xdg-open", file}));
  EXPECT_EQ(started[1], (Argv{"xdg-open", "https://example.org/download"}));
}

TEST(Shell, UnderWineOpensTheHostPathThroughWinebrowser) {
  test::ScratchDir dir;
  const std::string file = dir.file("a b.pdf");
  test::writeFile(file, "%PDF");
  std::string windowsForm = "Z:" + file;
  for (char& c : windowsForm) c = c == '/' ? '\\' : c;
  Argv started;
  ScopedShellSpawner spawner([&](const Argv& argv) {
    started = argv;
    return 0;
  });
  ScopedUnderWine wine(true);
  EXPECT_EQ(openWithShell(windowsForm), kShellStarted);
  EXPECT_EQ(started, (Argv{"winebrowser.exe", file}));
}

TEST(Shell, SpawnsRealProgramsWithoutAShell) {
  EXPECT_EQ(spawnDetached({"true"}), 0);
  EXPECT_EQ(spawnDetached({"tg-no-such-program-anywhere"}), ENOENT);
  EXPECT_EQ(spawnDetached({}), EINVAL);
}

}  // namespace
}  // namespace tg
