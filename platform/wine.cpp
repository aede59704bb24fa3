// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/wine.h"

#include <atomic>

namespace tg {

namespace {

// -1: no test override (the native answer, false); 0 or 1: the test's answer.
std::atomic<int> g_override{-1};

}  // namespace

bool underWine() { return g_override.load(std::memory_order_relaxed) == 1; }

ScopedUnderWine::ScopedUnderWine(bool answer)
    : m_previous(g_override.exchange(answer ? 1 : 0, std::memory_order_relaxed)) {}

ScopedUnderWine::~ScopedUnderWine() { g_override.store(m_previous, std::memory_order_relaxed); }

}  // namespace tg
