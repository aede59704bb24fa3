// SPDX-License-Identifier: GPL-3.0-or-later
#include "tiles/tile_images_model.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "parallel/worker_pool.h"
#include "parallel/worker_settings.h"
#include "platform/catalogue.h"
#include "platform/paths.h"
#include "platform/text_format.h"
#include "platform/ticks.h"
#include "platform/user_dialogs.h"
#include "tiles/tile_analysis.h"
#include "video/avi_extract_params.h"
#include "video/tile_picture.h"
#include "video/video_library.h"

namespace tg {
namespace {

constexpr const char* kListProfile = "ImageArchive";
constexpr const char* kFolderProfile = "TileFolder";
constexpr const char* kImageProfile = "TileImage";
constexpr const char* kVideoProfile = "ExtractMovie";

std::string listFilter() { return tr("Tesselograph Tile Images List") + " (*.tg4)|*.tg4||"; }

int listIndexOf(TileListView view) {
  return view == TileListView::AllImages ? kIncludeList : static_cast<int>(view);
}

bool askYesNo(const char* question) {
  return showMessage(tr(question), Buttons::YesNo) == Answer::Yes;
}

std::string elapsedText(std::uint64_t milliseconds) {
  const std::uint64_t seconds = milliseconds / 1000;
  return formatText("%02d:%02d:%02d", static_cast<int>(seconds / 3600),
                    static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
}

/// The list's file name with its extension replaced by ".tg4" (for saving an upgraded list
/// beside the old one).
std::string upgradedListPath(const std::string& path) {
  const std::string folder = folderOf(path);
  std::string name = fileNameOf(path);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  return folder + name + ".tg4";
}

}  // namespace

std::string withListExtension(const std::string& path) {
  const std::string name = fileNameOf(path);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos) {
    std::string extension = name.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == "tg4") return path;
  }
  return path + ".tg4";
}

TileImagesModel::TileImagesModel()
    : m_pool(std::make_unique<WorkerPool>()),
      m_analyser(std::make_unique<TileAnalyser>(m_pool.get())),
      m_threads(std::max(1u, systemProcessorCount())),
      m_priority(kPriorityLowest) {}

TileImagesModel::~TileImagesModel() {
  m_analyser.reset();
  m_pool.reset();
}

void TileImagesModel::setWorkerThreads(std::uint32_t count, int priority) {
  m_threads = count;
  m_priority = priority;
}

void TileImagesModel::setStatus(const std::string& text) {
  m_status = text;
  if (m_statusCallback) m_statusCallback(m_status);
}

void TileImagesModel::showCounts() { setStatus(tileCountsText(m_list, m_analysing)); }

void TileImagesModel::stopAnalysis() {
  if (!m_analysing) return;
  m_analyser->stop();
  m_pool->setThreadCount(0, m_priority);
  m_analysing = false;
  m_outstanding = true;
  m_list.modified = true;
  showCounts();
}

bool TileImagesModel::askToStopAnalysis() {
  if (!m_analysing) return true;
  if (!askYesNo(N_("There is an Analyze Process running. Do you want to stop it?"))) return false;
  stopAnalysis();
  return true;
}

bool TileImagesModel::askToStopWork() {
  if (m_extraction.isRunning && m_extraction.isRunning()) {
    if (!askYesNo(N_("There is a Video Extraction Process running. Do you want to stop it?"))) {
      return false;
    }
    if (m_extraction.stop) m_extraction.stop();
  }
  return askToStopAnalysis();
}

bool TileImagesModel::confirmDiscard() {
  if (!askToStopWork()) return false;
  if (m_list.modified) {
    return askYesNo(
        N_("You did not saved the Images List. Are you sure to continue without saving?"));
  }
  if (m_outstanding) {
    return askYesNo(
        N_("You did not Analyze the Folders. Are you sure you want to continue without "
           "Analyzing?"));
  }
  return true;
}

bool TileImagesModel::openList(const std::string& path) {
  if (m_jobRunning) return false;
  if (!confirmDiscard()) return false;
  m_outstanding = false;
  TileListLoad outcome = TileListLoad::ReadError;
  if (!loadTileImagesList(path, m_list, &outcome)) {
    showMessage(tr("Error while reading the Images List!"));
    showCounts();
    return false;
  }
  if (outcome != TileListLoad::Loaded) {
    showCounts();
    return false;
  }
  if (m_list.version <= 117) {
    if (askYesNo(N_("Your Images List was created using an older version, it needs to be "
                    "upgraded. When the process is complete you will be asked to save the "
                    "upgraded List. Do you want to continue?"))) {
      clearTiles(m_list);
      m_suggestedSavePath = upgradedListPath(path);
      saveList(true);
    } else {
      resetTileImagesList(m_list);
      showCounts();
      return false;
    }
  } else {
    showCounts();
  }
  return true;
}

bool TileImagesModel::chooseAndOpenList() {
  const auto path = userDialogs().openFile(
      kListProfile, listFilter(), tr("Select a Image List File (*.tgc, *.tg4, *.tg9, ...)"));
  return path.has_value() && openList(*path);
}

