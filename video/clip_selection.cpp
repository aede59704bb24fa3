// SPDX-License-Identifier: GPL-3.0-or-later
#include "video/clip_selection.h"

#include <algorithm>
#include <cstddef>

namespace tg {
namespace {

struct Candidate {
  std::uint32_t start;
  std::uint32_t end;
  std::uint64_t order;  // when it was added: among equal lengths the latest is taken first
  [[nodiscard]] std::uint32_t length() const { return end - start; }
};

}  // namespace

FrameIntervals findStaticRuns(const std::vector<FrameRun>& runs, std::uint32_t minStaticFrames) {
  FrameIntervals staticRuns;
  if (minStaticFrames == 0) return staticRuns;
  const auto count = static_cast<std::uint32_t>(runs.size());
  for (std::uint32_t k = 0; k < count;) {
    const std::uint32_t length = runs[k].staticLength;
    if (length >= minStaticFrames) {
      staticRuns[k + length - 1] = k;
      // Go on at the run's last frame, which may start a run of its own; always move on.
      k = length > 1 ? k + length - 1 : k + 1;
    } else {
      ++k;
    }
  }
  return staticRuns;
}

void cutScenesAtStaticRuns(std::vector<FrameRun>& runs, const FrameIntervals& staticRuns,
                           std::uint32_t minFrames) {
  const auto count = static_cast<std::uint32_t>(runs.size());
  for (std::uint32_t k = 0; k < count; ++k) {
    const std::uint32_t length = runs[k].sceneLength;
    if (length < minFrames) continue;
    const auto run = staticRuns.upper_bound(k);
    if (run == staticRuns.end()) continue;
    const std::uint32_t first = run->second;
    if (first < k + length) runs[k].sceneLength = first > k ? first - k + 1 : 0;
  }
}

FrameIntervals selectClips(const std::vector<std::pair<std::uint32_t, std::uint32_t>>& candidates,
                           std::uint32_t minFrames, std::uint32_t maxFrames) {
  std::vector<Candidate> store;
  std::uint64_t added = 0;
  for (const auto& [start, end] : candidates) store.push_back({start, end, added++});

  FrameIntervals clips;
  // A clip of at most no frames is no clip; capping at 0 would also give back the very
  // candidate as its own rest, again and again.
  if (maxFrames == 0) return clips;
  while (!store.empty()) {
    const auto longest =
        std::max_element(store.begin(), store.end(), [](const Candidate& a, const Candidate& b) {
          return a.length() != b.length() ? a.length() < b.length() : a.order < b.order;
        });
    const Candidate taken = *longest;
    store.erase(longest);
    const std::uint32_t length = taken.length();
    if (length < minFrames) break;
    std::uint32_t clipEnd = taken.end;
    if (length > maxFrames) {
      if (length - maxFrames > minFrames) {
        store.push_back({taken.start + maxFrames, taken.end, added++});
      }
      clipEnd = taken.start + maxFrames;
    }
    clips[taken.start] = clipEnd;

    // Trim what overlaps the clip. Both searches look at the store as it is now; the pieces
    // kept are collected by their start, so of several tails (all starting at the clip's end)
    // only the one cut from the candidate with the smallest start survives.
    std::vector<std::uint64_t> removed;
    FrameIntervals pieces;
    std::vector<const Candidate*> byStart;
    for (const Candidate& c : store) byStart.push_back(&c);
    std::stable_sort(byStart.begin(), byStart.end(),
                     [](const Candidate* a, const Candidate* b) { return a->start < b->start; });
    for (const Candidate* c : byStart) {
      if (c->start < taken.start || c->start >= clipEnd) continue;
      removed.push_back(c->order);
      if (c->end >= clipEnd + minFrames) pieces.emplace(clipEnd, c->end);
    }
    std::vector<const Candidate*> byEnd = byStart;
    std::stable_sort(byEnd.begin(), byEnd.end(),
                     [](const Candidate* a, const Candidate* b) { return a->end < b->end; });
    for (const Candidate* c : byEnd) {
      if (c->end <= taken.start || c->end > clipEnd) continue;
      removed.push_back(c->order);
      if (taken.start >= c->start + minFrames) pieces.emplace(c->start, taken.start);
    }
    std::erase_if(store, [&removed](const Candidate& c) {
      return std::find(removed.begin(), removed.end(), c.order) != removed.end();
    });
    for (const auto& [start, end] : pieces) store.push_back({start, end, added++});
  }
  return clips;
}

FrameIntervals chooseSceneClips(const std::vector<FrameRun>& runs, std::uint32_t minFrames,
                                std::uint32_t maxFrames) {
  std::vector<std::pair<std::uint32_t, std::uint32_t>> candidates;
  for (std::size_t k = 0; k < runs.size(); ++k) {
    const std::uint32_t length = runs[k].sceneLength;
    if (length >= minFrames && length > 0) {
      candidates.emplace_back(static_cast<std::uint32_t>(k),
                              static_cast<std::uint32_t>(k) + length);
    }
  }
  return selectClips(candidates, minFrames, maxFrames);
}

FrameIntervals chooseStretchClips(std::vector<FrameRun> stretch, std::uint32_t offset,
                                  std::uint32_t minStaticFrames, std::uint32_t minFrames,
                                  std::uint32_t maxFrames) {
  // The scan for static runs of the whole range reaches the stretch's first frame exactly (no
  // run reaches out of a stretch), so scanning the stretch alone finds the same runs.
  const FrameIntervals staticRuns = findStaticRuns(stretch, minStaticFrames);
  cutScenesAtStaticRuns(stretch, staticRuns, minFrames);
  FrameIntervals clips;
  for (const auto& [start, end] : chooseSceneClips(stretch, minFrames, maxFrames)) {
    clips.emplace(start + offset, end + offset);
  }
  return clips;
}

}  // namespace tg
