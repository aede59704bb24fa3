// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/paths.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

namespace tg {

namespace {

std::string readProgramFolder() {
  std::vector<char> buffer(4096);
  for (;;) {
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) break;
    if (static_cast<size_t>(length) < buffer.size()) {
      std::string folder = folderOf(std::string_view(buffer.data(), static_cast<size_t>(length)));
      if (!folder.empty()) return folder;
      break;
    }
    if (buffer.size() >= (1u << 20)) break;
    buffer.resize(buffer.size() * 2);
  }
  std::error_code error;
  const std::filesystem::path current = std::filesystem::current_path(error);
  return error ? std::string("./") : withTrailingSeparator(current.string());
}

}  // namespace

const std::string& programFolder() {
  static const std::string folder = readProgramFolder();
  return folder;
}

std::string findProgramDataFolder(const std::string& programFolder,
                                  const std::string& installedRelative) {
  std::error_code error;
  if (std::filesystem::exists(programFolder + "package.txt", error)) return programFolder;
  if (!installedRelative.empty()) {
    const std::filesystem::path installed =
        std::filesystem::path(programFolder + installedRelative).lexically_normal();
    if (std::filesystem::is_directory(installed, error)) {
      return withTrailingSeparator(installed.string());
    }
  }
  return programFolder;
}

const std::string& programDataFolder() {
  // The installation places the data at this path relative to the executables' folder.
  static const std::string folder =
      findProgramDataFolder(programFolder(), TG_INSTALLED_DATA_FROM_BIN);
  return folder;
}

std::string withTrailingSeparator(std::string path) {
  if (!path.empty() && path.back() != kPathSeparator) path.push_back(kPathSeparator);
  return path;
}

std::string folderOf(std::string_view path) {
  const size_t last = path.rfind(kPathSeparator);
  return last == std::string_view::npos ? std::string() : std::string(path.substr(0, last + 1));
}

std::string fileNameOf(std::string_view path) {
  const size_t last = path.rfind(kPathSeparator);
  return std::string(last == std::string_view::npos ? path : path.substr(last + 1));
}

std::string joinPath(std::string_view folder, std::string_view name) {
  if (folder.empty()) return std::string(name);
  std::string result = withTrailingSeparator(std::string(folder));
  while (!name.empty() && name.front() == kPathSeparator) name.remove_prefix(1);
  result.append(name);
  return result;
}

std::string environmentValue(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? std::string(value) : std::string();
}

bool setEnvironmentValue(const char* name, const std::string& value) {
  return setenv(name, value.c_str(), 1) == 0;
}

std::string xdgConfigHome() {
  const std::string xdg = environmentValue("XDG_CONFIG_HOME");
  if (!xdg.empty() && xdg.front() == kPathSeparator) return xdg;
  const std::string home = environmentValue("HOME");
  if (home.empty()) return {};
  return joinPath(home, ".config");
}

bool createFolder(const std::string& folder) {
  if (folder.empty()) return false;
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  return std::filesystem::is_directory(folder, error);
}

}  // namespace tg
