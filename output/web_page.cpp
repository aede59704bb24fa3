// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/web_page.h"

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <system_error>

#include <libexif/exif-data.h>
#include <libexif/exif-loader.h>
#include <libexif/exif-utils.h>

#include "engine/matching_context.h"
#include "geometry/cell_grid.h"
#include "geometry/puzzle_info.h"
#include "imaging/foto.h"
#include "imaging/frame_bitmap.h"
#include "imaging/image_file.h"
#include "job/mosaic_job.h"
#include "output/jpeg_writer.h"
#include "output/report_file.h"
#include "output/report_grid.h"
#include "platform/catalogue.h"
#include "platform/paths.h"
#include "platform/text_format.h"
#include "platform/user_dialogs.h"
#include "tiles/foto_info.h"
#include "video/avi_stream.h"

namespace tg {

namespace {

constexpr std::uint32_t kUnknownTileSide = 300;
constexpr std::size_t kNameCharacters = 200;
// File systems limit a name to 255 bytes; the counter prefix keeps the length.
constexpr std::size_t kNameBytes = 250;
constexpr long kMaxExifSide = 100000;

constexpr const char* kScript =
    "<script language=\"javascript\">\r\n"
    "function U(F, Coords, Width, Height)\r\n"
    "{\r\n"
    "   var Z = document.getElementById(\"MyZoom\");\r\n"
    "   \r\n"
    "   Z.src =  F ;\r\n"
    "   Z.style.display = '';\r\n"
    "   var C = Coords;\r\n"
    "   \r\n"
    "   var Top    = C.substr(C.indexOf(\",\")+1, C.length);   \r\n"
    "   var Right  = Top.substr(Top.indexOf(\",\")+1, Top.length);\r\n"
    "\r\n"
    "   var Left   = C.substring(0, C.indexOf(\",\"));\r\n"
    "   var Top    = Top.substring(0, Top.indexOf(\",\"));\r\n"
    "   var Right  = Right.substring(0, Right.indexOf(\",\"));   \r\n"
    "   var Bottom = C.substr(C.lastIndexOf(\",\")+1, C.length);\r\n"
    "   \r\n"
    "   Z.style.left    = Right;\r\n"
    "   Z.style.top     = Bottom;\r\n"
    "   Z.style.width   = Width;\r\n"
    "   Z.style.height  = Height;\r\n"
    "   Z.style.opacity = '1';\r\n"
    "}\r\n"
    "\r\n"
    "function HidePopUp()\r\n"
    "{\r\n"
    "   var Z = document.getElementById(\"MyZoom\");\r\n"
    "   Z.style.opacity = '0';\r\n"
    "   Z.style.width   = 1;\r\n"
    "   Z.style.height  = 1;\r\n"
    "}\r\n"
    "\r\n"
    "</script>\r\n"
    "</head>\r\n"
    "\r\n"
    "<body style=\"margin: 0px;\">\r\n";

constexpr const char* kPopUpImage =
    "<img style=\"position: absolute; left: 0px; top: 0px; width: %ldpx; height: %ldpx; border: "
    "1px solid black; display: none\" id= \"MyZoom\" src=\"\" height=\"128\" width=\"128\" /> "
    "\r\n";
constexpr const char* kMapStart =
    "<img src=\"%s\" border=0 width=%d usemap=\"#Map\">\r\n"
    "<map name=\"Map\" onmouseout=\"HidePopUp();\">\r\n";
constexpr const char* kArea =
    "  <area onmouseover=\"U(this.href, this.coords,%ld,%ld);\" alt=\"%s\" title=\"%s\" "
    "shape=\"rect\" coords=\"%ld,%ld,%ld,%ld\" href=\"%s\" target=\"_blank\">\r\n";
constexpr const char* kPageEnd = "</map>\r\n</body>\r\n</html>\r\n";

struct ExifDataReleaser {
  void operator()(ExifData* data) const { exif_data_unref(data); }
};
struct ExifLoaderReleaser {
  void operator()(ExifLoader* loader) const { exif_loader_unref(loader); }
};

long exifNumber(const ExifEntry* entry, ExifByteOrder order) {
  if (entry == nullptr || entry->data == nullptr) return 0;
  if (entry->format == EXIF_FORMAT_SHORT && entry->size >= 2) {
    return exif_get_short(entry->data, order);
  }
  if (entry->format == EXIF_FORMAT_LONG && entry->size >= 4) {
    return static_cast<long>(exif_get_long(entry->data, order));
  }
  return 0;
}

// The EXIF pixel dimensions of a photograph, which describe the picture as the camera meant it
// where the stored header may not; each side is replaced only by a plausible value.
void applyExifPixelSize(const std::string& path, long& width, long& height) {
  std::unique_ptr<ExifLoader, ExifLoaderReleaser> loader(exif_loader_new());
  if (!loader) return;
  exif_loader_write_file(loader.get(), path.c_str());
  const unsigned char* buffer = nullptr;
  unsigned int size = 0;
  exif_loader_get_buf(loader.get(), &buffer, &size);
  if (buffer == nullptr || size == 0) return;
  std::unique_ptr<ExifData, ExifDataReleaser> data(exif_data_new());
  if (!data) return;
  // As stored: libexif's "fixing" would add mandatory tags, the dimensions among them, with
  // made-up values.
  exif_data_unset_option(data.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
  exif_data_unset_option(data.get(), EXIF_DATA_OPTION_IGNORE_UNKNOWN_TAGS);
  exif_data_load_data(data.get(), buffer, size);
  const ExifByteOrder order = exif_data_get_byte_order(data.get());
  for (ExifContent* content : data->ifd) {
    if (content == nullptr) continue;
    const long x = exifNumber(exif_content_get_entry(content, EXIF_TAG_PIXEL_X_DIMENSION), order);
    const long y = exifNumber(exif_content_get_entry(content, EXIF_TAG_PIXEL_Y_DIMENSION), order);
    if (x >= 1 && x <= kMaxExifSide) width = x;
    if (y >= 1 && y <= kMaxExifSide) height = y;
  }
}

// Byte offset after the first `characters` UTF-8 characters of `text` (at most `maxBytes`).
std::size_t utf8Prefix(const std::string& text, std::size_t characters, std::size_t maxBytes) {
  std::size_t at = 0;
  std::size_t counted = 0;
  while (at < text.size() && counted < characters) {
    std::size_t next = at + 1;
    while (next < text.size() && (static_cast<unsigned char>(text[next]) & 0xC0u) == 0x80u) {
      ++next;
    }
    if (next > maxBytes) break;
    at = next;
    ++counted;
  }
  return at;
}

std::size_t utf8Length(const std::string& text) {
  return static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0u) != 0x80u;
  }));
}

