// SPDX-License-Identifier: GPL-3.0-or-later
#include "video/avi_create.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <limits>
#include <new>
#include <string_view>
#include <vector>

extern "C" {
#include <libavutil/opt.h>
#include <libavutil/pixdesc.h>
}

#include "video/ffmpeg_handles.h"
#include "video/video_library.h"
#include "video/yuv_jpeg_encoder.h"

namespace tg {
namespace {

constexpr uint32_t makeFourCC(char a, char b, char c, char d) {
  return static_cast<uint32_t>(static_cast<uint8_t>(a)) |
         static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24;
}

uint32_t upperFourCC(uint32_t fourcc) {
  uint32_t result = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const auto byte = static_cast<unsigned char>(fourcc >> shift);
    result |= static_cast<uint32_t>(std::toupper(byte)) << shift;
  }
  return result;
}

struct EncoderChoice {
  uint32_t fourcc;
  const char* encoder;
};

constexpr EncoderChoice kEncoders[] = {
    {makeFourCC('M', 'J', 'P', 'G'), "mjpeg"},   {makeFourCC('X', 'V', 'I', 'D'), "mpeg4"},
    {makeFourCC('D', 'I', 'V', 'X'), "mpeg4"},   {makeFourCC('D', 'X', '5', '0'), "mpeg4"},
    {makeFourCC('F', 'M', 'P', '4'), "mpeg4"},   {makeFourCC('F', 'F', 'V', '1'), "ffv1"},
    {makeFourCC('H', 'F', 'Y', 'U'), "huffyuv"}, {makeFourCC('H', '2', '6', '4'), "libx264"},
    {makeFourCC('X', '2', '6', '4'), "libx264"}, {makeFourCC('A', 'V', 'C', '1'), "libx264"},
};

// The largest frame the writer accepts: its image size must fit the 32-bit size field.
constexpr uint64_t kMaxImageBytes = std::numeric_limits<int32_t>::max();

}  // namespace

const char* encoderNameForFourCC(uint32_t fourcc) {
  if (fourcc == 0) return nullptr;
  const uint32_t upper = upperFourCC(fourcc);
  for (const EncoderChoice& choice : kEncoders) {
    if (choice.fourcc == upper) return choice.encoder;
  }
  return nullptr;
}

struct CAviCreate::State {
  ffmpeg::OutputPtr format;
  ffmpeg::CodecPtr codec;  // none for uncompressed frames
  ffmpeg::FramePtr frame;
  ffmpeg::PacketPtr packet;
  ffmpeg::ScalerPtr scaler;
  ffmpeg::ScalerPtr pictureScaler;  // decoded pictures to the codec's format
  // Motion JPEG frames of 4:2:0 pictures, coded from their planes (none: FFmpeg's encoder).
  std::unique_ptr<YuvJpegEncoder> jpeg;
  AVStream* stream = nullptr;
  int width = 0;
  int height = 0;
  uint32_t imageBytes = 0;
  uint32_t frameIndex = 0;
  uint64_t bytesWritten = 0;
  bool headerWritten = false;

  // Writes every packet the encoder has ready. Returns 0 or a negative FFmpeg error.
  int writeEncodedPackets() {
    for (;;) {
      int result = avcodec_receive_packet(codec.get(), packet.get());
      if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) return 0;
      if (result < 0) return result;
      av_packet_rescale_ts(packet.get(), codec->time_base, stream->time_base);
      packet->stream_index = stream->index;
      const int size = packet->size;
      result = av_write_frame(format.get(), packet.get());
      av_packet_unref(packet.get());
      if (result < 0) return result;
      bytesWritten += static_cast<uint64_t>(size);
    }
  }

  // Writes one coded frame as the next key frame. Returns 0 or a negative FFmpeg error.
  int writeCodedFrame(const uint8_t* bytes, std::size_t size) {
    if (size > static_cast<std::size_t>(std::numeric_limits<int>::max() - 64)) {
      return AVERROR(EINVAL);
    }
    int result = av_new_packet(packet.get(), static_cast<int>(size));
    if (result < 0) return result;
    std::copy(bytes, bytes + size, packet->data);
    packet->pts = packet->dts = frameIndex;
    packet->duration = 1;
    packet->flags |= AV_PKT_FLAG_KEY;
    av_packet_rescale_ts(packet.get(), codec->time_base, stream->time_base);
    packet->stream_index = stream->index;
    result = av_write_frame(format.get(), packet.get());
    av_packet_unref(packet.get());
    if (result < 0) return result;
    bytesWritten += size;
    return 0;
  }

  // Encodes `frame` (filled in the codec's format) as the next key frame and writes what the
  // encoder has ready. Returns 0 or a negative FFmpeg error.
  int encodeFrame() {
    frame->pts = frameIndex;
    frame->pict_type = AV_PICTURE_TYPE_I;
    frame->key_frame = 1;
    const int result = avcodec_send_frame(codec.get(), frame.get());
    return result < 0 ? result : writeEncodedPackets();
  }
};

