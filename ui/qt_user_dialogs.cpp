// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/qt_user_dialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QMetaObject>
#include <QPushButton>
#include <QStringList>
#include <QThread>
#include <chrono>
#include <filesystem>

#include "config/user_values.h"
#include "ui/ui_text.h"

namespace tg {

namespace {

QMessageBox::StandardButton standardButton(Answer answer) {
  switch (answer) {
    case Answer::Ok:
      return QMessageBox::Ok;
    case Answer::Cancel:
      return QMessageBox::Cancel;
    case Answer::Yes:
      return QMessageBox::Yes;
    case Answer::No:
      return QMessageBox::No;
    case Answer::Retry:
      return QMessageBox::Retry;
    case Answer::None:
      break;
  }
  return QMessageBox::NoButton;
}

QMessageBox::StandardButtons standardButtons(Buttons buttons) {
  switch (buttons) {
    case Buttons::Ok:
      return QMessageBox::Ok;
    case Buttons::OkCancel:
      return QMessageBox::Ok | QMessageBox::Cancel;
    case Buttons::YesNo:
      return QMessageBox::Yes | QMessageBox::No;
    case Buttons::YesNoCancel:
      return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case Buttons::RetryCancel:
      return QMessageBox::Retry | QMessageBox::Cancel;
  }
  return QMessageBox::Ok;
}

QMessageBox::Icon messageIcon(Icon icon) {
  switch (icon) {
    case Icon::Question:
      return QMessageBox::Question;
    case Icon::Information:
      return QMessageBox::Information;
    case Icon::Error:
      return QMessageBox::Critical;
    case Icon::Exclamation:
    case Icon::Default:
      break;
  }
  return QMessageBox::Warning;
}

/// The answer a box closed with Escape or the window manager gives: its cancelling button.
Answer escapeAnswer(Buttons buttons) {
  switch (buttons) {
    case Buttons::Ok:
      return Answer::Ok;
    case Buttons::YesNo:
      return Answer::No;
    case Buttons::OkCancel:
    case Buttons::YesNoCancel:
    case Buttons::RetryCancel:
      break;
  }
  return Answer::Cancel;
}

/// The folder a chosen file lies in.
std::string folderOf(const std::string& path) {
  return std::filesystem::path(path).parent_path().string();
}

}  // namespace

QString qtFileFilter(const std::string& filter) {
  const QStringList parts = toQString(filter).split(QLatin1Char('|'));
  QStringList pairs;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    if (parts[i].isEmpty()) break;
    QStringList patterns = parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts);
    pairs << parts[i] + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
  }
  return pairs.join(QStringLiteral(";;"));
}

QtUserDialogs::QtUserDialogs(QObject* parent) : QObject(parent) {}

QtUserDialogs::~QtUserDialogs() {
  {
    std::lock_guard lock(m_queue->mutex);
    m_queue->closing = true;
    // Callers still waiting take their default answers on their own threads.
    for (auto& request : m_queue->pending) request->done = true;
    m_queue->pending.clear();
  }
  m_queue->answered.notify_all();
}

void QtUserDialogs::setMessagePresenter(MessagePresenter presenter) {
  m_messagePresenter = std::move(presenter);
}

void QtUserDialogs::setFilePresenter(FilePresenter presenter) {
  m_filePresenter = std::move(presenter);
}

bool QtUserDialogs::onWindowThread() const { return QThread::currentThread() == thread(); }

void QtUserDialogs::runOnWindowThread(const std::function<void()>& work,
                                      const std::function<void()>& fallback) {
  if (onWindowThread()) {
    work();
    return;
  }
  const std::shared_ptr<Queue> queue = m_queue;
  auto request = std::make_shared<Request>();
  request->work = work;
  {
    std::lock_guard lock(queue->mutex);
    if (queue->closing) {
      fallback();
      return;
    }
    queue->pending.push_back(request);
    // Posted under the lock: the destructor cannot run meanwhile, and once it has run, Qt drops
    // the posted call together with the object.
    QMetaObject::invokeMethod(this, &QtUserDialogs::servePending, Qt::QueuedConnection);
  }
  queue->queued.notify_all();
  std::unique_lock lock(queue->mutex);
  queue->answered.wait(lock, [&] { return request->done; });
  const bool answered = request->answered;
  lock.unlock();
  if (!answered) fallback();
}

void QtUserDialogs::servePending() {
  // A dialog runs a nested event loop that may deliver the next wake-up: the outer call goes on
  // with the queue, so dialogs come one after the other, never stacked.
  if (m_serving) return;
  m_serving = true;
  for (;;) {
    std::shared_ptr<Request> request;
    {
      std::lock_guard lock(m_queue->mutex);
      if (m_queue->pending.empty() || m_queue->closing) break;
      request = m_queue->pending.front();
      m_queue->pending.pop_front();
    }
    request->work();
    {
      std::lock_guard lock(m_queue->mutex);
      request->done = true;
      request->answered = true;
    }
    m_queue->answered.notify_all();
  }
  m_serving = false;
}

void QtUserDialogs::serveUntil(const std::function<bool()>& finished) {
  while (!finished()) {
    servePending();
    std::unique_lock lock(m_queue->mutex);
    m_queue->queued.wait_for(lock, std::chrono::milliseconds(20),
                             [&] { return !m_queue->pending.empty(); });
  }
  servePending();
}

Answer QtUserDialogs::message(const std::string& text, Buttons buttons, Icon icon,
                              Answer defaultButton) {
  Answer answer = Answer::None;
  runOnWindowThread(
      [&] {
        answer = m_messagePresenter ? m_messagePresenter(text, buttons, icon, defaultButton)
                                    : showMessageBox(text, buttons, icon, defaultButton);
      },
      [&] { answer = defaultButton == Answer::None ? firstButton(buttons) : defaultButton; });
  return answer;
}

