// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/user_dialogs.h"

namespace tg {

/// A `UserDialogs` that asks nobody: it records every call and answers from a script. Tests
/// install it to assert what the user was told and to choose the user's answers.
/// Thread-safe: operations on worker threads may show messages while the test thread reads.
class ScriptedDialogs final : public UserDialogs {
 public:
  /// One recorded message.
  struct Message {
    std::string text;
    Buttons buttons;
    Icon icon;  ///< as shown (`Icon::Default` already resolved)
    Answer answer;
  };

  /// Queues the answer for the next message; messages beyond the script take their default.
  void answerNext(Answer answer);
  /// Queues the result of the next file or folder dialog (nothing = the user cancelled).
  void chooseNext(std::optional<std::string> path);

  /// Every message shown so far, oldest first.
  [[nodiscard]] std::vector<Message> messages() const;
  /// The texts of the messages shown so far.
  [[nodiscard]] std::vector<std::string> texts() const;
  /// The file-open requests made so far, oldest first.
  [[nodiscard]] std::vector<OpenFileRequest> fileRequests() const;
  /// The prompts and titles of the file and folder dialogs shown so far.
  [[nodiscard]] std::vector<std::string> dialogTitles() const;
  void clear();

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
  std::optional<std::string> nextChoice(const std::string& title);

  mutable std::mutex m_mutex;
  std::deque<Answer> m_answers;
  std::deque<std::optional<std::string>> m_choices;
  std::vector<Message> m_messages;
  std::vector<std::string> m_dialogTitles;
  std::vector<OpenFileRequest> m_fileRequests;
};

/// Installs a `ScriptedDialogs` for the lifetime of the object and restores the previous
/// implementation afterwards.
class ScopedScriptedDialogs {
 public:
  ScopedScriptedDialogs();
  ~ScopedScriptedDialogs();
  ScopedScriptedDialogs(const ScopedScriptedDialogs&) = delete;
  ScopedScriptedDialogs& operator=(const ScopedScriptedDialogs&) = delete;

  ScriptedDialogs& operator*() { return m_dialogs; }
  ScriptedDialogs* operator->() { return &m_dialogs; }

 private:
  ScriptedDialogs m_dialogs;
  UserDialogs* m_previous;
};

}  // namespace tg
