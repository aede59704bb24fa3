// SPDX-License-Identifier: GPL-3.0-or-later
// Orientation and date-and-time from a picture's EXIF block.
#include <cstring>
#include <memory>
#include <string>

#include <libexif/exif-data.h>
#include <libexif/exif-loader.h>
#include <libexif/exif-utils.h>

#include "imaging/image_decoders.h"

namespace tg::detail {

namespace {

struct ExifDataReleaser {
  void operator()(ExifData* data) const { exif_data_unref(data); }
};
struct ExifLoaderReleaser {
  void operator()(ExifLoader* loader) const { exif_loader_unref(loader); }
};
using ExifDataPtr = std::unique_ptr<ExifData, ExifDataReleaser>;

// Loads the EXIF block of a file as it is stored: without libexif's "fixing", which would add
// mandatory tags with made-up values, and keeping tags in directories where they are unusual.
ExifDataPtr loadExif(const std::string& path) {
  std::unique_ptr<ExifLoader, ExifLoaderReleaser> loader(exif_loader_new());
  if (!loader) return nullptr;
  exif_loader_write_file(loader.get(), path.c_str());
  const unsigned char* buffer = nullptr;
  unsigned int size = 0;
  exif_loader_get_buf(loader.get(), &buffer, &size);
  if (buffer == nullptr || size == 0) return nullptr;
  ExifDataPtr data(exif_data_new());
  if (!data) return nullptr;
  exif_data_unset_option(data.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
  exif_data_unset_option(data.get(), EXIF_DATA_OPTION_IGNORE_UNKNOWN_TAGS);
  exif_data_load_data(data.get(), buffer, size);
  return data;
}

}  // namespace

int readExifOrientation(const std::string& path) {
  const ExifDataPtr data = loadExif(path);
  if (!data || data->ifd[EXIF_IFD_0] == nullptr) return 0;
  ExifEntry* entry = exif_content_get_entry(data->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION);
  if (entry == nullptr || entry->data == nullptr) return 0;
  const ExifByteOrder order = exif_data_get_byte_order(data.get());
  long value = 0;
  switch (entry->size) {
    case 1:
      value = entry->data[0];
      break;
    case 2:
      value = exif_get_short(entry->data, order);
      break;
    case 4:
      value = exif_get_long(entry->data, order);
      break;
    default:
      return 0;
  }
  return value >= 1 && value <= 8 ? static_cast<int>(value) : 0;
}

std::string readExifDateTime(const std::string& path) {
  const ExifDataPtr data = loadExif(path);
  if (!data) return {};
  const ExifIfd order[] = {EXIF_IFD_0, EXIF_IFD_1, EXIF_IFD_EXIF, EXIF_IFD_GPS,
                           EXIF_IFD_INTEROPERABILITY};
  for (ExifIfd ifd : order) {
    if (data->ifd[ifd] == nullptr) continue;
    ExifEntry* entry = exif_content_get_entry(data->ifd[ifd], EXIF_TAG_DATE_TIME);
    if (entry == nullptr || entry->data == nullptr) continue;
    if (entry->format == EXIF_FORMAT_ASCII) {
      const char* text = reinterpret_cast<const char*>(entry->data);
      return std::string(text, strnlen(text, entry->size));
    }
    char value[64] = {};
    exif_entry_get_value(entry, value, sizeof value);
    return value;
  }
  return {};
}

}  // namespace tg::detail
