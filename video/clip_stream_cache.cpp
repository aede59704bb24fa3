// SPDX-License-Identifier: GPL-3.0-or-later
#include "video/clip_stream_cache.h"

#include "video/avi_stream.h"

namespace tg {

ClipStreamCache::ClipStreamCache(std::size_t capacity) : m_capacity(capacity) {}

ClipStreamCache::~ClipStreamCache() = default;

CAviStream* ClipStreamCache::stream(const std::string& path, CAviStream& spare) {
  const auto found = m_streams.find(path);
  if (found != m_streams.end()) return found->second.get();
  ++m_opens;
  if (m_streams.size() >= m_capacity) {
    spare.setShowErrors(false);
    return spare.open(path) ? &spare : nullptr;
  }
  auto opened = std::make_unique<CAviStream>();
  opened->setShowErrors(false);
  if (!opened->open(path)) return nullptr;
  CAviStream* kept = opened.get();
  m_streams.emplace(path, std::move(opened));
  return kept;
}

void ClipStreamCache::drop(const std::string& path) { m_streams.erase(path); }

bool ClipStreamCache::firstFailure(const std::string& path) {
  std::lock_guard<std::mutex> lock(m_failedLock);
  return m_failed.insert(path).second;
}

}  // namespace tg
