// SPDX-License-Identifier: GPL-3.0-or-later
#include "video/avi_stream.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

extern "C" {
#include <libavutil/imgutils.h>
}

#include "imaging/frame_bitmap.h"
#include "video/ffmpeg_handles.h"
#include "video/video_library.h"

namespace tg {
namespace {

// Frames larger than this are refused before anything is allocated for them: no clip a mosaic
// can use comes near it, and a damaged header must not make us allocate gigabytes.
constexpr int kMaxFrameSide = 16384;
constexpr uint64_t kMaxFrameBytes = uint64_t{1} << 30;

// How far forward the reader decodes from the current position before it prefers to seek.
constexpr int64_t kForwardDecodeLimit = 48;

// Spare bytes after a converted frame (see State::bitmap).
constexpr std::size_t kScalerSlack = 64;

// Bytes per row of a device-independent bitmap: the row's bytes rounded up to a multiple of 4.
constexpr uint32_t bitmapRowStride(uint32_t width, uint32_t bitCount) {
  return ((width * bitCount + 31) / 32) * 4;
}

constexpr std::size_t kHeaderBytes = sizeof(BitmapInfoHeader);
constexpr std::size_t kPaletteBytes = 256 * 4;

bool frameSizeAcceptable(int width, int height, int bitCount) {
  if (width <= 0 || height <= 0 || width > kMaxFrameSide || height > kMaxFrameSide) return false;
  const uint64_t bytes =
      uint64_t{bitmapRowStride(static_cast<uint32_t>(width), static_cast<uint32_t>(bitCount))} *
      static_cast<uint64_t>(height);
  return bytes <= kMaxFrameBytes;
}

AVRational streamFrameRate(const AVStream* stream) {
  if (stream->avg_frame_rate.num > 0 && stream->avg_frame_rate.den > 0) {
    return stream->avg_frame_rate;
  }
  if (stream->r_frame_rate.num > 0 && stream->r_frame_rate.den > 0) return stream->r_frame_rate;
  return AVRational{0, 1};
}

int firstVideoStream(const AVFormatContext* format) {
  for (unsigned i = 0; i < format->nb_streams; ++i) {
    const AVStream* stream = format->streams[i];
    if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
        !(stream->disposition & AV_DISPOSITION_ATTACHED_PIC)) {
      return static_cast<int>(i);
    }
  }
  return -1;
}

}  // namespace

struct CAviStream::State {
  std::string path;
  ffmpeg::InputPtr format;
  ffmpeg::CodecPtr codec;
  ffmpeg::PacketPtr packet;
  ffmpeg::FramePtr current;   // the last decoded frame
  ffmpeg::FramePtr previous;  // the one decoded before it
  ffmpeg::ScalerPtr scaler;
  AVStream* stream = nullptr;
  int streamIndex = -1;
  AVRational rate{0, 1};
  int64_t containerCount = 0;  // 0 when the container does not say
  int64_t countedFrames = -1;  // counted by reading the packets, -1 until counted

  // Decoding position: the numbers of `current` and `previous` (-1 for none). A decoder that
  // has been drained to the end must be flushed (a seek does that) before it decodes again.
  int64_t currentNumber = -1;
  int64_t previousNumber = -1;
  bool atStart = true;
  bool inputEnded = false;
  bool drained = false;
  bool packetPending = false;
  int64_t originPts = AV_NOPTS_VALUE;

  // The frame as a bitmap, followed by kScalerSlack spare bytes: the scaler's vector code may
  // write past the end of the last row it fills, which must not land in someone else's memory.
  std::vector<uint8_t> bitmap;
  std::size_t bitmapBytes = 0;  ///< the bitmap's own size, without the spare bytes

