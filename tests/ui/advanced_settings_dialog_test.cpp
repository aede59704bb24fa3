// SPDX-License-Identifier: GPL-3.0-or-later
// The Advanced Settings dialog: values committed when the selection leaves a line, OK and
// Cancel (also after Load Default Values), Save Default Values, and a running job.
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include "config/advanced_settings.h"
#include "platform/scripted_dialogs.h"
#include "support/scratch_dir.h"
#include "ui/advanced_settings_dialog.h"
#include "window_test_support.h"

using namespace tg;

namespace {

constexpr int kRedLine = static_cast<int>(AdvancedRow::PriorityRed);
constexpr int kPreviewLine = static_cast<int>(AdvancedRow::MosaicFastPreview);
constexpr int kMemoryLine = static_cast<int>(AdvancedRow::MemoryMaxSizeMB);

QString shownValue(const AdvancedSettingsDialog& dialog, int line) {
  return dialog.rowList()->topLevelItem(line)->text(2);
}

void type(AdvancedSettingsDialog& dialog, int line, const QString& text) {
  dialog.rowList()->setCurrentItem(dialog.rowList()->topLevelItem(line));
  dialog.valueBox()->setEditText(text);
}

}  // namespace

class AdvancedSettingsDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void init() {
    m_dir = std::make_unique<test::ScratchDir>();
    m_config = m_dir->file("config.txt");
    m_rows = AdvancedSettings(true);
    SettingsStore empty;
    empty.open(m_config, SettingsLocation::AsGiven);
    loadAdvancedRows(m_rows, true, empty);
  }
  void cleanup() { m_dir.reset(); }

  void linesHelpAndCommitRules() {
    AdvancedSettingsDialog dialog(m_rows, nullptr, m_config, SettingsLocation::AsGiven);
    QCOMPARE(dialog.rowList()->topLevelItemCount(), 29);
    QCOMPARE(dialog.rowList()->columnWidth(1), 180);
    QCOMPARE(shownValue(dialog, kPreviewLine), QStringLiteral("no"));
    QVERIFY(!dialog.valueBox()->isEnabled());

    type(dialog, kRedLine, QStringLiteral("250"));
    QVERIFY(dialog.helpLabel()->text().startsWith(QStringLiteral("The Priority of the three")));
    QCOMPARE(dialog.valueBox()->itemText(1), QStringLiteral("0"));  // after the current value
    type(dialog, kPreviewLine, QStringLiteral("YES"));
    QCOMPARE(shownValue(dialog, kRedLine), QStringLiteral("100"));
    type(dialog, kMemoryLine, QStringLiteral("750"));
    QCOMPARE(shownValue(dialog, kPreviewLine), QStringLiteral("yes"));
    QCOMPARE(m_rows.rowValue(AdvancedRow::PriorityRed), std::string("1"));  // not before OK

    dialog.accept();  // commits the line still being edited too
    QCOMPARE(m_rows.rowValue(AdvancedRow::PriorityRed), std::string("100"));
    QCOMPARE(m_rows.rowValue(AdvancedRow::MosaicFastPreview), std::string("1"));
    QCOMPARE(m_rows.rowValue(AdvancedRow::MemoryMaxSizeMB), std::string("750"));
  }

  void cancelChangesNothingAlsoAfterLoadDefaultValues() {
    m_rows.setRowValue(AdvancedRow::MemoryMaxSizeMB, "3000");
    AdvancedSettingsDialog dialog(m_rows, nullptr, m_config, SettingsLocation::AsGiven);
    type(dialog, kRedLine, QStringLiteral("40"));
    dialog.loadDefaultsButton()->click();
    QCOMPARE(shownValue(dialog, kMemoryLine), QStringLiteral("1500"));
    QCOMPARE(dialog.valueBox()->currentText(), QStringLiteral("1"));
    dialog.reject();
    QCOMPARE(m_rows.rowValue(AdvancedRow::MemoryMaxSizeMB), std::string("3000"));
    QCOMPARE(m_rows.rowValue(AdvancedRow::PriorityRed), std::string("1"));
  }

  void savedDefaultsComeBackOnLoad() {
    {
      AdvancedSettingsDialog dialog(m_rows, nullptr, m_config, SettingsLocation::AsGiven);
      type(dialog, kMemoryLine, QStringLiteral("2250"));
      dialog.saveDefaultsButton()->click();
      QCOMPARE(shownValue(dialog, kMemoryLine), QStringLiteral("2250"));
      dialog.reject();
    }
    m_rows.setRowValue(AdvancedRow::MemoryMaxSizeMB, "200");
    AdvancedSettingsDialog dialog(m_rows, nullptr, m_config, SettingsLocation::AsGiven);
    dialog.loadDefaultsButton()->click();
    dialog.accept();
    QCOMPARE(m_rows.rowValue(AdvancedRow::MemoryMaxSizeMB), std::string("2250"));
  }

  void aRunningJobLeavesTheRowsAlone() {
    AdvancedSettingsDialog dialog(m_rows, nullptr, m_config, SettingsLocation::AsGiven);
    dialog.setJobRunning(true);
    type(dialog, kRedLine, QStringLiteral("60"));
    QVERIFY(!dialog.valueBox()->isEnabled());
    QVERIFY(!dialog.loadDefaultsButton()->isEnabled());
    QVERIFY(!dialog.saveDefaultsButton()->isEnabled());
    dialog.accept();
    QCOMPARE(m_rows.rowValue(AdvancedRow::PriorityRed), std::string("1"));
  }

 private:
  std::unique_ptr<test::ScratchDir> m_dir;
  std::string m_config;
  AdvancedSettings m_rows{true};
};

TG_WINDOW_TEST_MAIN(AdvancedSettingsDialogTest)
#include "advanced_settings_dialog_test.moc"
