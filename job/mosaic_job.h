// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "imaging/foto.h"
#include "job/mosaic_settings.h"
#include "job/output_names.h"
#include "job/progress_tracker.h"

namespace tg {

/// One file written for the current mosaic (a split mosaic writes several). Filled by the
/// renderer's piece saver; the web page links the first.
struct SavedPiece {
  std::int64_t x = 0;              ///< left of the piece in the mosaic, in pixels
  std::int64_t y = 0;              ///< top of the piece in the mosaic
  std::int64_t width = 0;          ///< piece width in pixels
  std::int64_t height = 0;         ///< piece height in pixels
  std::string directory;           ///< folder of the file, without the trailing '/'
  std::string directorySeparator;  ///< the same folder with the trailing '/'
  std::string name;                ///< file name without extension
  std::string path;                ///< full path with extension
};

/// Where the mosaic of one main image went: shown by the window after the mosaic is complete.
struct OutputRecord {
  std::string directory;  ///< output folder
  std::string base;       ///< output path without extension
  bool saved = false;     ///< the mosaic file was written
};

/// The window's status line: the text and the overall percentage of the job (0-100).
struct StatusLine {
  std::string text;
  double percent = 0;
};

/// A preview image (or none) with its caption, handed from the job to the window.
struct Preview {
  std::unique_ptr<Foto> image;  ///< may be null: then a non-empty caption is a message
  std::string caption;
};

/// Status colour of the driver's own texts (black).
inline constexpr std::uint32_t kStatusColourNormal = 0;
/// Status colour of parameter errors set by the window (dark red).
inline constexpr std::uint32_t kStatusColourError = 190;

/// The mosaic job: its parameters, its inputs, the working data of the mosaic being built, its
/// results and the state it publishes to the window. One instance lives as long as the window.
///
/// Threads. The window thread fills the public parameters and inputs while no job runs (the
/// window keeps its controls disabled while one does) and reads the published state through the
/// window-side calls. The job thread runs `runJob`, which owns the public working data while it
/// runs. Stage code on the job thread and on worker threads reports through the job-side calls.
/// Every published value is read and written under the job lock, held for a few statements only
/// and never while a stage runs; the stop flag is one atomic 32-bit value read without the lock.
class MosaicJob {
 public:
  using Clock = std::function<std::uint64_t()>;

  MosaicJob();
  ~MosaicJob();
  MosaicJob(const MosaicJob&) = delete;
  MosaicJob& operator=(const MosaicJob&) = delete;

  // --- Parameters (written by the window while no job runs) --------------------------------
  MosaicSettings settings;
  /// Threads of the parallel stages (`workerThreadCount`); the job thread is one of them.
  std::uint32_t threadCount = 1;
  /// Priority level of their worker threads (`workerPriority`).
  int workerPriority = -2;

  // --- Inputs -------------------------------------------------------------------------------
  /// Main images still to do, first in first out; the job removes the head as it goes.
  std::deque<std::string> mainImages;
  /// Explicit output paths by main image path (from the command line); kept across jobs.
  std::map<std::string, std::string> explicitOutputs;
  /// The mask file chosen during this job when none lies beside a main image; emptied at start.
  std::string rememberedMaskFile;

  // --- Working data of the current mosaic (job thread) ---------------------------------------
  std::string currentImage;     ///< path of the main image being built
  std::string currentMaskFile;  ///< mask file of the current mosaic (MaskFile mode), else empty
  Foto mainImage;               ///< the loaded main image; released before rendering
  std::uint32_t mainImageWidth = 0;  ///< its size, kept after it is released
  std::uint32_t mainImageHeight = 0;
  std::size_t cellCount = 0;            ///< cells of the grid after placement
  OutputNames outputNames;              ///< where the current mosaic goes
  std::vector<SavedPiece> savedPieces;  ///< files written for the current mosaic

