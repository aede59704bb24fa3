// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace tg {

/// The kinds of objects whose live instances are counted for the leak diagnostic.
enum class LiveObject { Foto, FotoInfo, FotoMask, PuzzleInfo };

/// Counts one more live object of `kind` (called by every constructor). Any thread.
void countCreated(LiveObject kind);
/// Counts one live object of `kind` less (called by every destructor). Any thread.
void countDestroyed(LiveObject kind);
/// The number of live objects of `kind`.
[[nodiscard]] long liveCount(LiveObject kind);

/// The diagnostic composed when the main window closes: "Memory leak: Foto=%d, FotoInfo=%d,
/// FotoMask=%d, PuzzleInfo=%d. PrePowX Filter Count %d/%d." with the live counts (the Foto count
/// minus one, the window's own image) and the two filter counts, which are always 0. Not shown
/// to the user.
[[nodiscard]] std::string memoryLeakText();

/// A member that keeps the counter of `Kind` right for the record that holds it: construction
/// and copies count one more, destruction one less. Lets plain records (`FotoInfo`,
/// `PuzzleInfo`) stay copyable with the default copy operations.
template <LiveObject Kind>
class LiveObjectCounter {
 public:
  LiveObjectCounter() { countCreated(Kind); }
  LiveObjectCounter(const LiveObjectCounter&) { countCreated(Kind); }
  LiveObjectCounter& operator=(const LiveObjectCounter&) { return *this; }
  ~LiveObjectCounter() { countDestroyed(Kind); }
  friend bool operator==(const LiveObjectCounter&, const LiveObjectCounter&) { return true; }
};

}  // namespace tg
