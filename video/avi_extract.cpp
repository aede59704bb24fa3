// SPDX-License-Identifier: GPL-3.0-or-later
#include "video/avi_extract.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <optional>
#include <system_error>
#include <thread>

#include "config/advanced_settings.h"
#include "engine/tile_distance.h"
#include "imaging/foto.h"
#include "imaging/frame_bitmap.h"
#include "output/bmp_writer.h"
#include "output/jpeg_writer.h"
#include "output/row_source.h"
#include "parallel/worker_settings.h"
#include "platform/catalogue.h"
#include "platform/paths.h"
#include "platform/text_format.h"
#include "platform/user_dialogs.h"
#include "video/four_cc.h"
#include "video/square_sums.h"

namespace tg {
namespace {

constexpr std::uint32_t kFilesPerFolder = 2000;
constexpr std::uint32_t kMaxFolderNumber = 1000;
constexpr std::uint32_t kMaxFrameSetting = 100000;
constexpr std::uint32_t kSignatureScale = 144;
// Boxes along a side of a signature's thumbnail.
constexpr std::uint32_t kThumbnailBoxes = 12;
// Resolution written into extracted JPEG images (dots per inch).
constexpr unsigned kImageResolution = 72;

constexpr const char* kKindImage = N_(" Image");
constexpr const char* kKindStaticVideo = N_(" Static Video");
constexpr const char* kKindVideo = N_(" Video");

std::uint32_t limitedSetting(long value) {
  // A negative value read as unsigned is huge, so it is limited too.
  const auto asUnsigned = static_cast<std::uint32_t>(value);
  return asUnsigned > kMaxFrameSetting ? kMaxFrameSetting : asUnsigned;
}

}  // namespace

AviExtract::AviExtract() : m_threadGroup(m_pool, false), m_workGroup(m_pool, true) {}

AviExtract::~AviExtract() { resetExtraction(); }

std::string AviExtract::progressLine(const std::string& label, std::uint32_t done,
                                     std::uint32_t total, std::uint32_t frame) {
  std::string line = label + formatText("%d/%d", static_cast<int>(done), static_cast<int>(total));
  if (frame > 0) line += " (" + formatText(tr("Frame# %d"), static_cast<int>(frame)) + ")";
  return line + "...";
}

void AviExtract::setStatus(const std::string& text) {
  std::lock_guard guard(m_statusLock);
  m_statusText = text;
}

std::string AviExtract::statusText() const {
  std::lock_guard guard(m_statusLock);
  return m_statusText;
}

void AviExtract::setProgress(Stage stage, std::uint32_t done, std::uint32_t total) {
  m_stage = static_cast<std::uint32_t>(stage);
  m_stageDone = done;
  m_stageTotal = total;
}

AviExtract::Progress AviExtract::progress() const {
  return Progress{static_cast<Stage>(m_stage.load()), m_stageDone.load(), m_stageTotal.load()};
}

std::vector<std::string> AviExtract::outputFolders() const {
  std::lock_guard guard(m_lock);
  return m_createdFolders;
}

std::vector<std::string> AviExtract::clipFolders() const {
  std::lock_guard guard(m_lock);
  return m_createdClipFolders;
}

bool AviExtract::isRunning() const { return m_threadGroup.isBusy(); }

void AviExtract::waitUntilDone() {
  while (isRunning()) std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

bool AviExtract::openVideo(const std::string& path, const AdvancedSettings& advanced) {
  stopExtraction();
  m_comparison = comparisonSettings();
  configureComparisonForExtraction(advanced, m_comparison);
  // Frames are compared as they are: no mirrored or turned variants.
  m_comparison.variantBits = kVariantBitOriginal;

  setStatus(tr("Load Video..."));
  std::lock_guard guard(m_lock);
  // The shared reader decodes long runs of frames: let the decoder use its own threads.
  m_reader.setDecoderThreads(0);
  if (!m_reader.open(path)) {
    setStatus(m_reader.message());
    m_videoWidth = m_videoHeight = m_frameCount = 0;
    return false;
  }
  m_videoPath = path;
  m_videoWidth = static_cast<std::uint32_t>(m_reader.width());
  m_videoHeight = static_cast<std::uint32_t>(m_reader.height());
  m_frameCount = m_reader.frameCount();
  m_parameters.prepare(m_videoWidth, m_videoHeight, m_frameCount);
  setStatus(tr("Select Parameters..."));
  return true;
}

std::unique_ptr<Foto> AviExtract::previewFrame(std::uint32_t frame) {
  if (isRunning()) return nullptr;
  std::lock_guard guard(m_lock);
  const std::uint8_t* bitmap = m_reader.frame(frame);
  if (bitmap == nullptr) return nullptr;
  auto image = std::make_unique<Foto>();
  if (!frameToFoto(bitmap, m_reader.frameBytes(), *image)) return nullptr;
  return image;
}

bool AviExtract::startExtraction(AdvancedSettings& advanced) {
  if (!m_reader.isOpen() || isRunning()) return false;
  if (const auto problem = m_parameters.finish(m_videoWidth, m_videoHeight, m_frameCount)) {
    showMessage(*problem, Buttons::Ok, Icon::Exclamation);
    return false;
  }
  m_videoThreshold = static_cast<std::uint32_t>(advanced.rowLong(AdvancedRow::VideoTileThreshold) *
                                                kSignatureScale);
  m_staticThreshold = static_cast<std::uint32_t>(
      advanced.rowLong(AdvancedRow::StaticVideoTileThreshold) * kSignatureScale);
  if (m_videoThreshold < m_staticThreshold) m_videoThreshold = m_staticThreshold;
  m_minStaticFrames = limitedSetting(advanced.rowLong(AdvancedRow::MinimumFrameCountForStaticTile));
  m_minFrames = limitedSetting(advanced.rowLong(AdvancedRow::ExtractMinFrameCount));
  m_maxFrames = limitedSetting(advanced.rowLong(AdvancedRow::ExtractMaxFrameCount));
  m_extractStatic = advanced.rowYes(AdvancedRow::ExtractStaticVideo);
  m_fourcc = fourCCFromText(advanced.rowValue(AdvancedRow::FourCC));

  // basePath: the video's path without its extension.
  std::string basePath = m_videoPath;
  const std::size_t dot = basePath.rfind('.');
  const std::size_t separator = basePath.rfind(kPathSeparator);
  if (dot != std::string::npos && (separator == std::string::npos || dot > separator)) {
    basePath.resize(dot);
  }
  m_wasStopped = false;
  m_threadGroup.submit(makeParallelJob(this, &AviExtract::runExtraction, basePath));
  m_pool.setThreadCount(workerThreadCount(advanced), workerPriority(advanced));
  return true;
}

void AviExtract::stopExtraction() {
  setStatus(tr("Stopping..."));
  resetExtraction();
  setStatus(tr("Ready"));
}

void AviExtract::resetExtraction() {
  if (isRunning()) m_wasStopped = true;
  m_stopRequested = 1;
  m_threadGroup.cancel();
  m_workGroup.cancel();
  m_pool.setThreadCount(0, kPriorityNormal);
  {
    std::lock_guard guard(m_lock);
    m_reader.close();
    m_laneStarts.clear();
    m_imagesDone = 0;
    m_imagesWanted = 0;
    m_jobCounter = 0;
    m_total = 0;
    m_pendingClips.clear();
    m_openFrames.clear();
    m_frameRuns.clear();
    m_imageFrames.clear();
    m_analysedFrames.clear();
  }
  removeSpool();
  setProgress(Stage::Idle, 0, 0);
  m_stopRequested = 0;
}

// ---- Output files ------------------------------------------------------------------------------

void AviExtract::setKind(const char* kind) {
  std::lock_guard guard(m_lock);
  m_kindSuffix = tr(kind);
  m_clipKind = kind != kKindImage;
  m_filesInFolder = 0;
}

std::string AviExtract::placeFileLocked() {
  if (m_filesInFolder == 0 || m_filesInFolder >= kFilesPerFolder) {
    std::error_code error;
    for (;;) {
      m_folder = m_basePath + "_" + tr("FRAMES") + std::to_string(m_folderNumber) + m_kindSuffix;
      if (!std::filesystem::exists(m_folder, error) || m_folderNumber >= kMaxFolderNumber) break;
      ++m_folderNumber;
    }
    // A folder that cannot be made shows up as failed writes, which are counted.
    if (std::filesystem::create_directory(m_folder, error)) {
      m_createdFolders.push_back(m_folder);
      if (m_clipKind) m_createdClipFolders.push_back(m_folder);
    }
    m_filesInFolder = 0;
  }
  ++m_filesInFolder;
  return m_folder + kPathSeparator;
}

void AviExtract::countWriteError() {
  if (++m_errorCount > kMaxErrors && m_stopRequested.exchange(1) == 0) {
    m_wasStopped = true;
    showMessage(tr("Too many Errors"), Buttons::Ok, Icon::Exclamation);
  }
}

// ---- Frames ------------------------------------------------------------------------------------

CAviStream::FramePart AviExtract::signatureSquare() const {
  // The centred square of the cut rectangle, one more pixel each way where it starts on half a
  // pixel, in the frame's pixels.
  const CDialogGetAviParam& p = m_parameters;
  const std::uint32_t side = std::min(p.width, p.height);
  return CAviStream::FramePart{p.left + (p.width - side) / 2, p.top + (p.height - side) / 2,
                               side + 1, side + 1};
}

bool AviExtract::cutFrame(std::uint32_t frame, Foto& image) {
  const CDialogGetAviParam& p = m_parameters;
  if (p.left == 0 && p.top == 0 && p.width == image.width && p.height == image.height) return true;
  if (resampleInPlace(image, p.width, p.height, p.width, p.height, p.left, p.top)) return true;
  setStatus(formatText(tr("Unable to read frame nr.%d. Error %d"), static_cast<int>(frame + 1), 4));
  ++m_unreadFrames;
  return false;
}

bool AviExtract::readCutFrame(std::uint32_t frame, Foto& image, CAviStream& reader) {
  if (!reader.frameImage(frame, image)) {
    setStatus(
        formatText(tr("Unable to read frame nr.%d. Error %d"), static_cast<int>(frame + 1), 1));
    ++m_unreadFrames;
    return false;
  }
  return cutFrame(frame, image);
}

// ---- The run -----------------------------------------------------------------------------------

void AviExtract::runExtraction(std::string& basePath) {
  setStatus(tr("Select Parameters..."));
  // Clips spooled during the analysis that the run did not move into place go with the spool
  // folder however the run ends (its jobs are all done by then).
  struct SpoolRemover {
    AviExtract* extract;
    ~SpoolRemover() { extract->removeSpool(); }
  } spoolRemover{this};
  {
    std::lock_guard guard(m_lock);
    m_filesInFolder = 0;
    m_folderNumber = 1;
    m_basePath = basePath;
    m_createdFolders.clear();
    m_createdClipFolders.clear();
  }
  m_errorCount = 0;
  m_unreadFrames = 0;
  m_clipsWritten = 0;
  m_clipsWanted = 0;
  m_clipsSpooled = 0;
  m_imagesSaved = 0;
  m_imagesScheduled = 0;
  m_imagesInAnalysis = false;
  if (m_reader.frameCount() == 0) return;
  const std::uint32_t first = m_parameters.firstFrame;
  const std::uint32_t last = std::min(m_parameters.lastFrame, m_reader.frameCount() - 1);
  if (first > last) return;

  if (m_parameters.saveJpeg != 0 || m_parameters.saveBmp != 0) {
    setKind(kKindImage);
    const auto wanted = static_cast<std::uint32_t>(std::max(m_parameters.imageCount, 1));
    const double step = std::max(1.0, static_cast<double>(last - first + 1) / wanted);
    std::vector<std::uint32_t> frames;
    double position = first;
    for (std::uint32_t i = 0; i < wanted && position <= last; ++i) {
      frames.push_back(static_cast<std::uint32_t>(position));
      position += step;
    }
    {
      std::lock_guard guard(m_lock);
      m_imageFrames = frames;
      m_nextImage = 0;
      m_imagesWanted = wanted;
      m_imagesDone = 0;
    }
    m_imagesScheduled = static_cast<std::uint32_t>(frames.size());
    // With clips, every frame of the range is decoded for the analysis anyway: the images are
    // saved there from the frames it reads, instead of decoding the range twice. The files
    // are the same.
    m_imagesInAnalysis = m_parameters.extractClips != 0;
    if (!m_imagesInAnalysis) {
      setProgress(Stage::Images, 0, wanted);
      for (std::uint32_t frame : frames) {
        if (m_stopRequested) break;
        m_workGroup.submit(makeParallelJob(this, &AviExtract::extractImageJob, frame));
      }
      m_workGroup.waitIdle();
      setStatus(formatText(trn("Extracted %d Images.", "Extracted %d Images.", m_imagesDone),
                           static_cast<int>(m_imagesDone)));
    }
  }
  if (m_parameters.extractClips == 0 || m_stopRequested) return;

  const std::uint32_t count = last - first + 1;
  {
    std::lock_guard guard(m_lock);
    m_jobCounter = 0;
    m_comparedFrames = 0;
    m_total = count;
    m_frameRuns.assign(count, FrameRun{});
    m_openFrames.clear();
    m_analysedFrames.clear();
    // Clips are written during the analysis only where a second thread can write them while
    // the first goes on analysing.
    m_spoolClips = m_pool.wantedThreadCount() >= 2;
    m_closedUpTo = 0;
    m_settledUpTo = 0;
  }
  setProgress(Stage::Analysis, 0, count);
  for (std::uint32_t k = 0; k < count; ++k) {
    if (m_stopRequested) break;
    m_workGroup.submit(makeParallelJob(this, &AviExtract::analyseFrameJob, k));
  }
  m_workGroup.waitIdle();
  if (m_imagesInAnalysis && !m_stopRequested) {
    setStatus(formatText(trn("Extracted %d Images.", "Extracted %d Images.", m_imagesDone),
                         static_cast<int>(m_imagesDone)));
  }
  if (m_stopRequested) return;

  std::vector<FrameRun> runs;
  {
    std::lock_guard guard(m_lock);
    runs.swap(m_frameRuns);
    m_openFrames.clear();
  }
  const FrameIntervals staticRuns = findStaticRuns(runs, m_minStaticFrames);
  setStatus(tr("Select VideoTiles to Extract..."));
  cutScenesAtStaticRuns(runs, staticRuns, m_minFrames);
  const FrameIntervals clips = chooseSceneClips(runs, m_minFrames, m_maxFrames);
  runs.clear();

  if (m_extractStatic) {
    // A static run [first, last] is written as the clip [first, last): up to its last frame.
    FrameIntervals staticClips;
    for (const auto& [lastFrame, firstFrame] : staticRuns) staticClips[firstFrame] = lastFrame;
    setProgress(Stage::StaticClips, 0, static_cast<std::uint32_t>(staticClips.size()));
    extractClips(staticClips, kKindStaticVideo, false);
    if (m_stopRequested) return;
  }
  setProgress(Stage::Clips, 0, static_cast<std::uint32_t>(clips.size()));
  extractClips(clips, kKindVideo, true);
  if (!m_stopRequested) {
    std::lock_guard guard(m_lock);
    setStatus(
        formatText(trn("Extracted %d Video Clips.", "Extracted %d Video Clips.", m_jobCounter),
                   static_cast<int>(m_jobCounter)));
  }
}

CAviStream::HeldFramePtr AviExtract::holdFrameLocked(std::uint32_t frame) {
  CAviStream::HeldFramePtr held = m_reader.holdFrame(frame);
  if (held) return held;
  setStatus(formatText(tr("Unable to read frame nr.%d. Error %d"), static_cast<int>(frame + 1), 1));
  ++m_unreadFrames;
  return nullptr;
}

bool AviExtract::convertHeldFrame(std::uint32_t frame, CAviStream::HeldFramePtr held, Foto& image,
                                  const CAviStream::FramePart* part, SquareSums* sums) {
  if (CAviStream::convertFrame(*held, image, part, sums)) return true;
  setStatus(formatText(tr("Unable to read frame nr.%d. Error %d"), static_cast<int>(frame + 1), 2));
  ++m_unreadFrames;
  return false;
}

// The group runs the latest job first, so image jobs take their frames from the ordered list
// instead of their payload: the shared reader then only ever moves forward. Only decoding and
// conversion run under the lock; cutting and writing run outside it.
void AviExtract::extractImageJob(std::uint32_t& /*frame*/) {
  if (m_stopRequested) return;
  std::uint32_t frame = 0;
  // Each thread keeps its picture: a frame of the same size reuses the pixels.
  thread_local Foto image;
  ImagePaths paths;
  CAviStream::HeldFramePtr held;
  {
    std::lock_guard guard(m_lock);
    if (m_nextImage >= m_imageFrames.size()) return;
    frame = m_imageFrames[m_nextImage++];
    held = holdFrameLocked(frame);
    if (!held) return;
    paths = placeImageLocked(frame);
  }
  if (convertHeldFrame(frame, std::move(held), image, nullptr) && cutFrame(frame, image)) {
    saveImage(frame, image, paths);
  }
}

// The files are placed in frame order, while the frame is taken: the folders then hold the
// images of consecutive frames however the jobs overtake each other later.
AviExtract::ImagePaths AviExtract::placeImageLocked(std::uint32_t frame) {
  ImagePaths paths;
  const std::string& prefix = m_parameters.filePrefix;
  if (m_parameters.saveJpeg != 0) {
    paths.jpeg = placeFileLocked() + formatText("%s%06d.jpg", prefix, static_cast<int>(frame + 1));
  }
  if (m_parameters.saveBmp != 0) {
    paths.bmp = placeFileLocked() + formatText("%s%06d.bmp", prefix, static_cast<int>(frame + 1));
  }
  return paths;
}

void AviExtract::saveImage(std::uint32_t frame, const Foto& image, const ImagePaths& paths) {
  bool failed = false;
  if (!paths.jpeg.empty()) {
    if (!writeJpegImage(paths.jpeg, image, m_parameters.jpegQuality, kImageResolution)) {
      failed = true;
      countWriteError();
    }
  }
  if (!paths.bmp.empty()) {
    if (!writeBmpImage(image, paths.bmp)) {
      failed = true;
      countWriteError();
    }
  }
  if (m_errorCount < kMaxErrors + 1) {
    if (!failed) {
      ++m_imagesDone;
      ++m_imagesSaved;
    }
    if (!m_imagesInAnalysis) setProgress(Stage::Images, m_imagesDone, m_imagesWanted);
    setStatus(progressLine(tr("Extract Image#"), m_imagesDone, m_imagesWanted, frame + 1));
  }
}

// Frames are read and turned into signatures in parallel but compared strictly in frame order:
// a job draws the next frame number and reads that frame in one step under the lock (so the
// shared reader moves forward only), then hands the signature in.
void AviExtract::analyseFrameJob(std::uint32_t& /*unused*/) {
  if (m_stopRequested) return;
  const std::uint32_t first = m_parameters.firstFrame;
  std::uint32_t k = 0;
  thread_local Foto image;
  CAviStream::HeldFramePtr held;
  bool isImage = false;
  ImagePaths paths;
  {
    std::lock_guard guard(m_lock);
    k = m_jobCounter++;
    held = holdFrameLocked(first + k);
    const bool read = held != nullptr;
    // Images wanted from this frame (when they are saved during the analysis).
    while (m_imagesInAnalysis && m_nextImage < m_imageFrames.size() &&
           m_imageFrames[m_nextImage] <= first + k) {
      isImage = m_imageFrames[m_nextImage++] == first + k;
    }
    isImage = isImage && read;
    if (isImage) paths = placeImageLocked(first + k);
  }
  // Only the decoding runs under the lock. A frame saved as an image is converted whole; of the
  // others only the square the signature is taken from, which gives the same signature. Where
  // the thumbnail divides that square into whole pixels, its boxes are summed during the
  // conversion, which gives the signature the resampling would, without the cut.
  const CDialogGetAviParam& p = m_parameters;
  const CAviStream::FramePart square = signatureSquare();
  std::optional<SquareSums> sums;
  std::uint32_t squareX = 0;
  std::uint32_t squareY = 0;
  std::uint32_t box = 0;
  if (SquareSums::signatureSquare(p.left, p.top, p.width, p.height, squareX, squareY, box)) {
    sums.emplace(squareX, squareY, box, kThumbnailBoxes);
  }
  const bool read = held && convertHeldFrame(first + k, std::move(held), image,
                                             isImage ? nullptr : &square, sums ? &*sums : nullptr);
  std::unique_ptr<ImageSignature> signature;
  if (read) {
    signature = std::make_unique<ImageSignature>();
    const bool summed = sums && sums->signature(*signature);
    if (isImage || !summed) {
      if (cutFrame(first + k, image) && !image.empty()) {
        if (isImage) saveImage(first + k, image, paths);
        if (!summed && !buildSignature(image, true, *signature)) signature.reset();
      } else {
        signature.reset();
      }
    }
  }

  handInFrame(k, std::move(signature));
}

// Signatures are handed in as their frames are done, in any order; whoever hands in the frame
// next in order compares it, and every later frame already handed in. So no job ever waits
// for another (a job saving an image would otherwise hold up the next ones).
void AviExtract::handInFrame(std::uint32_t k, std::unique_ptr<ImageSignature> signature) {
  std::uint32_t compared = 0;
  {
    std::lock_guard guard(m_lock);
    if (m_stopRequested) return;
    m_analysedFrames.emplace(k, std::move(signature));
    for (auto next = m_analysedFrames.find(m_comparedFrames); next != m_analysedFrames.end();
         next = m_analysedFrames.find(m_comparedFrames)) {
      compareFrameLocked(next->first, std::move(next->second));
      m_analysedFrames.erase(next);
      ++m_comparedFrames;
    }
    compared = m_comparedFrames;
  }
  settleClosedFrames();
  const std::uint32_t first = m_parameters.firstFrame;
  setProgress(Stage::Analysis, compared, m_total);
  setStatus(
      progressLine(tr("Analyze Frame#"), compared, m_total, first > 0 ? first + compared : 0));
}

// Frame k against every frame still open, which all come before it.
void AviExtract::compareFrameLocked(std::uint32_t k, std::unique_ptr<ImageSignature> signature) {
  for (auto it = m_openFrames.begin(); it != m_openFrames.end();) {
    const std::uint32_t m = it->first;
    std::uint32_t distance = m_videoThreshold;
    if (signature && it->second) {
      distance = bestVariant(m_comparison, m_videoThreshold, *it->second, *signature);
    }
    const std::uint32_t kind =
        distance >= m_videoThreshold ? 3 : (distance < m_staticThreshold ? 1 : 2);
    FrameRun& run = m_frameRuns[m];
    if (m + 1 == k) m_frameRuns[k] = FrameRun{kind, 0, 0};
    if (kind == 3) {
      run.sceneLength = run.sceneLength == 0 ? k - m : std::min(run.sceneLength, k - m);
      run.staticLength =
          run.staticLength == 0 ? k - m : std::min(run.staticLength, run.sceneLength);
      it = m_openFrames.erase(it);
      continue;
    }
    if (kind == 2) {
      run.staticLength = run.staticLength == 0 ? k - m : std::min(run.staticLength, k - m);
    }
    ++it;
  }
  // No frame before k reaches past it: the scenes of those frames are known.
  if (m_openFrames.empty()) m_closedUpTo = k;
  m_openFrames.emplace(k, std::move(signature));
}

}  // namespace tg
