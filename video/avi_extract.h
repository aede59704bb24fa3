// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/comparison_settings.h"
#include "imaging/image_signature.h"
#include "parallel/worker_pool.h"
#include "video/avi_extract_params.h"
#include "video/avi_stream.h"
#include "video/clip_selection.h"

namespace tg {

class AdvancedSettings;
struct Foto;
class SquareSums;

/// Turns a video into tiles: still images evenly spread over a frame range (JPEG and/or BMP),
/// and short clips (AVI) of the longest scenes, optionally with the long still stretches as
/// clips of their own. Every frame is cut to the parameters' rectangle first. Files land in new
/// folders beside the video ("<video>_FRAMES1 Image", "<video>_FRAMES1 Video", ...).
///
/// One object per Tile Images window (or CLI run). The work runs on the object's own worker
/// pool while the caller stays free: `openVideo`, then the parameters (`parameters()`), then
/// `startExtraction`; `statusText`, `progress` and `isRunning` tell how it goes; `stopExtraction`
/// stops it (the clip being written is completed, so only whole files stay).
///
/// Threads: the public operations belong to one thread (the window's or the CLI's);
/// `statusText`, `progress` and `isRunning` may be called from any thread at any time.
class AviExtract {
 public:
  /// What a run is doing, for progress displays.
  enum class Stage : std::uint32_t { Idle, Images, Analysis, StaticClips, Clips };
  struct Progress {
    Stage stage = Stage::Idle;
    std::uint32_t done = 0;
    std::uint32_t total = 0;
  };

  AviExtract();
  /// Stops a running extraction and waits for it.
  ~AviExtract();
  AviExtract(const AviExtract&) = delete;
  AviExtract& operator=(const AviExtract&) = delete;

  /// Stops what runs, prepares the comparison of frames from `advanced` (channel priorities and
  /// the medium detail level), opens the video (status "Load Video...") and presets the
  /// parameters for it (status "Select Parameters..."). False when the video cannot be opened:
  /// the reader's message becomes the status.
  [[nodiscard]] bool openVideo(const std::string& path, const AdvancedSettings& advanced);
  /// The parameters of the next run, preset by `openVideo`; the dialog or the CLI changes them.
  [[nodiscard]] CDialogGetAviParam& parameters() { return m_parameters; }
  /// The open video's frame size and frame count (0 when none is open).
  [[nodiscard]] std::uint32_t videoWidth() const { return m_videoWidth; }
  [[nodiscard]] std::uint32_t videoHeight() const { return m_videoHeight; }
  [[nodiscard]] std::uint32_t frameCount() const { return m_frameCount; }
  /// Frame `frame` of the open video, whole (for the dialog's preview and "Auto"); nothing when
  /// it cannot be read or a run is going on.
  [[nodiscard]] std::unique_ptr<Foto> previewFrame(std::uint32_t frame);

  /// Checks the parameters as OK does (`CDialogGetAviParam::finish`; its message is shown and
  /// false returned), reads the `Extract.*` values and `VideoMosaic.FourCC` from `advanced`,
  /// and starts the run on the pool with `Options.ThreadCount` threads at `Options.Priority`.
  [[nodiscard]] bool startExtraction(AdvancedSettings& advanced);
  /// Status "Stopping...", `resetExtraction`, status "Ready".
  void stopExtraction();
  /// Stops every job (pending ones are dropped, running ones finish their item), closes the
  /// video and forgets the run's data.
  void resetExtraction();
  /// Waits until the run has ended.
  void waitUntilDone();

  [[nodiscard]] bool isRunning() const;
  [[nodiscard]] std::string statusText() const;
  [[nodiscard]] Progress progress() const;

  /// Results of the last run (kept after it ends or is stopped): images saved and images the
  /// range held of those asked for.
  [[nodiscard]] std::uint32_t imagesSaved() const { return m_imagesSaved.load(); }
  [[nodiscard]] std::uint32_t imagesScheduled() const { return m_imagesScheduled.load(); }
  [[nodiscard]] std::uint32_t clipsWritten() const { return m_clipsWritten.load(); }
  [[nodiscard]] std::uint32_t clipsWanted() const { return m_clipsWanted.load(); }
  [[nodiscard]] std::uint32_t errorCount() const { return m_errorCount.load(); }
  /// Clips of the last run written while its frames were still being analysed (see
  /// `spoolClipsJob`); they are among `clipsWritten`.
  [[nodiscard]] std::uint32_t clipsWrittenEarly() const { return m_clipsSpooled.load(); }
  /// Frames that could not be read or cut during the run.
  [[nodiscard]] std::uint32_t unreadFrames() const { return m_unreadFrames.load(); }
  /// The folders the last run created, in the order it created them.
  [[nodiscard]] std::vector<std::string> outputFolders() const;
  /// Those of `outputFolders` that hold clips (the others hold images).
  [[nodiscard]] std::vector<std::string> clipFolders() const;
  /// Whether the last run was stopped (by `stopExtraction` or by too many errors).
  [[nodiscard]] bool wasStopped() const { return m_wasStopped.load(); }

