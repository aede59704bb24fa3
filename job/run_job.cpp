// SPDX-License-Identifier: GPL-3.0-or-later
#include "job/run_job.h"

#include <filesystem>
#include <new>
#include <optional>
#include <system_error>
#include <vector>

#include "config/advanced_settings.h"
#include "job/mosaic_job.h"
#include "job/mosaic_stages.h"
#include "job/output_names.h"
#include "job/settings_sets.h"
#include "platform/catalogue.h"
#include "platform/paths.h"
#include "platform/text_format.h"
#include "platform/user_dialogs.h"

namespace tg {

namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kMaxMaskSide = 30000;
constexpr int kTileAdaptMosaicSize = 2;

bool fileExists(const std::string& path) {
  std::error_code error;
  return fs::is_regular_file(fs::path(path), error);
}

std::string joinPath(const std::string& directory, const std::string& name) {
  if (!directory.empty() && directory.back() == '/') return directory + name;
  return directory + "/" + name;
}

/// The file dialog that lets the user pick one mask file; nothing when cancelled.
std::optional<std::string> askForMaskFile() {
  OpenFileRequest request;
  request.profile = "MaskFile";
  request.filter = tr("Image") + std::string(" (*.jpg)(*.png)|*.jpg;*.jpeg;*.jpe;*.png||");
  request.title = tr("Select a JPG/PNG image");
  request.message =
      tr("Please select a MaskFile (JPG/PNG file) to use as the template for the Mosaic. See the "
         "user manual on how to use a MaskFile");
  request.defaultExtension = "jpg";
  request.initialFolder = programDataFolder() + "MaskFile Examples";
  return userDialogs().openFile(request);
}

/// What the driver does after a step.
enum class Next { Continue, NormalEnding, StopEnding };

class Driver {
 public:
  Driver(MosaicJob& job, MosaicStages& stages) : m_job(job), m_stages(stages) {}

  void run() {
    m_job.beginJob(static_cast<long>(m_job.mainImages.size()));
    m_stages.numberTileGroups(m_job);
    if (runMosaics() == Next::StopEnding) {
      stopEnding();
    } else {
      normalEnding();
    }
    if (m_job.completedCount() > 0) m_job.raiseCompletedFlag();
    m_stages.releaseMainImage(m_job);
    m_job.endJob();
    m_maskFiles.clear();
  }

 private:
  Next runMosaics() {
    if (m_stages.isMaskFileMode(m_job)) {
      const Next chosen = chooseMaskFiles();
      if (chosen != Next::Continue) return chosen;
    }
    while (!m_job.mainImages.empty() && !m_job.stopRequested()) {
      Next next = Next::Continue;
      try {
        next = buildMosaic();
      } catch (const std::bad_alloc&) {
        // Memory ran out somewhere in the stages: the user is told and the job ends like a
        // stopped one, its cells freed, instead of the program ending.
        showMessage(tr("Out Of Memory while creating the Mosaic. Please make a smaller Mosaic or "
                       "use fewer Tiles."),
                    Buttons::Ok, Icon::Error);
        return Next::StopEnding;
      }
      if (next != Next::Continue) return next;
    }
    return Next::NormalEnding;
  }

  /// Asks whether one mask file or a folder of them shapes the mosaics of this job.
  Next chooseMaskFiles() {
    const Answer answer = showMessage(tr("Do you want to specify a Folder containing Maskfiles?"),
                                      Buttons::YesNo, Icon::Question, Answer::No);
    std::set<std::string> files;
    if (answer != Answer::Yes) {
      const auto file = askForMaskFile();
      if (!file) return Next::StopEnding;
      files.insert(*file);
    } else {
      const auto folder = userDialogs().openFolder(
          "MaskFilePath",
          tr("Please select a Folder where the MaskFiles are contained (all JPG or PNG files):"));
      if (!folder) return Next::StopEnding;
      files = maskFilesInFolder(*folder, m_stages);
      if (files.empty()) {
        showMessage(tr("The specified folder does not contain any JPG/PNG file!"));
        return Next::StopEnding;
      }
    }
    m_maskFiles.assign(files.begin(), files.end());
    m_job.multiplyTotal(static_cast<long>(m_maskFiles.size()));
    return Next::Continue;
  }