  // --- Job side: called by the driver and the stages (any thread; each takes the lock) -------
  /// Publishes `text` (cut to 255 UTF-16 units, never inside a character) and its colour.
  void setStatus(const std::string& text, std::uint32_t colour = kStatusColourNormal);
  /// Ends the current stage and begins `stage`; a `maximum` above 0 becomes its range.
  void beginStage(ProgressStage stage, double maximum);
  /// Completes the current stage.
  void endStage();
  /// Advances the current stage by `amount` (safe from worker threads).
  void addProgress(std::uint32_t amount);
  /// Moves the listed stages' progress and time into stage 7 (before the second pass).
  void mergeStagesIntoLast(std::initializer_list<ProgressStage> stages);
  /// Sets the weight of stage 7 (0 when no split pass follows).
  void setLastStageWeight(double weight);
  /// Back to the start of a mosaic (see `ProgressTracker::reset`).
  void resetProgress();
  /// A copy of the tracker, brought up to date (for tests and diagnostics).
  [[nodiscard]] ProgressTracker progress();
  /// True once a stop was requested. Every long loop polls it and returns failure when set.
  [[nodiscard]] bool stopRequested() const { return m_stop.load() != 0; }
  /// The stop flag itself, for code that polls it without the job (the web page writer).
  [[nodiscard]] const std::atomic<std::uint32_t>& stopFlag() const { return m_stop; }
  /// Queues a preview (image may be null) with its caption for the window.
  void postPreview(std::unique_ptr<Foto> image, const std::string& caption);

  // --- Window side (any thread; each takes the lock) ------------------------------------------
  /// The status text with the stage percentage, the mosaic counter, the overall percentage and
  /// the elapsed job time, and the overall percentage of the whole job.
  [[nodiscard]] StatusLine statusLine();
  /// The colour of the status text.
  [[nodiscard]] std::uint32_t statusColour() const;
  /// The status text as the last `setStatus` left it.
  [[nodiscard]] std::string statusText() const;
  /// The mosaic-completed flag; reading it clears it.
  [[nodiscard]] bool takeCompletedFlag();
  /// Removes and returns the most recently queued preview, if any.
  [[nodiscard]] std::optional<Preview> takePreview();
  /// Sets (or clears, before a start) the stop flag.
  void setStopRequest(bool stop) { m_stop.store(stop ? 1u : 0u); }
  /// The output names of `mainImagePath`'s mosaic with `prefix`, from the settings and the
  /// explicit output paths (see the free `composeOutputNames`).
  [[nodiscard]] OutputNames composeOutputNames(const std::string& prefix,
                                               const std::string& mainImagePath,
                                               bool createFolders) const;
  /// The output rules of the current settings.
  [[nodiscard]] OutputNameRules outputNameRules() const;

  /// The output record of one main image, if its mosaic was begun in this job.
  [[nodiscard]] std::optional<OutputRecord> outputRecord(const std::string& mainImagePath) const;
  /// Every output record, by main image path.
  [[nodiscard]] std::map<std::string, OutputRecord> outputRecords() const;
  /// Forgets the output records (at each start).
  void clearOutputRecords();

  /// Mosaics completed in the current (or last) job.
  [[nodiscard]] long completedCount() const;
  /// Mosaics the current (or last) job makes.
  [[nodiscard]] long totalCount() const;
  /// Milliseconds of the job so far (or of the last job).
  [[nodiscard]] std::uint64_t elapsedMilliseconds() const;

  // --- Driver bookkeeping (job thread; each takes the lock) ----------------------------------
  /// Starts the job's counters and timer for `total` mosaics.
  void beginJob(long total);
  /// Multiplies the total by the number of mask files.
  void multiplyTotal(long factor);
  /// Marks the start of a mosaic: resets the tracker; the counter now shows this mosaic.
  void beginMosaic();
  /// Counts a finished mosaic and sets the completed flag.
  void completeMosaic();
  /// Sets the completed flag.
  void raiseCompletedFlag();
  /// Records the output names of `mainImagePath` (saved flag false).
  void recordOutput(const std::string& mainImagePath, const OutputNames& names);
  /// Stores the saved flag of `mainImagePath`'s record.
  void recordSaved(const std::string& mainImagePath, bool saved);
  /// Stops the job timer; no mosaic counts as being built any more.
  void endJob();

  /// Replaces the millisecond clock (tests); the default is the steady clock.
  void setClock(Clock clock);

 private:
  [[nodiscard]] std::uint64_t now() const;

  mutable std::mutex m_lock;
  std::atomic<std::uint32_t> m_stop{0};
  Clock m_clock;

  std::string m_statusText;
  std::uint32_t m_statusColour = kStatusColourNormal;
  bool m_completedFlag = false;
  ProgressTracker m_tracker;
  long m_completed = 0;
  long m_total = 0;
  bool m_building = false;
  std::uint64_t m_timerStart = 0;
  std::uint64_t m_timerAccumulated = 0;
  bool m_timerRunning = false;
  std::vector<Preview> m_previews;
  std::map<std::string, OutputRecord> m_outputRecords;
};

/// `text` cut to at most `units` UTF-16 code units, never inside a character.
[[nodiscard]] std::string cutToUtf16Units(const std::string& text, std::size_t units);

}  // namespace tg
