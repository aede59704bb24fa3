// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "job/settings_sets.h"

namespace tg {

class MosaicJob;
class MosaicStages;
class GridStage;
struct Foto;
struct MosaicGeometry;
struct TileImagesList;

/// The window the controller works for. The GUI implements it with its controls; the CLI with
/// terminal output. Every call comes on the thread that calls the controller (the window
/// thread). Default implementations do nothing.
class JobControllerHost {
 public:
  virtual ~JobControllerHost() = default;
  /// Whether the window is visible (parameter errors are shown only then).
  [[nodiscard]] virtual bool windowVisible() const { return true; }
  /// Opens the Tile Images window (no list loaded).
  virtual void openTileImagesWindow() {}
  /// The split dialog for `geometry`: the width and height in pixels of one piece, or nothing
  /// when the user cancelled. `acceptPiece` runs the dialog's OK checks on a proposal and says
  /// whether the dialog may close with it. `SplitDialogModel` (app/split_dialog_model.h) does
  /// the arithmetic between pixels, tiles per piece and numbers of pieces.
  struct PieceSize {
    unsigned width = 0;
    unsigned height = 0;
  };
  [[nodiscard]] virtual std::optional<PieceSize> askSplitSize(
      const MosaicGeometry& geometry, const std::function<bool(const PieceSize&)>& acceptPiece) {
    (void)geometry;
    (void)acceptPiece;
    return std::nullopt;
  }
  /// The status line, its colour and the progress bar position (0..10000).
  virtual void showStatus(const std::string& text, std::uint32_t colour, int progress) {
    (void)text, (void)colour, (void)progress;
  }
  /// A preview image with its caption.
  virtual void showPreview(const Foto& image, const std::string& caption) {
    (void)image, (void)caption;
  }
  /// The output display: "Mosaic in: %s", drawn as saved (blue) or not.
  virtual void showOutput(const std::string& text, bool saved) { (void)text, (void)saved; }
  /// Enables or disables the parameter and settings controls.
  virtual void setBusy(bool busy) { (void)busy; }
};

/// Why `startJob` did not start a job.
enum class StartResult {
  Started,
  JobRunning,         ///< a job still runs (the user was told or asked)
  InvalidParameters,  ///< the parameter rules or the geometry refused the settings
  PreflightDeclined,  ///< the user did not continue after the tile warning
  FormatLimit,        ///< the format refused the size, or the user did not continue
  NoTiles,            ///< no Tile Images List with tiles is loaded
  SplitCancelled,     ///< the split dialog was cancelled
  BlackAndWhiteCancelled,
};

/// Checks a piece size of the split dialog for the chosen format: both sides above 10 and at
/// most 1,000,000 (else "Please insert valid values for the Split Size in Pixels. ..." is shown),
/// and a piece beyond the format's limits only when the user confirms it. Window thread.
[[nodiscard]] bool acceptSplitPiece(const MosaicSettings& settings, unsigned width,
                                    unsigned height);

/// The window side of a mosaic job: the start with every check and question, the stop request,
/// the job thread, and what the window does twice a second while a job runs. No Qt in it. The
/// job, list and stages must outlive the controller. Window thread only, except the job thread
/// procedure, which runs on the thread the controller starts.
class JobController {
 public:
  JobController(MosaicJob& job, TileImagesList& list, MosaicStages& stages, GridStage& grid,
                JobControllerHost& host, SettingsFiles files = {});
  /// Waits for a running job thread (after asking it to stop).
  ~JobController();
  JobController(const JobController&) = delete;
  JobController& operator=(const JobController&) = delete;

  /// The Create Mosaic command for `mainImages` (in order). Each refusal leaves the job and the
  /// settings as they were and returns why.
  [[nodiscard]] StartResult startJob(const std::vector<std::string>& mainImages);
  /// True when no job runs; otherwise tells or asks the user and, when confirmed, sets the stop
  /// flag, and returns false.
  [[nodiscard]] bool requestStop();
  /// Sets the stop flag without asking (Ctrl-C of the CLI).
  void forceStop();
  /// One tick of the 500 ms status timer: the status line, colour and progress; the newest
  /// preview (a caption without image is a message); after a completed mosaic the output
  /// display; and once the job thread has ended, the tile-load failure message and
  /// `Options.FinalAction`. A completion seen while the thread still runs is kept until the
  /// thread has ended, so the final action is never lost to the thread's last steps.
  void statusTick();
  /// Whether a job thread exists.
  [[nodiscard]] bool running() const { return m_threadActive.load(); }
  /// Whether `runJob` executes now.
  [[nodiscard]] bool busy() const { return m_busy.load(); }
  /// Waits for the job thread to end (the CLI; the window polls instead).
  void wait();
  /// The main image selected in the window changed: its output display is shown (and refreshed
  /// after each completed mosaic, whose final action opens its folder).
  void selectMainImage(const std::string& mainImagePath);
  /// The output display text of `mainImagePath` and whether its mosaic was saved.
  [[nodiscard]] std::pair<std::string, bool> outputDisplay(const std::string& mainImagePath) const;
  /// The folder the output display's link opens for `mainImagePath`: the folder its last mosaic
  /// went to, else the folder its next mosaic will go to ("" for a path shorter than 5 characters).
  [[nodiscard]] std::string outputFolder(const std::string& mainImagePath) const;
  /// Tile images that failed to load during the last job (reported after it ends).
  [[nodiscard]] long tileLoadFailures() const;
  /// Whether a completed job runs `Options.FinalAction` (the CLI prints the folder instead).
  void setFinalActionEnabled(bool enabled) { m_finalAction = enabled; }
  /// How many ticks ran.
  [[nodiscard]] std::uint64_t tickCount() const { return m_ticks; }

 private:
  void threadProcedure();

  MosaicJob& m_job;
  TileImagesList& m_list;
  MosaicStages& m_stages;
  GridStage& m_grid;
  JobControllerHost& m_host;
  SettingsFiles m_files;
  std::thread m_thread;
  std::atomic<bool> m_threadActive{false};
  std::atomic<bool> m_busy{false};
  std::uint64_t m_ticks = 0;
  std::string m_selectedImage;
  bool m_finalAction = true;
  bool m_completionPending = false;
};

/// The extension of `FileFormat` shown in the output display (".jpg", ".tiff", ...; ".error"
/// for an unknown id).
[[nodiscard]] std::string displayExtension(long fileFormat);

}  // namespace tg