bool TileImagesModel::newList() {
  if (m_jobRunning) return false;
  if (!confirmDiscard()) return false;
  resetTileImagesList(m_list);
  m_outstanding = false;
  m_suggestedSavePath.clear();
  showCounts();
  return true;
}

void TileImagesModel::loadTileList(const std::string& path) { openList(path); }

bool TileImagesModel::addFolderPath(TileListView view, const std::string& folder) {
  if (m_jobRunning) return false;
  const int index = listIndexOf(view);
  if (index == kVideoList && !videoAvailable()) {
    showMessage(tr("Video is not supported on Mac OS X or Linux"));
    return false;
  }
  if (folder.empty()) return false;
  addFolder(m_list, folder, index);
  m_outstanding = true;
  showCounts();
  return true;
}

bool TileImagesModel::addFolderInteractive(TileListView view) {
  if (m_jobRunning) return false;
  const int index = listIndexOf(view);
  if (index == kVideoList && !videoAvailable()) {
    showMessage(tr("Video is not supported on Mac OS X or Linux"));
    return false;
  }
  const auto folder = userDialogs().openFolder(
      kFolderProfile, index == kVideoList
                          ? tr("Please select a Folder containing Videos:")
                          : tr("Please select a Folder containing JPG/PNG images:"));
  return folder.has_value() && addFolderPath(view, *folder);
}

bool TileImagesModel::addImageInteractive(TileListView view) {
  if (m_jobRunning) return false;
  const auto path = userDialogs().openFile(addImageRequest());
  if (!path.has_value() || path->empty()) return false;
  addPicture(m_list, *path, listIndexOf(view));
  m_outstanding = true;
  showCounts();
  return true;
}

OpenFileRequest TileImagesModel::addImageRequest() {
  OpenFileRequest request;
  request.profile = kImageProfile;
  request.filter = "(*.jpg)(*.png)|*.jpg;*.jpeg;*.jpe;*.png||";
  request.title = tr("Select one or more JPG/PNG images");
  return request;
}

bool TileImagesModel::addImagePaths(TileListView view, const std::vector<std::string>& paths) {
  if (m_jobRunning) return false;
  bool added = false;
  for (const std::string& path : paths) {
    if (path.empty()) continue;
    addPicture(m_list, path, listIndexOf(view));
    added = true;
  }
  if (added) {
    m_outstanding = true;
    showCounts();
  }
  return added;
}

std::string TileImagesModel::existingErrorReport() const {
  if (m_list.filePath.empty()) return {};
  std::string report = errorReportPath(m_list.filePath);
  std::error_code error;
  return std::filesystem::is_regular_file(report, error) ? report : std::string();
}

std::vector<std::string> TileImagesModel::viewEntries(TileListView view) const {
  std::vector<std::string> entries;
  if (view == TileListView::AllImages) {
    entries.reserve(m_list.tiles.size());
    for (const auto& [path, tile] : m_list.tiles) entries.push_back(path);
  } else {
    const FolderList& list = m_list.folderList(listIndexOf(view));
    entries.assign(list.begin(), list.end());
  }
  return entries;
}

void TileImagesModel::removeSelected(TileListView view, const std::vector<std::string>& selected) {
  if (m_jobRunning) return;
  if (selected.empty()) return;
  if (view == TileListView::AllImages) {
    for (const std::string& path : selected) {
      if (m_list.includeList.erase(path) == 0 && m_list.requiredList.erase(path) == 0 &&
          m_list.videoList.erase(path) == 0) {
        m_list.excludeList.insert(path);
      }
    }
  } else {
    FolderList& entries = m_list.folderList(listIndexOf(view));
    for (const std::string& entry : selected) entries.erase(entry);
  }
  m_list.modified = true;
  m_outstanding = true;
  if (view == TileListView::AllImages) {
    showMessage(tr("Please save the List to update the shown Images"));
  }
  showCounts();
}

bool TileImagesModel::saveList(bool saveAs) {
  if (m_jobRunning) return false;
  if (m_list.includeList.empty() && m_list.videoList.empty()) {
    showMessage(
        tr("Please Add First a Folder to the Include/Video Folder List using Add Folder "
           "button!"));
    return false;
  }
  if (m_analysing && !m_suggestedSavePath.empty()) {
    // The upgrade of an old list that `openList` started is the model's own work, not the
    // user's: it starts again with the current folders, and its result still goes to a new
    // file (never over the old list).
    stopAnalysis();
    saveAs = true;
  } else if (!askToStopAnalysis()) {
    return false;
  }
  setStatus(tr("Analyzing..."));
  setStatus(tr("Building Images List..."));
  buildTileCollection(m_list);
  setStatus(tr("Building Images List... Completed"));
  m_analyser->prepare(m_list);
  m_pool->setThreadCount(m_threads, m_priority);
  m_saveAs = saveAs;
  m_saved = false;
  m_analysing = true;
  m_startTick = tickCount64();
  setStatus(tr("Saving..."));
  return true;
}

