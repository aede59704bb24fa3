// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/shell.h"

#include <spawn.h>
#include <strings.h>
#include <sys/wait.h>

#include <cerrno>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "platform/wine.h"

extern char** environ;

namespace tg {

namespace {

std::mutex g_spawnerMutex;
ScopedShellSpawner::Spawner g_spawner;  // empty: start the program for real

bool isAddress(const std::string& text) {
  return text.find("://") != std::string::npos || strncasecmp(text.c_str(), "mailto:", 7) == 0;
}

std::string withoutEnclosingQuotes(const std::string& text) {
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
    return text.substr(1, text.size() - 2);
  }
  return text;
}

}  // namespace

std::string quotedIfBlank(const std::string& text) {
  if (text.size() > 1 && text.find(' ', 1) != std::string::npos) return "\"" + text + "\"";
  return text;
}

std::string wineHostPath(const std::string& path) {
  if (path.size() < 2 || strncasecmp(path.c_str(), "Z:", 2) != 0) return path;
  std::string host = path.substr(2);
  for (char& c : host) {
    if (c == '\\') c = '/';
  }
  return host;
}

ShellRequest shellRequestFor(const std::string& path) {
  if (underWine()) return {"winebrowser.exe", quotedIfBlank(wineHostPath(path))};
  return {"xdg-open", quotedIfBlank(path)};
}

std::vector<std::string> spawnArgumentsFor(const ShellRequest& request) {
  return {request.program, withoutEnclosingQuotes(request.argument)};
}

int spawnDetached(const std::vector<std::string>& argv) {
  if (argv.empty()) return EINVAL;
  std::vector<char*> pointers;
  pointers.reserve(argv.size() + 1);
  for (const std::string& a : argv) pointers.push_back(const_cast<char*>(a.c_str()));
  pointers.push_back(nullptr);
  pid_t pid = 0;
  const int error = posix_spawnp(&pid, pointers[0], nullptr, nullptr, pointers.data(), environ);
  if (error != 0) return error;
  // The opener usually returns at once; waiting for it here would stall the caller (the window).
  std::thread([pid] {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }).detach();
  return 0;
}

int openWithShell(const std::string& path) {
  if (path.empty()) return 0;
  const std::vector<std::string> argv = spawnArgumentsFor(shellRequestFor(path));
  if (!isAddress(argv[1])) {
    std::error_code error;
    if (!std::filesystem::exists(argv[1], error)) return kShellFileNotFound;
  }
  ScopedShellSpawner::Spawner spawner;
  {
    std::lock_guard lock(g_spawnerMutex);
    spawner = g_spawner;
  }
  const int error = spawner ? spawner(argv) : spawnDetached(argv);
  switch (error) {
    case 0:
      return kShellStarted;
    case ENOMEM:
      return kShellOutOfMemory;
    case EACCES:
    case EPERM:
      return kShellAccessDenied;
    default:
      return kShellNoAssociation;
  }
}

ScopedShellSpawner::ScopedShellSpawner(Spawner spawner) {
  std::lock_guard lock(g_spawnerMutex);
  m_previous = std::exchange(g_spawner, std::move(spawner));
}

ScopedShellSpawner::~ScopedShellSpawner() {
  std::lock_guard lock(g_spawnerMutex);
  g_spawner = std::move(m_previous);
}

}  // namespace tg
