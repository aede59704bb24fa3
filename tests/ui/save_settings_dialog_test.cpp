// SPDX-License-Identifier: GPL-3.0-or-later
// The Save Settings dialog with the real settings sets: a set saved through the dialog (after a
// refused name), listed, loaded and deleted; Cancel saves nothing.
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <functional>

#include "job/mosaic_settings.h"
#include "job/settings_sets.h"
#include "platform/scripted_dialogs.h"
#include "support/scratch_dir.h"
#include "ui/save_settings_dialog.h"
#include "window_test_support.h"

using namespace tg;

namespace {

/// Runs `fill` on the next Save Settings window that opens, then presses OK (or Cancel).
void onNextSaveWindow(std::function<void(SaveSettingsWindow&)> fill, bool ok = true) {
  QTimer::singleShot(0, [fill = std::move(fill), ok] {
    auto* window = qobject_cast<SaveSettingsWindow*>(QApplication::activeModalWidget());
    QVERIFY(window != nullptr);
    fill(*window);
    if (ok) {
      window->accept();
    } else {
      window->reject();
    }
  });
}

int entryIndex(const SettingsSetsModel& sets, const std::string& text) {
  const auto& entries = sets.entries();
  const auto found = std::find_if(entries.begin(), entries.end(),
                                  [&](const auto& entry) { return entry.text == text; });
  return found == entries.end() ? -1 : static_cast<int>(found - entries.begin());
}

}  // namespace

class SaveSettingsDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void savedListedLoadedAndDeleted() {
    test::ScratchDir dir;
    ScopedScriptedDialogs scripted;
    MosaicSettings settings;
    SettingsFiles files;
    files.userSettingsFile = dir.file("sets.txt");
    files.userSettingsLocation = SettingsLocation::AsGiven;
    files.configFile = dir.file("config.txt");
    files.configLocation = SettingsLocation::AsGiven;
    SettingsSetsModel sets(settings, files);
    QtSaveSettingsDialog dialog;
    sets.setSaveDialog(&dialog);
    settings.jpgQuality.set(80);

    // No list is loaded: its box is unavailable. A name in parentheses is refused and the
    // dialog comes back with what was typed.
    onNextSaveWindow([](SaveSettingsWindow& window) {
      QVERIFY(!window.tileListBox()->isEnabled());
      QVERIFY(window.advancedBox()->isChecked());
      window.nameEdit()->setText(QStringLiteral("(Mine)"));
      onNextSaveWindow([](SaveSettingsWindow& again) {
        QCOMPARE(again.nameEdit()->text(), QStringLiteral("(Mine)"));
        again.nameEdit()->setText(QStringLiteral("  Beach  "));
      });
    });
    QCOMPARE(sets.saveSettingsInteractive(std::nullopt), SaveOutcome::Saved);
    QCOMPARE(scripted->texts(),
             std::vector<std::string>{"Please insert a valid name for the settings"});
    const int beach = entryIndex(sets, "Beach");
    QVERIFY(beach >= 0);
    QCOMPARE(sets.selectedIndex(), beach);

    settings.jpgQuality.set(50);
    sets.select(beach);
    QVERIFY(sets.loadSelected());
    QCOMPARE(settings.jpgQuality.value, 80L);
    QVERIFY(sets.deleteEnabled());

    scripted->answerNext(Answer::Yes);
    sets.deleteSettingsSet();
    QCOMPARE(entryIndex(sets, "Beach"), -1);
  }

  void cancelSavesNothing() {
    test::ScratchDir dir;
    ScopedScriptedDialogs scripted;
    MosaicSettings settings;
    SettingsFiles files;
    files.userSettingsFile = dir.file("sets.txt");
    files.userSettingsLocation = SettingsLocation::AsGiven;
    SettingsSetsModel sets(settings, files);
    QtSaveSettingsDialog dialog;
    sets.setSaveDialog(&dialog);
    onNextSaveWindow(
        [](SaveSettingsWindow& window) { window.nameEdit()->setText(QStringLiteral("Gone")); },
        false);
    QCOMPARE(sets.saveSettingsInteractive(std::nullopt), SaveOutcome::Cancelled);
    QVERIFY(!std::filesystem::exists(dir.file("sets.txt")));
  }
};

TG_WINDOW_TEST_MAIN(SaveSettingsDialogTest)
#include "save_settings_dialog_test.moc"