  // A grid or analysis that failed ends the job normally, unless it failed because the user
  // pressed stop: then the job says "Stopped!" rather than reporting the mosaic as done.
  Next failedGridEnding() const {
    return m_job.stopRequested() ? Next::StopEnding : Next::NormalEnding;
  }

  Next checkStop() const { return m_job.stopRequested() ? Next::StopEnding : Next::Continue; }

  void writeSettingsFile() {
    const std::string list = m_stages.tileListPath(m_job);
    // A file that cannot be written is not worth stopping the mosaic for.
    (void)saveSettingsSet(m_job.settings, mosaicSettingsFilePath(m_job.outputNames.base),
                          SettingsLocation::AsGiven, kMosaicSettingsSection,
                          list.empty() ? std::nullopt : std::optional<std::string>(list), true);
  }

  /// The output names of the mosaic of `path`. An explicit output path names one file, yet a
  /// folder of several mask files makes one mosaic per mask from the same image: those mosaics
  /// get the mask's number after the given name ("out M02.jpg") instead of each overwriting
  /// the one before.
  [[nodiscard]] OutputNames composeNames(const std::string& prefix, const std::string& path,
                                         std::size_t maskNumber) const {
    const auto given = m_job.explicitOutputs.find(path);
    if (given == m_job.explicitOutputs.end() || m_maskFiles.size() < 2 || maskNumber == 0) {
      return m_job.composeOutputNames(prefix, path, true);
    }
    const ExplicitOutput cut = splitExplicitOutput(given->second);
    const std::string numbered =
        cut.base + formatText(" M%02d", static_cast<int>(maskNumber)) + cut.extension;
    return tg::composeOutputNames(m_job.outputNameRules(), &numbered, prefix, path, true);
  }

