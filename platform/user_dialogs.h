// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

namespace tg {

/// The button sets a message can carry.
enum class Buttons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel };

/// The icon of a message. `Default` means: exclamation for Ok and OkCancel, question for the
/// Yes/No sets.
enum class Icon { Default, Exclamation, Question, Information, Error };

/// The button the user pressed. `None` as a default button means "the first button of the set".
enum class Answer { None, Ok, Cancel, Yes, No, Retry };

/// The first button of a set: the answer taken when nobody can be asked.
[[nodiscard]] Answer firstButton(Buttons buttons);
/// The icon actually shown for `icon` on a message with `buttons` (resolves `Icon::Default`).
[[nodiscard]] Icon effectiveIcon(Buttons buttons, Icon icon);

/// What a file-open dialog shows: everything but `profile`, `filter` and `title` may be empty.
struct OpenFileRequest {
  std::string profile;           ///< names the remembered folder ("ImageList", "MaskFile", ...)
  std::string filter;            ///< a list such as "Image (*.jpg)(*.png)|*.jpg;*.png||"
  std::string title;             ///< the dialog's caption
  std::string message;           ///< a longer explanation shown in the dialog, if any
  std::string defaultExtension;  ///< appended to a typed name without extension ("jpg")
  std::string initialFolder;     ///< where the dialog opens when the profile remembers nothing
};

/// How the program talks to the user. The engine never shows a window: every message, question
/// and file choice of every operation goes through the one process-wide implementation set at
/// start-up (the window's Qt dialogs, the CLI's terminal, or a scripted one in tests).
/// Implementations must accept calls from any thread; a call blocks its caller until answered.
class UserDialogs {
 public:
  virtual ~UserDialogs() = default;

  /// Shows `text` with `buttons` and `icon` and returns the button pressed. `defaultButton` is
  /// the answer preselected (and taken when nobody can answer); `Answer::None` means the first.
  virtual Answer message(const std::string& text, Buttons buttons, Icon icon,
                         Answer defaultButton) = 0;

  /// Lets the user choose an existing file as `request` describes. Returns the chosen path, or
  /// nothing when the user cancelled.
  virtual std::optional<std::string> openFile(const OpenFileRequest& request) = 0;

  /// Shorthand for a request with only a profile, a filter and a caption.
  std::optional<std::string> openFile(const std::string& profile, const std::string& filter,
                                      const std::string& title) {
    return openFile(OpenFileRequest{profile, filter, title, {}, {}, {}});
  }

  /// Lets the user choose a folder; `profile` names the remembered folder ("SavePath", ...).
  virtual std::optional<std::string> openFolder(const std::string& profile,
                                                const std::string& prompt) = 0;

  /// Lets the user choose a file name to save to, starting from `suggestedPath`.
  virtual std::optional<std::string> saveFile(const std::string& profile, const std::string& filter,
                                              const std::string& title,
                                              const std::string& suggestedPath) = 0;
};

/// The process-wide implementation. Until one is installed, a quiet fallback is used that writes
/// messages to standard error and takes the default button (so library code used by tools and
/// benchmarks never needs a front end).
[[nodiscard]] UserDialogs& userDialogs();

/// Installs `dialogs` as the process-wide implementation (nullptr restores the fallback). The
/// caller keeps ownership and keeps the object alive while it is installed. Called at start-up,
/// before other threads exist, and by tests.
void setUserDialogs(UserDialogs* dialogs);

/// Shorthand: `userDialogs().message(text, buttons, icon, defaultButton)`.
Answer showMessage(const std::string& text, Buttons buttons = Buttons::Ok,
                   Icon icon = Icon::Default, Answer defaultButton = Answer::None);

}  // namespace tg
