// SPDX-License-Identifier: GPL-3.0-or-later
#include <cstdio>
#include <cstring>

namespace {

constexpr const char* kUsage =
    "Usage:\n"
    "  tesselograph-cli list build [--include P]... [--exclude P]... [--required P]... [--video "
    "P]... [--bw] LIST.tg4\n"
    "  tesselograph-cli list info [--json] LIST.tg4\n"
    "  tesselograph-cli mosaic --list LIST.tg4 [--settings FILE [--section NAME]] [--set "
    "KEY=VALUE]...\n"
    "                          -i MAIN [-o OUT] [-i MAIN [-o OUT]]... [--mask FILE|DIR] "
    "[--priority-map FILE]\n"
    "                          [--split WxH] [--yes | --no]\n"
    "  tesselograph-cli geometry [--settings FILE] [--set KEY=VALUE]... --image WxH [--unit "
    "pixels|inches|cm|tiles]\n"
    "  tesselograph-cli settings [--settings FILE [--section NAME]] [--set KEY=VALUE]... --write "
    "FILE\n"
    "  tesselograph-cli extract-video VIDEO [--rect L,T,W,H] [--frames FIRST-LAST] [--images N] "
    "[--jpeg|--bmp] [--clips] [--prefix P]\n"
    "  tesselograph-cli demo [OUT_DIR]\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  std::fputs(kUsage, stderr);
  return 2;
}
