// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/user_dialogs.h"

namespace tg {

/// One file or folder dialog as the window thread shows it.
struct FileDialogCall {
  enum class Kind { OpenFile, OpenFiles, OpenFolder, SaveFile };
  Kind kind = Kind::OpenFile;
  QString title;
  QString filter;         ///< Qt's form ("Image (*.jpg *.png)"), see `qtFileFilter`
  QString startFolder;    ///< the profile's remembered folder, else the request's own
  QString defaultSuffix;  ///< appended to a typed name without extension
  QString selectedPath;   ///< a suggested file (save dialogs)
};

/// The filter of a file dialog in Qt's form, from the program's "Label|patterns|...||" form
/// ("Image (*.jpg)(*.png)|*.jpg;*.jpeg;*.jpe;*.png||" gives "Image (*.jpg)(*.png) (*.jpg *.jpeg
/// *.jpe *.png)"). Pairs are separated by ";;"; an empty text gives an empty filter.
[[nodiscard]] QString qtFileFilter(const std::string& filter);

/// The `UserDialogs` of the window program: Qt message boxes and file dialogs, shown on the
/// window thread (the thread that created the object).
///
/// A call from another thread (the job thread, a pool thread) is queued to the window thread and
/// blocks its caller until the window thread has the answer. The window thread answers queued
/// calls from its event loop, and also while it waits for another thread with `serveUntil`, so
/// a job that asks a question while the window waits for it to stop gets its answer instead of
/// a deadlock. Once the object is being destroyed, queued and new calls from other threads get
/// their default answer without a dialog.
///
/// File and folder dialogs open in the folder their profile remembers ("FileDialog.%s.Path",
/// "FolderDialog.%s.Path" in the user values) and store the folder of the choice there.
class QtUserDialogs final : public QObject, public UserDialogs {
  Q_OBJECT

 public:
  /// What shows a message on the window thread; the default shows a QMessageBox. Tests replace
  /// it to answer without a person.
  using MessagePresenter =
      std::function<Answer(const std::string& text, Buttons buttons, Icon icon, Answer deflt)>;
  /// What shows a file or folder dialog on the window thread: the chosen paths (none: cancelled).
  using FilePresenter = std::function<std::vector<std::string>(const FileDialogCall& call)>;

  /// Creates the dialogs on the window thread (the current thread).
  explicit QtUserDialogs(QObject* parent = nullptr);
  ~QtUserDialogs() override;

  /// The window dialogs are centred on (may be null).
  void setParentWidget(QWidget* parent) { m_parent = parent; }
  void setMessagePresenter(MessagePresenter presenter);
  void setFilePresenter(FilePresenter presenter);

  Answer message(const std::string& text, Buttons buttons, Icon icon,
                 Answer defaultButton) override;
  using UserDialogs::openFile;
  std::optional<std::string> openFile(const OpenFileRequest& request) override;
  std::optional<std::string> openFolder(const std::string& profile,
                                        const std::string& prompt) override;
  std::optional<std::string> saveFile(const std::string& profile, const std::string& filter,
                                      const std::string& title,
                                      const std::string& suggestedPath) override;
  /// Several existing files at once (the main window's Add command); empty when cancelled.
  [[nodiscard]] std::vector<std::string> openFiles(const OpenFileRequest& request);

  /// Window thread: answers the calls of other threads until `finished` returns true (checked at
  /// least every 20 ms). Used where the window thread waits for the job thread to end.
  void serveUntil(const std::function<bool()>& finished);

  /// Whether the calling thread is the window thread.
  [[nodiscard]] bool onWindowThread() const;

 private:
  struct Request {
    std::function<void()> work;      ///< runs on the window thread
    std::function<void()> fallback;  ///< runs on the caller's thread when nobody can answer
    bool done = false;
    bool answered = false;
  };

  /// Runs `work` on the window thread and waits for it; `fallback` when the window is closing.
  void runOnWindowThread(const std::function<void()>& work, const std::function<void()>& fallback);
  /// Window thread: runs the queued requests one after the other.
  void servePending();
  Answer showMessageBox(const std::string& text, Buttons buttons, Icon icon, Answer deflt);
  std::vector<std::string> showFileDialog(const FileDialogCall& call);
  std::vector<std::string> present(FileDialogCall call, const std::string& profileKey,
                                   const std::string& initialFolder, bool storeFolderItself);

  /// What waiting callers share with the window thread. Callers keep it alive while they wait,
  /// so the dialogs may go away under a caller that has not yet woken up.
  struct Queue {
    std::mutex mutex;
    std::condition_variable queued;    // a request arrived (for `serveUntil`)
    std::condition_variable answered;  // a request was answered, or the dialogs close
    std::deque<std::shared_ptr<Request>> pending;
    bool closing = false;
  };

  QPointer<QWidget> m_parent;
  MessagePresenter m_messagePresenter;
  FilePresenter m_filePresenter;
  std::shared_ptr<Queue> m_queue = std::make_shared<Queue>();
  bool m_serving = false;
};

}  // namespace tg
