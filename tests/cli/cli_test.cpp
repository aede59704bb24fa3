// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "cli_helpers.h"

namespace tg {
namespace {

using Cli = test::CliFixture;
using test::CliRun;
using test::writePhoto;

TEST_F(Cli, HelpForEveryCommandAndUsageErrors) {
  for (const char* command : {"--help", "list build --help", "list info --help", "mosaic --help",
                              "geometry --help", "settings --help", "demo --help"}) {
    const CliRun run = cli(command);
    EXPECT_EQ(run.exitCode, 0) << command;
    EXPECT_NE(run.out.find("Usage"), std::string::npos) << command;
    EXPECT_NE(run.out.find("`tesselograph-cli settings --keys` lists every key"), std::string::npos)
        << command;
  }
  const CliRun version = cli("--version");
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out.rfind("tesselograph-cli ", 0), 0u) << version.out;
  EXPECT_EQ(cli("").exitCode, 2);
  EXPECT_EQ(cli("frobnicate").exitCode, 2);
  EXPECT_EQ(cli("list info").exitCode, 2);
  EXPECT_EQ(cli("mosaic --list x.tg4").exitCode, 2);
  EXPECT_EQ(cli("geometry --image 10by10").exitCode, 2);
}

TEST_F(Cli, ListBuildThenInfoAsJsonAndUpdateWithoutNewAnalysis) {
  CliRun run = cli("list build --include tiles --exclude tiles/t3.jpg tiles.tg4");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  // Square tiles: every picture fits the cells, whatever its shape.
  EXPECT_NE(run.out.find("29 Landscape"), std::string::npos) << run.out;

  run = cli("list info --json tiles.tg4");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const std::string& json = run.out;
  EXPECT_EQ(json.rfind("{\"version\":119,", 0), 0u) << json.substr(0, 80);
  EXPECT_NE(json.find("\"include\":[\"" + m_root + "/tiles/\"]"), std::string::npos);
  EXPECT_NE(json.find("\"exclude\":[\"" + m_root + "/tiles/t3.jpg\"]"), std::string::npos);
  EXPECT_NE(json.find("\"counts\":{\"landscape\":29,\"portrait\":0,\"landscapeClips\":0,"
                      "\"portraitClips\":0}"),
            std::string::npos);
  EXPECT_EQ(json.find("t3.jpg\",\"frameCount\""), std::string::npos);
  // Every record carries its 161 signature values.
  std::size_t records = 0;
  for (std::size_t at = json.find("\"values\":["); at != std::string::npos;
       at = json.find("\"values\":[", at + 1)) {
    const std::size_t end = json.find(']', at);
    const std::string values = json.substr(at, end - at);
    EXPECT_EQ(std::count(values.begin(), values.end(), ','), 160);
    ++records;
  }
  EXPECT_EQ(records, 29u);
  EXPECT_EQ(json.back(), '\n');

  // Updating: a new picture is added, the others are not analysed again.
  const std::string before = test::readFile(m_dir.path() / "tiles.tg4");
  writePhoto(m_dir.file("tiles/new.jpg"), 64, 48, 99);
  run = cli("list build tiles.tg4");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("30 Landscape"), std::string::npos) << run.out;
  run = cli("list info tiles.tg4");
  EXPECT_NE(run.out.find("Tiles: 30"), std::string::npos) << run.out;
  EXPECT_NE(before, test::readFile(m_dir.path() / "tiles.tg4"));
}

