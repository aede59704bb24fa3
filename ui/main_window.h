// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/job_controller.h"
#include "app/main_window_model.h"
#include "app/production_stages.h"
#include "job/mosaic_job.h"
#include "job/settings_sets.h"
#include "tiles/tile_images_model.h"

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTimer;

namespace tg {

class PreviewArea;
class QtUserDialogs;

/// The main window: the list of main images, the parameter drop-downs, the tile-variant boxes,
/// the settings list, the information and tile lines, the preview, the status line with the
/// progress bar, the "Mosaic in:" link, and the commands (Create Mosaic, adding and removing
/// main images, loading, saving and deleting settings, language, user guide, about, close).
///
/// A thin view: `MainWindowModel` holds the main images and the refresh, `SettingsSetsModel` the
/// settings list, `TileImagesModel` the loaded Tile Images List and `JobController` the job. The
/// window fills its controls from them and hands them every action. The status timer ticks every
/// 500 ms on the window thread. Window thread only.
class MainWindow final : public QMainWindow, private JobControllerHost {
  Q_OBJECT

 public:
  /// `dialogs` is the program's installed `UserDialogs` (it shows the file dialogs and answers the
  /// job's questions while the window waits for it); it must outlive the window. The settings
  /// record loads the advanced settings and restores "(Auto Save)" (else Default Settings).
  explicit MainWindow(QtUserDialogs& dialogs, SettingsFiles files = {});
  /// Saves "(Auto Save)" and the window's place; a job still running is stopped and awaited.
  ~MainWindow() override;

  // ---- Hook points of the dialog windows ------------------------------------------------------
  // Each command appears in the window (menu, tool bar, shortcut) once its dialog is installed;
  // until then it is absent.

  /// The Tile Images command: `open` shows the Tile Images window on `tileImages()` (told whether
  /// a job runs by `jobRunning()`) and returns when it closes; the information refresh follows.
  /// `-i` without a loaded list and Create Mosaic without tiles open it as well.
  void setTileImagesCommand(std::function<void()> open);
  /// The More Options command: `open` shows the More Options window on `settings()` and returns
  /// true when it was confirmed; the parameter rules then run in full, then the refresh.
  void setMoreOptionsCommand(std::function<bool()> open);
  /// The split dialog Create Mosaic shows when `SplitMosaic` is on (see
  /// `JobControllerHost::askSplitSize`); without it such a start is cancelled.
  using SplitSizeDialog = std::function<std::optional<PieceSize>(
      const MosaicGeometry&, const std::function<bool(const PieceSize&)>&)>;
  void setSplitSizeDialog(SplitSizeDialog dialog) { m_splitDialog = std::move(dialog); }
  /// What the 6th status tick starts: the program's automatic update check (tests leave it
  /// unset, so a window under test never asks about updates).
  void setAutomaticUpdateCheck(std::function<void()> start) { m_updateCheck = std::move(start); }
  /// The Save Settings dialog; the Save settings command appears once it is installed. Not
  /// owned; it must outlive the window.
  void setSaveSettingsDialog(SaveSettingsDialog* dialog);

  [[nodiscard]] TileImagesModel& tileImages() { return m_tiles; }
  [[nodiscard]] MosaicSettings& settings() { return m_job.settings; }
  [[nodiscard]] MosaicJob& job() { return m_job; }
  [[nodiscard]] JobController& controller() { return *m_controller; }
  [[nodiscard]] MainWindowModel& model() { return *m_model; }
  [[nodiscard]] SettingsSetsModel& settingsSets() { return m_sets; }
  [[nodiscard]] bool jobRunning() const { return m_controller->running(); }

  // ---- Commands (also reached through the menus and tool bar) ---------------------------------

  /// The main images of the command line: each added (the first selected) with its explicit
  /// output path; without a loaded list afterwards the Tile Images window opens.
  void openCommandLineImages(const std::vector<std::string>& images,
                             const std::map<std::string, std::string>& explicitOutputs);
  /// A file chosen or dropped (see `MainWindowModel::openFile`), then the controls and refresh.
  bool openFile(const std::string& path, bool select);
  /// Files dropped on the window.
  void dropFiles(const std::vector<std::string>& paths);
  void createMosaic();
  void addMainImages();
  void removeMainImage();
  void removeAllMainImages();
  void loadSettingsFile();
  void saveSettings();
  void deleteSettings();
  void chooseSettingsSet(int index);
  void showLanguageDialog();
  void showUserGuide();
  void showAbout();
  /// One tick of the status timer (500 ms).
  void statusTick();

  /// The information refresh: takes every control, asks the model and shows its answer.
  void refreshInformation();

