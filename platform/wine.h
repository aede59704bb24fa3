// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace tg {

/// Whether the program runs under the Wine compatibility layer. A native Linux build never does,
/// so the answer is false unless a test has chosen otherwise. Safe on any thread.
[[nodiscard]] bool underWine();

/// Test seam: while an object lives, `underWine()` answers `answer`. Objects nest; they must not
/// overlap across threads. Never used by the program itself.
class ScopedUnderWine {
 public:
  explicit ScopedUnderWine(bool answer);
  ~ScopedUnderWine();
  ScopedUnderWine(const ScopedUnderWine&) = delete;
  ScopedUnderWine& operator=(const ScopedUnderWine&) = delete;

 private:
  int m_previous;
};

}  // namespace tg
