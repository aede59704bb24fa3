// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <memory>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libswscale/swscale.h>
}

namespace tg::ffmpeg {

/// Owners of the FFmpeg objects the video layer uses; each frees its object the one way the
/// library wants it freed.
struct InputCloser {
  void operator()(AVFormatContext* context) const { avformat_close_input(&context); }
};
struct OutputCloser {
  void operator()(AVFormatContext* context) const {
    if (context->pb != nullptr && !(context->oformat->flags & AVFMT_NOFILE)) {
      avio_closep(&context->pb);
    }
    avformat_free_context(context);
  }
};
struct CodecCloser {
  void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameCloser {
  void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketCloser {
  void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct ScalerCloser {
  void operator()(SwsContext* context) const { sws_freeContext(context); }
};

using InputPtr = std::unique_ptr<AVFormatContext, InputCloser>;
using OutputPtr = std::unique_ptr<AVFormatContext, OutputCloser>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecCloser>;
using FramePtr = std::unique_ptr<AVFrame, FrameCloser>;
using PacketPtr = std::unique_ptr<AVPacket, PacketCloser>;
using ScalerPtr = std::unique_ptr<SwsContext, ScalerCloser>;

}  // namespace tg::ffmpeg
