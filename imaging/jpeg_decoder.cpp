// SPDX-License-Identifier: GPL-3.0-or-later
// JPEG decoding through libjpeg(-turbo): reduced-size decoding, grey, RGB and Adobe CMYK, EXIF
// orientation, and error recovery that returns to the caller.
#include <sys/stat.h>

#include <algorithm>
#include <bit>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include <jpeglib.h>
// jerror.h needs jpeglib.h's configuration first.
#include <jerror.h>

#include "imaging/image_decoders.h"
#include "platform/catalogue.h"
#include "platform/memory_block.h"
#include "platform/safe_file.h"
#include "platform/text_format.h"
#include "platform/user_dialogs.h"

// Decoding straight into the pixel words relies on R, G, B, X lying in memory in that order.
static_assert(std::endian::native == std::endian::little, "pixel words are little-endian");
#ifndef JCS_EXTENSIONS
#error "libjpeg-turbo's extended colour spaces are required"
#endif

namespace tg::detail {

namespace {

// Above this much coefficient memory (progressive pictures keep the whole picture's coefficients)
// the decoder is limited to the memory the machine can back, so that a header claiming an
// enormous picture fails cleanly instead of exhausting the machine.
constexpr std::uint64_t kLimitDecoderMemoryAbove = std::uint64_t{256} << 20;

struct JpegErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  int damageWarnings;
  // Where a damaged picture counts as failed anyway, decoding stops at the first sign of damage
  // instead of decoding (and allocating for) a picture that will be thrown away.
  bool stopOnDamage;
};

[[noreturn]] void onJpegError(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<JpegErrorManager*>(cinfo->err);
  std::longjmp(err->jump, 1);
}

// libjpeg reports data that ends early or is corrupt as warnings and fills the rest of the
// picture with grey; count the warnings that mean such damage.
void onJpegMessage(j_common_ptr cinfo, int level) {
  if (level >= 0) return;
  auto* err = reinterpret_cast<JpegErrorManager*>(cinfo->err);
  err->pub.num_warnings++;
  switch (err->pub.msg_code) {
    case JWRN_JPEG_EOF:
    case JWRN_HIT_MARKER:
    case JWRN_MUST_RESYNC:
    case JWRN_HUFF_BAD_CODE:
    case JWRN_ARITH_BAD_CODE:
    case JWRN_NOT_SEQUENTIAL:
    case JWRN_BOGUS_PROGRESSION:
      err->damageWarnings++;
      if (err->stopOnDamage) std::longjmp(err->jump, 1);
      break;
    default:
      break;
  }
}

void ignoreJpegOutput(j_common_ptr) {}

// Implausible: the header claims more pixels than the file can hold.
enum class Outcome { Ok, DecoderError, OutOfMemory, Implausible };

// Everything the decoding steps touch. It lives in the caller's frame, so nothing in the frame
// that calls setjmp needs destruction when libjpeg jumps back.
struct JpegJob {
  jpeg_decompress_struct cinfo;
  JpegErrorManager err;
  std::FILE* file;
  std::uint32_t maxW;
  std::uint32_t maxH;
  Foto* target;
  std::uint32_t outW;
  std::uint32_t outH;
  std::uint64_t fileBytes;  // the file's size, 0 when unknown
};

void prepareJob(JpegJob& job, std::FILE* file) {
  std::memset(&job.cinfo, 0, sizeof job.cinfo);
  job.cinfo.err = jpeg_std_error(&job.err.pub);
  job.err.pub.error_exit = onJpegError;
  job.err.pub.emit_message = onJpegMessage;
  job.err.pub.output_message = ignoreJpegOutput;
  job.err.damageWarnings = 0;
  job.err.stopOnDamage = false;
  job.file = file;
  struct stat info {};
  job.fileBytes = fstat(fileno(file), &info) == 0 && info.st_size > 0
                      ? static_cast<std::uint64_t>(info.st_size)
                      : 0;
}

// Releases the decompressor; safe on a zeroed or partly created one.
struct JpegDestroyer {
  JpegJob* job;
  ~JpegDestroyer() { jpeg_destroy_decompress(&job->cinfo); }
};

unsigned scaleDenominator(std::uint32_t width, std::uint32_t height, std::uint32_t maxW,
                          std::uint32_t maxH) {
  if (maxW == 0 || maxH == 0) return 1;
  const std::uint32_t ratio = std::min(width / maxW, height / maxH);
  if (ratio >= 8) return 8;
  if (ratio >= 4) return 4;
  if (ratio >= 2) return 2;
  return 1;
}

void convertCmykRow(const JSAMPLE* in, Pixel* out, std::uint32_t width) {
  for (std::uint32_t x = 0; x < width; ++x, in += 4) {
    const std::uint32_t k = in[3];
    const auto channel = [k](std::uint32_t c) { return std::min((c * k + 127u) / 255u, 255u); };
    out[x] = makePixel(channel(in[0]), channel(in[1]), channel(in[2]), 0);
  }
}

// Whether a file of `fileBytes` can hold the picture its header claims. Huffman-coded data spends
// at least one bit on every 8 x 8 block of each component a scan codes, and a file has at least
// one scan; a header claiming more blocks than that is a forgery (a few kilobytes "of" 65500 x
// 65500 pixels) that would otherwise make the decoder allocate and fill gigabytes. Arithmetic
// coding has no such floor and is not judged here.
bool fileCanHold(const jpeg_decompress_struct& cinfo, std::uint64_t fileBytes) {
  if (cinfo.arith_code || fileBytes == 0 || cinfo.num_components <= 0) return true;
  const auto blocks = [](std::uint64_t side, int factor, int maxFactor) {
    const std::uint64_t samples =
        (side * static_cast<std::uint64_t>(factor) + static_cast<std::uint64_t>(maxFactor) - 1) /
        static_cast<std::uint64_t>(maxFactor);
    return (samples + 7) / 8;
  };
  std::uint64_t fewest = UINT64_MAX;
  for (int c = 0; c < cinfo.num_components; ++c) {
    const jpeg_component_info& component = cinfo.comp_info[c];
    fewest = std::min(
        fewest, blocks(cinfo.image_width, component.h_samp_factor, cinfo.max_h_samp_factor) *
                    blocks(cinfo.image_height, component.v_samp_factor, cinfo.max_v_samp_factor));
  }
  return fewest / 8 <= fileBytes;
}

// The decoding steps from the header to the last row. Only trivially destructible locals live
// here: a decoder error jumps back to the setjmp below.
Outcome runJpegDecode(JpegJob& job) {
  if (setjmp(job.err.jump) != 0) return Outcome::DecoderError;
  jpeg_create_decompress(&job.cinfo);
  jpeg_stdio_src(&job.cinfo, job.file);
  jpeg_read_header(&job.cinfo, TRUE);

  jpeg_decompress_struct& cinfo = job.cinfo;
  cinfo.scale_num = 1;
  cinfo.scale_denom = scaleDenominator(cinfo.image_width, cinfo.image_height, job.maxW, job.maxH);
  const bool cmyk = cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
  cinfo.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_RGBX;
  const std::uint64_t coefficientBytes = std::uint64_t{cinfo.image_width} * cinfo.image_height *
                                         static_cast<std::uint64_t>(cinfo.num_components) * 2;
  if (coefficientBytes > kLimitDecoderMemoryAbove) {
    const std::uint64_t backable = backableMemoryBytes();
    if (backable != 0) cinfo.mem->max_memory_to_use = static_cast<long>(backable);
  }
  jpeg_calc_output_dimensions(&cinfo);
  job.outW = cinfo.output_width;
  job.outH = cinfo.output_height;
  if (!fileCanHold(cinfo, job.fileBytes)) return Outcome::Implausible;
  // Grey filling a picture of hundreds of megabytes after its data ended serves nobody: such a
  // picture fails at the first damage wherever it was opened.
  if (std::uint64_t{job.outW} * job.outH * sizeof(Pixel) > kLimitDecoderMemoryAbove) {
    job.err.stopOnDamage = true;
  }

  // The pixel block comes first: a picture too large for memory fails before the decoder sets
  // up its own buffers for it.
  if (!job.target->createQuiet(job.outW, job.outH)) return Outcome::OutOfMemory;

  jpeg_start_decompress(&cinfo);
  if (cinfo.output_width != job.outW || cinfo.output_height != job.outH ||
      cinfo.output_components != 4) {
    return Outcome::DecoderError;
  }
  JSAMPLE* cmykRow = nullptr;
  if (cmyk) {
    cmykRow = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                         job.outW * 4u, 1)[0];
  }
  // Kept in a local: the row stores below could otherwise alias the job's fields, which keeps
  // the compiler from vectorising the opacity loop.
  const std::uint32_t width = job.outW;
  while (cinfo.output_scanline < cinfo.output_height) {
    const std::uint32_t y = cinfo.output_scanline;
    Pixel* row = job.target->row(y);
    if (cmyk) {
      if (jpeg_read_scanlines(&cinfo, &cmykRow, 1) != 1) return Outcome::DecoderError;
      convertCmykRow(cmykRow, row, width);
    } else {
      JSAMPROW rowPointer = reinterpret_cast<JSAMPROW>(row);
      if (jpeg_read_scanlines(&cinfo, &rowPointer, 1) != 1) return Outcome::DecoderError;
      // The decoder writes 0xFF into the fourth byte; decoded pixels are opaque (T = 0).
      for (std::uint32_t x = 0; x < width; ++x) row[x] &= 0x00FFFFFFu;
    }
  }
  jpeg_finish_decompress(&cinfo);
  return Outcome::Ok;
}