TEST_F(Cli, BadListsAreReportedAndLeftIntact) {
  test::writeFile(m_dir.path() / "garbage.tg4", "this is not a tile list at all");
  CliRun run = cli("list info garbage.tg4");
  EXPECT_NE(run.exitCode, 0);
  EXPECT_NE(run.err.find("This file was created using a different version of Tesselograph"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(test::readFile(m_dir.path() / "garbage.tg4"), "this is not a tile list at all");
  run = cli("list info missing.tg4");
  EXPECT_NE(run.exitCode, 0);
  EXPECT_NE(run.err.find("Error while reading the Images List!"), std::string::npos) << run.err;
  run = cli("list build --include nowhere new.tg4");
  EXPECT_NE(run.exitCode, 0);
  EXPECT_FALSE(std::filesystem::exists(m_dir.path() / "new.tg4"));
  run = cli("mosaic --list garbage.tg4 -i main.jpg");
  EXPECT_NE(run.exitCode, 0);
  EXPECT_EQ(test::readFile(m_dir.path() / "garbage.tg4"), "this is not a tile list at all");
}

TEST_F(Cli, GeometryPrintsInformationInTheChosenUnitAndFailsWithItsMessage) {
  CliRun run =
      cli("geometry --set MosaicSizeUnit=pixel --set MosaicSizeWidth=4000 "
          "--set MosaicSizeHeight=3000 --set TileUnit=tilesxrow --set TileSize=40 "
          "--image 4000x3000");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("Main Image: 4000 x 3000 pixels"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("40 x 30"), std::string::npos) << run.out;
  run = cli("geometry --image 4000x3000 --unit tiles");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("tiles"), std::string::npos) << run.out;
  // A unit nobody knows is named with the tokens the key takes, before any geometry is made.
  run = cli("geometry --set MosaicSizeUnit=furlongs --image 400x300");
  EXPECT_EQ(run.exitCode, 1) << run.out;
  EXPECT_NE(run.err.find("the value 'furlongs' of MosaicSizeUnit is not one of its tokens: cm, "
                         "inch, pixel, kp, mp, gp, mm, m, feet, ppi, dpi, tiles, tilesxrow"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(run.err.find("Please specify all the parameters"), std::string::npos) << run.err;
  EXPECT_TRUE(run.out.empty()) << run.out;
  run = cli("geometry --set NoSuchKey=1 --image 400x300");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("unknown settings key 'NoSuchKey'"), std::string::npos) << run.err;
}

TEST_F(Cli, OverridesOutsideTheirKeysFormAreRefusedByName) {
  struct Row {
    const char* setting;
    const char* message;
  };
  const Row refused[] = {
      // The plural a user types instead of the token.
      {"MosaicSizeUnit=pixels", "the value 'pixels' of MosaicSizeUnit is not one of its tokens"},
      {"TileUnit=Pixel", "the value 'Pixel' of TileUnit is not one of its tokens"},
      // Units have tokens only: a number would name no unit.
      {"ResolutionUnit=4", "the value '4' of ResolutionUnit is not one of its tokens"},
      {"FileFormat=jpeg", "the value 'jpeg' of FileFormat is not one of its tokens: jpg, bmp"},
      {"MosaicFileName=newest", "is not one of its tokens: overwrite, new"},
      {"Pattern=Squares", "(or a number as a settings file stores it)"},
      // A flag read as a number would silently turn off.
      {"TextReport=yes", "the value 'yes' of TextReport is not a whole number"},
      {"TileSize=big", "the value 'big' of TileSize is not a number"},
      {"MosaicSizeWidth=12cm", "the value '12cm' of MosaicSizeWidth is not a number"},
      // A settings file would read these numbers as id + 1: "Tile Size", "faster", JPEG q100.
      {"TileAdapt=2",
       "the value '2' of TileAdapt is not one of its tokens: No, Tile Size, "
       "Mosaic Size; see tesselograph-cli settings --keys"},
      {"MosaicProcessing=2", "of MosaicProcessing is not one of its tokens: standard, faster"},
      {"FileFormat=102", "the value '102' of FileFormat is not one of its tokens: jpg"},
  };
  for (const Row& row : refused) {
    const CliRun run =
        cli(std::string("settings --set ") + test::quoted(row.setting) + " --write out.txt");
    EXPECT_EQ(run.exitCode, 1) << row.setting;
    EXPECT_NE(run.err.find(row.message), std::string::npos) << row.setting << ": " << run.err;
    EXPECT_FALSE(std::filesystem::exists(m_dir.path() / "out.txt")) << row.setting;
  }
  // The forms a settings file holds stay accepted: tokens, numbered patterns and variant sets,
  // read-only format tokens, decimal sizes.
  const CliRun run =
      cli("settings --set Pattern=6 --set TileVariants=103 --set FileFormat=bigtiff_jpg80 "
          "--set \"Pattern=Square (3 rows)\" --set MosaicSizeWidth=29.5 --set TextReport=1 "
          "--write good.txt");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const std::string written = test::readFile(m_dir.path() / "good.txt");
  EXPECT_NE(written.find("Pattern = Square (3 rows)"), std::string::npos) << written;
  EXPECT_NE(written.find("MosaicSizeWidth = 29.5"), std::string::npos) << written;
  EXPECT_NE(written.find("OutputTIFF64 = 1"), std::string::npos) << written;
}

/// The value of "field" in the JSON object of `key` in the output of `settings --keys --json`.
std::string keyField(const std::string& json, const std::string& key, const std::string& field) {
  const auto at = json.find("{\"key\":\"" + key + "\"");
  if (at == std::string::npos) return "<missing>";
  const auto value = json.find("\"" + field + "\":\"", at) + field.size() + 4;
  return json.substr(value, json.find('"', value) - value);
}

TEST_F(Cli, SettingsKeysListEveryKeyOfTheFileWithItsDefault) {
  CliRun run = cli("settings --write defaults.txt");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const CliRun keys = cli("settings --keys --json");
  ASSERT_EQ(keys.exitCode, 0) << keys.err;
  // Every line of the written Default Settings is a key of the listing with that default.
  std::size_t written = 0;
  const std::string file = test::readFile(m_dir.path() / "defaults.txt");
  for (std::size_t at = file.find("]\r\n") + 3; at < file.size();) {
    const auto end = file.find("\r\n", at);
    const std::string line = file.substr(at, end - at);
    at = end + 2;
    const auto equals = line.find(" = ");
    if (equals == std::string::npos) break;
    const std::string key = line.substr(0, equals);
    EXPECT_EQ(keyField(keys.out, key, "default"), line.substr(equals + 3)) << key;
    ++written;
  }
  EXPECT_GT(written, 60u);
  std::size_t listed = 0;
  for (auto at = keys.out.find("{\"key\":"); at != std::string::npos;
       at = keys.out.find("{\"key\":", at + 1)) {
    ++listed;
  }
  EXPECT_EQ(listed, written);
  EXPECT_EQ(keyField(keys.out, "TileVariants", "form"), "token");
  EXPECT_NE(keys.out.find("{\"token\":\"Mosaic Size\",\"meaning\":\"Adapt Mosaic\""),
            std::string::npos);

  // The text form names the same, with the "+ 1" of the keys that store numbers.
  run = cli("settings --keys");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.out.find("TileAdapt (token), default: \"Tile Size\""), std::string::npos);
  EXPECT_NE(run.out.find("is written 103"), std::string::npos) << run.out;
  EXPECT_EQ(cli("settings --keys --write x.txt").exitCode, 2);
}

TEST_F(Cli, BashCompletionOffersCommandsOptionsKeysAndTokensFromTheProgram) {
  const std::string library = "/usr/share/bash-completion/bash_completion";
  const char* data = std::getenv("TG_TEST_DATA");
  if (!std::filesystem::exists(library) || data == nullptr) {
    GTEST_SKIP() << "bash-completion is not installed";
  }
  const std::string script = std::string(data) + "/../../cli/tesselograph-cli.bash-completion";
  // Each line: the command line typed so far, then the words the shell splits it into (with
  // "=" a word of its own), then what the completion offers, separated by '|'.
  test::writeFile(m_dir.path() / "complete.sh",
                  "source " + test::quoted(library) + "\nsource " + test::quoted(script) +
                      "\nCLI=" + test::quoted(test::cliPath()) +
                      "\nt() { COMP_LINE=\"$CLI $1\"; COMP_POINT=${#COMP_LINE}; shift;\n"
                      "  COMP_WORDS=(\"$CLI\" \"$@\"); COMP_CWORD=$#; COMPREPLY=();\n"
                      "  _tesselograph_cli; printf '%s|' \"${COMPREPLY[@]}\"; echo; }\n"
                      "t '' ''\n"
                      "t 'list ' list ''\n"
                      "t 'mosaic --s' mosaic --s\n"
                      "t 'mosaic --set TileA' mosaic --set TileA\n"
                      "t 'mosaic --set TileAdapt=' mosaic --set TileAdapt =\n"
                      "t 'mosaic --set TileAdapt=Mo' mosaic --set TileAdapt = Mo\n"
                      "t 'geometry --unit ' geometry --unit ''\n"
                      "t 'settings --keys --' settings --keys --\n");
  std::string out;
  FILE* pipe = popen(("bash " + test::quoted(m_dir.file("complete.sh")) + " 2>&1").c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  for (int c = 0; (c = std::fgetc(pipe)) != EOF;) out += static_cast<char>(c);
  EXPECT_EQ(pclose(pipe), 0) << out;
  const std::string expected =
      "--version|demo|extract-video|geometry|list|mosaic|settings|update-check|--help|\n"
      "build|info|\n"
      "--section|--set|--settings|--split|\n"
      "TileAdapt=|\n"
      "No|Tile\\ Size|Mosaic\\ Size|\n"
      "Mosaic\\ Size|\n"
      "pixels|inches|cm|tiles|\n"
      "--json|--keys|--section|--set|--settings|--write|--help|\n";
  EXPECT_EQ(out, expected);
}

TEST_F(Cli, SettingsWriteTellsWhatTheParameterRulesChanged) {
  const CliRun run = cli("settings --set DuplicateSpacing=0 --set OutputLayers=1 --write r.txt");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_NE(run.err.find("DuplicateSpacing 0 means no duplicates: TileDuplication 0 becomes 1"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("OutputLayers is switched off"), std::string::npos) << run.err;
  EXPECT_NE(test::readFile(m_dir.path() / "r.txt").find("TileDuplication = 1"), std::string::npos);
}

TEST_F(Cli, SettingsWriteRoundTripsAndRefusesInvalidParameters) {
  CliRun run = cli("settings --set FileFormat=tiff_jpg80 --set TileSize=55 --write first.txt");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const std::string first = test::readFile(m_dir.path() / "first.txt");
  EXPECT_NE(first.find("[Mosaic Settings]"), std::string::npos);
  EXPECT_NE(first.find("FileFormat = tiff_jpg"), std::string::npos) << first;
  EXPECT_NE(first.find("JPGQuality = 80"), std::string::npos) << first;
  // Reading the file back and writing it again gives the same file.
  run = cli("settings --settings first.txt --write second.txt");
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(test::readFile(m_dir.path() / "second.txt"), first);
  // No tile variant at all is invalid: nothing is written.
  run = cli("settings --set TileVariants=0 --write bad.txt");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_FALSE(std::filesystem::exists(m_dir.path() / "bad.txt"));
  run = cli("settings --settings first.txt --section \"No Such Set\" --write third.txt");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_NE(run.err.find("No Such Set"), std::string::npos) << run.err;
  run = cli("settings --settings missing.txt --write third.txt");
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_FALSE(std::filesystem::exists(m_dir.path() / "third.txt"));
}

}  // namespace
}  // namespace tg