  // Frame number of a decoded frame: its presentation time in frame periods since the first
  // frame, or the next number when the stream gives no time or rate.
  int64_t numberOf(const AVFrame* frame) const {
    const int64_t pts = frame->best_effort_timestamp;
    if (pts == AV_NOPTS_VALUE || originPts == AV_NOPTS_VALUE || rate.num <= 0) {
      return currentNumber + 1;
    }
    const double periods =
        static_cast<double>(pts - originPts) * av_q2d(stream->time_base) * av_q2d(rate);
    return static_cast<int64_t>(std::floor(periods + 0.5));
  }

  // The timestamp of frame `number` in the stream's time base.
  int64_t timestampOf(int64_t number) const {
    const double seconds = static_cast<double>(number) / av_q2d(rate);
    return originPts + static_cast<int64_t>(std::floor(seconds / av_q2d(stream->time_base)));
  }

  // Decodes the next frame into `current` (moving the old one to `previous`). False at the end
  // of the stream or on a read error that ends it.
  bool decodeNext() {
    for (;;) {
      if (drained) return false;
      const int received = avcodec_receive_frame(codec.get(), previous.get());
      if (received == 0) {
        std::swap(current, previous);
        previousNumber = currentNumber;
        if (originPts == AV_NOPTS_VALUE && atStart) originPts = current->best_effort_timestamp;
        atStart = false;
        currentNumber = numberOf(current.get());
        return true;
      }
      if (received == AVERROR_EOF) {
        drained = true;
        return false;
      }
      // EAGAIN wants more input; any other error is a damaged frame the decoder has dropped.
      if (inputEnded) {
        drained = true;
        return false;
      }
      if (!feedPacket()) {
        inputEnded = true;
        avcodec_send_packet(codec.get(), nullptr);
      }
    }
  }

  // Reads the stream's next packet and hands it to the decoder. False at the end of the input.
  bool feedPacket() {
    for (;;) {
      if (!packetPending) {
        const int read = av_read_frame(format.get(), packet.get());
        if (read < 0) return false;
        if (packet->stream_index != streamIndex) {
          av_packet_unref(packet.get());
          continue;
        }
      }
      const int sent = avcodec_send_packet(codec.get(), packet.get());
      // A decoder that still holds output takes the packet later; keep it until then.
      packetPending = sent == AVERROR(EAGAIN);
      if (packetPending) return true;
      av_packet_unref(packet.get());
      // A packet the decoder refuses (damaged data) is skipped; the next key frame resyncs.
      if (sent == 0) return true;
    }
  }

  // Positions the decoder so that the next decoded frames start at or before frame `target`,
  // `backoff` frames earlier than the target (or at the very start when `fromStart`).
  bool seekBefore(int64_t target, int64_t backoff, bool fromStart) {
    int result;
    if (fromStart || rate.num <= 0 || originPts == AV_NOPTS_VALUE) {
      result = avformat_seek_file(format.get(), streamIndex, std::numeric_limits<int64_t>::min(),
                                  originPts == AV_NOPTS_VALUE ? 0 : originPts,
                                  originPts == AV_NOPTS_VALUE ? 0 : originPts, 0);
      if (result < 0) {
        result =
            av_seek_frame(format.get(), streamIndex, 0, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_BYTE);
      }
    } else {
      const int64_t number = target - backoff < 0 ? 0 : target - backoff;
      result = av_seek_frame(format.get(), streamIndex, timestampOf(number), AVSEEK_FLAG_BACKWARD);
    }
    avcodec_flush_buffers(codec.get());
    av_packet_unref(packet.get());
    packetPending = false;
    currentNumber = previousNumber = -1;
    av_frame_unref(current.get());
    av_frame_unref(previous.get());
    inputEnded = drained = false;
    // After a rewind to the start the first frame again marks the origin.
    atStart = fromStart || rate.num <= 0;
    if (atStart && rate.num <= 0) originPts = AV_NOPTS_VALUE;
    return result >= 0;
  }

