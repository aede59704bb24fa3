// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <map>
#include <vector>

namespace tg {

/// What the frame analysis of a video extraction learns about one frame k of the range.
struct FrameRun {
  /// Class of the step from frame k − 1 to k: 1 static, 2 same scene, 3 cut; 0 for the first.
  std::uint32_t transition = 0;
  /// Frames from k to the first later frame that is a cut relative to k; 0 when none is in the
  /// range.
  std::uint32_t sceneLength = 0;
  /// Frames from k to the first later frame that is not static relative to k; 0 when none is.
  std::uint32_t staticLength = 0;
};

/// Frame intervals keyed by their start: start → end (frame indexes in the range; the end is
/// exclusive for chosen clips and the last frame for static runs).
using FrameIntervals = std::map<std::uint32_t, std::uint32_t>;

/// The long still stretches: scanning k from 0, a frame whose staticLength S is at least
/// `minStaticFrames` starts the run [k, k + S − 1] (recorded as last frame → first frame) and
/// the scan goes on at the run's last frame (k + 1 when S is 1). None when `minStaticFrames` is 0.
[[nodiscard]] FrameIntervals findStaticRuns(const std::vector<FrameRun>& runs,
                                            std::uint32_t minStaticFrames);

/// Shortens every scene that runs into a static run so that it ends at the run's first frame
/// (inclusive), or drops it (sceneLength 0) when the run starts at or before the scene's frame.
/// `staticRuns` as `findStaticRuns` gives them (last frame → first frame).
void cutScenesAtStaticRuns(std::vector<FrameRun>& runs, const FrameIntervals& staticRuns,
                           std::uint32_t minFrames);

/// Chooses scene clips: every frame k with sceneLength T ≥ `minFrames` (and T > 0) is the
/// candidate [k, k + T); the longest candidate is taken first (the one added last among equal
/// lengths), capped at `maxFrames` with the rest kept as a new candidate when it is longer than
/// `minFrames`, and the candidates it overlaps are trimmed to what lies outside it, when that is
/// at least `minFrames` long. Stops when no candidate of `minFrames` frames is left. Returns the
/// clips as start → end (exclusive). Pure function.
[[nodiscard]] FrameIntervals chooseSceneClips(const std::vector<FrameRun>& runs,
                                              std::uint32_t minFrames, std::uint32_t maxFrames);

/// The clips the steps above (static runs with `minStaticFrames`, the cut at them, the choice)
/// make of a stretch of frames that no scene reaches out of: `stretch` holds the runs of frames
/// `offset` onwards, and every frame of it and before it has its cut inside the stretch or
/// before it. Such a stretch is decided alone: the whole range's steps choose the same clips in
/// it, whatever lies around it. Clips as range indexes. Pure function.
[[nodiscard]] FrameIntervals chooseStretchClips(std::vector<FrameRun> stretch, std::uint32_t offset,
                                                std::uint32_t minStaticFrames,
                                                std::uint32_t minFrames, std::uint32_t maxFrames);

/// The selection step of `chooseSceneClips` on explicit candidates [start, end), in the order
/// they were added. None when `maxFrames` is 0.
[[nodiscard]] FrameIntervals selectClips(
    const std::vector<std::pair<std::uint32_t, std::uint32_t>>& candidates, std::uint32_t minFrames,
    std::uint32_t maxFrames);

}  // namespace tg
