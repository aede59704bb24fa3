// SPDX-License-Identifier: GPL-3.0-or-later
#include "output/jpeg_writer.h"

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>
#include <string>

#include <unistd.h>

#include <jpeglib.h>
// jerror.h needs jpeglib.h's configuration first.
#include <jerror.h>

#include "imaging/jpeg_errors.h"
#include "platform/catalogue.h"
#include "platform/safe_file.h"
#include "platform/text_format.h"
#include "platform/user_dialogs.h"

namespace tg {

namespace {

// What the encoding loop needs; plain data so that the function holding the jump target has
// only trivially destructible locals.
struct EncodeJob {
  std::FILE* file;
  std::uint32_t width;
  std::uint32_t height;
  int quality;
  unsigned resolution;
  std::uint8_t* buffer;
  RowSource* rows;
};

enum class EncodeResult { Done, MissingRow, LibraryError, WriteError };

EncodeResult encode(jpeg_compress_struct* cinfo, JpegJumpErrors* err, const EncodeJob* job) {
  cinfo->err = jpeg_std_error(&err->pub);
  err->pub.error_exit = jumpOnJpegError;
  err->pub.emit_message = ignoreJpegMessage;
  if (setjmp(err->jump) != 0) {
    const bool writeFailed = err->pub.msg_code == JERR_FILE_WRITE;
    jpeg_destroy_compress(cinfo);
    return writeFailed ? EncodeResult::WriteError : EncodeResult::LibraryError;
  }
  jpeg_create_compress(cinfo);
  jpeg_stdio_dest(cinfo, job->file);
  cinfo->image_width = job->width;
  cinfo->image_height = job->height;
  cinfo->input_components = 3;
  cinfo->in_color_space = JCS_RGB;
  jpeg_set_defaults(cinfo);
  jpeg_set_quality(cinfo, std::clamp(job->quality, 1, 100), TRUE);
  if (job->resolution != 0) {
    cinfo->density_unit = 1;
    const auto density = static_cast<UINT16>(std::min(job->resolution, 65535u));
    cinfo->X_density = density;
    cinfo->Y_density = density;
  }
  jpeg_start_compress(cinfo, TRUE);
  JSAMPROW line = job->buffer;
  for (std::uint32_t y = 0; y < job->height; ++y) {
    const Pixel* row = job->rows->nextRow();
    if (row == nullptr) {
      jpeg_destroy_compress(cinfo);
      return EncodeResult::MissingRow;
    }
    packRgb(row, job->buffer, job->width);
    jpeg_write_scanlines(cinfo, &line, 1);
  }
  jpeg_finish_compress(cinfo);
  jpeg_destroy_compress(cinfo);
  return EncodeResult::Done;
}

struct FileCloser {
  void operator()(std::FILE* file) const {
    if (file != nullptr) std::fclose(file);
  }
};

void showFileError(const std::string& path, int error) {
  showMessage(unableToSaveText(path) + ". " + formatText(tr("Error %ld"), static_cast<long>(error)),
              Buttons::Ok, Icon::Error);
}

// The shared body of both entries: `buffer` holds at least width x 3 bytes.
bool writeJpeg(const std::string& path, std::uint32_t width, std::uint32_t height, int quality,
               unsigned resolution, std::uint8_t* buffer, RowSource& rows) {
  // The picture goes to a temporary file that replaces `path` only once it is complete.
  SafeFile target;
  if (!target.create(path)) {
    showFileError(path, errno);
    return false;
  }
  const int descriptor = ::dup(target.fd());
  std::unique_ptr<std::FILE, FileCloser> file(descriptor >= 0 ? ::fdopen(descriptor, "wb")
                                                              : nullptr);
  if (!file) {
    const int error = errno;
    if (descriptor >= 0) ::close(descriptor);
    showFileError(path, error);
    return false;
  }
  const EncodeJob job{file.get(), width, height, quality, resolution, buffer, &rows};
  jpeg_compress_struct cinfo{};
  JpegJumpErrors err{};
  errno = 0;
  const EncodeResult result = encode(&cinfo, &err, &job);
  const int writeError = errno;
  if (result == EncodeResult::WriteError) {
    showFileError(path, writeError != 0 ? writeError : ENOSPC);
    return false;
  }
  if (result != EncodeResult::Done) return false;
  // Buffered data reaches the disk only here; a full disk may show up at this point.
  const bool flushed = std::fflush(file.get()) == 0;
  const int flushError = errno;
  if (std::fclose(file.release()) != 0 || !flushed) {
    showFileError(path, flushed ? errno : flushError);
    return false;
  }
  if (!target.commit()) {
    showFileError(path, errno);
    return false;
  }
  return true;
}

}  // namespace

bool JpegWriter::writeRows() {
  // Room for the packed row plus a few bytes of slack.
  std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow)
                                             std::uint8_t[std::size_t{width()} * 3 + 4]);
  if (!buffer) return false;
  struct Forward final : RowSource {
    explicit Forward(JpegWriter& writer) : m_writer(writer) {}
    const Pixel* nextRow() override { return m_writer.nextRow(); }
    JpegWriter& m_writer;
  } forward(*this);
  return writeJpeg(path(), width(), height(), m_quality, m_resolution, buffer.get(), forward);
}

bool writeJpegRows(const std::string& path, std::uint32_t width, std::uint32_t height, int quality,
                   RowSource& rows, unsigned resolution) {
  JpegWriter writer(quality, resolution);
  return writer.write(path, width, height, rows);
}

bool writeJpegImage(const std::string& path, const Foto& image, int quality, unsigned resolution) {
  if (image.empty() || image.width == 0 || image.height == 0) return false;
  std::unique_ptr<std::uint8_t[]> buffer(new (std::nothrow)
                                             std::uint8_t[std::size_t{image.width} * 3]);
  if (!buffer) {
    showMessage(outOfMemoryText(image.width, 3) + "!!!!", Buttons::Ok, Icon::Error);
    return false;
  }
  FotoRowSource rows(image);
  return writeJpeg(path, image.width, image.height, quality, resolution, buffer.get(), rows);
}

}  // namespace tg