  // Decodes forward until frame `target` is `current` (true), or a frame after the target
  // arrives (true with `previous` holding the frame shown at the target's time when there is
  // one: a stream that skips a number repeats the frame before), or the stream ends (false).
  bool decodeUpTo(int64_t target, bool& overshot) {
    overshot = false;
    while (currentNumber < target) {
      if (!decodeNext()) return false;
      if (currentNumber > target) {
        overshot = true;
        return true;
      }
    }
    return true;
  }

  const AVFrame* locate(int64_t target) {
    // The first frame tells where the stream's time starts; every frame number depends on it.
    // (The container's start time is not used: with B-frames it can differ from the time of the
    // first frame shown.)
    if (atStart && !drained && !decodeNext()) return nullptr;
    if (currentNumber == target) return current.get();
    if (previousNumber == target) return previous.get();

    // Continue from where the decoder stands when the target is just ahead of it.
    if (!drained && currentNumber >= 0 && target > currentNumber &&
        target - currentNumber <= kForwardDecodeLimit) {
      bool overshot = false;
      if (!decodeUpTo(target, overshot)) return nullptr;
      if (!overshot) return current.get();
      if (previousNumber >= 0 && previousNumber < target) return previous.get();
    }
    // Seek to a key frame before the target; if the demuxer lands after it (an index that
    // only approximates, or a key frame shown later than it is stored), go back further and
    // finally decode from the very start.
    static constexpr int64_t kBackoffs[] = {0, 16, 128, 1024, -1};
    for (const int64_t backoff : kBackoffs) {
      const bool fromStart = backoff < 0 || target - backoff <= 0;
      seekBefore(target, backoff < 0 ? 0 : backoff, fromStart);
      if (!decodeNext()) {
        if (fromStart) return nullptr;
        continue;
      }
      if (currentNumber > target && !fromStart) continue;
      if (currentNumber == target) return current.get();
      if (currentNumber > target) return nullptr;  // nothing decodable at or before the target
      bool overshot = false;
      if (!decodeUpTo(target, overshot)) return nullptr;
      if (!overshot) return current.get();
      return previousNumber >= 0 && previousNumber < target ? previous.get() : nullptr;
    }
    return nullptr;
  }

  bool toBitmap(const AVFrame* frame) {
    const bool pal8 = frame->format == AV_PIX_FMT_PAL8;
    const int bitCount = pal8 ? 8 : 24;
    if (!frameSizeAcceptable(frame->width, frame->height, bitCount)) return false;
    const uint32_t stride = bitmapRowStride(static_cast<uint32_t>(frame->width), bitCount);
    const std::size_t imageBytes = std::size_t{stride} * static_cast<std::size_t>(frame->height);
    const std::size_t paletteBytes = pal8 ? kPaletteBytes : 0;
    bitmapBytes = kHeaderBytes + paletteBytes + imageBytes;
    bitmap.assign(bitmapBytes + kScalerSlack, 0);

    BitmapInfoHeader header{};
    header.headerSize = 40;
    header.planes = 1;
    header.width = frame->width;
    header.height = frame->height;
    header.bitCount = static_cast<uint16_t>(bitCount);
    header.imageSize = static_cast<uint32_t>(imageBytes);
    header.coloursUsed = pal8 ? 256 : 0;
    std::memcpy(bitmap.data(), &header, kHeaderBytes);
    uint8_t* bits = bitmap.data() + kHeaderBytes + paletteBytes;

    if (pal8) {
      // FFmpeg keeps the palette as native 0xAARRGGBB words: blue, green, red, alpha in memory.
      const auto* palette = reinterpret_cast<const uint32_t*>(frame->data[1]);
      uint8_t* entries = bitmap.data() + kHeaderBytes;
      for (int i = 0; i < 256; ++i) {
        const uint32_t colour = palette != nullptr ? palette[i] : 0;
        entries[i * 4 + 0] = static_cast<uint8_t>(colour);
        entries[i * 4 + 1] = static_cast<uint8_t>(colour >> 8);
        entries[i * 4 + 2] = static_cast<uint8_t>(colour >> 16);
        entries[i * 4 + 3] = 0;
      }
      for (int y = 0; y < frame->height; ++y) {
        std::memcpy(bits + std::size_t{stride} * static_cast<std::size_t>(frame->height - 1 - y),
                    frame->data[0] + static_cast<std::ptrdiff_t>(y) * frame->linesize[0],
                    static_cast<std::size_t>(frame->width));
      }
      return true;
    }

    scaler.reset(sws_getCachedContext(
        scaler.release(), frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
        frame->width, frame->height, AV_PIX_FMT_BGR24, SWS_BILINEAR, nullptr, nullptr, nullptr));
    if (!scaler) return false;
    // Writing from the last row upwards turns FFmpeg's top-down frame into bottom-up rows.
    uint8_t* destination[4] = {
        bits + std::size_t{stride} * static_cast<std::size_t>(frame->height - 1), nullptr, nullptr,
        nullptr};
    const int destinationStride[4] = {-static_cast<int>(stride), 0, 0, 0};
    const int rows = sws_scale(scaler.get(), frame->data, frame->linesize, 0, frame->height,
                               destination, destinationStride);
    return rows == frame->height;
  }
};

