// SPDX-License-Identifier: GPL-3.0-or-later
// The split dialog: the three forms show each other, OK keeps the dialog open on a refused
// size, Cancel gives nothing.
#include <QApplication>
#include <QRadioButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include "geometry/mosaic_geometry.h"
#include "job/mosaic_settings.h"
#include "platform/scripted_dialogs.h"
#include "ui/split_dialog.h"
#include "window_test_support.h"

using namespace tg;

namespace {

MosaicGeometry geometryOf(std::uint32_t width, std::uint32_t height, std::uint32_t tile) {
  MosaicGeometry geometry;
  geometry.mosaicWidth = width;
  geometry.mosaicHeight = height;
  geometry.tileWidth = tile;
  geometry.tileHeight = tile;
  return geometry;
}

void typeInto(QSpinBox* box, int value) {
  box->setValue(value);
  QCoreApplication::processEvents();
}

}  // namespace

class SplitDialogTest : public QObject {
  Q_OBJECT

 private slots:
  void formsShowEachOther() {
    SplitDialog dialog(geometryOf(1000, 800, 40), {});
    QCOMPARE(dialog.box(SplitForm::Pixels, 0)->value(), 1000);
    QCOMPARE(dialog.box(SplitForm::Pieces, 1)->value(), 1);
    typeInto(dialog.box(SplitForm::TilesPerPiece, 0), 10);
    typeInto(dialog.box(SplitForm::TilesPerPiece, 1), 10);
    QVERIFY(dialog.formButton(SplitForm::TilesPerPiece)->isChecked());
    QCOMPARE(dialog.pieceSize().width, 400u);
    QCOMPARE(dialog.pieceSize().height, 400u);
    QCOMPARE(dialog.box(SplitForm::Pieces, 0)->value(), 3);
    QCOMPARE(dialog.box(SplitForm::Pieces, 1)->value(), 2);
    // 0 pieces cannot be used: the previous size comes back.
    typeInto(dialog.box(SplitForm::Pieces, 0), 0);
    QCOMPARE(dialog.box(SplitForm::Pieces, 0)->value(), 3);
    QCOMPARE(dialog.pieceSize().width, 400u);
  }

  void mosaicWithoutTileSizeOffersNoTilesForm() {
    SplitDialog dialog(geometryOf(1000, 800, 0), {});
    QVERIFY(!dialog.formButton(SplitForm::TilesPerPiece)->isEnabled());
    QVERIFY(!dialog.box(SplitForm::TilesPerPiece, 0)->isEnabled());
  }

  // OK runs the real checks: a 5-pixel piece is refused with the message and the dialog stays.
  void okStaysOpenOnARefusedSize() {
    ScopedScriptedDialogs dialogs;
    MosaicSettings settings;
    settings.fileFormat.value = kFormatJpeg;
    SplitDialog dialog(geometryOf(1000, 800, 40), [&](const SplitDialog::PieceSize& piece) {
      return acceptSplitPiece(settings, piece.width, piece.height);
    });
    dialog.show();
    typeInto(dialog.box(SplitForm::Pixels, 0), 5);
    dialog.accept();
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialogs->texts(),
             std::vector<std::string>{"Please insert valid values for the Split Size in Pixels. "
                                      "Valid values between 10 and 1,000,000 pixel."});
    typeInto(dialog.box(SplitForm::Pixels, 0), 500);
    dialog.accept();
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
  }

  void askGivesTheSizeOnOkAndNothingOnCancel() {
    QTimer::singleShot(0, [] {
      auto* dialog = qobject_cast<SplitDialog*>(QApplication::activeModalWidget());
      QVERIFY(dialog != nullptr);
      typeInto(dialog->box(SplitForm::Pieces, 0), 2);
      dialog->accept();
    });
    const auto piece =
        SplitDialog::ask(geometryOf(1000, 800, 40), [](const auto&) { return true; });
    QVERIFY(piece.has_value());
    QCOMPARE(piece->width, 500u);
    QCOMPARE(piece->height, 800u);

    // The piece chosen last time comes back; Cancel gives nothing.
    QTimer::singleShot(0, [] {
      auto* dialog = qobject_cast<SplitDialog*>(QApplication::activeModalWidget());
      QVERIFY(dialog != nullptr);
      QCOMPARE(dialog->box(SplitForm::Pixels, 0)->value(), 500);
      dialog->close();
    });
    QVERIFY(!SplitDialog::ask(
        geometryOf(1000, 800, 40), [](const auto&) { return true; }, nullptr, *piece));
  }
};

TG_WINDOW_TEST_MAIN(SplitDialogTest)
#include "split_dialog_test.moc"
