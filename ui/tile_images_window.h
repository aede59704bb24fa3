// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QTimer>
#include <memory>

#include "config/advanced_settings.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;

namespace tg {

class AviExtract;
class TileImagesModel;

/// The Tile Images window: where the user builds the Tile Images List. A thin view over
/// `TileImagesModel`: the four folder lists and the "All Images" view, Add Folder, Add Image
/// (several files at once), Remove Selected, the black-and-white switch, New/Open/Save/Save As of
/// the list, the status line with the counts, and a progress bar with Stop while the analysis
/// runs. The analysis runs on the window's 100 ms timer in slices of at most 400 ms (the model's
/// pool decodes on every core meanwhile), so the window answers between slices.
///
/// Extract Video Tiles cuts a video into tiles (`AviExtract`, owned by the window and running
/// on its own pool): the model asks for the video, `VideoExtractDialog` for the parameters, and
/// a 500 ms timer shows the extraction's status line and progress until it ends; Stop stops it.
/// A complete extraction offers its folders to the list.
///
/// Closing the window asks the model's questions before work is lost; No keeps it open. The
/// model outlives the window. Window thread only.
class TileImagesWindow final : public QDialog {
  Q_OBJECT

 public:
  explicit TileImagesWindow(TileImagesModel& model, QWidget* parent = nullptr);
  ~TileImagesWindow() override;

  /// While a mosaic job runs, nothing that changes the list is available.
  void setJobRunning(bool running);
  /// The advanced settings an extraction reads (`Extract.*`, `VideoMosaic.FourCC`,
  /// `Options.ThreadCount`) and "Show Advanced Settings" edits; they must outlive the window.
  /// Without them the window uses default values of its own.
  void setAdvancedSettings(AdvancedSettings* advanced);

  /// The controls, for tests and screenshots.
  [[nodiscard]] QComboBox* viewChoice() const { return m_view; }
  [[nodiscard]] QListWidget* entryList() const { return m_entries; }
  [[nodiscard]] QCheckBox* blackAndWhiteBox() const { return m_blackAndWhite; }
  [[nodiscard]] QLabel* statusLabel() const { return m_status; }
  [[nodiscard]] QProgressBar* progressBar() const { return m_progress; }
  [[nodiscard]] QPushButton* button(const char* objectName) const;
  [[nodiscard]] bool analysisTimerActive() const { return m_timer.isActive(); }
  [[nodiscard]] bool extractionTimerActive() const { return m_extractionTimer.isActive(); }
  /// The interval of the extraction's status timer (500 ms; tests choose a shorter one).
  void setExtractionTimerInterval(int milliseconds) { m_extractionTimer.setInterval(milliseconds); }
  /// The window's extraction (for tests: its results after a run).
  [[nodiscard]] AviExtract& extraction() { return *m_extraction; }

 public slots:
  /// Leaves the window after the model's questions (No keeps it open).
  void reject() override;

 private:
  void addFolder();
  void addImages();
  void removeSelected();
  void saveList(bool saveAs);
  void stopAnalysis();
  void switchBlackAndWhite(bool on);
  void openErrorReport();
  void onTimer();
  /// The Extract Video Tiles command.
  void extractVideo();
  /// The 500 ms timer of a running extraction.
  void onExtractionTimer();
  /// Stops a running extraction and waits for it, answering the questions its jobs ask
  /// meanwhile.
  void stopExtraction();
  [[nodiscard]] bool extracting() const;
  /// Refills the entry list and sets every control's state from the model.
  void refresh();
  /// Sets the controls' state (not the entry list) from the model.
  void refreshState();
  void startTimerIfAnalysing();

  TileImagesModel& m_model;
  AdvancedSettings m_ownAdvanced;
  AdvancedSettings* m_advanced = &m_ownAdvanced;
  std::unique_ptr<AviExtract> m_extraction;
  QTimer m_timer;
  QTimer m_extractionTimer;
  QComboBox* m_view = nullptr;
  QListWidget* m_entries = nullptr;
  QCheckBox* m_blackAndWhite = nullptr;
  QLabel* m_listFile = nullptr;
  QLabel* m_status = nullptr;
  QProgressBar* m_progress = nullptr;
  bool m_inTimer = false;
  bool m_stoppingExtraction = false;
};

}  // namespace tg