  /// One mosaic, from loading its main image to freeing its cells.
  Next buildMosaic() {
    MosaicSettings& settings = m_job.settings;
    m_job.beginMosaic();

    // The next main image, and in MaskFile folder mode its next mask file.
    std::string prefix = tr("Mosaic");
    const std::string path = m_job.mainImages.front();
    m_job.currentMaskFile.clear();
    std::size_t maskNumber = 0;
    if (m_maskFiles.empty()) {
      m_job.mainImages.pop_front();
    } else {
      const std::size_t k = m_nextMask;
      maskNumber = k + 1;
      m_job.currentMaskFile = m_maskFiles[k];
      prefix = formatText(tr("M%02d %s"), static_cast<int>(k + 1), tr("Mosaic"));
      if (k + 1 == m_maskFiles.size()) {
        m_job.mainImages.pop_front();
        m_nextMask = 0;
      } else {
        m_nextMask = k + 1;
      }
    }
    m_job.currentImage = path;
    m_job.savedPieces.clear();

    m_job.setStatus(tr("Loading Image..."));
    m_stages.releaseMainImage(m_job);
    if (!m_stages.loadMainImage(m_job, path)) return checkStop();
    m_job.mainImageWidth = m_job.mainImage.width;
    m_job.mainImageHeight = m_job.mainImage.height;
    if (checkStop() != Next::Continue) return Next::StopEnding;
    if (m_stages.tileListIsBlackAndWhite(m_job)) m_stages.convertMainImageToGrey(m_job);

    m_job.outputNames = composeNames(prefix, path, maskNumber);
    m_job.recordOutput(path, m_job.outputNames);

    if (!m_stages.computeGeometry(m_job)) return Next::StopEnding;
    // Written before the long stages so that a stopped job still leaves its settings behind.
    if (settings.textReport.value) writeSettingsFile();
    if (settings.multiSize2.value == 0 && settings.multiSize4.value == 0)
      m_job.setLastStageWeight(0);

    m_job.setStatus(tr("Analysis of Image..."));
    if (m_stages.isMaskFileMode(m_job)) {
      std::string mask = m_job.currentMaskFile;
      if (mask.empty()) mask = maskFileBeside(path);
      if (mask.empty()) mask = m_job.rememberedMaskFile;
      if (mask.empty()) {
        const auto chosen = askForMaskFile();
        if (!chosen) return Next::StopEnding;
        m_job.rememberedMaskFile = *chosen;
        mask = *chosen;
      }
      m_job.currentMaskFile = mask;
      m_job.setStatus(tr("Loading Mask Image..."));
      settings.individualTiles.set(false);
      if (!m_stages.buildCellsFromMask(m_job, mask)) return failedGridEnding();
    } else if (!m_stages.buildCellGrid(m_job)) {
      return failedGridEnding();
    }
    if (!m_stages.analyzeMainImage(m_job, false, false)) return failedGridEnding();

    m_job.setStatus(tr("Calculating Mosaic Information..."));
    if (!m_stages.initializeCells(m_job, true)) return Next::StopEnding;
    if (checkStop() != Next::Continue) return Next::StopEnding;

    m_job.setStatus(tr("Creating Mosaic..."));
    if (!m_stages.placeTiles(m_job)) return Next::StopEnding;
    if (checkStop() != Next::Continue) return Next::StopEnding;
    // The neighbour lists are built only for sequences of Faster; every other placement skips
    // their stage, which must count as done for the mosaic to reach 100 %.
    m_job.beginStage(ProgressStage::NeighbourLists, 0);
    m_job.endStage();

    if (m_stages.splitTiles(m_job)) {
      m_job.mergeStagesIntoLast({ProgressStage::Analysis, ProgressStage::Placement});
      m_job.beginStage(ProgressStage::SecondPass, 1.0);
      m_job.endStage();
      m_job.cellCount = m_stages.gridSize(m_job);
      const bool fitInside = settings.tileAdapt.value == kTileAdaptMosaicSize;
      if (!m_stages.analyzeMainImage(m_job, fitInside, true) ||
          !m_stages.initializeCells(m_job, false) || !m_stages.placeTiles(m_job)) {
        return Next::StopEnding;
      }
    } else {
      m_job.setLastStageWeight(0);
      m_job.cellCount = m_stages.gridSize(m_job);
    }
    m_stages.copyGridSizeToGeometry(m_job);

    const std::string& base = m_job.outputNames.base;
    if (settings.createMaskFile.value) {
      m_job.setStatus(tr("Create MaskFile..."));
      using Format = MaskImageTarget::Format;
      // Failures were shown by the writers; the mosaic itself is still worth making.
      (void)m_stages.writeMaskImage(m_job, false,
                                    {{base + " MaskFile.jpg", Format::Jpeg, 100},
                                     {base + " MaskFile.bmp", Format::Bmp, 100}});
      (void)m_stages.writeMaskImage(m_job, true, {{base + " Score.jpg", Format::Jpeg, 80}});
    }

    // Rendering needs the memory more than the main image does.
    m_stages.releaseMainImage(m_job);
    if (checkStop() != Next::Continue) return Next::StopEnding;

    m_stages.insertRequiredImages(m_job);
    const bool saved = m_stages.saveMosaic(m_job);
    // Recorded at once: the file exists even if a stop comes before the report is written.
    m_job.recordSaved(path, saved);
    if (checkStop() != Next::Continue) return Next::StopEnding;
    if (!saved) {
      // The writer told the user why; a mosaic that is not on disk is not counted as completed,
      // gets no report or page, and the window offers no folder for it.
      m_stages.freeCells(m_job, false);
      m_job.setStatus(tr("Ready"));
      return Next::Continue;
    }
    m_job.setStatus(tr("Mosaic Created."));

    if (settings.textReport.value) {
      m_job.setStatus(tr("Saving Report"));
      (void)m_stages.writeTextReport(m_job, base + " " + tr("Text Report") + ".csv");
      writeSettingsFile();
    }

    if (checkStop() != Next::Continue) return Next::StopEnding;
    if (settings.webPageSize.value != 0 && !m_job.savedPieces.empty()) {
      m_job.setStatus(tr("Saving Web Page HTML"));
      const bool copyTiles = settings.advanced.rowLong(AdvancedRow::WebPageDontCopyTiles) != 0;
      (void)m_stages.writeWebPage(m_job, base + " " + tr("Web Page"), settings.webPageSize.value,
                                  copyTiles);
    }

    if (checkStop() != Next::Continue) return Next::StopEnding;
    m_job.recordSaved(path, saved);

    m_job.setStatus(tr("Freeing Memory"));
    m_job.beginStage(ProgressStage::FreeingMemory, 1.0);
    m_stages.freeCells(m_job, false);
    m_job.endStage();
    m_job.completeMosaic();
    m_job.setStatus(tr("Ready"));
    return Next::Continue;
  }