Answer QtUserDialogs::showMessageBox(const std::string& text, Buttons buttons, Icon icon,
                                     Answer deflt) {
  QMessageBox box(messageIcon(effectiveIcon(buttons, icon)), applicationTitle(), toQString(text),
                  standardButtons(buttons), m_parent);
  const Answer preselected = deflt == Answer::None ? firstButton(buttons) : deflt;
  box.setDefaultButton(standardButton(preselected));
  const struct {
    QMessageBox::StandardButton button;
    const char* label;
  } labels[] = {{QMessageBox::Ok, N_("OK")},
                {QMessageBox::Cancel, N_("Cancel")},
                {QMessageBox::Yes, N_("Yes")},
                {QMessageBox::No, N_("No")},
                {QMessageBox::Retry, N_("Retry")}};
  for (const auto& label : labels) {
    if (QAbstractButton* button = box.button(label.button)) button->setText(qtr(label.label));
  }
  switch (box.exec()) {
    case QMessageBox::Ok:
      return Answer::Ok;
    case QMessageBox::Cancel:
      return Answer::Cancel;
    case QMessageBox::Yes:
      return Answer::Yes;
    case QMessageBox::No:
      return Answer::No;
    case QMessageBox::Retry:
      return Answer::Retry;
    default:
      break;
  }
  return escapeAnswer(buttons);
}

std::vector<std::string> QtUserDialogs::showFileDialog(const FileDialogCall& call) {
  QFileDialog dialog(m_parent, call.title, call.startFolder, call.filter);
  switch (call.kind) {
    case FileDialogCall::Kind::OpenFile:
      dialog.setFileMode(QFileDialog::ExistingFile);
      break;
    case FileDialogCall::Kind::OpenFiles:
      dialog.setFileMode(QFileDialog::ExistingFiles);
      break;
    case FileDialogCall::Kind::OpenFolder:
      dialog.setFileMode(QFileDialog::Directory);
      dialog.setOption(QFileDialog::ShowDirsOnly);
      break;
    case FileDialogCall::Kind::SaveFile:
      dialog.setAcceptMode(QFileDialog::AcceptSave);
      dialog.setFileMode(QFileDialog::AnyFile);
      break;
  }
  if (!call.defaultSuffix.isEmpty()) dialog.setDefaultSuffix(call.defaultSuffix);
  if (!call.selectedPath.isEmpty()) dialog.selectFile(call.selectedPath);
  std::vector<std::string> chosen;
  if (dialog.exec() != QDialog::Accepted) return chosen;
  for (const QString& file : dialog.selectedFiles()) chosen.push_back(toStdString(file));
  return chosen;
}

std::vector<std::string> QtUserDialogs::present(FileDialogCall call, const std::string& profileKey,
                                                const std::string& initialFolder,
                                                bool storeFolderItself) {
  std::vector<std::string> chosen;
  runOnWindowThread(
      [&] {
        std::string folder = profileKey.empty() ? std::string() : userValue(profileKey, "");
        if (folder.empty()) folder = initialFolder;
        call.startFolder = toQString(folder);
        chosen = m_filePresenter ? m_filePresenter(call) : showFileDialog(call);
        if (!chosen.empty() && !profileKey.empty()) {
          const std::string remembered =
              storeFolderItself ? chosen.front() : folderOf(chosen.front());
          (void)setUserValue(profileKey, remembered);
        }
      },
      [] {});
  return chosen;
}

std::optional<std::string> QtUserDialogs::openFile(const OpenFileRequest& request) {
  FileDialogCall call;
  call.kind = FileDialogCall::Kind::OpenFile;
  call.title = toQString(request.title);
  call.filter = qtFileFilter(request.filter);
  call.defaultSuffix = toQString(request.defaultExtension);
  const auto chosen = present(
      call, request.profile.empty() ? std::string() : "FileDialog." + request.profile + ".Path",
      request.initialFolder, false);
  if (chosen.empty()) return std::nullopt;
  return chosen.front();
}

std::vector<std::string> QtUserDialogs::openFiles(const OpenFileRequest& request) {
  FileDialogCall call;
  call.kind = FileDialogCall::Kind::OpenFiles;
  call.title = toQString(request.title);
  call.filter = qtFileFilter(request.filter);
  call.defaultSuffix = toQString(request.defaultExtension);
  return present(
      call, request.profile.empty() ? std::string() : "FileDialog." + request.profile + ".Path",
      request.initialFolder, false);
}

std::optional<std::string> QtUserDialogs::openFolder(const std::string& profile,
                                                     const std::string& prompt) {
  FileDialogCall call;
  call.kind = FileDialogCall::Kind::OpenFolder;
  call.title = toQString(prompt);
  const auto chosen = present(
      call, profile.empty() ? std::string() : "FolderDialog." + profile + ".Path", {}, true);
  if (chosen.empty()) return std::nullopt;
  return chosen.front();
}

std::optional<std::string> QtUserDialogs::saveFile(const std::string& profile,
                                                   const std::string& filter,
                                                   const std::string& title,
                                                   const std::string& suggestedPath) {
  FileDialogCall call;
  call.kind = FileDialogCall::Kind::SaveFile;
  call.title = toQString(title);
  call.filter = qtFileFilter(filter);
  call.selectedPath = toQString(suggestedPath);
  const auto chosen =
      present(call, profile.empty() ? std::string() : "FileDialog." + profile + ".Path",
              folderOf(suggestedPath), false);
  if (chosen.empty()) return std::nullopt;
  return chosen.front();
}

}  // namespace tg
