// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <mutex>

namespace tg {

/// A scoped lock over a `std::mutex`: constructing it acquires the mutex, destroying it releases
/// the mutex when it was acquired. Code that takes the lock checks `isLocked()` before it touches
/// the protected data and skips the protected step otherwise (acquiring can only fail when the
/// system refuses the lock). Not copyable; used by one thread, for a few statements at a time.
/// The mutexes it guards are never re-entered by a thread that holds them.
class CSynchronizer {
 public:
  /// Acquires `mutex`, blocking until it is free.
  explicit CSynchronizer(std::mutex& mutex);
  /// Releases the mutex when it is still held.
  virtual ~CSynchronizer();
  CSynchronizer(const CSynchronizer&) = delete;
  CSynchronizer& operator=(const CSynchronizer&) = delete;

  /// True while this object holds the mutex.
  [[nodiscard]] bool isLocked() const { return m_lock.owns_lock(); }
  /// Releases the mutex early (nothing happens when it is not held).
  void unlock();

 private:
  std::unique_lock<std::mutex> m_lock;
};

}  // namespace tg
