// SPDX-License-Identifier: GPL-3.0-or-later
#include "clip_maker.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "imaging/frame_bitmap.h"
#include "platform/text_format.h"
#include "video/avi_create.h"

extern char** environ;

namespace tg::test {
namespace {

// Spawns `args` with standard output sent to `outFd` (or /dev/null when -1).
int spawnAndWait(const std::vector<std::string>& args, int outFd) {
  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (outFd >= 0) {
    posix_spawn_file_actions_adddup2(&actions, outFd, STDOUT_FILENO);
  } else {
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  }
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

Rgb patternColour(uint32_t frame, int x, int y, int width, int height) {
  return Rgb{static_cast<int>(frame * 9 % 256), y < height / 2 ? 200 : 50,
             x < width / 2 ? 30 : 220};
}

std::string patternFilter(int width, int height, int frames, const std::string& rate) {
  return formatText(
      "color=c=black:s=%dx%d:r=%s,format=rgb24,trim=end_frame=%d,"
      "geq=r='mod(N*9\\,256)':g='if(lt(Y\\,H/2)\\,200\\,50)':b='if(lt(X\\,W/2)\\,30\\,220)'",
      width, height, rate, frames);
}

bool runProgram(const std::vector<std::string>& args) { return spawnAndWait(args, -1) == 0; }

std::string programOutput(const std::vector<std::string>& args) {
  char name[] = "/tmp/tg-video-output-XXXXXX";
  const int fd = mkstemp(name);
  if (fd < 0) return {};
  unlink(name);
  std::string output;
  if (spawnAndWait(args, fd) == 0) {
    lseek(fd, 0, SEEK_SET);
    char buffer[4096];
    ssize_t got;
    while ((got = read(fd, buffer, sizeof buffer)) > 0)
      output.append(buffer, static_cast<size_t>(got));
  }
  close(fd);
  return output;
}

bool haveFfmpegTools() {
  static const bool have =
      runProgram({"ffmpeg", "-version"}) && runProgram({"ffprobe", "-version"});
  return have;
}

bool makeClip(const std::string& path, int width, int height, int frames, const std::string& rate,
              const std::vector<std::string>& codecArgs) {
  std::vector<std::string> args = {
      "ffmpeg", "-nostdin", "-v",
      "error",  "-y",       "-f",
      "lavfi",  "-i",       patternFilter(width, height, frames, rate)};
  args.insert(args.end(), codecArgs.begin(), codecArgs.end());
  args.push_back(path);
  return runProgram(args);
}

bool writePatternAvi(const std::string& path, int width, int height, int frames, uint32_t fourcc,
                     uint32_t rate) {
  CAviCreate writer;
  writer.setShowErrors(false);
  BitmapInfoHeader format{};
  if (!writer.create(path, format, width, height, fourcc, rate)) return false;
  const int stride = format.width * 3;
  std::vector<uint8_t> bits(format.imageSize);
  for (int k = 0; k < frames; ++k) {
    for (int y = 0; y < format.height; ++y) {
      uint8_t* row = bits.data() + static_cast<size_t>(format.height - 1 - y) * stride;
      for (int x = 0; x < format.width; ++x) {
        const Rgb colour =
            patternColour(static_cast<uint32_t>(k), x, y, format.width, format.height);
        row[x * 3 + 0] = static_cast<uint8_t>(colour.b);
        row[x * 3 + 1] = static_cast<uint8_t>(colour.g);
        row[x * 3 + 2] = static_cast<uint8_t>(colour.r);
      }
    }
    if (!writer.writeFrame(bits.data(), bits.size())) return false;
  }
  return writer.close();
}

Rgb bitmapPixel(const uint8_t* bitmap, int x, int y) {
  BitmapInfoHeader header;
  std::memcpy(&header, bitmap, sizeof header);
  const uint8_t* table = bitmap + header.headerSize;
  const uint8_t* bits = table + header.coloursUsed * 4;
  const int stride = ((header.width * header.bitCount + 31) / 32) * 4;
  const uint8_t* row = bits + static_cast<size_t>(header.height - 1 - y) * stride;
  if (header.bitCount == 8) {
    const uint8_t* entry = table + row[x] * 4;
    return Rgb{entry[2], entry[1], entry[0]};
  }
  return Rgb{row[x * 3 + 2], row[x * 3 + 1], row[x * 3 + 0]};
}

bool near(const Rgb& a, const Rgb& b, int tolerance) {
  return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
         std::abs(a.b - b.b) <= tolerance;
}

}  // namespace tg::test
