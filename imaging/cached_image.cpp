// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/cached_image.h"

#include "imaging/image_file.h"

namespace tg {

const Foto* CachedImage::image(const std::string& path) {
  if (path.empty()) return nullptr;
  if (auto found = m_images.find(path); found != m_images.end()) return found->second.get();
  auto loaded = std::make_unique<Foto>();
  if (!loadImageFile(*loaded, path, kMaxSide, kMaxSide, true)) return nullptr;
  const Foto* result = loaded.get();
  m_images.emplace(path, std::move(loaded));
  return result;
}

void CachedImage::releaseAll() { m_images.clear(); }

}  // namespace tg
