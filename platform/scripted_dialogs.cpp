// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/scripted_dialogs.h"

namespace tg {

void ScriptedDialogs::answerNext(Answer answer) {
  std::lock_guard lock(m_mutex);
  m_answers.push_back(answer);
}

void ScriptedDialogs::chooseNext(std::optional<std::string> path) {
  std::lock_guard lock(m_mutex);
  m_choices.push_back(std::move(path));
}

std::vector<ScriptedDialogs::Message> ScriptedDialogs::messages() const {
  std::lock_guard lock(m_mutex);
  return m_messages;
}

std::vector<std::string> ScriptedDialogs::texts() const {
  std::lock_guard lock(m_mutex);
  std::vector<std::string> result;
  result.reserve(m_messages.size());
  for (const Message& m : m_messages) result.push_back(m.text);
  return result;
}

std::vector<OpenFileRequest> ScriptedDialogs::fileRequests() const {
  std::lock_guard lock(m_mutex);
  return m_fileRequests;
}

std::vector<std::string> ScriptedDialogs::dialogTitles() const {
  std::lock_guard lock(m_mutex);
  return m_dialogTitles;
}

void ScriptedDialogs::clear() {
  std::lock_guard lock(m_mutex);
  m_answers.clear();
  m_choices.clear();
  m_messages.clear();
  m_dialogTitles.clear();
  m_fileRequests.clear();
}

Answer ScriptedDialogs::message(const std::string& text, Buttons buttons, Icon icon,
                                Answer defaultButton) {
  std::lock_guard lock(m_mutex);
  Answer answer = defaultButton == Answer::None ? firstButton(buttons) : defaultButton;
  if (!m_answers.empty()) {
    answer = m_answers.front();
    m_answers.pop_front();
  }
  m_messages.push_back({text, buttons, effectiveIcon(buttons, icon), answer});
  return answer;
}

std::optional<std::string> ScriptedDialogs::nextChoice(const std::string& title) {
  std::lock_guard lock(m_mutex);
  m_dialogTitles.push_back(title);
  if (m_choices.empty()) return std::nullopt;
  std::optional<std::string> choice = std::move(m_choices.front());
  m_choices.pop_front();
  return choice;
}

std::optional<std::string> ScriptedDialogs::openFile(const OpenFileRequest& request) {
  {
    std::lock_guard lock(m_mutex);
    m_fileRequests.push_back(request);
  }
  return nextChoice(request.title);
}

std::optional<std::string> ScriptedDialogs::openFolder(const std::string&,
                                                       const std::string& prompt) {
  return nextChoice(prompt);
}

std::optional<std::string> ScriptedDialogs::saveFile(const std::string&, const std::string&,
                                                     const std::string& title, const std::string&) {
  return nextChoice(title);
}

ScopedScriptedDialogs::ScopedScriptedDialogs() : m_previous(&userDialogs()) {
  setUserDialogs(&m_dialogs);
}

ScopedScriptedDialogs::~ScopedScriptedDialogs() { setUserDialogs(m_previous); }

}  // namespace tg