CAviCreate::CAviCreate() : CAviError(true) {}

CAviCreate::~CAviCreate() { (void)close(); }

bool CAviCreate::isOpen() const { return m_state != nullptr; }

uint32_t CAviCreate::frameIndex() const { return m_state ? m_state->frameIndex : 0; }

uint64_t CAviCreate::bytesWritten() const { return m_state ? m_state->bytesWritten : 0; }

bool CAviCreate::create(const std::string& path, BitmapInfoHeader& format, int width, int height,
                        uint32_t fourcc, uint32_t rate, const AVFrame* sample) {
  if (!videoAvailable()) return false;
  // A failure to finish the previous file has been reported by close() itself.
  (void)close();
  initVideoLibrary();
  try {
    auto state = std::make_unique<State>();

    // Step 10: the file (its container; the file itself is opened once the rest is known).
    AVFormatContext* rawFormat = nullptr;
    int result = avformat_alloc_output_context2(&rawFormat, nullptr, "avi", path.c_str());
    if (result < 0 || rawFormat == nullptr) {
      reportFfmpegError(AviStep::OpenFile, result < 0 ? result : AVERROR_BUG, avierr::kFileOpen);
      return false;
    }
    state->format.reset(rawFormat);
    // Step 11: the stream, at the size rounded down to 8 × 4 and 500 time units per second.
    const int W = width > 0 ? width & ~7 : 0;
    const int H = height > 0 ? height & ~3 : 0;
    const uint64_t imageBytes = uint64_t{static_cast<uint32_t>(W)} * 3 * static_cast<uint32_t>(H);
    if (W < 1 || H < 1 || imageBytes > kMaxImageBytes) {
      reportError(AviStep::CreateStream, avierr::kBadSize, "frame size out of range");
      return false;
    }
    if (rate == 0 || rate > static_cast<uint32_t>(std::numeric_limits<int>::max())) {
      reportError(AviStep::CreateStream, avierr::kBadParam, "frame rate out of range");
      return false;
    }
    state->stream = avformat_new_stream(state->format.get(), nullptr);
    if (state->stream == nullptr) {
      reportError(AviStep::CreateStream, avierr::kMemory);
      return false;
    }
    const AVRational timeBase{500, static_cast<int>(rate)};
    state->stream->time_base = timeBase;
    state->stream->avg_frame_rate = av_inv_q(timeBase);
    state->stream->r_frame_rate = av_inv_q(timeBase);
    state->width = W;
    state->height = H;
    state->imageBytes = static_cast<uint32_t>(imageBytes);

    AVCodecParameters* parameters = state->stream->codecpar;
    parameters->codec_type = AVMEDIA_TYPE_VIDEO;
    parameters->width = W;
    parameters->height = H;

    // Step 12: the codec.
    if (fourcc == 0) {
      parameters->codec_id = AV_CODEC_ID_RAWVIDEO;
      parameters->format = AV_PIX_FMT_BGR24;
      parameters->bits_per_coded_sample = 24;
      parameters->codec_tag = 0;
    } else {
      const char* name = encoderNameForFourCC(fourcc);
      const AVCodec* encoder = name != nullptr ? avcodec_find_encoder_by_name(name) : nullptr;
      if (encoder == nullptr) {
        reportError(AviStep::CompressedStream, avierr::kNoCompressor, "no encoder for the FourCC");
        return false;
      }
      state->codec.reset(avcodec_alloc_context3(encoder));
      if (!state->codec) {
        reportError(AviStep::CompressedStream, avierr::kMemory);
        return false;
      }
      AVCodecContext* codec = state->codec.get();
      codec->width = W;
      codec->height = H;
      codec->time_base = timeBase;
      codec->framerate = av_inv_q(timeBase);
      codec->codec_tag = fourcc;
      codec->pix_fmt =
          avcodec_find_best_pix_fmt_of_list(encoder->pix_fmts, AV_PIX_FMT_BGR24, 0, nullptr);
      if (sample != nullptr && encoder->pix_fmts != nullptr &&
          av_pix_fmt_desc_get(static_cast<AVPixelFormat>(sample->format)) != nullptr) {
        // The form nearest to the pictures'. JPEG stores full-range colours: the encoder's
        // other forms would need non-standard settings.
        std::vector<AVPixelFormat> forms;
        for (const AVPixelFormat* form = encoder->pix_fmts; *form != AV_PIX_FMT_NONE; ++form) {
          const bool limited = encoder->id == AV_CODEC_ID_MJPEG &&
                               std::string_view(av_get_pix_fmt_name(*form)).rfind("yuvj", 0) != 0;
          if (!limited) forms.push_back(*form);
        }
        forms.push_back(AV_PIX_FMT_NONE);
        const AVPixelFormat nearest = avcodec_find_best_pix_fmt_of_list(
            forms.data(), static_cast<AVPixelFormat>(sample->format), 0, nullptr);
        if (nearest != AV_PIX_FMT_NONE) codec->pix_fmt = nearest;
      }
      codec->gop_size = 1;  // every frame a key frame
      codec->max_b_frames = 0;
      codec->thread_count = 1;
      if (encoder->id == AV_CODEC_ID_MPEG4 || encoder->id == AV_CODEC_ID_MJPEG) {
        // Constant quality in place of these encoders' low default bit rate.
        codec->flags |= AV_CODEC_FLAG_QSCALE;
        codec->global_quality = FF_QP2LAMBDA * 3;
      }
      if (encoder->id == AV_CODEC_ID_H264) {
        av_opt_set(codec->priv_data, "tune", "zerolatency", 0);
      }
      if (state->format->oformat->flags & AVFMT_GLOBALHEADER) {
        codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
      }
      result = avcodec_open2(codec, encoder, nullptr);
      if (result < 0) {
        reportFfmpegError(AviStep::CompressedStream, result, avierr::kNoCompressor);
        return false;
      }
      result = avcodec_parameters_from_context(parameters, codec);
      if (result < 0) {
        reportFfmpegError(AviStep::CompressedStream, result, avierr::kInternal);
        return false;
      }
      parameters->codec_tag = fourcc;
      state->frame.reset(av_frame_alloc());
      state->packet.reset(av_packet_alloc());
      if (!state->frame || !state->packet) {
        reportError(AviStep::CompressedStream, avierr::kMemory);
        return false;
      }
      state->frame->format = codec->pix_fmt;
      state->frame->width = W;
      state->frame->height = H;
      result = av_frame_get_buffer(state->frame.get(), 0);
      if (result < 0) {
        reportFfmpegError(AviStep::CompressedStream, result, avierr::kMemory);
        return false;
      }
      if (m_planeJpeg && encoder->id == AV_CODEC_ID_MJPEG && sample != nullptr &&
          codedFromPlanes(*sample) && codec->pix_fmt == AV_PIX_FMT_YUVJ420P) {
        state->jpeg = std::make_unique<YuvJpegEncoder>();
      }
      state->scaler.reset(sws_getContext(W, H, AV_PIX_FMT_BGR24, W, H, codec->pix_fmt,
                                         SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT,
                                         nullptr, nullptr, nullptr));
      if (!state->scaler) {
        reportError(AviStep::CompressedStream, avierr::kUnsupported, "no pixel conversion");
        return false;
      }
    }

    // The file is created only now, so that a size or codec that cannot work leaves an
    // existing file of that name untouched.
    result = avio_open(&state->format->pb, path.c_str(), AVIO_FLAG_WRITE);
    if (result < 0) {
      reportFfmpegError(AviStep::OpenFile, result, avierr::kFileOpen);
      return false;
    }

    // Step 13: the frame format. Uncompressed frames are stored bottom-up exactly as given,
    // which the AVI muxer declares correctly only with `flipped_raw_rgb`.
    AVDictionary* options = nullptr;
    av_dict_set(&options, "flipped_raw_rgb", "1", 0);
    result = avformat_write_header(state->format.get(), &options);
    av_dict_free(&options);
    if (result < 0) {
      reportFfmpegError(AviStep::SetFormat, result, avierr::kFileWrite);
      state.reset();
      // Nothing but a broken header would be left; devices and pipes are not ours to remove.
      std::error_code ignored;
      if (std::filesystem::is_regular_file(path, ignored)) std::filesystem::remove(path, ignored);
      return false;
    }
    state->headerWritten = true;

    format = BitmapInfoHeader{};
    format.headerSize = 40;
    format.planes = 1;
    format.width = W;
    format.height = H;
    format.bitCount = 24;
    format.imageSize = state->imageBytes;
    m_state = std::move(state);
    return true;
  } catch (const std::bad_alloc&) {
    reportError(AviStep::OpenFile, avierr::kMemory);
    return false;
  }
}

