// SPDX-License-Identifier: GPL-3.0-or-later
// The language dialog: "(auto)" first, the languages sorted, the stored language selected; OK
// stores the choice and says that it takes effect at the next start.
#include <QListWidget>
#include <QTest>

#include "config/user_values.h"
#include "platform/scripted_dialogs.h"
#include "ui/language_dialog.h"
#include "window_test_support.h"

using namespace tg;

class LanguageDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void okStoresTheChosenLanguage() {
    ScriptedDialogs dialogs;
    setUserDialogs(&dialogs);
    QVERIFY(setUserValue("Locale", "fr"));
    LanguageDialog dialog({{"Français", "fr"}, {"Deutsch", "de"}}, nullptr);
    QCOMPARE(dialog.list()->count(), 3);
    QCOMPARE(dialog.list()->item(0)->text(), QStringLiteral("(auto)"));
    QCOMPARE(dialog.list()->item(1)->text(), QStringLiteral("Deutsch"));
    QCOMPARE(dialog.list()->currentRow(), 2);

    dialog.list()->setCurrentRow(1);
    dialog.accept();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(userValue("Locale", ""), std::string("de"));
    QCOMPARE(dialogs.texts().back(),
             std::string("You must restart Tesselograph for this change to take effect."));
    setUserDialogs(nullptr);
  }
};

TG_WINDOW_TEST_MAIN(LanguageDialogTest)
#include "language_dialog_test.moc"
