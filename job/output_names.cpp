// SPDX-License-Identifier: GPL-3.0-or-later
#include "job/output_names.h"

#include <cctype>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "platform/catalogue.h"
#include "platform/text_format.h"

namespace tg {

namespace fs = std::filesystem;

namespace {

std::string trimmed(const std::string& text) {
  const char* blanks = " \t\r\n\f\v";
  const auto first = text.find_first_not_of(blanks);
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(blanks);
  return text.substr(first, last - first + 1);
}

/// `directory` + '/' + `name`, without doubling a separator the folder already ends with.
std::string joinPath(const std::string& directory, const std::string& name) {
  if (!directory.empty() && directory.back() == '/') return directory + name;
  return directory + "/" + name;
}

/// The extensions, in lower case, of the files the mosaic writers produce.
constexpr std::string_view kOutputExtensions[] = {"jpg", "jpeg", "jpe", "bmp", "tif", "tiff",
                                                  "ppm", "raw",  "avi", "psd", "psb", "mosaic"};

bool namesOutputFormat(std::string_view extension) {
  std::string lowered(extension);
  for (char& c : lowered) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const std::string_view known : kOutputExtensions) {
    if (lowered == known) return true;
  }
  return false;
}

/// True when something matches "path*.*": an entry in path's folder whose name starts with
/// path's last component.
bool somethingStartsWith(const std::string& path, bool directoriesOnly) {
  const auto slash = path.rfind('/');
  const std::string directory =
      slash == std::string::npos ? std::string(".") : (slash == 0 ? "/" : path.substr(0, slash));
  const std::string prefix = slash == std::string::npos ? path : path.substr(slash + 1);
  return folderHasEntryStartingWith(directory, prefix, directoriesOnly);
}

void createFolder(const std::string& path) {
  std::error_code error;
  fs::create_directory(fs::path(path), error);
}

}  // namespace

ExplicitOutput splitExplicitOutput(const std::string& path) {
  const auto slash = path.rfind('/');
  const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const auto dot = path.rfind('.');
  // A dot that starts the name (".hidden") is part of it, not an extension.
  if (dot == std::string::npos || dot <= nameStart) return {path, {}};
  const std::string_view extension = std::string_view(path).substr(dot + 1);
  if (!extension.empty() && !namesOutputFormat(extension)) return {path, {}};
  return {path.substr(0, dot), path.substr(dot)};
}

PathParts splitPath(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return {path, {}};
  PathParts parts{path.substr(0, slash), path.substr(slash + 1)};
  const auto dot = parts.title.rfind('.');
  if (dot != std::string::npos) parts.title.erase(dot);
  return parts;
}

bool folderHasEntryStartingWith(const std::string& directory, const std::string& prefix,
                                bool directoriesOnly) {
  std::error_code error;
  fs::directory_iterator it(fs::path(directory.empty() ? "." : directory), error);
  if (error) return false;
  for (const fs::directory_iterator end; it != end; it.increment(error)) {
    if (error) return false;
    const std::string name = it->path().filename().string();
    if (name.compare(0, prefix.size(), prefix) != 0) continue;
    if (directoriesOnly) {
      std::error_code typeError;
      if (!it->is_directory(typeError)) continue;
    }
    return true;
  }
  return false;
}

OutputNames composeOutputNames(const OutputNameRules& rules, const std::string* explicitOutput,
                               const std::string& prefix, const std::string& mainImagePath,
                               bool createFolders) {
  OutputNames names;
  const PathParts image = splitPath(mainImagePath);

  if (explicitOutput != nullptr) {
    names.base = splitExplicitOutput(*explicitOutput).base;
  } else {
    std::string directory = trimmed(rules.mosaicDirectory);
    if (directory.empty()) directory = image.directory;
    std::string name;
    const auto mode = static_cast<SubdirectoryMode>(rules.subdirectory);
    if (mode == SubdirectoryMode::Overwrite || mode == SubdirectoryMode::New) {
      const std::string plain = joinPath(directory, image.title + " " + prefix);
      std::string sub = plain;
      if (mode == SubdirectoryMode::New) {
        for (int n = 2; somethingStartsWith(sub, true); ++n) sub = plain + formatText("%02d", n);
      }
      if (createFolders) createFolder(sub);
      directory = sub;
      name = prefix;
    } else {
      name = image.title + " " + prefix;
    }

    const std::string plainBase = joinPath(directory, name);
    names.base = plainBase;
    if (static_cast<FileNameMode>(rules.fileName) == FileNameMode::New || rules.webPageSize != 0) {
      // Any entry starting with the base counts, which also covers a folder named like it.
      for (int n = 2; somethingStartsWith(names.base, false); ++n) {
        names.base = plainBase + formatText("%02d", n);
      }
    }
  }

  if (rules.individualTiles) {
    names.tilesDirectory = names.base + " " + tr("Tile Images");
    if (createFolders) createFolder(names.tilesDirectory);
  }
  names.directory = splitPath(names.base + ".").directory;
  return names;
}

}  // namespace tg
