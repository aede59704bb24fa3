// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/terminal_dialogs.h"

#include <unistd.h>

#include <cctype>
#include <vector>

#include "platform/catalogue.h"

namespace tg {

namespace {

std::vector<Answer> buttonsOf(Buttons buttons) {
  switch (buttons) {
    case Buttons::Ok:
      return {Answer::Ok};
    case Buttons::OkCancel:
      return {Answer::Ok, Answer::Cancel};
    case Buttons::YesNo:
      return {Answer::Yes, Answer::No};
    case Buttons::YesNoCancel:
      return {Answer::Yes, Answer::No, Answer::Cancel};
    case Buttons::RetryCancel:
      return {Answer::Retry, Answer::Cancel};
  }
  return {Answer::Ok};
}

/// The English name, which is also what can be typed (or its first letter).
const char* nameOf(Answer answer) {
  switch (answer) {
    case Answer::Ok:
      return "OK";
    case Answer::Cancel:
      return "Cancel";
    case Answer::Yes:
      return "Yes";
    case Answer::No:
      return "No";
    case Answer::Retry:
      return "Retry";
    case Answer::None:
      break;
  }
  return "";
}

std::string labelOf(Answer answer) { return tr(nameOf(answer)); }

std::string lowered(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string trimmedLine(std::string line) {
  while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
  size_t start = 0;
  while (start < line.size() && std::isspace(static_cast<unsigned char>(line[start]))) ++start;
  return line.substr(start);
}

}  // namespace

TerminalDialogs::TerminalDialogs(std::FILE* in, std::FILE* out, bool interactive,
                                 ForcedAnswer forced)
    : m_in(in), m_out(out), m_interactive(interactive), m_forced(forced) {}

bool TerminalDialogs::terminalAttached() { return isatty(STDIN_FILENO) && isatty(STDERR_FILENO); }

Answer TerminalDialogs::forcedAnswerFor(ForcedAnswer forced, Buttons buttons) {
  if (forced == ForcedAnswer::None || buttons == Buttons::Ok) return Answer::None;
  const std::vector<Answer> set = buttonsOf(buttons);
  if (forced == ForcedAnswer::Yes) return set.front();
  return buttons == Buttons::YesNo || buttons == Buttons::YesNoCancel ? Answer::No : Answer::Cancel;
}

Answer TerminalDialogs::message(const std::string& text, Buttons buttons, Icon,
                                Answer defaultButton) {
  std::lock_guard lock(m_mutex);
  const std::vector<Answer> set = buttonsOf(buttons);
  Answer defaultAnswer = defaultButton == Answer::None ? firstButton(buttons) : defaultButton;
  std::fprintf(m_out, "%s\n", text.c_str());
  if (set.size() == 1) {
    std::fflush(m_out);
    return set.front();
  }
  std::string choices;
  for (Answer a : set) {
    if (!choices.empty()) choices += " / ";
    choices += "[" + labelOf(a) + "]";
  }
  std::fprintf(m_out, "%s (%s: %s)\n", choices.c_str(), tr("default").c_str(),
               labelOf(defaultAnswer).c_str());
  Answer answer = forcedAnswerFor(m_forced, buttons);
  if (answer == Answer::None) answer = m_interactive ? ask(buttons, defaultAnswer) : defaultAnswer;
  std::fprintf(m_out, "-> %s\n", labelOf(answer).c_str());
  std::fflush(m_out);
  return answer;
}

Answer TerminalDialogs::ask(Buttons buttons, Answer defaultAnswer) {
  const std::vector<Answer> set = buttonsOf(buttons);
  for (;;) {
    std::fprintf(m_out, "> ");
    std::fflush(m_out);
    std::string line;
    int c = 0;
    while ((c = std::fgetc(m_in)) != EOF && c != '\n') line.push_back(static_cast<char>(c));
    if (c == EOF && line.empty()) {
      std::fprintf(m_out, "\n");
      return defaultAnswer;
    }
    const std::string typed = lowered(trimmedLine(line));
    if (typed.empty()) return defaultAnswer;
    for (Answer a : set) {
      const std::string english = lowered(nameOf(a));
      const std::string translated = lowered(labelOf(a));
      if (typed == english || typed == translated || typed == english.substr(0, 1)) return a;
    }
    if (c == EOF) return defaultAnswer;
  }
}

std::optional<std::string> TerminalDialogs::openFile(const OpenFileRequest& request) {
  std::lock_guard lock(m_mutex);
  std::fprintf(m_out, "%s\n", request.title.c_str());
  if (!request.message.empty()) std::fprintf(m_out, "%s\n", request.message.c_str());
  std::fflush(m_out);
  return std::nullopt;
}

std::optional<std::string> TerminalDialogs::openFolder(const std::string&,
                                                       const std::string& prompt) {
  std::lock_guard lock(m_mutex);
  std::fprintf(m_out, "%s\n", prompt.c_str());
  std::fflush(m_out);
  return std::nullopt;
}

std::optional<std::string> TerminalDialogs::saveFile(const std::string&, const std::string&,
                                                     const std::string& title, const std::string&) {
  std::lock_guard lock(m_mutex);
  std::fprintf(m_out, "%s\n", title.c_str());
  std::fflush(m_out);
  return std::nullopt;
}

}  // namespace tg
