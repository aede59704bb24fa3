// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/terminal_dialogs.h"

#include <cstdio>
#include <string>

#include <gtest/gtest.h>

namespace tg {
namespace {

/// A terminal made of two memory streams: what the user types and what the program writes.
class FakeTerminal {
 public:
  explicit FakeTerminal(const std::string& typed) : m_typed(typed) {
    m_in = fmemopen(m_typed.data(), m_typed.size(), "r");
    m_out = open_memstream(&m_buffer, &m_size);
  }
  ~FakeTerminal() {
    if (m_in != nullptr) std::fclose(m_in);
    std::fclose(m_out);
    std::free(m_buffer);
  }
  std::FILE* in() { return m_in; }
  std::FILE* out() { return m_out; }
  std::string written() {
    std::fflush(m_out);
    return std::string(m_buffer, m_size);
  }

 private:
  std::string m_typed;
  std::FILE* m_in = nullptr;
  std::FILE* m_out = nullptr;
  char* m_buffer = nullptr;
  size_t m_size = 0;
};

TEST(TerminalDialogs, MessagesAreWrittenAndNeedNoAnswer) {
  FakeTerminal terminal("");
  TerminalDialogs dialogs(terminal.in(), terminal.out(), true);
  EXPECT_EQ(dialogs.message("Unable to save file 'x'", Buttons::Ok, Icon::Default, Answer::None),
            Answer::Ok);
  EXPECT_EQ(terminal.written(), "Unable to save file 'x'\n");
}

TEST(TerminalDialogs, WithoutATerminalQuestionsTakeTheirDefault) {
  FakeTerminal terminal("yes\n");  // never read
  TerminalDialogs dialogs(terminal.in(), terminal.out(), false);
  EXPECT_EQ(dialogs.message("Overwrite?", Buttons::YesNo, Icon::Default, Answer::No), Answer::No);
  EXPECT_EQ(dialogs.message("Continue?", Buttons::OkCancel, Icon::Default, Answer::None),
            Answer::Ok);
  const std::string written = terminal.written();
  EXPECT_NE(written.find("Overwrite?\n[Yes] / [No] (default: No)\n-> No\n"), std::string::npos)
      << written;
}

TEST(TerminalDialogs, OnATerminalTheUserAnswers) {
  FakeTerminal terminal("n\nmaybe\nYES\n\nc\n");
  TerminalDialogs dialogs(terminal.in(), terminal.out(), true);
  EXPECT_EQ(dialogs.message("a?", Buttons::YesNo, Icon::Default, Answer::Yes), Answer::No);
  EXPECT_EQ(dialogs.message("b?", Buttons::YesNo, Icon::Default, Answer::No), Answer::Yes);
  EXPECT_EQ(dialogs.message("c?", Buttons::YesNo, Icon::Default, Answer::No), Answer::No);
  EXPECT_EQ(dialogs.message("d?", Buttons::RetryCancel, Icon::Default, Answer::None),
            Answer::Cancel);
  // End of input: the default.
  EXPECT_EQ(dialogs.message("e?", Buttons::YesNo, Icon::Default, Answer::Yes), Answer::Yes);
}

TEST(TerminalDialogs, YesAndNoOverridesAnswerEveryQuestion) {
  FakeTerminal terminal("n\n");
  TerminalDialogs yes(terminal.in(), terminal.out(), true, ForcedAnswer::Yes);
  EXPECT_EQ(yes.message("q", Buttons::YesNo, Icon::Default, Answer::No), Answer::Yes);
  EXPECT_EQ(yes.message("q", Buttons::OkCancel, Icon::Default, Answer::Cancel), Answer::Ok);
  TerminalDialogs no(terminal.in(), terminal.out(), true, ForcedAnswer::No);
  EXPECT_EQ(no.message("q", Buttons::YesNo, Icon::Default, Answer::Yes), Answer::No);
  EXPECT_EQ(no.message("q", Buttons::YesNoCancel, Icon::Default, Answer::Yes), Answer::No);
  EXPECT_EQ(no.message("q", Buttons::OkCancel, Icon::Default, Answer::Ok), Answer::Cancel);
  EXPECT_EQ(no.message("q", Buttons::RetryCancel, Icon::Default, Answer::Retry), Answer::Cancel);
  EXPECT_EQ(no.message("note", Buttons::Ok, Icon::Default, Answer::None), Answer::Ok);
  // The typed "n" was never read.
  EXPECT_EQ(std::fgetc(terminal.in()), 'n');
}

}  // namespace
}  // namespace tg
