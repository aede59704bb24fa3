// SPDX-License-Identifier: GPL-3.0-or-later
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "cli_helpers.h"
#include "imaging/image_file.h"

namespace tg {
namespace {

/// A mosaic of 400 x 300 pixels in cells of 10 pixels: small enough for every format.
constexpr const char* kSmallMosaic =
    "--set MosaicSizeUnit=pixel --set MosaicSizeWidth=400 --set MosaicSizeHeight=300 "
    "--set TileUnit=pixel --set TileSize=10 --set ResolutionUnit=ppi --set ResolutionSize=72 --yes";

class CliMosaic : public test::CliFixture {
 protected:
  void SetUp() override {
    test::CliFixture::SetUp();
    const test::CliRun run = cli("list build --include tiles tiles.tg4");
    ASSERT_EQ(run.exitCode, 0) << run.err;
  }

  test::CliRun mosaic(const std::string& arguments) {
    return cli(std::string("mosaic --list tiles.tg4 ") + kSmallMosaic + " " + arguments);
  }

  [[nodiscard]] std::string head(const std::string& name, std::size_t bytes) {
    return test::readFile(m_dir.path() / name).substr(0, bytes);
  }
};

struct FormatRow {
  const char* name;
  const char* settings;
  const char* extension;
  std::string magic;
};

TEST_F(CliMosaic, EveryRasterFormatIsWrittenAndNamedAfterTheOutputPath) {
  const FormatRow rows[] = {
      {"jpeg", "--set FileFormat=jpg", ".jpg", std::string("\xFF\xD8\xFF", 3)},
      {"tiff", "--set FileFormat=tiff --set OutputTIFF64=0", ".tiff", std::string("II*\0", 4)},
      {"bigtiff", "--set FileFormat=tiff --set OutputTIFF64=1", ".tiff", std::string("II+\0", 4)},
      {"tiffjpeg", "--set FileFormat=tiff_jpg80", ".tiff", std::string("II*\0", 4)},
      {"psd", "--set FileFormat=psd", ".psd", std::string("8BPS\0\1", 6)},
      {"psb", "--set FileFormat=psb", ".psb", std::string("8BPS\0\2", 6)},
      {"ppm", "--set FileFormat=ppm", ".ppm", "P6\n"},
      {"bmp", "--set FileFormat=bmp", ".bmp", "BM"},
      {"raw", "--set FileFormat=raw", ".raw", ""},
  };
  for (const FormatRow& row : rows) {
    SCOPED_TRACE(row.name);
    // The -o path's own extension is replaced by the format's.
    const test::CliRun run =
        mosaic(std::string(row.settings) + " -i main.jpg -o out/" + row.name + ".xyz");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const std::string file = std::string("out/") + row.name + row.extension;
    EXPECT_EQ(run.out, "Mosaic in: " + m_root + "/" + file + "\n");
    EXPECT_NE(run.err.find("Completed 1 Mosaic!"), std::string::npos) << run.err;
    ASSERT_TRUE(std::filesystem::exists(m_dir.path() / file));
    EXPECT_EQ(head(file, row.magic.size()), row.magic);
    if (row.extension == std::string(".jpg")) {
      std::uint32_t width = 0;
      std::uint32_t height = 0;
      ASSERT_TRUE(readImageSize(m_dir.file(file), width, height));
      EXPECT_EQ(width, 400u);
      EXPECT_EQ(height, 300u);
    }
    if (row.extension == std::string(".raw")) {
      EXPECT_EQ(std::filesystem::file_size(m_dir.path() / file), 400u * 300u * 3u);
    }
  }
}

TEST_F(CliMosaic, SplitMosaicWritesPiecesOfTheGivenSize) {
  const test::CliRun run = mosaic("--split 200x150 -i main.jpg -o split/piece.jpg");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::vector<std::string> pieces;
  for (const auto& entry : std::filesystem::directory_iterator(m_dir.path() / "split")) {
    pieces.push_back(entry.path().filename().string());
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    ASSERT_TRUE(readImageSize(entry.path().string(), width, height));
    EXPECT_EQ(width, 200u);
    EXPECT_EQ(height, 150u);
  }
  EXPECT_EQ(pieces.size(), 4u);
  // A piece size the split dialog refuses stops the start.
  const test::CliRun refused = mosaic("--split 5x5 -i main.jpg -o bad/piece.jpg");
  EXPECT_NE(refused.exitCode, 0);
  EXPECT_NE(refused.err.find("Please insert valid values for the Split Size in Pixels."),
            std::string::npos)
      << refused.err;
}

TEST_F(CliMosaic, MaskFileShapesTheCells) {
  // Two regions: the left half red, the right half blue.
  Foto mask;
  ASSERT_TRUE(mask.create(240, 180));
  for (std::uint32_t y = 0; y < 180; ++y) {
    for (std::uint32_t x = 0; x < 240; ++x) mask.row(y)[x] = x < 120 ? 0x000000FF : 0x00FF0000;
  }
  ASSERT_TRUE(writeJpegImage(m_dir.file("shape.jpg"), mask, 100, 0));
  const test::CliRun run = mosaic("--mask shape.jpg -i main.jpg -o masked/m.jpg");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_TRUE(std::filesystem::exists(m_dir.path() / "masked/m.jpg"));
  const test::CliRun missing = mosaic("--mask nowhere.jpg -i main.jpg -o masked/n.jpg");
  EXPECT_NE(missing.exitCode, 0);
}

TEST_F(CliMosaic, NewFileNamesTwiceInARowKeepTheFirstMosaic) {
  const test::CliRun first = mosaic("--set MosaicFileName=new -i main.jpg");
  ASSERT_EQ(first.exitCode, 0) << first.err;
  const test::CliRun second = mosaic("--set MosaicFileName=new -i main.jpg");
  ASSERT_EQ(second.exitCode, 0) << second.err;
  ASSERT_EQ(first.out.rfind("Mosaic in: ", 0), 0u);
  EXPECT_NE(first.out, second.out);
  const std::string firstPath = first.out.substr(11, first.out.size() - 12);
  const std::string secondPath = second.out.substr(11, second.out.size() - 12);
  EXPECT_TRUE(std::filesystem::exists(firstPath)) << firstPath;
  EXPECT_TRUE(std::filesystem::exists(secondPath)) << secondPath;
}

TEST_F(CliMosaic, MissingMainImageFailsWithoutOutput) {
  const test::CliRun run = mosaic("-i absent.jpg -o out/absent.jpg");
  EXPECT_NE(run.exitCode, 0);
  EXPECT_FALSE(std::filesystem::exists(m_dir.path() / "out/absent.jpg"));
}

TEST_F(CliMosaic, InterruptStopsTheJobAndTheExitStatusSaysSo) {
  // A mosaic large enough to be still rendering when the first status line appears.
  const std::string errFile = m_dir.file("stop.err");
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    if (chdir(m_root.c_str()) != 0) _exit(120);
    const int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int none = open("/dev/null", O_RDWR);
    dup2(none, 0);
    dup2(none, 1);
    dup2(err, 2);
    const std::string cli = test::cliPath();
    execl(cli.c_str(), cli.c_str(), "mosaic", "--list", "tiles.tg4", "--set",
          "MosaicSizeUnit=pixel", "--set", "MosaicSizeWidth=8000", "--set", "MosaicSizeHeight=6000",
          "--set", "TileUnit=pixel", "--set", "TileSize=100", "--set", "FileFormat=ppm", "--yes",
          "-i", "main.jpg", "-o", "big/big.ppm", static_cast<char*>(nullptr));
    _exit(121);
  }
  // Wait until the renderer reports progress, then press Ctrl-C.
  int status = 0;
  bool exited = false;
  while (test::readFile(errFile).find("Saving Mosaic") == std::string::npos) {
    if (waitpid(child, &status, WNOHANG) == child) {
      exited = true;
      break;
    }
    usleep(20000);
  }
  if (!exited) {
    kill(child, SIGINT);
    ASSERT_EQ(waitpid(child, &status, 0), child);
  }
  ASSERT_TRUE(WIFEXITED(status));
  const std::string err = test::readFile(errFile);
  EXPECT_NE(WEXITSTATUS(status), 0) << err;
  EXPECT_NE(err.find("Stopped!"), std::string::npos) << err;
}

}  // namespace
}  // namespace tg
