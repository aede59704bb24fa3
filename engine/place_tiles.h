// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tg {

struct CellGrid;
struct FotoInfo;
struct MatchingContext;
struct PuzzleInfo;
struct TileImagesList;

/// The `MosaicProcessing` ids.
inline constexpr long kProcessingHighQuality = 1;
inline constexpr long kProcessingFaster = 2;
inline constexpr long kProcessingCustomVariants = 3;
inline constexpr long kProcessingSequential = 4;
inline constexpr long kProcessingRandom = 5;
inline constexpr long kProcessingFolderVariants = 6;
inline constexpr long kProcessingSequentialByDate = 7;
inline constexpr long kProcessingExperimental1 = 8;
inline constexpr long kProcessingExperimental2 = 9;

/// The squared distance below which two cells count as too close for the same tile: s x s x A
/// for a `DuplicateSpacing` s of at least 2, with A the average cell area in grid units
/// ((columns x rows) / cells, integer division); 0 (no spacing) otherwise. Pure.
[[nodiscard]] std::uint64_t spacingThreshold(const CellGrid& grid, long duplicateSpacing);

/// Whether the top-left corners of `a` and `b` lie closer than the threshold:
/// (top1 - top2)^2 + (left1 - left2)^2 < threshold. Always false for a threshold of 0. Pure.
[[nodiscard]] bool withinSpacing(const PuzzleInfo& a, const PuzzleInfo& b, std::uint64_t threshold);

/// The tiles placement may use, in list order: records in use with a built signature. The
/// pointers stay valid while the list's collection is unchanged.
[[nodiscard]] std::vector<FotoInfo*> placementTiles(TileImagesList& list);

/// The text Sequential by Date sorts a tile by: the photograph's shooting date, or, when it has
/// none (shorter than 10 characters or starting with "0000"), the file's creation time as
/// "%Y:%m:%d %H:%M:%S" in local time; "" when neither can be read. Reads the file; any thread.
[[nodiscard]] std::string sequenceDateText(const FotoInfo& tile);

/// Fills the active, unlocked cells in container order with the usable tiles (all tiles when
/// rotated-90 variants are allowed, else those whose signature is not flagged rotated), starting
/// over when the list is used up; no distance, limit or spacing applies. `algorithm` is
/// `kProcessingSequential` (list order), `kProcessingRandom` (the list shuffled by a generator
/// seeded with `seed`) or `kProcessingSequentialByDate` (by `sequenceDateText`). Writes the
/// cells' tiles and use counts (scores stay "none"). Returns false when stopped. Job thread.
[[nodiscard]] bool placeSequence(MatchingContext& context, long algorithm, std::uint32_t seed);

/// The placement stage: chooses the algorithm from `MosaicProcessing` and `ConsecutiveFrames`
/// (which forces Faster whenever it is 1 or more) and runs it over the cells of the context:
/// Faster with the tile list file, the sequence fills, the quality improvement pass (only with
/// `TileDuplication` 1 and no per-image limit; otherwise the user is told so and nothing is
/// placed) or High Quality over tiles or tile groups. Returns true to go on, false when stopped
/// or refused. Job thread; High Quality spreads its candidate searches over
/// `job.threadCount` threads.
[[nodiscard]] bool placeTiles(MatchingContext& context);

}  // namespace tg
