// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "imaging/foto.h"
#include "output/jpeg_writer.h"
#include "support/scratch_dir.h"

namespace tg::test {

/// What one run of the binary did.
struct CliRun {
  int exitCode = -1;
  std::string out;  ///< standard output
  std::string err;  ///< standard error
};

inline std::string cliPath() {
  std::error_code error;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
  return (self.parent_path() / "tesselograph-cli").string();
}

inline std::string quoted(const std::string& text) {
  std::string out = "'";
  for (const char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

/// Runs the CLI with `arguments` (already quoted) from `folder`, standard input closed.
inline CliRun runCli(const std::string& folder, const std::string& arguments) {
  const std::string errFile = folder + "/.stderr";
  const std::string command = "cd " + quoted(folder) + " && " + quoted(cliPath()) + " " +
                              arguments + " </dev/null 2>" + quoted(errFile);
  CliRun run;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return run;
  std::array<char, 4096> buffer{};
  std::size_t got = 0;
  while ((got = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
    run.out.append(buffer.data(), got);
  const int status = pclose(pipe);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.err = readFile(errFile);
  return run;
}

/// How a run interrupted by `interruptWhenSeen` ended.
struct InterruptedRun {
  bool started = false;     ///< the process was started and its end collected
  bool endedFirst = false;  ///< it ended before `cue` appeared, so it was not interrupted
  int status = 0;           ///< as `waitpid` gives it
  std::string err;          ///< standard error
};

/// Runs the CLI with `arguments` from `folder`, standard error to `errFile`, and presses Ctrl-C
/// (SIGINT) as soon as `cue` appears there, looking every `pollMicroseconds`.
inline InterruptedRun interruptWhenSeen(const std::string& folder,
                                        const std::vector<std::string>& arguments,
                                        const std::string& errFile, const std::string& cue,
                                        useconds_t pollMicroseconds) {
  // Everything the child needs is made before the fork: it may only make system calls.
  const std::string cli = cliPath();
  std::vector<char*> argv{const_cast<char*>(cli.c_str())};
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  InterruptedRun run;
  const pid_t child = fork();
  if (child < 0) return run;
  if (child == 0) {
    if (chdir(folder.c_str()) != 0) _exit(120);
    const int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int none = open("/dev/null", O_RDWR);
    dup2(none, 0);
    dup2(none, 1);
    dup2(err, 2);
    execv(cli.c_str(), argv.data());
    _exit(121);
  }
  run.started = true;
  while (readFile(errFile).find(cue) == std::string::npos) {
    if (waitpid(child, &run.status, WNOHANG) == child) {
      run.endedFirst = true;
      break;
    }
    usleep(pollMicroseconds);
  }
  if (!run.endedFirst) {
    kill(child, SIGINT);
    if (waitpid(child, &run.status, 0) != child) run.started = false;
  }
  run.err = readFile(errFile);
  return run;
}

/// Writes a `width` x `height` JPEG whose colour depends on `seed`, with a gradient so that
/// the tiles differ inside too.
inline void writePhoto(const std::string& path, std::uint32_t width, std::uint32_t height,
                       int seed) {
  Foto image;
  ASSERT_TRUE(image.create(width, height));
  for (std::uint32_t y = 0; y < height; ++y) {
    for (std::uint32_t x = 0; x < width; ++x) {
      const std::uint32_t r = (seed * 53 + x * 255 / width) & 0xFF;
      const std::uint32_t g = (seed * 97 + y * 255 / height) & 0xFF;
      const std::uint32_t b = (seed * 31) & 0xFF;
      image.row(y)[x] = r | (g << 8) | (b << 16);
    }
  }
  ASSERT_TRUE(writeJpegImage(path, image, 90, 0));
}

/// A scratch folder with 30 small tile photographs in tiles/ (24 landscape, 6 portrait in
/// tiles/more/) and a 240 x 180 main image main.jpg.
class CliFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    m_root = m_dir.path().string();
    std::filesystem::create_directories(m_dir.path() / "tiles" / "more");
    for (int i = 0; i < 24; ++i) {
      writePhoto(m_dir.file("tiles/t" + std::to_string(i) + ".jpg"), 64, 48, i);
    }
    for (int i = 0; i < 6; ++i) {
      writePhoto(m_dir.file("tiles/more/p" + std::to_string(i) + ".jpg"), 48, 64, 40 + i);
    }
    writePhoto(m_dir.file("main.jpg"), 240, 180, 7);
  }

  CliRun cli(const std::string& arguments) { return runCli(m_root, arguments); }

  ScratchDir m_dir;
  std::string m_root;
};

}  // namespace tg::test