  void normalEnding() {
    // A job that ended early (a failed analysis) still leaves no cells behind.
    m_stages.freeCells(m_job, true);
    const long completed = m_job.completedCount();
    if (completed > 0) {
      m_job.setStatus(formatText(trn("Completed %ld Mosaic!", "Completed %ld Mosaics!",
                                     static_cast<unsigned long>(completed)),
                                 completed));
    } else {
      m_job.setStatus(tr("Ok"));
    }
  }

  void stopEnding() {
    m_job.setStatus(tr("Freeing Memory (Stopping...)"));
    m_stages.freeCells(m_job, true);
    m_job.setStatus(tr("Stopped!"));
  }

  MosaicJob& m_job;
  MosaicStages& m_stages;
  std::vector<std::string> m_maskFiles;
  std::size_t m_nextMask = 0;
};

}  // namespace

void runJob(MosaicJob& job, MosaicStages& stages) { Driver(job, stages).run(); }

std::set<std::string> maskFilesInFolder(const std::string& folder, MosaicStages& stages) {
  std::set<std::string> files;
  std::error_code error;
  fs::directory_iterator it(fs::path(folder), error);
  if (error) return files;
  for (const fs::directory_iterator end; it != end; it.increment(error)) {
    if (error) break;
    std::error_code typeError;
    if (it->is_directory(typeError)) continue;
    const std::string name = it->path().filename().string();
    const auto dot = name.rfind('.');
    if (dot == std::string::npos) continue;
    std::string extension = name.substr(dot + 1);
    for (char& c : extension) {
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    if (extension.empty() ||
        std::string("|JPG|JPEG|JPE|PNG|").find("|" + extension + "|") == std::string::npos) {
      continue;
    }
    const std::string path = joinPath(folder, name);
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    if (!stages.readImageSize(path, width, height)) continue;
    if (width < 1 || width > kMaxMaskSide || height < 1 || height > kMaxMaskSide) continue;
    files.insert(path);
  }
  return files;
}

std::string maskFileBeside(const std::string& mainImagePath) {
  // Only an extension of the file name itself counts, not a dot in a folder name.
  const auto slash = mainImagePath.rfind('/');
  const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const auto dot = mainImagePath.rfind('.');
  if (dot == std::string::npos || dot <= nameStart || dot == 0) return {};
  const std::string stem = mainImagePath.substr(0, dot);
  for (const char* suffix : {" Mask.jpg", "Mask.jpg", " Mask.png", "Mask.png"}) {
    const std::string candidate = stem + suffix;
    if (fileExists(candidate)) return candidate;
  }
  return {};
}

}  // namespace tg