CAviStream::CAviStream() : CAviError(false) {}

CAviStream::~CAviStream() { close(); }

bool CAviStream::open(const std::string& path) {
  close();
  if (!videoAvailable()) return false;
  initVideoLibrary();
  try {
    auto state = std::make_unique<State>();
    state->path = path;
    AVFormatContext* rawFormat = nullptr;
    int result = avformat_open_input(&rawFormat, path.c_str(), nullptr, nullptr);
    if (result < 0) {
      // FFmpeg reports a file it cannot identify as invalid data: the file type is unknown.
      reportFfmpegError(AviStep::OpenStream,
                        result == AVERROR_INVALIDDATA ? AVERROR_UNKNOWN : result,
                        avierr::kClassNotRegistered);
      return false;
    }
    state->format.reset(rawFormat);
    result = avformat_find_stream_info(state->format.get(), nullptr);
    if (result < 0) {
      reportFfmpegError(AviStep::OpenStream, result, avierr::kBadFormat);
      return false;
    }
    state->streamIndex = firstVideoStream(state->format.get());
    if (state->streamIndex < 0) {
      reportError(AviStep::OpenStream, avierr::kBadFormat, "no video stream");
      return false;
    }
    state->stream = state->format->streams[state->streamIndex];
    // Only the chosen stream is demuxed; the others would only be read and thrown away.
    for (unsigned i = 0; i < state->format->nb_streams; ++i) {
      if (static_cast<int>(i) != state->streamIndex) {
        state->format->streams[i]->discard = AVDISCARD_ALL;
      }
    }

    const AVCodecParameters* parameters = state->stream->codecpar;
    const AVCodec* decoder = avcodec_find_decoder(parameters->codec_id);
    if (decoder == nullptr) {
      reportError(AviStep::NoFrameDecompression, avierr::kError, "no decoder for the stream");
      return false;
    }
    state->codec.reset(avcodec_alloc_context3(decoder));
    if (!state->codec) {
      reportError(AviStep::NoFrameDecompression, avierr::kMemory);
      return false;
    }
    result = avcodec_parameters_to_context(state->codec.get(), parameters);
    if (result >= 0) {
      // Clips are opened for a single frame at a time, under one lock: decoder threads would
      // only cost their start-up.
      state->codec->thread_count = 1;
      state->codec->pkt_timebase = state->stream->time_base;
      result = avcodec_open2(state->codec.get(), decoder, nullptr);
    }
    if (result < 0) {
      reportFfmpegError(AviStep::NoFrameDecompression, result, avierr::kError);
      return false;
    }

    const int bitCount = parameters->format == AV_PIX_FMT_PAL8 ? 8 : 24;
    if (!frameSizeAcceptable(parameters->width, parameters->height, bitCount)) {
      reportError(AviStep::StreamInformation, avierr::kBadSize, "frame size out of range");
      return false;
    }
    state->rate = streamFrameRate(state->stream);
    state->containerCount = state->stream->nb_frames > 0 ? state->stream->nb_frames : 0;
    state->packet.reset(av_packet_alloc());
    state->current.reset(av_frame_alloc());
    state->previous.reset(av_frame_alloc());
    if (!state->packet || !state->current || !state->previous) {
      reportError(AviStep::StreamInformation, avierr::kMemory);
      return false;
    }
    m_state = std::move(state);
    return true;
  } catch (const std::bad_alloc&) {
    reportError(AviStep::OpenStream, avierr::kMemory);
    return false;
  }
}