bool applyOrientation(Foto& image, int orientation) {
  switch (orientation) {
    case 2:
      return mirrorInPlace(image);
    case 3:
      return mirrorInPlace(image) && flipInPlace(image);
    case 4:
      return flipInPlace(image);
    case 5:
      return mirrorInPlace(image) && rotateInPlace(image, -90);
    case 6:
      return rotateInPlace(image, 90);
    case 7:
      return mirrorInPlace(image) && rotateInPlace(image, 90);
    case 8:
      return rotateInPlace(image, -90);
    default:
      return true;
  }
}

bool readHeaderOnly(JpegJob& job) {
  if (setjmp(job.err.jump) != 0) return false;
  jpeg_create_decompress(&job.cinfo);
  jpeg_stdio_src(&job.cinfo, job.file);
  jpeg_read_header(&job.cinfo, TRUE);
  job.outW = job.cinfo.image_width;
  job.outH = job.cinfo.image_height;
  return true;
}

}  // namespace

bool loadJpegFile(Foto& target, const std::string& path, std::uint32_t maxW, std::uint32_t maxH,
                  bool showMessages) {
  target.release();
  // Opened first: only a regular file gets as far as the EXIF reader, which opens it by name.
  std::unique_ptr<std::FILE, FileCloser> file(openRegularFile(path));
  if (!file) {
    if (showMessages) {
      showMessage(formatText(tr("Unable to open file '%s'"), path), Buttons::Ok, Icon::Error);
    }
    return false;
  }
  const int orientation = readExifOrientation(path);
  // The hint describes the upright picture; a picture stored on its side is decoded sideways.
  if (orientation >= 5) std::swap(maxW, maxH);

  auto job = std::make_unique<JpegJob>();
  prepareJob(*job, file.get());
  job->maxW = maxW;
  job->maxH = maxH;
  job->target = &target;
  job->err.stopOnDamage = !showMessages;
  Outcome outcome;
  {
    JpegDestroyer destroyer{job.get()};
    outcome = runJpegDecode(*job);
  }
  file.reset();

  // A forged size is damage: tiles fail quietly, the user who opened it hears what the
  // picture would have needed.
  if (outcome == Outcome::Implausible && !showMessages) return false;
  if (outcome == Outcome::OutOfMemory || outcome == Outcome::Implausible) {
    target.release();
    showMessage(formatText(tr("Out Of Memory while allocating an Image made of %ldx%ld Pixels"),
                           static_cast<long>(job->outW), static_cast<long>(job->outH)) +
                    "!!",
                Buttons::Ok, Icon::Error);
    return false;
  }
  // Damaged data loads as the decoder delivers it only where the user opened the picture.
  if (outcome == Outcome::DecoderError || (!showMessages && job->err.damageWarnings > 0)) {
    target.release();
    if (showMessages) {
      showMessage(formatText(tr("Unable to load file '%s'"), path), Buttons::Ok, Icon::Error);
    }
    return false;
  }
  if (!applyOrientation(target, orientation)) {
    target.release();
    return false;
  }
  return true;
}

bool readJpegSize(const std::string& path, std::uint32_t& width, std::uint32_t& height) {
  std::unique_ptr<std::FILE, FileCloser> file(openRegularFile(path));
  if (!file) return false;
  auto job = std::make_unique<JpegJob>();
  prepareJob(*job, file.get());
  bool ok;
  {
    JpegDestroyer destroyer{job.get()};
    ok = readHeaderOnly(*job);
  }
  if (!ok) return false;
  width = job->outW;
  height = job->outH;
  return true;
}

}  // namespace tg::detail
