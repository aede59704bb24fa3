// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/thread_text.h"

#include <thread>

#include <gtest/gtest.h>

#include "platform/scripted_dialogs.h"

namespace tg {
namespace {

TEST(ThreadText, EachThreadOwnsItsConvertersUntilItClosesThem) {
  EXPECT_EQ(currentThreadText(), nullptr);
  ASSERT_TRUE(initThreadText());
  ThreadText* mine = currentThreadText();
  ASSERT_NE(mine, nullptr);
  EXPECT_NE(mine->utf8, nullptr);
  EXPECT_NE(mine->ascii, nullptr);
  EXPECT_NE(mine->utf16, nullptr);
  ThreadText* other = nullptr;
  std::thread([&other] {
    ScopedThreadText text;
    EXPECT_TRUE(text.ok());
    other = currentThreadText();
  }).join();
  EXPECT_NE(other, nullptr);
  EXPECT_NE(other, mine);
  closeThreadText();
  EXPECT_EQ(currentThreadText(), nullptr);
  closeThreadText();  // closing twice is harmless
}

TEST(ThreadText, NestedInitialisationKeepsTheConvertersUntilTheLastClose) {
  ScopedThreadText outer;
  ASSERT_TRUE(outer.ok());
  ThreadText* first = currentThreadText();
  {
    ScopedThreadText inner;
    EXPECT_EQ(currentThreadText(), first);
  }
  EXPECT_EQ(currentThreadText(), first);
}

TEST(ThreadText, FailuresNameTheConverterAndTheIcuStatusWithoutTranslation) {
  struct Row {
    const char* utf8;
    const char* ascii;
    const char* utf16;
    const char* message;
  };
  const Row rows[] = {
      {"no-such-charset", "ascii", "utf-16",
       "Unable to initialize international library: UTF8: U_FILE_ACCESS_ERROR"},
      {"utf-8", "no-such-charset", "utf-16",
       "Unable to initialize international library: ASCII: U_FILE_ACCESS_ERROR"},
      {"utf-8", "ascii", "no-such-charset",
       "Unable to initialize international library: UTF16: U_FILE_ACCESS_ERROR"},
  };
  for (const Row& row : rows) {
    ScopedScriptedDialogs dialogs;
    EXPECT_FALSE(initThreadTextWith(row.utf8, row.ascii, row.utf16));
    EXPECT_EQ(currentThreadText(), nullptr);
    EXPECT_EQ(dialogs->texts(), std::vector<std::string>{row.message});
  }
}

TEST(ThreadText, ConvertsBetweenUtf8AndUtf16WithOrWithoutConverters) {
  const std::string text =
      "Fran\xC3\xA7"
      "ais \xF0\x9F\x98\x80";  // ç and an emoji
  const std::u16string wide = toUtf16(text);
  EXPECT_EQ(wide.size(), 11u);  // the emoji counts two UTF-16 units
  EXPECT_EQ(fromUtf16(wide), text);
  {
    ScopedThreadText converters;
    EXPECT_EQ(toUtf16(text), wide);
    EXPECT_EQ(fromUtf16(wide), text);
    EXPECT_EQ(toUtf16("a\xFF"
                      "b"),
              u"a\uFFFDb");
  }
  EXPECT_EQ(toUtf16("a\xFF"
                    "b"),
            u"a\uFFFDb");
  EXPECT_TRUE(toUtf16("").empty());
}

}  // namespace
}  // namespace tg
