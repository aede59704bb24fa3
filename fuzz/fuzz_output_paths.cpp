// SPDX-License-Identifier: GPL-3.0-or-later
// How the report and the web page write the paths of tile pictures: a CSV field stays one
// field, a flattened name is a short, clean file name, and a file URL holds no character that
// would end the HTML attribute or the URL.
#include <cstdlib>

#include "fuzz_support.h"
#include "output/text_report.h"
#include "output/web_page.h"

namespace {

// The field as a CSV reader reads it back: unquoted as it stands, quoted without its quotes and
// with doubled quotes made single.
bool csvRoundTrips(const std::string& text, const std::string& field) {
  if (field.empty() || field.front() != '"') {
    return field == text && field.find_first_of(",\"") == std::string::npos;
  }
  if (field.size() < 2 || field.back() != '"') return false;
  std::string read;
  for (std::size_t i = 1; i + 1 < field.size(); ++i) {
    if (field[i] == '"') {
      if (i + 2 >= field.size() || field[i + 1] != '"') return false;
      ++i;
    }
    read += field[i];
  }
  return read == text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  tg::fuzz::quietDialogs();
  // A file name never holds a NUL byte: the path ends at the first one.
  std::string path(reinterpret_cast<const char*>(data), size);
  path.resize(path.find('\0') == std::string::npos ? path.size() : path.find('\0'));
  for (const bool quote : {false, true}) {
    if (!csvRoundTrips(path, tg::csvField(path, quote))) std::abort();
  }
  const std::string flat = tg::flattenedTileName(path);
  if (flat.size() > 250 || flat.find('/') != std::string::npos ||
      flat.find('\0') != std::string::npos) {
    std::abort();
  }
  const std::string url = tg::fileUrl(path);
  if (url.find_first_of("\"<> \n\r\t'") != std::string::npos) std::abort();
  return 0;
}
