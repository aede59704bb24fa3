// SPDX-License-Identifier: GPL-3.0-or-later
// libjpeg's error exit turned into a jump back to the caller's setjmp, its messages ignored:
// what the encoders need, whose only errors are failures of the output or of memory. (The
// decoder keeps its own, which also decides what to do with damaged data.)
#pragma once

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace tg {

struct JpegJumpErrors {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

[[noreturn]] inline void jumpOnJpegError(j_common_ptr cinfo) {
  auto* errors = reinterpret_cast<JpegJumpErrors*>(cinfo->err);
  std::longjmp(errors->jump, 1);
}

inline void ignoreJpegMessage(j_common_ptr, int) {}

}  // namespace tg
