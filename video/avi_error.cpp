// SPDX-License-Identifier: GPL-3.0-or-later
#include "video/avi_error.h"

#include <cerrno>

extern "C" {
#include <libavutil/error.h>
}

#include "platform/catalogue.h"
#include "platform/text_format.h"
#include "platform/user_dialogs.h"

namespace tg {

const char* aviErrorText(uint32_t code) {
  switch (code) {
    case avierr::kClassNotRegistered:
      return N_("REGDB_E_CLASSNOTREG: File type not recognised");
    case avierr::kUnsupported:
      return N_("AVIERR_UNSUPPORTED: Compression is not supported for this type of data");
    case avierr::kBadFormat:
      return N_("AVIERR_BADFORMAT: Corrupt file or unrecognized format");
    case avierr::kMemory:
      return N_("AVIERR_MEMORY: Insufficient memory");
    case avierr::kInternal:
      return N_("AVIERR_INTERNAL: Internal error");
    case avierr::kBadFlags:
      return N_("AVIERR_BADFLAGS");
    case avierr::kBadParam:
      return N_("AVIERR_BADPARAM");
    case avierr::kBadSize:
      return N_("AVIERR_BADSIZE");
    case avierr::kBadHandle:
      return N_("AVIERR_BADHANDLE");
    case avierr::kFileRead:
      return N_("AVIERR_FILEREAD: Disk error while reading file");
    case avierr::kFileWrite:
      return N_("AVIERR_FILEWRITE: Disk error while writing file (Disk Full?)");
    case avierr::kFileOpen:
      return N_("AVIERR_FILEOPEN: Disk error while opening file");
    case avierr::kCompressor:
      return N_("AVIERR_COMPRESSOR");
    case avierr::kNoCompressor:
      return N_(
          "AVIERR_NOCOMPRESSOR: A suitable compressor could not be found. Please install a VFW "
          "Codec.");
    case avierr::kReadOnly:
      return N_("AVIERR_READONLY: File is read-only");
    case avierr::kNoData:
      return N_("AVIERR_READONLY");
    case avierr::kBufferTooSmall:
      return N_("AVIERR_BUFFERTOOSMALL");
    case avierr::kCantCompress:
      return N_("AVIERR_CANTCOMPRESS");
    case avierr::kUserAbort:
      return N_("AVIERR_USERABORT");
    case avierr::kError:
      return N_("AVIERR_ERROR");
    default:
      return N_("Unknown AVI Error");
  }
}

uint32_t aviErrorFromFfmpeg(int ffmpegError, uint32_t fallback) {
  switch (ffmpegError) {
    case AVERROR(ENOENT):
    case AVERROR(ENOTDIR):
    case AVERROR(EISDIR):
    case AVERROR(ENAMETOOLONG):
    case AVERROR(ELOOP):
      return avierr::kFileOpen;
    case AVERROR(EACCES):
    case AVERROR(EPERM):
    case AVERROR(EROFS):
      return avierr::kReadOnly;
    case AVERROR(ENOMEM):
      return avierr::kMemory;
    case AVERROR(ENOSPC):
    case AVERROR(EFBIG):
    case AVERROR(EDQUOT):
      return avierr::kFileWrite;
    case AVERROR_INVALIDDATA:
      return avierr::kBadFormat;
    case AVERROR_DECODER_NOT_FOUND:
    case AVERROR_ENCODER_NOT_FOUND:
      return avierr::kNoCompressor;
    case AVERROR_PATCHWELCOME:
    case AVERROR(ENOSYS):
      return avierr::kUnsupported;
    case AVERROR(EINVAL):
      return avierr::kBadParam;
    case AVERROR_BUG:
    case AVERROR_BUG2:
      return avierr::kInternal;
    case AVERROR_EXIT:
      return avierr::kUserAbort;
    default:
      return fallback;
  }
}

void CAviError::reportError(AviStep step, uint32_t code, std::string detail) {
  const std::string prefix =
      m_isWriter ? tr("Unable to Create the Video") : tr("Unable to read the video");
  m_message =
      prefix + formatText(" %02d %s (%X)", static_cast<int>(step), tr(aviErrorText(code)), code);
  m_detail = std::move(detail);
  if (m_showErrors) showMessage(m_message, Buttons::Ok, Icon::Exclamation);
}

void CAviError::reportFfmpegError(AviStep step, int ffmpegError, uint32_t fallback) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  av_strerror(ffmpegError, text, sizeof text);
  reportError(step, aviErrorFromFfmpeg(ffmpegError, fallback), text);
}

}  // namespace tg
