// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <optional>

namespace tg {

/// The eight fixed stages of one mosaic, as the progress bar weighs them.
enum class ProgressStage : int {
  NeighbourLists = 0,  ///< tile distance and neighbour lists (weight 16)
  Rendering = 1,       ///< rendering and saving (3870)
  BuildingTiles = 2,   ///< building the grid from a mask file or the mosaic tiles (1)
  Analysis = 3,        ///< main image analysis (7)
  RequiredImages = 4,  ///< inserting required images (300)
  FreeingMemory = 5,   ///< freeing memory (9)
  Placement = 6,       ///< tile placement and quality pass (5800)
  SecondPass = 7,      ///< second pass after a tile split (5804; the only weight that changes)
};

/// Weighted progress of the mosaic being built. A plain value without a lock: `MosaicJob` owns
/// one and takes its job lock around every call. Times are milliseconds of one steady clock,
/// passed in by the caller.
class ProgressTracker {
 public:
  static constexpr int kStageCount = 8;
  /// The weights every mosaic starts with; they add up to 15807.
  static constexpr std::array<double, kStageCount> kInitialWeights = {16,  3870, 1,    7,
                                                                      300, 9,    5800, 5804};

  ProgressTracker() { reset(); }

  /// Back to the start of a mosaic: no progress, no time, every maximum 1.0, no current stage and
  /// the initial weights.
  void reset();

  /// Ends the current stage (as `endStage`), then makes `stage` current from `nowMs`; a
  /// `maximum` above 0 becomes the stage's maximum.
  void beginStage(ProgressStage stage, double maximum, std::uint64_t nowMs);
  /// Completes the current stage, if any: its time is counted up to `nowMs` and its progress set
  /// to its maximum. Afterwards no stage is current.
  void endStage(std::uint64_t nowMs);
  /// Adds `amount` to the progress of the current stage (nothing when none is current).
  void addProgress(std::uint32_t amount);
  /// Moves the progress, maximum and time of every listed stage into stage 7 (stage 7 itself
  /// is skipped), leaving those stages with no progress and no time.
  void mergeStagesIntoLast(std::initializer_list<ProgressStage> stages);
  /// Sets the weight of stage 7 (0 for a negative value) and recomputes.
  void setLastStageWeight(double weight, std::uint64_t nowMs);

  /// Brings the times of the current stage up to `nowMs`, clamps each progress to its range and
  /// computes the overall and stage percentages.
  void recompute(std::uint64_t nowMs);

  /// Overall percentage (0-100) of the last `recompute`.
  [[nodiscard]] double overall() const { return m_overall; }
  /// The current stage's percentage of the last `recompute`, when a stage is current and its
  /// maximum is not 1.0.
  [[nodiscard]] std::optional<double> stagePercentage() const { return m_stagePercentage; }
  /// The current stage, or nothing.
  [[nodiscard]] std::optional<ProgressStage> currentStage() const;
  /// Total milliseconds of all stages as of the last `recompute`.
  [[nodiscard]] std::uint32_t totalMilliseconds() const { return m_totalMs; }

  /// The weight of one stage.
  [[nodiscard]] double weight(ProgressStage stage) const { return m_weight[index(stage)]; }
  /// The sum of the eight weights.
  [[nodiscard]] double totalWeight() const { return m_totalWeight; }
  /// The progress of one stage.
  [[nodiscard]] double current(ProgressStage stage) const { return m_current[index(stage)]; }
  /// The maximum of one stage's progress.
  [[nodiscard]] double maximum(ProgressStage stage) const { return m_maximum[index(stage)]; }
  /// The milliseconds counted for one stage.
  [[nodiscard]] std::uint32_t milliseconds(ProgressStage stage) const { return m_ms[index(stage)]; }

 private:
  static constexpr std::size_t index(ProgressStage stage) {
    return static_cast<std::size_t>(stage) & 7u;
  }
  void updateCurrentTime(std::uint64_t nowMs);

  std::array<double, kStageCount> m_weight{};
  std::array<std::uint32_t, kStageCount> m_ms{};
  std::array<double, kStageCount> m_current{};
  std::array<double, kStageCount> m_maximum{};
  int m_stage = -1;
  std::uint64_t m_stageBegin = 0;
  std::uint32_t m_totalMs = 0;
  double m_totalWeight = 0;
  double m_overall = 0;
  std::optional<double> m_stagePercentage;
};

}  // namespace tg
