// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/still_cell_cache.h"

#include <utility>

#include "imaging/foto.h"

namespace tg {

std::shared_ptr<const Foto> StillCellCache::find(const PuzzleInfo* cell) {
  std::lock_guard<std::mutex> lock(m_lock);
  const auto found = m_pictures.find(cell);
  if (found == m_pictures.end()) return nullptr;
  ++m_reuses;
  return found->second;
}

bool StillCellCache::keep(const PuzzleInfo* cell, std::shared_ptr<const Foto> picture) {
  if (!picture || picture->empty()) return false;
  const std::uint64_t size = std::uint64_t{picture->width} * picture->height * sizeof(Pixel);
  std::lock_guard<std::mutex> lock(m_lock);
  if (size > m_budget - m_bytes || m_pictures.contains(cell)) return false;
  m_pictures.emplace(cell, std::move(picture));
  m_bytes += size;
  return true;
}

std::uint64_t StillCellCache::bytes() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_bytes;
}

std::size_t StillCellCache::cells() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_pictures.size();
}

std::uint64_t StillCellCache::reuses() const {
  std::lock_guard<std::mutex> lock(m_lock);
  return m_reuses;
}

}  // namespace tg