bool CAviCreate::writeFrame(const uint8_t* bits, std::size_t size) {
  if (!videoAvailable()) return false;
  if (!m_state) {
    reportError(AviStep::WriteFrame, avierr::kBadHandle, "no file is open");
    return false;
  }
  State& state = *m_state;
  if (bits == nullptr || size < state.imageBytes) {
    reportError(AviStep::WriteFrame, avierr::kBufferTooSmall, "frame smaller than its format");
    return false;
  }
  int result;
  if (!state.codec) {
    AVPacket* packet = av_packet_alloc();
    if (packet == nullptr) {
      reportError(AviStep::WriteFrame, avierr::kMemory);
      return false;
    }
    ffmpeg::PacketPtr owner(packet);
    result = av_new_packet(packet, static_cast<int>(state.imageBytes));
    if (result < 0) {
      reportFfmpegError(AviStep::WriteFrame, result, avierr::kMemory);
      return false;
    }
    std::copy(bits, bits + state.imageBytes, packet->data);
    packet->stream_index = state.stream->index;
    packet->pts = packet->dts = state.frameIndex;
    packet->duration = 1;
    packet->flags |= AV_PKT_FLAG_KEY;
    result = av_write_frame(state.format.get(), packet);
    if (result >= 0) state.bytesWritten += state.imageBytes;
    return frameWritten(result);
  }
  result = av_frame_make_writable(state.frame.get());
  if (result < 0) {
    reportFfmpegError(AviStep::WriteFrame, result, avierr::kMemory);
    return false;
  }
  // The bitmap is bottom-up: reading it from its last row upwards gives the top-down picture.
  const int stride = state.width * 3;
  const uint8_t* source[4] = {bits + static_cast<std::size_t>(stride) * (state.height - 1), nullptr,
                              nullptr, nullptr};
  const int sourceStride[4] = {-stride, 0, 0, 0};
  sws_scale(state.scaler.get(), source, sourceStride, 0, state.height, state.frame->data,
            state.frame->linesize);
  return frameWritten(state.encodeFrame());
}

