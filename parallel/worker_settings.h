// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

namespace tg {

class AdvancedSettings;

/// Thread priority levels as the advanced setting `Options.Priority` names them. The platform
/// layer maps them onto nice values and scheduling classes.
inline constexpr int kPriorityIdle = -15;
inline constexpr int kPriorityLowest = -2;
inline constexpr int kPriorityBelowNormal = -1;
inline constexpr int kPriorityNormal = 0;
inline constexpr int kPriorityAboveNormal = 1;
inline constexpr int kPriorityHighest = 2;

/// The number of threads that heavy loops use, from the text of the advanced row
/// `Options.ThreadCount`: its integer value when that is 1..5000; otherwise `processors` (taken
/// as 1 when it is 0 or above 5000). When the row's value is −1, `threadCountRow` is rewritten
/// with the processor count so that the advanced settings show what is used.
[[nodiscard]] std::uint32_t workerThreadCount(std::string& threadCountRow, unsigned processors);

/// As above with the number of processors the system reports.
[[nodiscard]] std::uint32_t workerThreadCount(std::string& threadCountRow);

/// The thread priority level for worker threads from the text of `Options.Priority`: blanks and
/// underscores are removed and the rest is upper-cased; "IDLE", "LOWEST", "BELOWNORMAL",
/// "NORMAL", "ABOVENORMAL" and "HIGHEST" give their level, anything else `defaultPriority`.
[[nodiscard]] int workerPriority(const std::string& priorityRow,
                                 int defaultPriority = kPriorityLowest);

/// `workerThreadCount` of the advanced row `Options.ThreadCount` (rewriting a −1 in the row).
[[nodiscard]] std::uint32_t workerThreadCount(AdvancedSettings& advanced);

/// `workerPriority` of the advanced row `Options.Priority` with the default −2 (lowest).
[[nodiscard]] int workerPriority(const AdvancedSettings& advanced);

/// The number of processors the system reports (0 when it cannot tell).
[[nodiscard]] unsigned systemProcessorCount();

}  // namespace tg
