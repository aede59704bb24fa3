// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "imaging/foto.h"

namespace tg {

/// The main window's cache of main images, keyed by path. The first request for a path loads the
/// picture (at most about 3000 x 3000 after reduced JPEG decoding, messages on); later requests
/// return the kept image. Used from the window thread only.
class CachedImage {
 public:
  /// The largest size the window asks the decoder for.
  static constexpr std::uint32_t kMaxSide = 3000;

  /// The cached image of `path`, loading it on first use; nullptr for an empty path or a failed
  /// load (the decoder has told the user why; a failed load is tried again next time). The
  /// pointer stays valid until `releaseAll` or the cache's destruction.
  [[nodiscard]] const Foto* image(const std::string& path);
  /// Releases the cached image of `path` (pointers to it become invalid); nothing when none.
  void release(const std::string& path) { m_images.erase(path); }
  /// Releases every cached image.
  void releaseAll();
  /// Number of cached images.
  [[nodiscard]] std::size_t size() const { return m_images.size(); }

 private:
  std::map<std::string, std::unique_ptr<Foto>> m_images;
};

}  // namespace tg
