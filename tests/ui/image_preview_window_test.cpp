// SPDX-License-Identifier: GPL-3.0-or-later
// The image preview window: pixels arrive with their colours and transparency, the zoom
// commands, and a picture file that cannot be read.
#include <QApplication>
#include <QPushButton>
#include <QScrollArea>
#include <QTest>
#include <QWheelEvent>

#include "imaging/foto.h"
#include "platform/scripted_dialogs.h"
#include "ui/image_preview_window.h"
#include "window_test_support.h"

using namespace tg;

class ImagePreviewWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void pixelsKeepColourAndTransparency() {
    Foto foto;
    QVERIFY(foto.create(2, 1));
    foto.pixels[0] = 0x00332211u;  // opaque: red 0x11, green 0x22, blue 0x33
    foto.pixels[1] = 0xFF000000u;  // fully transparent
    const QImage image = toQImageWithAlpha(foto);
    QCOMPARE(image.pixelColor(0, 0), QColor(0x11, 0x22, 0x33, 255));
    QCOMPARE(image.pixelColor(1, 0).alpha(), 0);
    QVERIFY(toQImageWithAlpha(Foto()).isNull());
  }

  void zoomCommands() {
    Foto foto;
    QVERIFY(foto.create(4000, 2000));
    foto.fill(0x00808080u);
    ImagePreviewWindow window;
    window.show();
    window.showImage(foto, QStringLiteral("mosaic.jpg"));
    QVERIFY(window.windowTitle().endsWith(QStringLiteral("mosaic.jpg")));
    QVERIFY(window.zoom() < 1.0);  // fitted into the window
    QVERIFY(window.shownSize().width() <= window.width());

    window.findChild<QPushButton*>(QStringLiteral("actualSize"))->click();
    QCOMPARE(window.shownSize(), QSize(4000, 2000));
    window.findChild<QPushButton*>(QStringLiteral("zoomIn"))->click();
    QCOMPARE(window.shownSize(), QSize(5000, 2500));
    QWheelEvent wheel(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::ControlModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(window.findChild<QScrollArea*>()->viewport(), &wheel);
    QCOMPARE(window.zoom(), 1.0);
    window.setZoom(1000);
    QCOMPARE(window.zoom(), 16.0);
  }

  void unreadableFileIsReported() {
    ScopedScriptedDialogs dialogs;
    ImagePreviewWindow window;
    QVERIFY(!window.showFile("/nonexistent/mosaic.jpg"));
    QCOMPARE(dialogs->texts().size(), std::size_t{1});
    QVERIFY(window.image().isNull());
  }
};

TG_WINDOW_TEST_MAIN(ImagePreviewWindowTest)
#include "image_preview_window_test.moc"
