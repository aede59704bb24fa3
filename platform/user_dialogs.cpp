// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/user_dialogs.h"

#include <atomic>
#include <cstdio>

namespace tg {

Answer firstButton(Buttons buttons) {
  switch (buttons) {
    case Buttons::Ok:
    case Buttons::OkCancel:
      return Answer::Ok;
    case Buttons::YesNo:
    case Buttons::YesNoCancel:
      return Answer::Yes;
    case Buttons::RetryCancel:
      return Answer::Retry;
  }
  return Answer::Ok;
}

Icon effectiveIcon(Buttons buttons, Icon icon) {
  if (icon != Icon::Default) return icon;
  return (buttons == Buttons::YesNo || buttons == Buttons::YesNoCancel) ? Icon::Question
                                                                        : Icon::Exclamation;
}

namespace {

/// Used while no front end has installed its dialogs: tells standard error, asks nobody.
class FallbackDialogs final : public UserDialogs {
 public:
  Answer message(const std::string& text, Buttons buttons, Icon, Answer defaultButton) override {
    std::fprintf(stderr, "%s\n", text.c_str());
    return defaultButton == Answer::None ? firstButton(buttons) : defaultButton;
  }
  std::optional<std::string> openFile(const OpenFileRequest&) override { return std::nullopt; }
  std::optional<std::string> openFolder(const std::string&, const std::string&) override {
    return std::nullopt;
  }
  std::optional<std::string> saveFile(const std::string&, const std::string&, const std::string&,
                                      const std::string&) override {
    return std::nullopt;
  }
};

FallbackDialogs g_fallback;
std::atomic<UserDialogs*> g_installed{nullptr};

}  // namespace

UserDialogs& userDialogs() {
  UserDialogs* installed = g_installed.load(std::memory_order_acquire);
  return installed != nullptr ? *installed : g_fallback;
}

void setUserDialogs(UserDialogs* dialogs) { g_installed.store(dialogs, std::memory_order_release); }

Answer showMessage(const std::string& text, Buttons buttons, Icon icon, Answer defaultButton) {
  return userDialogs().message(text, buttons, icon, defaultButton);
}

}  // namespace tg
