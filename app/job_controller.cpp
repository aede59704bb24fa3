// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/job_controller.h"

#include <malloc.h>

#include <algorithm>

#include "app/format_limits.h"
#include "app/preflight.h"
#include "engine/comparison_settings.h"
#include "geometry/grid_stage.h"
#include "imaging/foto.h"
#include "imaging/image_file.h"
#include "job/mosaic_job.h"
#include "job/mosaic_stages.h"
#include "job/run_job.h"
#include "parallel/worker_settings.h"
#include "platform/catalogue.h"
#include "platform/shell.h"
#include "platform/text_format.h"
#include "platform/thread_priority.h"
#include "platform/thread_text.h"
#include "platform/user_dialogs.h"
#include "tiles/tile_images_list.h"
#include "video/tile_picture.h"

namespace tg {

namespace {

constexpr unsigned kMinimumPiece = 10;
constexpr unsigned kMaximumPiece = 1000000;

}  // namespace

std::string displayExtension(long fileFormat) {
  switch (fileFormat) {
    case kFormatJpeg:
    case kFormatVideoJpeg:
      return ".jpg";
    case kFormatBmp:
      return ".bmp";
    case kFormatPpm:
      return ".ppm";
    case kFormatRaw:
      return ".raw";
    case kFormatAviUncompressed:
    case kFormatAviCompressed:
      return ".avi";
    case kFormatMosaic:
      return ".mosaic";
    case kFormatPsd:
      return ".psd";
    case kFormatPsb:
      return ".psb";
    case kFormatTiff:
    case kFormatTiffJpeg:
      return ".tiff";
    default:
      return ".error";
  }
}

bool acceptSplitPiece(const MosaicSettings& settings, unsigned width, unsigned height) {
  if (width <= kMinimumPiece || height <= kMinimumPiece || width > kMaximumPiece ||
      height > kMaximumPiece) {
    showMessage(
        tr("Please insert valid values for the Split Size in Pixels. Valid values between 10 and "
           "1,000,000 pixel."));
    return false;
  }
  const auto limits = formatLimits(settings.fileFormat.value, settings.outputTiff64.value);
  if (limits && pieceExceedsLimits(*limits, width, height)) {
    const Answer answer = showMessage(
        formatText("%s%s", limits->message,
                   tr("Are you sure that you want to create splitted pieces with such a size?")),
        Buttons::YesNo, Icon::Question);
    return answer == Answer::Yes;
  }
  return true;
}

JobController::JobController(MosaicJob& job, TileImagesList& list, MosaicStages& stages,
                             GridStage& grid, JobControllerHost& host, SettingsFiles files)
    : m_job(job),
      m_list(list),
      m_stages(stages),
      m_grid(grid),
      m_host(host),
      m_files(std::move(files)) {}

JobController::~JobController() {
  if (m_thread.joinable()) {
    m_job.setStopRequest(true);
    m_thread.join();
  }
}

bool JobController::requestStop() {
  if (!m_threadActive.load()) {
    // A thread that ended by itself is joined here, before anything starts again.
    if (m_thread.joinable()) m_thread.join();
    return true;
  }
  if (m_job.stopRequested()) {
    showMessage(tr("Stopping the Mosaic Process. Please Wait..."));
  } else if (showMessage(tr("There is a Mosaic process running. Do you want to stop it?"),
                         Buttons::YesNo, Icon::Question, Answer::No) == Answer::Yes) {
    m_job.setStopRequest(true);
  }
  return false;
}

void JobController::forceStop() {
  if (m_threadActive.load()) m_job.setStopRequest(true);
}

StartResult JobController::startJob(const std::vector<std::string>& mainImages) {
  if (!requestStop()) return StartResult::JobRunning;
  MosaicSettings& settings = m_job.settings;
  // Advanced rows left empty (a settings file with only some of them, an empty --set) would read
  // as 0 everywhere, a channel priority of 0 included: they get their configured defaults.
  fillEmptyAdvancedRows(settings.advanced);
  m_job.threadCount = workerThreadCount(settings.advanced);
  m_job.workerPriority = workerPriority(settings.advanced);

  // The rules and the questions below may change values; on any refusal the settings go back to
  // what they were.
  const MosaicSettings before = settings;
  const auto refuse = [&settings, &before](StartResult result) {
    settings = before;
    return result;
  };
  std::vector<std::string> notes;
  (void)applyParameterRules(settings, false, &notes);
  bool valid = validateParameters(settings);
  std::string problem;
  if (valid) {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    // The geometry is judged on the first main image that can be read; one unreadable picture
    // fails alone when its turn comes, and does not refuse the others.
    for (const std::string& image : mainImages) {
      if (readImageSize(image, width, height)) break;
    }
    valid = computeMosaicGeometry(settings, width, height, m_grid.geometry) &&
            m_grid.geometry.message.empty();
    problem = m_grid.geometry.message;
    if (valid) valid = configureComparison(settings, m_list.tiles.size());
  }
  if (!valid) {
    const std::string text = problem.empty() ? tr("Please specify all the parameters") : problem;
    m_job.setStatus(text, kStatusColourError);
    if (m_host.windowVisible()) showMessage(text);
    return refuse(StartResult::InvalidParameters);
  }

  m_job.rememberedMaskFile.clear();
  for (const std::string& note : notes) m_host.showNote(note);

  const PreflightResult preflight =
      preflightCheck(preflightCounts(m_list, m_grid.geometry, settings), settings);
  if (preflight.emptyCells > 0) {
    m_host.showNote(formatText(tr("Tiles will run short: at least %llu of the %llu cells will "
                                  "stay empty."),
                               static_cast<unsigned long long>(preflight.emptyCells),
                               static_cast<unsigned long long>(preflight.cells)));
  }
  if (preflight.warn &&
      showMessage(preflight.message, Buttons::YesNo, Icon::Question) != Answer::Yes) {
    return refuse(StartResult::PreflightDeclined);
  }

  resetTileLoadFailures();
  const SizeCheck size =
      checkFormatLimits(settings, m_grid.geometry.mosaicWidth, m_grid.geometry.mosaicHeight);
  if (size != SizeCheck::Passed) return refuse(StartResult::FormatLimit);

  if (m_list.tiles.empty()) {
    showMessage(
        tr("Please load or create a Tile Images List. This List will be used to build the "
           "Mosaic."));
    m_host.openTileImagesWindow();
    return refuse(StartResult::NoTiles);
  }

  if (settings.splitMosaic.value) {
    const auto piece = m_host.askSplitSize(
        m_grid.geometry, [&settings](const JobControllerHost::PieceSize& proposal) {
          return acceptSplitPiece(settings, proposal.width, proposal.height);
        });
    if (!piece) return refuse(StartResult::SplitCancelled);
    settings.splitPieceWidth = piece->width;
    settings.splitPieceHeight = piece->height;
  }

  settings.blackAndWhiteOutput = false;
  if (m_list.blackAndWhite) {
    const Answer answer = showMessage(tr("Do you want to save the Mosaic in Black&White?"),
                                      Buttons::YesNoCancel, Icon::Question);
    if (answer == Answer::Cancel || answer == Answer::None) {
      return refuse(StartResult::BlackAndWhiteCancelled);
    }
    settings.blackAndWhiteOutput = answer == Answer::Yes;
  }

  m_stages.freeCells(m_job, false);
  m_job.mainImages.assign(mainImages.begin(), mainImages.end());
  m_job.clearOutputRecords();
  if (!mainImages.empty()) m_selectedImage = mainImages.front();
  m_host.setBusy(true);

  if (!requestStop()) return StartResult::JobRunning;
  (void)saveSettingsSet(settings, m_files.userSettingsFile, m_files.userSettingsLocation,
                        kLastMosaicSection, m_list.filePath, true);
  (void)saveSettingsSet(settings, m_files.userSettingsFile, m_files.userSettingsLocation,
                        kAutoSaveSection, m_list.filePath, true);
  m_job.setStopRequest(false);
  m_completionPending = false;
  m_threadActive.store(true);
  m_thread = std::thread([this] { threadProcedure(); });
  return StartResult::Started;
}

void JobController::threadProcedure() {
  (void)setCurrentThreadPriority(ThreadPriority::Lowest);
  if (!initThreadText()) {
    m_threadActive.store(false);
    return;
  }
  m_busy.store(true);
  runJob(m_job, m_stages);
  m_stages.freeCells(m_job, true);
  malloc_trim(0);
  closeThreadText();
  m_busy.store(false);
  m_threadActive.store(false);
}

void JobController::wait() {
  if (m_thread.joinable()) m_thread.join();
}

long JobController::tileLoadFailures() const { return static_cast<long>(tg::tileLoadFailures()); }

std::pair<std::string, bool> JobController::outputDisplay(const std::string& mainImagePath) const {
  if (mainImagePath.size() < 5) return {"", false};
  std::string base;
  bool saved = false;
  if (const auto record = m_job.outputRecord(mainImagePath)) {
    base = record->base;
    saved = record->saved;
  } else {
    base = m_job.composeOutputNames("Mosaic", mainImagePath, false).base;
  }
  if (m_job.settings.splitMosaic.value) base += "00x00";
  // A video as single pictures is a numbered series; the line names its first picture, a
  // file the user can find.
  if (m_job.settings.fileFormat.value == kFormatVideoJpeg) base += "__000000001";
  base += displayExtension(m_job.settings.fileFormat.value);
  return {formatText(tr("Mosaic in: %s"), base), saved};
}

std::string JobController::outputFolder(const std::string& mainImagePath) const {
  if (mainImagePath.size() < 5) return {};
  if (const auto record = m_job.outputRecord(mainImagePath)) return record->directory;
  return m_job.composeOutputNames("Mosaic", mainImagePath, false).directory;
}

void JobController::selectMainImage(const std::string& mainImagePath) {
  m_selectedImage = mainImagePath;
  const auto [text, saved] = outputDisplay(m_selectedImage);
  m_host.showOutput(text, saved);
}

void JobController::statusTick() {
  ++m_ticks;
  if (m_ticks == 6) m_host.startAutomaticUpdateCheck();
  const StatusLine line = m_job.statusLine();
  const double position = std::clamp(line.percent * 100, 0.0, 10000.0);
  m_host.showStatus(line.text, m_job.statusColour(), static_cast<int>(position));
  if (auto preview = m_job.takePreview()) {
    if (preview->image) {
      m_host.showPreview(*preview->image, preview->caption);
    } else if (!preview->caption.empty()) {
      showMessage(preview->caption);
    }
  }
  if (m_job.takeCompletedFlag()) {
    const auto [text, saved] = outputDisplay(m_selectedImage);
    m_host.showOutput(text, saved);
    m_completionPending = true;
  }
  if (m_completionPending && !m_busy.load() && !m_threadActive.load()) {
    m_completionPending = false;
    const long failures = tileLoadFailures();
    if (failures > 0) {
      showMessage(formatText(tr("About %ld Tile Images where not loaded due to a File Error. "
                                "Your Mosaic will have missing tiles. Please save again your "
                                "Tile Images List and then build again your Mosaic."),
                             failures),
                  Buttons::Ok, Icon::Exclamation);
    }
    const std::string action =
        m_finalAction ? m_job.settings.advanced.rowValue(AdvancedRow::FinalAction) : "";
    const auto record = m_job.outputRecord(m_selectedImage);
    const std::string folder = record ? record->directory : std::string();
    if (action == "ask") {
      if (showMessage(tr("Mosaic completed! Do you want to open the destination folder?"),
                      Buttons::YesNo, Icon::Question, Answer::No) == Answer::Yes) {
        (void)openWithShell(folder);
      }
    } else if (action == "openfolder") {
      (void)openWithShell(folder);
    }
  }
  m_host.setBusy(m_busy.load() || m_threadActive.load());
}

}  // namespace tg
