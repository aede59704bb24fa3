// SPDX-License-Identifier: GPL-3.0-or-later
#include "window_test_support.h"

#include <QApplication>
#include <QTest>
#include <clocale>
#include <cstdlib>
#include <filesystem>

namespace tg::test {

int runWindowTests(QObject& suite, int argc, char** argv) {
  if (std::getenv("TESSELOGRAPH_CONFIG_PATH") == nullptr) {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "tg-ui-test-config";
    std::filesystem::create_directories(dir);
    setenv("TESSELOGRAPH_CONFIG_PATH", dir.c_str(), 1);
  }
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication application(argc, argv);
  std::setlocale(LC_ALL, "C.UTF-8");
  return QTest::qExec(&suite, argc, argv);
}

}  // namespace tg::test
