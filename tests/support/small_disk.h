// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/mount.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "support/scratch_dir.h"

namespace tg::test {

/// A scratch folder with a small file system of its own (a tmpfs of `bytes`), to run out of disk
/// space on purpose. Mounting needs the right to mount (root in CI); where it is missing,
/// `mounted()` is false and the test skips itself.
class SmallDisk {
 public:
  explicit SmallDisk(std::uint64_t bytes) {
    const std::string options = "size=" + std::to_string(bytes) + ",mode=0777";
    m_mounted =
        ::mount("tmpfs", m_dir.path().c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0;
  }
  ~SmallDisk() {
    if (m_mounted) (void)::umount2(m_dir.path().c_str(), MNT_DETACH);
  }
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;

  [[nodiscard]] bool mounted() const { return m_mounted; }
  [[nodiscard]] std::string file(const std::string& name) const { return m_dir.file(name); }
  /// The names in the folder, space-separated (to find temporary files left behind).
  [[nodiscard]] std::string listing() const {
    std::string names;
    for (const auto& entry : std::filesystem::directory_iterator(m_dir.path())) {
      names += entry.path().filename().string() + " ";
    }
    return names;
  }

 private:
  ScratchDir m_dir;
  bool m_mounted = false;
};

}  // namespace tg::test