bool CAviCreate::frameWritten(int result) {
  if (result < 0) {
    reportFfmpegError(AviStep::WriteFrame, result, avierr::kFileWrite);
    return false;
  }
  ++m_state->frameIndex;
  return true;
}

bool CAviCreate::acceptsPicture(const AVFrame& picture, int left, int top) const {
  if (!m_state || !m_state->codec || left < 0 || top < 0) return false;
  const State& state = *m_state;
  if (left > picture.width - state.width || top > picture.height - state.height) return false;
  const AVPixFmtDescriptor* layout =
      av_pix_fmt_desc_get(static_cast<AVPixelFormat>(picture.format));
  if (layout == nullptr || (layout->flags & (AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_PAL)) != 0) {
    return false;
  }
  if (left == 0 && top == 0) return true;
  // A part further in is reached by moving the plane pointers: whole bytes of planar 8-bit
  // samples, on whole samples of the subsampled colour planes.
  if ((layout->flags & AV_PIX_FMT_FLAG_PLANAR) == 0) return false;
  for (int i = 0; i < layout->nb_components; ++i) {
    if (layout->comp[i].depth != 8 || layout->comp[i].step != 1 || layout->comp[i].plane != i) {
      return false;
    }
  }
  return left % (1 << layout->log2_chroma_w) == 0 && top % (1 << layout->log2_chroma_h) == 0;
}

