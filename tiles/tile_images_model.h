// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "job/settings_sets.h"
#include "platform/user_dialogs.h"
#include "tiles/tile_analyser.h"
#include "tiles/tile_images_list.h"

namespace tg {

class WorkerPool;

/// The views of the Tile Images window's folder list: the four folder lists and the read-only
/// "All Images" view of the tiles.
enum class TileListView { Include = 0, Exclude = 1, Required = 2, Video = 3, AllImages = 4 };

/// How the Tile Images window reaches a running video extraction (which shares its pool).
struct VideoExtractionControl {
  std::function<bool()> isRunning;  ///< whether an extraction runs
  std::function<void()> stop;       ///< stops it and returns once it has stopped
};

/// The Tile Images window without the window: it owns the loaded list, its analysis and a
/// long-lived worker pool, and applies the window's rules (Save List and Save List As, the
/// analysis in timer slices, stopping, the questions asked before work is lost, the black and
/// white switch, adding and removing folders). The GUI and the CLI drive it; every message and
/// question goes through `UserDialogs`, so tests script the user's answers.
///
/// It is also the `TileListHost` of settings sets: a set naming another list loads it through
/// `openList`, with the same questions.
///
/// Threads: the window's (or the CLI's) thread only. Analysis jobs run on the model's pool.
class TileImagesModel final : public TileListHost {
 public:
  TileImagesModel();
  ~TileImagesModel() override;
  TileImagesModel(const TileImagesModel&) = delete;
  TileImagesModel& operator=(const TileImagesModel&) = delete;

  /// The loaded list. Change it only while no analysis runs.
  [[nodiscard]] TileImagesList& list() { return m_list; }
  [[nodiscard]] const TileImagesList& list() const { return m_list; }
  /// The window's long-lived pool (for video extraction as well). Lives as long as the model.
  [[nodiscard]] WorkerPool& pool() { return *m_pool; }
  /// The analyser (its long-clip and decode counts describe the last analysis).
  [[nodiscard]] const TileAnalyser& analyser() const { return *m_analyser; }

  /// The number of pool threads an analysis starts (default: the processor count) and their
  /// priority level (default: lowest). 0 threads: the model's thread does all the work.
  void setWorkerThreads(std::uint32_t count, int priority);
  /// The time one `onTimer` slice may analyse (default 400 ms; tests use 0: one tile per slice).
  void setSliceMilliseconds(std::uint32_t milliseconds) { m_sliceMilliseconds = milliseconds; }
  /// The running video extraction to ask about before work is lost (none by default).
  void setVideoExtraction(VideoExtractionControl control) { m_extraction = std::move(control); }
  /// Called with every new status line.
  void setStatusCallback(std::function<void(const std::string&)> callback) {
    m_statusCallback = std::move(callback);
  }
  /// The status line last shown.
  [[nodiscard]] const std::string& statusText() const { return m_status; }
  /// Shows the counts of the list (`tileCountsText`) as the status line.
  void showCounts();

  // ---- Replacing the list -------------------------------------------------------------------

  /// The questions before the list is replaced or the window left: a running video extraction
  /// and a running analysis are offered to be stopped, then an unsaved list ("You did not saved
  /// the Images List...") or, when it is saved but its folders were changed without analysis,
  /// the analysis question is asked. False as soon as the user answers No: nothing changed.
  [[nodiscard]] bool confirmDiscard();
  /// Loads the list at `path` after `confirmDiscard`. A damaged file shows "Error while reading
  /// the Images List!". A list of version 117 or older asks whether to upgrade it: Yes clears its
  /// tiles and starts the Save List As flow, No resets the list. True when a list was loaded.
  bool openList(const std::string& path);
  /// The open dialog ("ImageArchive"), then `openList`.
  bool chooseAndOpenList();
  /// A new, empty list after `confirmDiscard`.
  bool newList();

  // ---- Folder lists ------------------------------------------------------------------------

  /// The Add Folder command on the list of `view` (All Images adds to Include): asks for a folder
  /// and adds it. Video is refused with "Video is not supported on Mac OS X or Linux" where video
  /// is unavailable. True when a folder was added.
  bool addFolderInteractive(TileListView view);
  /// Adds `folder` to the list of `view` without a dialog (same refusal for Video).
  bool addFolderPath(TileListView view, const std::string& folder);
  /// The Add Image command: asks for a JPEG or PNG file and adds it to the list of `view`.
  bool addImageInteractive(TileListView view);
  /// The file dialog of Add Image: profile, JPEG/PNG filter and title (a front end that can
  /// choose several files at once shows it itself and hands the files to `addImagePaths`).
  [[nodiscard]] static OpenFileRequest addImageRequest();
  /// Adds the picture files `paths` (several chosen at once) to the list of `view` (All Images
  /// adds to Include). Empty paths are skipped. True when any was added.
  bool addImagePaths(TileListView view, const std::vector<std::string>& paths);
  /// The lines the folder list shows for `view`: the entries of that folder list, or the tile
  /// paths in list order for All Images.
  [[nodiscard]] std::vector<std::string> viewEntries(TileListView view) const;
  /// Remove Selected: removes the entries `selected` from the list of `view`. In the All Images
  /// view each tile path is removed from Include, else Required, else Video where it is an entry
  /// of its own, else added to Exclude; then "Please save the List to update the shown Images" is
  /// shown.
  void removeSelected(TileListView view, const std::vector<std::string>& selected);

