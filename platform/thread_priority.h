// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace tg {

/// Thread priority levels, numbered as the configuration stores them.
enum class ThreadPriority : int {
  Idle = -15,
  Lowest = -2,
  BelowNormal = -1,
  Normal = 0,
  AboveNormal = 1,
  Highest = 2,
};

/// The level for a stored number: −15 and below Idle, −2 .. −14 Lowest, −1 BelowNormal,
/// 0 Normal, 1 AboveNormal, 2 and above Highest.
[[nodiscard]] ThreadPriority threadPriorityFromLevel(int level);

/// The nice value a level maps to: Lowest 19, BelowNormal 10, Normal 0, AboveNormal −5,
/// Highest −10 (Idle uses the idle scheduling class at nice 0).
[[nodiscard]] int niceValueOf(ThreadPriority priority);

/// Gives the calling thread (only it, not the process) `priority`: Idle switches it to the idle
/// scheduling class, the other levels to the normal class with the level's nice value. Raising
/// above normal needs privileges; when the system refuses, the thread stays at normal (nice 0).
/// Returns true when exactly the requested level is in force.
[[nodiscard]] bool setCurrentThreadPriority(ThreadPriority priority);

/// The calling thread's nice value (its scheduling class aside).
[[nodiscard]] int currentThreadNice();
/// Whether the calling thread runs in the idle scheduling class.
[[nodiscard]] bool currentThreadIsIdle();

}  // namespace tg
