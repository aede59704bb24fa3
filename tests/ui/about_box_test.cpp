// SPDX-License-Identifier: GPL-3.0-or-later
// The about box: the mosaic count sentence and the tooltip switch, both kept in the user values.
#include <QCheckBox>
#include <QLabel>
#include <QTest>

#include "config/user_values.h"
#include "ui/about_box.h"
#include "window_test_support.h"

using namespace tg;

class AboutBoxTest : public QObject {
  Q_OBJECT

 private slots:
  void countAndToolTips() {
    QVERIFY(setUserValue("MosaicCount", "0"));
    QVERIFY(setUserValue("ShowToolTips", ""));
    {
      AboutBox about;
      QCOMPARE(about.countText()->text(),
               QStringLiteral("What are you waiting for? Create your first mosaic!"));
      QVERIFY(about.toolTipsBox()->isChecked());
      about.toolTipsBox()->click();
      QCOMPARE(userValue("ShowToolTips", ""), std::string("0"));
      QVERIFY(!toolTipsEnabled(-1));
    }
    QVERIFY(setUserValue("MosaicCount", "3"));
    QVERIFY(setUserValue("DateFirstMosaic", "113-5-20"));
    AboutBox about;
    QCOMPARE(about.countText()->text(),
             QStringLiteral("You have created 3 Mosaics since 2013-5-20!"));
    QVERIFY(!about.toolTipsBox()->isChecked());
    about.toolTipsBox()->click();
    QVERIFY(toolTipsEnabled(-1));
  }
};

TG_WINDOW_TEST_MAIN(AboutBoxTest)
#include "about_box_test.moc"