  // ---- Saving and the analysis --------------------------------------------------------------

  /// Save List (`saveAs` false) and Save List As: refused with "Please Add First a Folder to the
  /// Include/Video Folder List using Add Folder button!" without Include and Video folders; a
  /// running analysis is offered to be stopped first. Then the collection is built and the
  /// analysis starts; `onTimer` carries it on and saves at the end. True when it started.
  bool saveList(bool saveAs);
  /// The 100 ms timer: shows the progress line and runs one analysis slice; at the end it saves
  /// the list (asking for a name when needed) and tells the user the outcome. Returns true while
  /// the analysis runs.
  bool onTimer();
  /// Runs `onTimer` until the analysis ends (for the command line). True when the list was saved.
  bool runAnalysisToEnd();
  /// Stops a running analysis without asking: the list stays modified, the analysis outstanding.
  void stopAnalysis();
  [[nodiscard]] bool analysing() const { return m_analysing; }
  /// Folders changed (or an analysis was stopped) since the last complete analysis.
  [[nodiscard]] bool analysisOutstanding() const { return m_outstanding; }
  /// Whether the last analysis ended with a successful save.
  [[nodiscard]] bool lastSaveSucceeded() const { return m_saved; }
  /// The error report of the loaded list when that file exists ("" otherwise): the window
  /// offers to open it after an analysis that could not use every file.
  [[nodiscard]] std::string existingErrorReport() const;

  /// While a mosaic job runs it reads the list: the list may then not change. Every verb that
  /// changes the list or its file refuses quietly while this is set (the window disables them).
  void setJobRunning(bool running) { m_jobRunning = running; }
  [[nodiscard]] bool editable() const { return !m_jobRunning; }

  // ---- Video extraction ----------------------------------------------------------------------

  /// The start of the Extract Video Tiles command, up to the chosen video: refused with "Video is
  /// not supported on Mac OS X or Linux" where video is unavailable (and quietly while a job
  /// runs); a running extraction and a running analysis are offered to be stopped (No ends the
  /// command); then the notice about codecs and the file dialog for the video. The chosen path,
  /// or nothing when the command ends here.
  [[nodiscard]] std::optional<std::string> chooseVideoToExtract();
  /// After a complete extraction: offers to add the folders it made to the list, the image
  /// folders to the Include list and the clip folders to the Video list. Folders already listed
  /// are not added twice. True when the user said Yes and a folder was added.
  bool offerExtractedFolders(const std::vector<std::string>& imageFolders,
                             const std::vector<std::string>& clipFolders);

  /// Where the upgrade of an old list that `openList` started suggests saving it ("" when no
  /// upgrade is pending).
  [[nodiscard]] const std::string& upgradeSavePath() const { return m_suggestedSavePath; }

  /// The black-and-white switch: asks first (a running analysis is offered to be stopped). On
  /// converts every signature; off clears the tiles, which must be analysed again. True when the
  /// switch took the new value.
  bool setBlackAndWhite(bool on);

  // ---- TileListHost -------------------------------------------------------------------------
  [[nodiscard]] std::string loadedListPath() const override { return m_list.filePath; }
  [[nodiscard]] bool hasUnsavedChanges() const override { return m_list.modified; }
  [[nodiscard]] std::size_t tileCount() const override { return m_list.tiles.size(); }
  void loadTileList(const std::string& path) override;

 private:
  void setStatus(const std::string& text);
  bool askToStopAnalysis();
  /// Offers to stop a running extraction, then a running analysis; false on No.
  bool askToStopWork();
  void finishAnalysis();
  bool chooseSavePath(std::string& path);

  TileImagesList m_list;
  std::unique_ptr<WorkerPool> m_pool;
  std::unique_ptr<TileAnalyser> m_analyser;
  VideoExtractionControl m_extraction;
  std::function<void(const std::string&)> m_statusCallback;
  std::string m_status;
  std::string m_suggestedSavePath;
  std::uint32_t m_threads;
  int m_priority;
  std::uint64_t m_startTick = 0;
  std::uint32_t m_sliceMilliseconds = kAnalysisSliceMilliseconds;
  bool m_analysing = false;
  bool m_outstanding = false;
  bool m_saveAs = false;
  bool m_saved = false;
  bool m_jobRunning = false;
};

/// The file-name rule of the save dialog: a name whose extension is not "tg4" (or that has none)
/// gets ".tg4" appended.
[[nodiscard]] std::string withListExtension(const std::string& path);

}  // namespace tg