bool TileImagesModel::onTimer() {
  if (!m_analysing) return false;
  setStatus(formatText(tr("Tile# %d, Analysis Completed %.2f%%, Elapsed Time: %s"),
                       static_cast<int>(m_list.analysedCount), m_list.percentDone,
                       elapsedText(tickCount64() - m_startTick)));
  if (m_analyser->runSlice(m_list, m_sliceMilliseconds)) return true;
  finishAnalysis();
  return false;
}

bool TileImagesModel::runAnalysisToEnd() {
  while (onTimer()) {
  }
  return m_saved;
}

bool TileImagesModel::chooseSavePath(std::string& path) {
  if (!m_saveAs && !m_list.filePath.empty()) {
    path = m_list.filePath;
    return true;
  }
  const std::string suggested =
      !m_suggestedSavePath.empty() ? m_suggestedSavePath : std::string("My Images List");
  const auto chosen = userDialogs().saveFile(kListProfile, listFilter(),
                                             tr("Create a new Image List File"), suggested);
  if (!chosen.has_value() || chosen->empty()) return false;
  path = withListExtension(*chosen);
  return true;
}

void TileImagesModel::finishAnalysis() {
  m_analyser->stop();
  m_pool->setThreadCount(0, m_priority);
  m_analysing = false;
  m_outstanding = false;

  if (m_list.tiles.empty()) {
    showMessage(tr("Please add folders containing JPG/PNG Images!"));
    showCounts();
    return;
  }
  if (m_analyser->longClipCount() > 0) {
    showMessage(formatText(tr("Your List has %ld video clips with over %ld frames each."),
                           static_cast<long>(m_analyser->longClipCount()),
                           static_cast<long>(kLongClipFrames)) +
                tr(" For VideoMosaics you should have many short video clips with relative "
                   "static frames."));
  }
  std::string path;
  if (!chooseSavePath(path) || !saveTileImagesList(path, m_list)) {
    showCounts();
    return;
  }
  m_saved = true;
  m_suggestedSavePath.clear();
  std::string text = formatText(tr("You are ready to create a mosaic using this List of %ld "
                                   "images/videos. You can go back to the Main Window"),
                                static_cast<long>(m_list.tiles.size()));
  if (!m_list.errorPaths.empty()) {
    const std::string reportPath = errorReportPath(path);
    const auto failures = static_cast<long>(m_list.errorPaths.size());
    if (writeErrorReport(m_list, reportPath)) {
      text += ". " + formatText(tr("Unable to load and use %ld Images. Please see file %s for "
                                   "more information."),
                                failures, reportPath);
    } else {
      // The file could not be written: name no file the user would look for in vain.
      m_list.errorPaths.clear();
      text += ". " + formatText(tr("Unable to load and use %ld Images."), failures);
    }
  }
  showMessage(text);
  showCounts();
}

std::optional<std::string> TileImagesModel::chooseVideoToExtract() {
  if (!videoAvailable()) {
    showMessage(tr("Video is not supported on Mac OS X or Linux"));
    return std::nullopt;
  }
  if (m_jobRunning || !askToStopWork()) return std::nullopt;
  showMessage(videoFileNotice(), Buttons::Ok, Icon::Information);
  OpenFileRequest request;
  request.profile = kVideoProfile;
  request.filter = videoFileFilter();
  request.defaultExtension = "avi";
  auto path = userDialogs().openFile(request);
  if (!path || path->empty()) return std::nullopt;
  return path;
}

bool TileImagesModel::offerExtractedFolders(const std::vector<std::string>& imageFolders,
                                            const std::vector<std::string>& clipFolders) {
  if (m_jobRunning || (imageFolders.empty() && clipFolders.empty())) return false;
  std::string lines;
  for (const auto* folders : {&imageFolders, &clipFolders}) {
    for (const std::string& folder : *folders) lines += "\n" + folder;
  }
  if (showMessage(tr("The extraction has created these folders. Do you want to add them to the "
                     "Tile Images List (images to the Include list, video clips to the Video "
                     "list)?") +
                      "\n" + lines,
                  Buttons::YesNo) != Answer::Yes) {
    return false;
  }
  for (const std::string& folder : imageFolders) addFolder(m_list, folder, kIncludeList);
  for (const std::string& folder : clipFolders) addFolder(m_list, folder, kVideoList);
  m_outstanding = true;
  showCounts();
  return true;
}

bool TileImagesModel::setBlackAndWhite(bool on) {
  if (m_jobRunning) return false;
  if (on == m_list.blackAndWhite) return true;
  if (!askToStopAnalysis()) return false;
  if (on) {
    if (!askYesNo(
            N_("Are you sure you want to use the Black & White process to compare Images?"))) {
      return false;
    }
    convertSignaturesToGrey(m_list);
  } else {
    if (!askYesNo(N_("Are you sure you want to use the Color process to compare Images? Note that "
                     "you must Analyze the images again."))) {
      return false;
    }
    clearTiles(m_list);
    m_outstanding = true;
  }
  m_list.blackAndWhite = on;
  m_list.modified = true;
  showCounts();
  return true;
}

}  // namespace tg