std::string escapeHtml(const std::string& text) {
  std::string escaped;
  escaped.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        escaped += "&amp;";
        break;
      case '<':
        escaped += "&lt;";
        break;
      case '>':
        escaped += "&gt;";
        break;
      case '"':
        escaped += "&quot;";
        break;
      case '\'':
        escaped += "&#39;";
        break;
      default:
        escaped += c;
    }
  }
  return escaped;
}

std::string percentEncode(const std::string& text, bool keepSlash) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  encoded.reserve(text.size());
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    const bool unreserved = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                            (byte >= '0' && byte <= '9') || byte == '-' || byte == '.' ||
                            byte == '_' || byte == '~' || (keepSlash && byte == '/');
    if (unreserved) {
      encoded += c;
    } else {
      encoded += '%';
      encoded += kHex[byte >> 4];
      encoded += kHex[byte & 0x0Fu];
    }
  }
  return encoded;
}

// The text an area shows: the file name without folder and extension.
std::string areaText(const std::string& path) {
  std::string name = fileNameOf(path);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.erase(dot);
  return name;
}

struct TileLink {
  long width = kUnknownTileSide;
  long height = kUnknownTileSide;
  std::string href;  // already escaped for an attribute
};

// Reduces the saved mosaic into the page folder; false when any step fails.
bool writePageImage(const std::string& mosaicPath, const std::string& target, long pageWidth) {
  const auto width = static_cast<std::uint32_t>(pageWidth);
  std::uint32_t storedW = 0;
  std::uint32_t storedH = 0;
  std::uint32_t hintW = 0;
  std::uint32_t hintH = 0;
  // A gigapixel mosaic need not be decoded at full size only to be reduced to a page's width.
  if (readImageSize(mosaicPath, storedW, storedH) && storedW > 0) {
    hintW = width;
    hintH = std::max<std::uint32_t>(
        1, static_cast<std::uint32_t>(std::uint64_t{width} * storedH / storedW));
  }
  Foto image;
  if (!loadImageFile(image, mosaicPath, hintW, hintH, false)) {
    // A video mosaic: the page shows its first frame.
    CAviStream video;
    video.setShowErrors(false);
    const std::uint8_t* frame = video.open(mosaicPath) ? video.frame(0) : nullptr;
    if (frame == nullptr || !frameToFoto(frame, video.frameBytes(), image)) return false;
  }
  if (!fitWithin(image, width, width * 100)) return false;
  return writeJpegImage(target, image, 95, 0);
}

// The size and link of every tile met, and the page file names already taken.
class TileLinks {
 public:
  TileLinks(const std::string& folder, bool copyTiles) : m_folder(folder), m_copyTiles(copyTiles) {}

  const TileLink& linkFor(const std::string& path) {
    const auto known = m_links.find(path);
    if (known != m_links.end()) return known->second;
    TileLink link;
    std::uint32_t w = 0;
    std::uint32_t h = 0;
    if (readImageSize(path, w, h)) {
      link.width = w;
      link.height = h;
    }
    applyExifPixelSize(path, link.width, link.height);
    const std::string name = uniqueName(path);
    std::string href;
    if (m_copyTiles) {
      std::error_code error;
      const std::string copy = joinPath(joinPath(m_folder, "tiles"), name);
      if (std::filesystem::copy_file(path, copy, std::filesystem::copy_options::none, error)) {
        href = "tiles/" + percentEncode(name, false);
      }
    }
    if (href.empty()) href = fileUrl(path);
    link.href = escapeHtml(href);
    return m_links.emplace(path, std::move(link)).first->second;
  }

