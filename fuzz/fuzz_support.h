// SPDX-License-Identifier: GPL-3.0-or-later
// What every fuzz target shares: a quiet message sink and a scratch file for the readers that
// open files by name.
#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/scripted_dialogs.h"

namespace tg::fuzz {

/// Messages the code under test shows go to a script that forgets them each run.
inline ScriptedDialogs& quietDialogs() {
  static ScopedScriptedDialogs dialogs;
  dialogs->clear();
  return *dialogs;
}

/// Writes `data` to this process's scratch file ending in `extension` (in /dev/shm when it
/// exists, so that millions of runs do not wear a disk) and returns its path.
inline std::string scratchFile(const std::uint8_t* data, std::size_t size,
                               const std::string& extension) {
  static const std::string folder = access("/dev/shm", W_OK) == 0 ? "/dev/shm/" : "/tmp/";
  const std::string path = folder + "tg-fuzz-" + std::to_string(::getpid()) + "-input" + extension;
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) return path;
  if (size > 0) (void)std::fwrite(data, 1, size, file);
  std::fclose(file);
  return path;
}

/// Splits the input: the first bytes choose options, the rest is the payload.
class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
  std::uint8_t byte() {
    if (m_at >= m_size) return 0;
    return m_data[m_at++];
  }
  std::uint32_t u16() { return std::uint32_t{byte()} | (std::uint32_t{byte()} << 8); }
  [[nodiscard]] const std::uint8_t* rest() const { return m_data + m_at; }
  [[nodiscard]] std::size_t restSize() const { return m_at < m_size ? m_size - m_at : 0; }
  [[nodiscard]] std::string restText() const {
    return std::string(reinterpret_cast<const char*>(rest()), restSize());
  }

 private:
  const std::uint8_t* m_data;
  std::size_t m_size;
  std::size_t m_at = 0;
};

}  // namespace tg::fuzz
