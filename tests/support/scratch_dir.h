// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <string>

namespace tg::test {

/// A fresh, empty folder under the system's temporary folder, removed with everything in it when
/// the object goes away.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  [[nodiscard]] const std::filesystem::path& path() const { return m_path; }
  /// `path() / name` as a string.
  [[nodiscard]] std::string file(const std::string& name) const;

 private:
  std::filesystem::path m_path;
};

/// Writes `bytes` to `path`, creating folders on the way; fails the calling test on error.
void writeFile(const std::filesystem::path& path, const std::string& bytes);
/// The whole content of `path` ("" when it cannot be read).
[[nodiscard]] std::string readFile(const std::filesystem::path& path);
/// The folder of the test's sample files (tests/data), from TG_TEST_DATA.
[[nodiscard]] std::filesystem::path testDataDir();

}  // namespace tg::test
