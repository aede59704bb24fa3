// SPDX-License-Identifier: GPL-3.0-or-later
#include "parallel/synchronizer.h"

#include <system_error>

namespace tg {

CSynchronizer::CSynchronizer(std::mutex& mutex) : m_lock(mutex, std::defer_lock) {
  try {
    m_lock.lock();
  } catch (const std::system_error&) {
    // The lock stays unacquired; callers see it through isLocked() and skip their step.
  }
}

CSynchronizer::~CSynchronizer() = default;

void CSynchronizer::unlock() {
  if (m_lock.owns_lock()) m_lock.unlock();
}

}  // namespace tg