  /// The threshold values of the run, for tests: `Extract.VideoTileThreshold` × 144 and
  /// `Extract.StaticVideoTileThreshold` × 144 (the first raised to the second).
  [[nodiscard]] std::uint32_t videoThreshold() const { return m_videoThreshold; }
  [[nodiscard]] std::uint32_t staticThreshold() const { return m_staticThreshold; }

 private:
  // Failed writes a run survives; one more stops it.
  static constexpr std::uint32_t kMaxErrors = 5;

  struct Clip {
    std::uint32_t start;
    std::uint32_t end;
  };

  void runExtraction(std::string& basePath);
  void extractImageJob(std::uint32_t& unused);
  void analyseFrameJob(std::uint32_t& unused);
  /// Takes the signature of range frame `k` (none when the frame could not be read) and
  /// compares every frame now next in order (lock not held).
  void handInFrame(std::uint32_t k, std::unique_ptr<ImageSignature> signature);
  void compareFrameLocked(std::uint32_t k, std::unique_ptr<ImageSignature> signature);
  void extractClipJob(std::uint32_t& lane);
  /// What writing a clip left: whether its file was placed (the count of files in its folder
  /// went up) and the name of the complete file (empty when none was made).
  struct ClipFile {
    bool placed = false;
    std::string name;
  };
  /// Writes `clip` with `reader` (nothing when it is null) into `folder`, or, when that is
  /// empty, into the folder placed for it at its first frame.
  ClipFile writeClipFile(const Clip& clip, CAviStream* reader, const std::string& folder);
  /// Counts a clip of the clip stage as done (`written`: a complete file) and shows it.
  void finishClip(const Clip& clip, bool written);
  /// Writes `clips` of `kind` in lanes; with `takeSpooled`, clips spooled during the analysis are
  /// moved into place instead.
  void extractClips(const FrameIntervals& clips, const char* kind, bool takeSpooled);

  // Scene clips written during the analysis. When every frame before frame k has met its cut,
  // no scene reaches out of the frames before k: their clips are chosen at once
  // (`chooseStretchClips`) and one job writes them into a hidden spool folder beside the video
  // while the analysis goes on, from the frames its own reader decodes. The clip stage then
  // only moves each spooled clip into the folder placed for it, so names, folders and their
  // order stay as if it had written them. The spool folder goes at the end of every run.
  /// Chooses the clips of frames the analysis has closed since the last call (lock not held).
  void settleClosedFrames();
  void spoolClipsJob(std::uint32_t& unused);
  /// Takes the spooled file of `clip` into the folder placed for it now; false when `clip` was
  /// not spooled.
  bool placeSpooledClip(const Clip& clip);
  /// Removes the spool folder and whatever it still holds.
  void removeSpool();

  /// Reads absolute frame `frame` with `reader` (a clip job's own) cut to the rectangle into
  /// `image`. False with the status message on failure.
  bool readCutFrame(std::uint32_t frame, Foto& image, CAviStream& reader);
  /// Cuts `image` (frame `frame`) to the rectangle; false with the status message.
  bool cutFrame(std::uint32_t frame, Foto& image);
  /// Decodes absolute frame `frame` with the shared reader (lock held); nothing, with the status
  /// message, when there is no such frame.
  CAviStream::HeldFramePtr holdFrameLocked(std::uint32_t frame);
  /// Converts a frame `holdFrameLocked` gave into `image` (all of it, or `part`); false with the
  /// status message.
  bool convertHeldFrame(std::uint32_t frame, CAviStream::HeldFramePtr held, Foto& image,
                        const CAviStream::FramePart* part, SquareSums* sums = nullptr);
  /// The part of a frame a signature is built from (see `CAviStream::convertFrame`).
  [[nodiscard]] CAviStream::FramePart signatureSquare() const;
  struct ImagePaths {
    std::string jpeg;  ///< empty when no JPEG is wanted
    std::string bmp;
  };
  /// Chooses the folders and names of the image of `frame` (lock held).
  ImagePaths placeImageLocked(std::uint32_t frame);
  /// Writes the image of `frame` to `paths` and counts it.
  void saveImage(std::uint32_t frame, const Foto& image, const ImagePaths& paths);
  /// The folder for the next output file of the current kind (lock held).
  std::string placeFileLocked();
  void setKind(const char* kind);
  void countWriteError();
  void setStatus(const std::string& text);
  void setProgress(Stage stage, std::uint32_t done, std::uint32_t total);
  /// "label done/total (Frame# n)..." (no frame part when `frame` is 0).
  static std::string progressLine(const std::string& label, std::uint32_t done, std::uint32_t total,
                                  std::uint32_t frame);

