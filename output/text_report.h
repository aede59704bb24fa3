// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

namespace tg {

struct CellGrid;
struct ComparisonSettings;
struct MatchingContext;
struct MosaicSettings;

/// `text` as one CSV field. Without `alwaysQuote` a text without comma and double quote comes
/// back unchanged; otherwise (and always with `alwaysQuote`) every double quote is doubled and
/// the whole is put in double quotes. Line breaks inside a quoted field are kept, as CSV allows.
[[nodiscard]] std::string csvField(const std::string& text, bool alwaysQuote);

/// The quality percentage the report prints for `score` in a mosaic whose best and worst scores
/// are `best` and `worst` (a worst of 0 counts as 1): 100 for the best, 0 for the worst, linear
/// between, 100 for every score when best is not below worst; kept within 0..100.
[[nodiscard]] double reportQuality(std::uint32_t score, std::uint32_t best, std::uint32_t worst);

/// Writes the text report of `grid` (after placement and saving) to `path`: UTF-8 with a byte
/// order mark and CR LF line ends, a summary of the mosaic and of `settings`, one CSV line per
/// cell and the table of the distinct tiles used. Every cell with a tile gets its raw distance
/// (`rawDistance` under `comparison`) stored as its score first. `mainWidth` x `mainHeight` is
/// the main image's size, `maskFile` the mask file of a MaskFile mosaic (else empty).
///
/// When both sides of the grid's size (`columns` x `rows`) differ from the extent its cells
/// cover, the summary carries the real size and the user is warned once; the report is written
/// anyway. A file that cannot be created or written gives no report, no message and false; the
/// report is written to a temporary file first, so an older report at `path` stays whole until
/// the new one is complete. Job thread.
[[nodiscard]] bool writeTextReport(const std::string& path, CellGrid& grid,
                                   const MosaicSettings& settings, std::uint32_t mainWidth,
                                   std::uint32_t mainHeight, const std::string& maskFile,
                                   const ComparisonSettings& comparison);
/// The same with the process-wide comparison settings.
[[nodiscard]] bool writeTextReport(const std::string& path, CellGrid& grid,
                                   const MosaicSettings& settings, std::uint32_t mainWidth,
                                   std::uint32_t mainHeight, const std::string& maskFile);

/// The report stage of a job, in the form of `ProductionStages::TextReportHook`:
/// `writeTextReport` of the context's grid to `path` with the job's settings, the main image
/// size kept in the job, `job.currentMaskFile` and the context's comparison settings. Job thread.
[[nodiscard]] bool writeTextReportStage(MatchingContext& context, const std::string& path);

}  // namespace tg