bool CAviCreate::writePicture(const AVFrame& picture, int left, int top) {
  if (!videoAvailable()) return false;
  if (!acceptsPicture(picture, left, top)) {
    reportError(AviStep::WriteFrame, avierr::kBadFormat, "picture not usable");
    return false;
  }
  State& state = *m_state;
  const auto format = static_cast<AVPixelFormat>(picture.format);
  if (state.jpeg && codedFromPlanes(picture)) return writePlanes(picture, left, top);
  state.pictureScaler.reset(sws_getCachedContext(
      state.pictureScaler.release(), state.width, state.height, format, state.width, state.height,
      state.codec->pix_fmt, SWS_BICUBIC | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT, nullptr, nullptr,
      nullptr));
  if (!state.pictureScaler) {
    reportError(AviStep::WriteFrame, avierr::kUnsupported, "no pixel conversion");
    return false;
  }
  int result = av_frame_make_writable(state.frame.get());
  if (result < 0) {
    reportFfmpegError(AviStep::WriteFrame, result, avierr::kMemory);
    return false;
  }
  const AVPixFmtDescriptor* layout = av_pix_fmt_desc_get(format);
  const uint8_t* source[4] = {nullptr, nullptr, nullptr, nullptr};
  for (int plane = 0; plane < 4 && picture.data[plane] != nullptr; ++plane) {
    const bool chroma = plane == 1 || plane == 2;
    const int row = chroma ? top >> layout->log2_chroma_h : top;
    const int column = chroma ? left >> layout->log2_chroma_w : left;
    source[plane] =
        picture.data[plane] + static_cast<std::ptrdiff_t>(row) * picture.linesize[plane] + column;
  }
  sws_scale(state.pictureScaler.get(), source, picture.linesize, 0, state.height, state.frame->data,
            state.frame->linesize);
  return frameWritten(state.encodeFrame());
}

bool CAviCreate::codedFromPlanes(const AVFrame& picture) {
  return picture.format == AV_PIX_FMT_YUV420P || picture.format == AV_PIX_FMT_YUVJ420P;
}

bool CAviCreate::writePlanes(const AVFrame& picture, int left, int top) {
  State& state = *m_state;
  YuvJpegEncoder::Planes planes;
  for (int plane = 0; plane < 3; ++plane) {
    const int shift = plane == 0 ? 0 : 1;
    planes.data[plane] = picture.data[plane] +
                         static_cast<std::ptrdiff_t>(top >> shift) * picture.linesize[plane] +
                         (left >> shift);
    planes.linesize[plane] = picture.linesize[plane];
  }
  // The range by the format alone, as the other conversions of decoded pictures take it.
  planes.fullRange = picture.format == AV_PIX_FMT_YUVJ420P;
  if (!state.jpeg->encode(planes, state.width, state.height)) {
    reportError(AviStep::WriteFrame, avierr::kMemory);
    return false;
  }
  return frameWritten(state.writeCodedFrame(state.jpeg->data(), state.jpeg->size()));
}

bool CAviCreate::close() {
  if (!m_state) return true;
  std::unique_ptr<State> state = std::move(m_state);
  int result = 0;
  if (state->headerWritten) {
    if (state->codec) {
      // Encoders with a delay still hold frames; they belong in the file.
      result = avcodec_send_frame(state->codec.get(), nullptr);
      if (result >= 0) result = state->writeEncodedPackets();
    }
    const int trailer = av_write_trailer(state->format.get());
    if (result >= 0) result = trailer;
    if (state->format->pb != nullptr) {
      // Data still buffered reaches the disk only here; a full disk shows up at this point.
      avio_flush(state->format->pb);
      if (result >= 0 && state->format->pb->error < 0) result = state->format->pb->error;
      const int closed = avio_closep(&state->format->pb);
      if (result >= 0 && closed < 0) result = closed;
    }
  }
  if (result < 0) {
    reportFfmpegError(AviStep::WriteFrame, result, avierr::kFileWrite);
    return false;
  }
  return true;
}

}  // namespace tg