  /// The window's widgets, for tests and screenshots.
  [[nodiscard]] QComboBox* parameterControl(ParameterControl control) const {
    return m_parameters[static_cast<std::size_t>(control)];
  }
  [[nodiscard]] QCheckBox* variantBox(std::size_t index) const { return m_variants[index]; }
  [[nodiscard]] QComboBox* mainImageList() const { return m_mainImages; }
  [[nodiscard]] QComboBox* settingsList() const { return m_settingsList; }
  [[nodiscard]] QComboBox* displayUnitList() const { return m_displayUnit; }
  [[nodiscard]] QLabel* statusLine() const { return m_status; }
  [[nodiscard]] QProgressBar* progressBar() const { return m_progress; }
  [[nodiscard]] QLabel* outputLink() const { return m_output; }
  [[nodiscard]] QLabel* informationText() const { return m_information; }
  [[nodiscard]] QLabel* tileText() const { return m_tileLines; }
  [[nodiscard]] QAction* createAction() const { return m_createAction; }
  [[nodiscard]] QAction* tileImagesAction() const { return m_tileImagesAction; }
  [[nodiscard]] QAction* moreOptionsAction() const { return m_moreOptionsAction; }
  [[nodiscard]] QAction* removeAction() const { return m_removeAction; }
  [[nodiscard]] QAction* removeAllAction() const { return m_removeAllAction; }
  [[nodiscard]] PreviewArea* previewArea() const { return m_preview; }

 protected:
  void closeEvent(QCloseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  // JobControllerHost
  [[nodiscard]] bool windowVisible() const override { return isVisible(); }
  void openTileImagesWindow() override;
  [[nodiscard]] std::optional<PieceSize> askSplitSize(
      const MosaicGeometry& geometry,
      const std::function<bool(const PieceSize&)>& acceptPiece) override;
  void showStatus(const std::string& text, std::uint32_t colour, int progress) override;
  void showPreview(const Foto& image, const std::string& caption) override;
  void showOutput(const std::string& text, bool saved) override;
  void setBusy(bool busy) override;
  void startAutomaticUpdateCheck() override {
    if (m_updateCheck) m_updateCheck();
  }

  void buildActions();
  void buildMenus();
  QWidget* buildParameterPanel();
  QWidget* buildInformationPanel();
  QWidget* buildCentralWidget();
  void restorePlace();
  void savePlace();
  /// Shows the settings in the drop-downs and boxes.
  void fillControls();
  void fillMainImages();
  void fillSettingsList();
  /// The selected main image changed: model, controller, preview, refresh.
  void afterMainImagesChanged(bool selectionChanged);
  void showSelectedPicture();
  void openOutputFolder();

  QtUserDialogs& m_dialogs;
  MosaicJob m_job;
  TileImagesModel m_tiles;
  ProductionStages m_stages;
  SettingsSetsModel m_sets;
  std::unique_ptr<MainWindowModel> m_model;
  std::unique_ptr<JobController> m_controller;

  std::function<void()> m_openTileImages;
  std::function<bool()> m_openMoreOptions;
  SplitSizeDialog m_splitDialog;
  std::function<void()> m_updateCheck;

  QTimer* m_timer = nullptr;
  QComboBox* m_mainImages = nullptr;
  QComboBox* m_settingsList = nullptr;
  QComboBox* m_displayUnit = nullptr;
  std::array<QComboBox*, kParameterControlCount> m_parameters{};
  std::array<QCheckBox*, 5> m_variants{};
  QLabel* m_information = nullptr;
  QLabel* m_tileLines = nullptr;
  QLabel* m_status = nullptr;
  QLabel* m_output = nullptr;
  QProgressBar* m_progress = nullptr;
  PreviewArea* m_preview = nullptr;
  QPushButton* m_createButton = nullptr;
  QWidget* m_parameterPanel = nullptr;

  QAction* m_createAction = nullptr;
  QAction* m_tileImagesAction = nullptr;
  QAction* m_moreOptionsAction = nullptr;
  QAction* m_addAction = nullptr;
  QAction* m_removeAction = nullptr;
  QAction* m_removeAllAction = nullptr;
  QAction* m_loadSettingsAction = nullptr;
  QAction* m_saveSettingsAction = nullptr;
  QAction* m_deleteSettingsAction = nullptr;
  QAction* m_languageAction = nullptr;
  QAction* m_guideAction = nullptr;
  QAction* m_aboutAction = nullptr;
  QAction* m_quitAction = nullptr;

  bool m_busy = false;
  bool m_closeWhenStopped = false;
  bool m_filling = false;
  bool m_refreshedWhileBusy = false;
  int m_lastProgress = -1;
};

}  // namespace tg
