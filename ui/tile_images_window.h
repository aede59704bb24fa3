// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QTimer>

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;

namespace tg {

class TileImagesModel;

/// The Tile Images window: where the user builds the Tile Images List. A thin view over
/// `TileImagesModel`: the four folder lists and the "All Images" view, Add Folder, Add Image
/// (several files at once), Remove Selected, the black-and-white switch, New/Open/Save/Save As of
/// the list, the status line with the counts, and a progress bar with Stop while the analysis
/// runs. The analysis runs on the window's 100 ms timer in slices of at most 400 ms (the model's
/// pool decodes on every core meanwhile), so the window answers between slices.
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

  /// The controls, for tests and screenshots.
  [[nodiscard]] QComboBox* viewChoice() const { return m_view; }
  [[nodiscard]] QListWidget* entryList() const { return m_entries; }
  [[nodiscard]] QCheckBox* blackAndWhiteBox() const { return m_blackAndWhite; }
  [[nodiscard]] QLabel* statusLabel() const { return m_status; }
  [[nodiscard]] QProgressBar* progressBar() const { return m_progress; }
  [[nodiscard]] QPushButton* button(const char* objectName) const;
  [[nodiscard]] bool analysisTimerActive() const { return m_timer.isActive(); }

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
  /// Refills the entry list and sets every control's state from the model.
  void refresh();
  /// Sets the controls' state (not the entry list) from the model.
  void refreshState();
  void startTimerIfAnalysing();

  TileImagesModel& m_model;
  QTimer m_timer;
  QComboBox* m_view = nullptr;
  QListWidget* m_entries = nullptr;
  QCheckBox* m_blackAndWhite = nullptr;
  QLabel* m_listFile = nullptr;
  QLabel* m_status = nullptr;
  QProgressBar* m_progress = nullptr;
  bool m_inTimer = false;
};

}  // namespace tg
