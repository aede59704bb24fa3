// SPDX-License-Identifier: GPL-3.0-or-later
#include "job/progress_tracker.h"

#include <algorithm>

namespace tg {

namespace {
constexpr std::size_t kLast = static_cast<std::size_t>(ProgressStage::SecondPass);
}

void ProgressTracker::reset() {
  m_weight = kInitialWeights;
  m_ms.fill(0);
  m_current.fill(0.0);
  m_maximum.fill(1.0);
  m_stage = -1;
  m_stageBegin = 0;
  m_totalMs = 0;
  m_totalWeight = 0;
  for (const double w : m_weight) m_totalWeight += w;
  m_overall = 0;
  m_stagePercentage.reset();
}

void ProgressTracker::beginStage(ProgressStage stage, double maximum, std::uint64_t nowMs) {
  const int i = static_cast<int>(stage);
  if (i < 0 || i >= kStageCount) return;
  endStage(nowMs);
  m_stageBegin = nowMs;
  m_stage = i;
  if (maximum > 0) m_maximum[static_cast<std::size_t>(i)] = maximum;
}

void ProgressTracker::endStage(std::uint64_t nowMs) {
  if (m_stage < 0) return;
  const auto i = static_cast<std::size_t>(m_stage);
  updateCurrentTime(nowMs);
  m_current[i] = m_maximum[i];
  m_stage = -1;
}

void ProgressTracker::addProgress(std::uint32_t amount) {
  if (m_stage < 0) return;
  m_current[static_cast<std::size_t>(m_stage)] += amount;
}

void ProgressTracker::mergeStagesIntoLast(std::initializer_list<ProgressStage> stages) {
  for (const ProgressStage stage : stages) {
    const std::size_t i = index(stage);
    if (i == kLast) continue;
    m_current[kLast] += m_current[i];
    m_maximum[kLast] += m_maximum[i];
    m_ms[kLast] += m_ms[i];
    m_current[i] = 0;
    m_ms[i] = 0;
  }
}

void ProgressTracker::setLastStageWeight(double weight, std::uint64_t nowMs) {
  m_weight[kLast] = weight < 0 ? 0 : weight;
  m_totalWeight = 0;
  for (const double w : m_weight) m_totalWeight += w;
  recompute(nowMs);
}

void ProgressTracker::recompute(std::uint64_t nowMs) {
  if (m_stage >= 0) updateCurrentTime(nowMs);
  m_totalMs = 0;
  double weighted = 0;
  for (std::size_t i = 0; i < kStageCount; ++i) {
    m_totalMs += m_ms[i];
    m_current[i] = std::clamp(m_current[i], 0.0, m_maximum[i]);
    weighted += m_weight[i] * m_current[i] / m_maximum[i];
  }
  m_overall = m_totalWeight > 0 ? 100.0 / m_totalWeight * weighted : 0.0;
  m_stagePercentage.reset();
  if (m_stage >= 0) {
    const auto i = static_cast<std::size_t>(m_stage);
    if (m_maximum[i] != 1.0) m_stagePercentage = m_current[i] * 100.0 / m_maximum[i];
  }
}

std::optional<ProgressStage> ProgressTracker::currentStage() const {
  if (m_stage < 0) return std::nullopt;
  return static_cast<ProgressStage>(m_stage);
}

void ProgressTracker::updateCurrentTime(std::uint64_t nowMs) {
  const auto i = static_cast<std::size_t>(m_stage);
  m_ms[i] = static_cast<std::uint32_t>(nowMs >= m_stageBegin ? nowMs - m_stageBegin : 0);
}

}  // namespace tg
