// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "app/command_line.h"

namespace tg {
namespace {

TEST(CommandLine, QuotedInputWithBlankAndUnquotedOutput) {
  const CommandLine line =
      parseCommandLine(R"(-i "/home/me/My Photos/beach day.jpg" -o /tmp/out/beach.jpg)");
  ASSERT_EQ(line.mainImages, std::vector<std::string>{"/home/me/My Photos/beach day.jpg"});
  ASSERT_EQ(line.explicitOutputs.size(), 1u);
  EXPECT_EQ(line.explicitOutputs.at("/home/me/My Photos/beach day.jpg"), "/tmp/out/beach.jpg");
  EXPECT_FALSE(line.startMenu);
  EXPECT_FALSE(line.aboutBox);
}

TEST(CommandLine, SeveralImagesEachWithItsOwnOutputAndLettersInAnyCase) {
  const CommandLine line =
      parseCommandLine("  -I a.jpg -O x.tiff   -i b.png -i \"c d.jpg\" -o y.jpg");
  EXPECT_EQ(line.mainImages, (std::vector<std::string>{"a.jpg", "b.png", "c d.jpg"}));
  EXPECT_EQ(line.explicitOutputs.size(), 2u);
  EXPECT_EQ(line.explicitOutputs.at("a.jpg"), "x.tiff");
  EXPECT_EQ(line.explicitOutputs.at("c d.jpg"), "y.jpg");
  EXPECT_FALSE(line.explicitOutputs.contains("b.png"));
}

TEST(CommandLine, FlagsWorkAloneAndBeforeOtherSwitches) {
  EXPECT_TRUE(parseCommandLine("-m").startMenu);
  EXPECT_TRUE(parseCommandLine("-A").aboutBox);
  // "-m" must not swallow the next switch as its value.
  const CommandLine line = parseCommandLine("-m -i a.jpg");
  EXPECT_TRUE(line.startMenu);
  EXPECT_EQ(line.mainImages, std::vector<std::string>{"a.jpg"});
}

TEST(CommandLine, UnknownSwitchesAndStrayOutputsAreIgnoredAndTextEndsParsing) {
  CommandLine line = parseCommandLine("-o early.jpg -x value -i a.jpg");
  EXPECT_EQ(line.mainImages, std::vector<std::string>{"a.jpg"});
  EXPECT_TRUE(line.explicitOutputs.empty());
  line = parseCommandLine("-i a.jpg stray -i b.jpg");
  EXPECT_EQ(line.mainImages, std::vector<std::string>{"a.jpg"});
  EXPECT_TRUE(parseCommandLine("").mainImages.empty());
  EXPECT_TRUE(parseCommandLine("-i ").mainImages.empty());
  EXPECT_TRUE(parseCommandLine("-i \xff\xfe.jpg").mainImages.empty());
}

TEST(CommandLine, JoinQuotesArgumentsWithBlanksSoTheParserGetsThemBack) {
  const char* argv[] = {"tesselograph", "-i", "/a b/c.jpg", "-o", "/out.jpg"};
  const std::string joined = joinArguments(5, argv);
  EXPECT_EQ(joined, R"(-i "/a b/c.jpg" -o /out.jpg)");
  EXPECT_EQ(parseCommandLine(joined).explicitOutputs.at("/a b/c.jpg"), "/out.jpg");
}

}  // namespace
}  // namespace tg
