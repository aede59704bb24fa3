// SPDX-License-Identifier: GPL-3.0-or-later
#include "job/mosaic_job.h"

#include <chrono>
#include <utility>

#include "parallel/synchronizer.h"
#include "platform/catalogue.h"
#include "platform/text_format.h"

namespace tg {

namespace {
constexpr std::size_t kStatusUnits = 255;

std::uint64_t steadyMilliseconds() {
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
}
}  // namespace

std::string cutToUtf16Units(const std::string& text, std::size_t units) {
  std::size_t used = 0;
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 1;
    if (lead >= 0xF0) {
      length = 4;
    } else if (lead >= 0xE0) {
      length = 3;
    } else if (lead >= 0xC0) {
      length = 2;
    }
    // Characters beyond the basic plane take a surrogate pair.
    const std::size_t cost = length == 4 ? 2 : 1;
    if (used + cost > units || i + length > text.size()) break;
    used += cost;
    i += length;
  }
  return text.substr(0, i);
}

MosaicJob::MosaicJob() : m_clock(steadyMilliseconds) {}

MosaicJob::~MosaicJob() = default;

std::uint64_t MosaicJob::now() const { return m_clock(); }

void MosaicJob::setClock(Clock clock) {
  CSynchronizer lock(m_lock);
  m_clock = clock ? std::move(clock) : Clock(steadyMilliseconds);
}

void MosaicJob::setStatus(const std::string& text, std::uint32_t colour) {
  std::string cut = cutToUtf16Units(text, kStatusUnits);
  CSynchronizer lock(m_lock);
  if (!lock.isLocked()) return;
  m_statusText = std::move(cut);
  m_statusColour = colour;
}

void MosaicJob::beginStage(ProgressStage stage, double maximum) {
  CSynchronizer lock(m_lock);
  if (lock.isLocked()) m_tracker.beginStage(stage, maximum, now());
}

void MosaicJob::endStage() {
  CSynchronizer lock(m_lock);
  if (lock.isLocked()) m_tracker.endStage(now());
}

void MosaicJob::addProgress(std::uint32_t amount) {
  CSynchronizer lock(m_lock);
  if (lock.isLocked()) m_tracker.addProgress(amount);
}

void MosaicJob::mergeStagesIntoLast(std::initializer_list<ProgressStage> stages) {
  CSynchronizer lock(m_lock);
  if (lock.isLocked()) m_tracker.mergeStagesIntoLast(stages);
}

void MosaicJob::setLastStageWeight(double weight) {
  CSynchronizer lock(m_lock);
  if (lock.isLocked()) m_tracker.setLastStageWeight(weight, now());
}

void MosaicJob::resetProgress() {
  CSynchronizer lock(m_lock);
  if (lock.isLocked()) m_tracker.reset();
}

ProgressTracker MosaicJob::progress() {
  CSynchronizer lock(m_lock);
  m_tracker.recompute(now());
  return m_tracker;
}

void MosaicJob::postPreview(std::unique_ptr<Foto> image, const std::string& caption) {
  CSynchronizer lock(m_lock);
  if (lock.isLocked()) m_previews.push_back(Preview{std::move(image), caption});
}

StatusLine MosaicJob::statusLine() {
  CSynchronizer lock(m_lock);
  StatusLine line;
  if (!lock.isLocked()) return line;
  if (m_total == 0) {
    line.text = m_statusText;
    return line;
  }
  const std::uint64_t nowMs = now();
  m_tracker.recompute(nowMs);
  const long before = m_building ? m_completed : m_completed - 1;
  const double overall =
      (m_tracker.overall() + 100.0 * static_cast<double>(before)) / static_cast<double>(m_total);
  line.percent = overall < 0 ? 0 : overall;

  std::string text = m_statusText;
  const auto stagePercent = m_tracker.stagePercentage();
  if (!m_statusText.empty() && stagePercent) text += formatText(tr(" %.2f%%"), *stagePercent);
  text += '.';
  if (m_total > 1) {
    text +=
        formatText(tr(" Mosaic# %d/%d "), static_cast<int>(before + 1), static_cast<int>(m_total));
  }
  const std::uint64_t ms = m_timerAccumulated + (m_timerRunning ? nowMs - m_timerStart : 0);
  const std::string time =
      formatText(tr("%02d:%02d:%02d"), static_cast<int>(ms / 3600000),
                 static_cast<int>(ms / 60000 % 60), static_cast<int>(ms / 1000 % 60));
  line.text = formatText(tr("Completed %.2f%%, Time %s, "), line.percent, time) + text;
  return line;
}

