// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialog_windows.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMenuBar>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <memory>

#include "app/main_window_model.h"
#include "app/mosaic_preview.h"
#include "job/mosaic_settings.h"
#include "ui/image_preview_window.h"
#include "ui/main_window.h"
#include "ui/more_options_dialog.h"
#include "ui/save_settings_dialog.h"
#include "ui/split_dialog.h"
#include "ui/tile_images_window.h"
#include "ui/ui_text.h"

namespace tg {
namespace {

/// The Save Settings dialog as a child of the window, so that it lives as long as the window.
class SaveSettingsHolder final : public QObject {
 public:
  explicit SaveSettingsHolder(QWidget* window) : QObject(window), m_dialog(window) {}
  QtSaveSettingsDialog& dialog() { return m_dialog; }

 private:
  QtSaveSettingsDialog m_dialog;
};

void openTileImages(MainWindow& window) {
  TileImagesWindow dialog(window.tileImages(), &window);
  dialog.setJobRunning(window.jobRunning());
  dialog.setAdvancedSettings(&window.settings().advanced);
  // A job may end (or the list be locked) while the window is open.
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, &dialog,
                   [&] { dialog.setJobRunning(window.jobRunning()); });
  watch.start(500);
  dialog.exec();
}

void openPreview(MainWindow& window, QPointer<ImagePreviewWindow>& preview) {
  if (preview == nullptr) preview = new ImagePreviewWindow(&window);
  const std::string mosaic = finishedMosaicFile(window.job(), window.model().selectedPath());
  if (mosaic.empty() || !preview->showFile(mosaic)) {
    if (const Foto* image = window.model().selectedImage()) {
      preview->showImage(*image, toQString(window.model().selectedPath()));
    }
  }
  preview->show();
  preview->raise();
  preview->activateWindow();
}

}  // namespace

void installDialogWindows(MainWindow& window) {
  window.setTileImagesCommand([&window] { openTileImages(window); });
  // An analysis can start away from the Tile Images window (a settings set that names an old
  // list upgrades it); it runs on that window's timer, so the window opens to carry it on.
  auto* analysisWatch = new QTimer(&window);
  QObject::connect(analysisWatch, &QTimer::timeout, &window, [&window] {
    if (!window.tileImages().analysing() || QApplication::activeModalWidget() != nullptr) return;
    openTileImages(window);
    window.refreshInformation();
  });
  analysisWatch->start(500);
  window.setMoreOptionsCommand([&window] {
    MoreOptionsDialog dialog(window.settings(), window.jobRunning(), &window);
    return dialog.exec() == QDialog::Accepted && !window.jobRunning();
  });
  window.setSplitSizeDialog(
      [&window](const MosaicGeometry& geometry,
                const std::function<bool(const SplitDialog::PieceSize&)>& acceptPiece) {
        const MosaicSettings& settings = window.settings();
        return SplitDialog::ask(geometry, acceptPiece, &window,
                                {settings.splitPieceWidth, settings.splitPieceHeight});
      });
  window.setSaveSettingsDialog(&(new SaveSettingsHolder(&window))->dialog());

  auto* preview = new QAction(qtr("Image Preview"), &window);
  preview->setObjectName(QStringLiteral("imagePreview"));
  preview->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_I));
  preview->setToolTip(qtr("Shows the main image, or its finished Mosaic, in a window of its own."));
  auto previewWindow = std::make_shared<QPointer<ImagePreviewWindow>>();
  QObject::connect(preview, &QAction::triggered, &window,
                   [&window, previewWindow] { openPreview(window, *previewWindow); });
  window.addAction(preview);
  for (QAction* menu : window.menuBar()->actions()) {
    if (menu->menu() != nullptr && menu->text() == qtr("&Mosaic")) menu->menu()->addAction(preview);
  }
}

}  // namespace tg
