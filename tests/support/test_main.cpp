// SPDX-License-Identifier: GPL-3.0-or-later
#include <clocale>
#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>

int main(int argc, char** argv) {
  // Tests never see the real user's configuration: CTest points TESSELOGRAPH_CONFIG_PATH at a
  // folder of the build tree; a suite started by hand gets a private temporary one.
  if (std::getenv("TESSELOGRAPH_CONFIG_PATH") == nullptr) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "tg-test-config";
    std::filesystem::create_directories(dir);
    setenv("TESSELOGRAPH_CONFIG_PATH", dir.c_str(), 1);
  }
  // Tests compare English texts: the user's language must not reach them, nor the programs
  // they start.
  unsetenv("LANGUAGE");
  unsetenv("LC_ALL");
  unsetenv("LC_MESSAGES");
  setenv("LANG", "C.UTF-8", 1);
  std::setlocale(LC_ALL, "C.UTF-8");
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