std::uint32_t MosaicJob::statusColour() const {
  CSynchronizer lock(m_lock);
  return m_statusColour;
}

std::string MosaicJob::statusText() const {
  CSynchronizer lock(m_lock);
  return m_statusText;
}

bool MosaicJob::takeCompletedFlag() {
  CSynchronizer lock(m_lock);
  if (!lock.isLocked()) return false;
  return std::exchange(m_completedFlag, false);
}

std::optional<Preview> MosaicJob::takePreview() {
  CSynchronizer lock(m_lock);
  if (!lock.isLocked() || m_previews.empty()) return std::nullopt;
  Preview preview = std::move(m_previews.back());
  m_previews.pop_back();
  return preview;
}

OutputNameRules MosaicJob::outputNameRules() const {
  OutputNameRules rules;
  rules.mosaicDirectory = settings.mosaicDirectory.value;
  rules.subdirectory = static_cast<int>(settings.mosaicSubdirectory.value);
  rules.fileName = static_cast<int>(settings.mosaicFileName.value);
  rules.webPageSize = settings.webPageSize.value;
  rules.individualTiles = settings.individualTiles.value;
  return rules;
}

OutputNames MosaicJob::composeOutputNames(const std::string& prefix,
                                          const std::string& mainImagePath,
                                          bool createFolders) const {
  const auto it = explicitOutputs.find(mainImagePath);
  return tg::composeOutputNames(outputNameRules(),
                                it != explicitOutputs.end() ? &it->second : nullptr, prefix,
                                mainImagePath, createFolders);
}

std::optional<OutputRecord> MosaicJob::outputRecord(const std::string& mainImagePath) const {
  CSynchronizer lock(m_lock);
  const auto it = m_outputRecords.find(mainImagePath);
  if (it == m_outputRecords.end()) return std::nullopt;
  return it->second;
}

std::map<std::string, OutputRecord> MosaicJob::outputRecords() const {
  CSynchronizer lock(m_lock);
  return m_outputRecords;
}

void MosaicJob::clearOutputRecords() {
  CSynchronizer lock(m_lock);
  m_outputRecords.clear();
}

long MosaicJob::completedCount() const {
  CSynchronizer lock(m_lock);
  return m_completed;
}

long MosaicJob::totalCount() const {
  CSynchronizer lock(m_lock);
  return m_total;
}

std::uint64_t MosaicJob::elapsedMilliseconds() const {
  CSynchronizer lock(m_lock);
  return m_timerAccumulated + (m_timerRunning ? now() - m_timerStart : 0);
}

void MosaicJob::beginJob(long total) {
  CSynchronizer lock(m_lock);
  m_completed = 0;
  m_total = total;
  m_building = false;
  m_timerAccumulated = 0;
  m_timerStart = now();
  m_timerRunning = true;
}

void MosaicJob::multiplyTotal(long factor) {
  CSynchronizer lock(m_lock);
  m_total *= factor;
}

void MosaicJob::beginMosaic() {
  CSynchronizer lock(m_lock);
  m_tracker.reset();
  m_building = true;
}

void MosaicJob::completeMosaic() {
  CSynchronizer lock(m_lock);
  ++m_completed;
  m_building = false;
  m_completedFlag = true;
}

void MosaicJob::raiseCompletedFlag() {
  CSynchronizer lock(m_lock);
  m_completedFlag = true;
}

void MosaicJob::recordOutput(const std::string& mainImagePath, const OutputNames& names) {
  CSynchronizer lock(m_lock);
  m_outputRecords[mainImagePath] = OutputRecord{names.directory, names.base, false};
}

void MosaicJob::recordSaved(const std::string& mainImagePath, bool saved) {
  CSynchronizer lock(m_lock);
  m_outputRecords[mainImagePath].saved = saved;
}

void MosaicJob::endJob() {
  CSynchronizer lock(m_lock);
  if (m_timerRunning) m_timerAccumulated += now() - m_timerStart;
  m_timerRunning = false;
  m_building = false;
}

}  // namespace tg