  mutable std::mutex m_lock;
  mutable std::mutex m_statusLock;
  std::string m_statusText;

  CAviStream m_reader;
  std::string m_videoPath;
  std::uint32_t m_videoWidth = 0;
  std::uint32_t m_videoHeight = 0;
  std::uint32_t m_frameCount = 0;
  CDialogGetAviParam m_parameters;
  ComparisonSettings m_comparison;

  std::uint32_t m_videoThreshold = 0;
  std::uint32_t m_staticThreshold = 0;
  std::uint32_t m_minStaticFrames = 0;
  std::uint32_t m_minFrames = 0;
  std::uint32_t m_maxFrames = 0;
  bool m_extractStatic = false;
  std::uint32_t m_fourcc = 0;

  std::atomic<std::uint8_t> m_stopRequested{0};
  std::atomic<bool> m_wasStopped{false};
  std::atomic<bool> m_imagesInAnalysis{false};
  std::atomic<std::uint32_t> m_imagesDone{0};
  std::atomic<std::uint32_t> m_imagesWanted{0};
  std::atomic<std::uint32_t> m_imagesSaved{0};
  std::atomic<std::uint32_t> m_imagesScheduled{0};
  std::atomic<std::uint32_t> m_clipsWritten{0};
  std::atomic<std::uint32_t> m_clipsWanted{0};
  std::atomic<std::uint32_t> m_errorCount{0};
  std::atomic<std::uint32_t> m_unreadFrames{0};
  std::atomic<std::uint32_t> m_clipsSpooled{0};
  std::atomic<std::uint32_t> m_stage{0};
  std::atomic<std::uint32_t> m_stageDone{0};
  std::atomic<std::uint32_t> m_stageTotal{0};

  // Guarded by m_lock.
  std::vector<std::uint32_t> m_imageFrames;  // frames still to save, in order
  std::size_t m_nextImage = 0;
  std::uint32_t m_jobCounter = 0;
  std::uint32_t m_total = 0;
  std::uint32_t m_comparedFrames = 0;  // frames whose comparisons are done
  std::vector<FrameRun> m_frameRuns;
  std::map<std::uint32_t, std::unique_ptr<ImageSignature>> m_openFrames;
  // Frames analysed ahead of the comparisons, by range index.
  std::map<std::uint32_t, std::unique_ptr<ImageSignature>> m_analysedFrames;
  FrameIntervals m_pendingClips;
  // First clip start of every lane of clip jobs, and an end mark.
  std::vector<std::uint32_t> m_laneStarts;
  // Clips written during the analysis (see settleClosedFrames).
  struct SpooledClip {
    std::uint32_t end = 0;
    ClipFile file;
  };
  bool m_spoolClips = false;        // this run writes clips during the analysis
  bool m_takeSpooled = false;       // the clip stage moves spooled clips into place
  std::uint32_t m_closedUpTo = 0;   // every frame before it has met its cut
  std::uint32_t m_settledUpTo = 0;  // the clips of the frames before it are chosen
  FrameIntervals m_earlyClips;      // chosen, not yet taken by the spool job
  bool m_spoolJobRunning = false;
  std::unique_ptr<CAviStream> m_spoolReader;
  std::string m_spoolFolder;
  std::map<std::uint32_t, SpooledClip> m_spooledClips;
  std::string m_basePath;
  std::string m_kindSuffix;
  std::uint32_t m_filesInFolder = 0;
  std::uint32_t m_folderNumber = 1;
  std::string m_folder;
  std::vector<std::string> m_createdFolders;
  std::vector<std::string> m_createdClipFolders;
  bool m_clipKind = false;

  // The pool outlives its groups: declared first, destroyed last.
  WorkerPool m_pool;
  JobGroup m_threadGroup;
  JobGroup m_workGroup;
};

}  // namespace tg
