// SPDX-License-Identifier: GPL-3.0-or-later
// The More Options window: OK runs the parameter rules and hands the values back, Cancel
// changes nothing, a refused value keeps the window open with the reason, a running job locks
// everything, and the update controls appear only once the update check is connected.
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "job/mosaic_settings.h"
#include "platform/scripted_dialogs.h"
#include "ui/more_options_dialog.h"
#include "window_test_support.h"

using namespace tg;

namespace {

void choose(QComboBox* box, const QString& label) {
  const int index = box->findText(label);
  QVERIFY2(index >= 0, qPrintable(label));
  box->setCurrentIndex(index);
  emit box->activated(index);
}

void type(QComboBox* box, const QString& text) {
  box->setEditText(text);
  emit box->lineEdit()->editingFinished();
}

}  // namespace

class MoreOptionsDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void okAppliesTheRulesAndCancelChangesNothing() {
    MosaicSettings settings;
    {
      MoreOptionsDialog dialog(settings, false);
      dialog.switchBox(MoreOptionsSwitch::SplitMosaic)->click();
      choose(dialog.choiceBox(MoreOptionsChoice::FileFormat),
             QStringLiteral("Photoshop's Standard Format (.PSD)"));
      dialog.reject();
    }
    QVERIFY(!settings.splitMosaic.value);
    QCOMPARE(settings.fileFormat.value, kFormatJpeg);

    MoreOptionsDialog dialog(settings, false);
    QCheckBox* layers = dialog.switchBox(MoreOptionsSwitch::OutputLayers);
    QVERIFY(!layers->isEnabled());
    choose(dialog.choiceBox(MoreOptionsChoice::FileFormat),
           QStringLiteral("Photoshop's Standard Format (.PSD)"));
    QVERIFY(layers->isEnabled());
    QVERIFY(!dialog.choiceBox(MoreOptionsChoice::JpgQuality)->isEnabled());
    layers->click();
    type(dialog.choiceBox(MoreOptionsChoice::ConsecutiveFrames), QStringLiteral("3"));
    choose(dialog.choiceBox(MoreOptionsChoice::BorderColor), QStringLiteral("Orange"));
    dialog.accept();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(settings.fileFormat.value, kFormatPsd);
    QVERIFY(settings.outputLayers.value);
    QCOMPARE(settings.consecutiveFrames.value, 3L);
    QCOMPARE(settings.mosaicProcessing.value, 2L);  // the rules ran in full
    QCOMPARE(settings.tileDuplication.value, 1L);
    QCOMPARE(settings.borderColor.value, 0x0080FFL);
  }

  void refusedValueKeepsTheWindowOpenAndSaysWhy() {
    ScopedScriptedDialogs dialogs;
    MosaicSettings settings;
    MoreOptionsDialog dialog(settings, false);
    dialog.show();
    type(dialog.choiceBox(MoreOptionsChoice::WebPageSize), QStringLiteral("wide"));
    QVERIFY(!dialog.choiceBox(MoreOptionsChoice::WebPageSize)->styleSheet().isEmpty());
    dialog.accept();
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialogs->texts(), std::vector<std::string>{"Please specify all the parameters"});
    QCOMPARE(settings.webPageSize.value, 0L);

    type(dialog.choiceBox(MoreOptionsChoice::WebPageSize), QStringLiteral("1000"));
    QVERIFY(dialog.choiceBox(MoreOptionsChoice::WebPageSize)->styleSheet().isEmpty());
    dialogs->chooseNext("/mosaics");
    dialog.button("browseFolder")->click();
    QCOMPARE(dialog.directoryEdit()->text(), QStringLiteral("/mosaics/"));
    dialog.accept();
    QVERIFY(!dialog.isVisible());
    QCOMPARE(settings.webPageSize.value, 1000L);
    QCOMPARE(settings.mosaicDirectory.value, std::string("/mosaics/"));
  }

  void aRunningJobLocksEverything() {
    MosaicSettings settings;
    MoreOptionsDialog dialog(settings, true);
    for (std::size_t i = 0; i < kMoreOptionsChoiceCount; ++i) {
      QVERIFY(!dialog.choiceBox(static_cast<MoreOptionsChoice>(i))->isEnabled());
    }
    for (std::size_t i = 0; i < kMoreOptionsSwitchCount; ++i) {
      QVERIFY(!dialog.switchBox(static_cast<MoreOptionsSwitch>(i))->isEnabled());
    }
    QVERIFY(!dialog.borderSizeBox()->isEnabled());
    QVERIFY(!dialog.button("browseFolder")->isEnabled());
    dialog.accept();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
  }

  void updateControlsOnlyOnceConnected() {
    MosaicSettings settings;
    {
      MoreOptionsDialog dialog(settings, false);
      QVERIFY(dialog.updateGroup()->isHidden());
    }
    int stored = 3;
    int checks = 0;
    setUpdateCheckHooks(
        {[&] { return stored; }, [&](int mode) { stored = mode; }, [&] { ++checks; }});
    MoreOptionsDialog dialog(settings, false);
    QVERIFY(!dialog.updateGroup()->isHidden());
    dialog.button("checkNow")->click();
    QCOMPARE(checks, 1);
    auto* mode = dialog.updateGroup()->findChild<QComboBox*>();
    QCOMPARE(mode->currentText(), QStringLiteral("every two weeks"));
    mode->setCurrentIndex(mode->findText(QStringLiteral("(Beta) every week")));
    dialog.accept();
    QCOMPARE(stored, 5);
    setUpdateCheckHooks({});
  }
};

TG_WINDOW_TEST_MAIN(MoreOptionsDialogTest)
#include "more_options_dialog_test.moc"