bool CAviStream::isOpen() const { return m_state != nullptr; }

uint32_t CAviStream::frameCount() {
  if (!m_state || !videoAvailable()) return 0;
  State& state = *m_state;
  int64_t count = state.containerCount;
  if (count <= 0) {
    if (state.countedFrames < 0) {
      // The container keeps no count (Matroska, WebM, raw streams): read the packets once in
      // a second context, so the decoding position of this one stays where it is.
      state.countedFrames = 0;
      AVFormatContext* raw = nullptr;
      if (avformat_open_input(&raw, state.path.c_str(), nullptr, nullptr) >= 0) {
        ffmpeg::InputPtr counter(raw);
        ffmpeg::PacketPtr packet(av_packet_alloc());
        if (packet && avformat_find_stream_info(counter.get(), nullptr) >= 0 &&
            static_cast<unsigned>(state.streamIndex) < counter->nb_streams) {
          for (unsigned i = 0; i < counter->nb_streams; ++i) {
            if (static_cast<int>(i) != state.streamIndex) {
              counter->streams[i]->discard = AVDISCARD_ALL;
            }
          }
          while (av_read_frame(counter.get(), packet.get()) >= 0) {
            if (packet->stream_index == state.streamIndex &&
                !(packet->flags & AV_PKT_FLAG_DISCARD)) {
              ++state.countedFrames;
            }
            av_packet_unref(packet.get());
          }
        }
      }
    }
    count = state.countedFrames;
  }
  return count > std::numeric_limits<uint32_t>::max() ? std::numeric_limits<uint32_t>::max()
                                                      : static_cast<uint32_t>(count);
}

uint32_t CAviStream::frameRate() const {
  if (!m_state || !videoAvailable()) return 0;
  const AVRational rate = m_state->rate;
  if (rate.num <= 0 || rate.den <= 0) return 0;
  const int64_t value = (int64_t{500} * rate.num + rate.den / 2) / rate.den;
  return value > std::numeric_limits<uint32_t>::max() ? std::numeric_limits<uint32_t>::max()
                                                      : static_cast<uint32_t>(value);
}

int CAviStream::width() const { return m_state ? m_state->stream->codecpar->width : 0; }

int CAviStream::height() const { return m_state ? m_state->stream->codecpar->height : 0; }

bool CAviStream::palettised() const {
  return m_state && m_state->stream->codecpar->format == AV_PIX_FMT_PAL8;
}

const uint8_t* CAviStream::frame(uint32_t index) {
  if (!m_state || !videoAvailable()) return nullptr;
  State& state = *m_state;
  state.bitmap.clear();
  if (state.containerCount > 0 && index >= state.containerCount) return nullptr;
  if (state.countedFrames >= 0 && index >= state.countedFrames) return nullptr;
  try {
    const AVFrame* found = state.locate(index);
    if (found == nullptr || !state.toBitmap(found)) {
      state.bitmap.clear();
      return nullptr;
    }
    return state.bitmap.data();
  } catch (const std::bad_alloc&) {
    state.bitmap.clear();
    return nullptr;
  }
}

std::size_t CAviStream::frameBytes() const {
  return m_state && !m_state->bitmap.empty() ? m_state->bitmapBytes : 0;
}

void CAviStream::close() { m_state.reset(); }

}  // namespace tg