 private:
  std::string uniqueName(const std::string& path) {
    std::string name = flattenedTileName(path);
    const std::size_t head = utf8Prefix(name, 5, name.size());
    for (long counter = 1; m_names.count(name) != 0; ++counter) {
      name = formatText("%05ld", counter) + flattenedTileName(path).substr(head);
    }
    m_names.insert(name);
    return name;
  }

  std::string m_folder;
  bool m_copyTiles;
  std::map<std::string, TileLink> m_links;
  std::set<std::string> m_names;
};

}  // namespace

long webPageImageWidth(long webPageSize) {
  return std::clamp(webPageSize, kWebPageMinSize, kWebPageMaxSize);
}

PopUpSize popUpSize(long width, long height, long pageWidth) {
  const long half = pageWidth / 2;
  while ((width > half || height > half) && (width > 0 || height > 0)) {
    width /= 2;
    height /= 2;
  }
  return {width, height};
}

std::string flattenedTileName(const std::string& path) {
  std::string name = path;
  std::replace_if(
      name.begin(), name.end(), [](char c) { return c == ':' || c == '\\' || c == '/'; }, '_');
  name.erase(utf8Prefix(name, kNameCharacters, kNameBytes));
  // The prefix must not push the name past its byte limit (names of stray bytes can be long).
  if (utf8Length(name) < 5)
    name = "001" + name.substr(0, utf8Prefix(name, kNameCharacters, kNameBytes - 3));
  return name;
}

std::string fileUrl(const std::string& path) {
  std::string absolute = path;
  if (absolute.empty() || absolute.front() != '/') {
    std::error_code error;
    const auto made = std::filesystem::absolute(path, error);
    if (!error) absolute = made.string();
  }
  return "file://" + percentEncode(absolute, true);
}

bool writeWebPage(const CellGrid& grid, const std::string& savedMosaicPath,
                  const std::string& folder, long webPageSize,
                  const std::atomic<std::uint32_t>* stopFlag, bool copyTiles) {
  (void)createFolder(folder);
  if (copyTiles) (void)createFolder(joinPath(folder, "tiles"));

  ReportFile page;
  if (!page.create(joinPath(folder, "index.html"))) return false;

  const long pageWidth = webPageImageWidth(webPageSize);
  std::string imageReference = "mosaic.jpg";
  if (!writePageImage(savedMosaicPath, joinPath(folder, "mosaic.jpg"), pageWidth)) {
    imageReference = fileUrl(savedMosaicPath);
    showMessage(
        tr("Unable to resize resulting mosaic for the Web Page. The Full mosaic image "
           "will be used."));
  }

  const GridExtent extent = gridExtent(grid);
  // A grid without a valid cell has no areas worth placing; keep the scale finite.
  const double scale =
      static_cast<double>(pageWidth) / static_cast<double>(std::max<std::int64_t>(extent.width, 1));

  page.write(formatText(tr("<html>\r\n<head>\r\n<meta http-equiv=\"Content-Type\" "
                           "content=\"text/html; charset=utf-8\">\r\n<title>%s created with "
                           "Tesselograph</title>\r\n"),
                        escapeHtml(tr("Mosaic"))));
  page.write(kScript);
  page.write(formatText(kPopUpImage, 300L, 300L));
  page.write(formatText(kMapStart, escapeHtml(imageReference), static_cast<int>(pageWidth)));

  TileLinks links(folder, copyTiles);
  for (const auto& cell : grid.cells) {
    if (stopFlag != nullptr && stopFlag->load() != 0) break;
    if (cell == nullptr || cell->tile == nullptr) continue;
    const TileLink& link = links.linkFor(cell->tile->path);
    const PopUpSize popUp = popUpSize(link.width, link.height, pageWidth);
    const std::string text = escapeHtml(areaText(cell->tile->path));
    const FotoMask& box = cell->shape;
    page.write(formatText(kArea, popUp.width, popUp.height, text, text,
                          static_cast<long>(box.left * scale), static_cast<long>(box.top * scale),
                          static_cast<long>((std::int64_t{box.left} + box.width) * scale),
                          static_cast<long>((std::int64_t{box.top} + box.height) * scale),
                          link.href));
    if (!page.good()) break;
  }
  page.write(kPageEnd);
  return page.commit();
}

bool writeWebPageStage(MatchingContext& context, const std::string& folder, long webPageSize,
                       bool copyTiles) {
  const MosaicJob& job = context.job;
  if (job.savedPieces.empty()) return false;
  return writeWebPage(context.grid, job.savedPieces.front().path, folder, webPageSize,
                      &job.stopFlag(), copyTiles);
}

}  // namespace tg
