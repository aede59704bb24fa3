// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>
#include <mutex>
#include <optional>
#include <string>

#include "platform/user_dialogs.h"

namespace tg {

/// How the command line answers every question (`--yes`, `--no`), or not at all.
enum class ForcedAnswer { None, Yes, No };

/// The `UserDialogs` of the command-line program. Every message is written to the output stream
/// (standard error) with its buttons. A question (a message with more than one button) is
/// answered by the forced answer when there is one, else asked on the terminal when the program
/// runs interactively (an empty line or the end of input takes the default), else answered with
/// its default button (the first button when the caller names none). File and folder dialogs
/// cannot be shown: they return nothing, as if cancelled; the command line names such files by
/// its options instead. Thread-safe: one message is written and answered at a time.
class TerminalDialogs final : public UserDialogs {
 public:
  /// `in` and `out` stay owned by the caller. `interactive` says whether a person can answer.
  TerminalDialogs(std::FILE* in, std::FILE* out, bool interactive,
                  ForcedAnswer forced = ForcedAnswer::None);

  /// Whether standard input and standard error are both terminals.
  [[nodiscard]] static bool terminalAttached();

  /// The answer `forced` gives to a question with `buttons` (`Answer::None` for no forcing):
  /// yes is Yes, OK or Retry; no is No or Cancel.
  [[nodiscard]] static Answer forcedAnswerFor(ForcedAnswer forced, Buttons buttons);

  Answer message(const std::string& text, Buttons buttons, Icon icon,
                 Answer defaultButton) override;
  using UserDialogs::openFile;
  std::optional<std::string> openFile(const OpenFileRequest& request) override;
  std::optional<std::string> openFolder(const std::string& profile,
                                        const std::string& prompt) override;
  std::optional<std::string> saveFile(const std::string& profile, const std::string& filter,
                                      const std::string& title,
                                      const std::string& suggestedPath) override;

 private:
  Answer ask(Buttons buttons, Answer defaultAnswer);

  std::mutex m_mutex;
  std::FILE* m_in;
  std::FILE* m_out;
  bool m_interactive;
  ForcedAnswer m_forced;
};

}  // namespace tg
