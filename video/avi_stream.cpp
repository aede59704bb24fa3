// SPDX-License-Identifier: GPL-3.0-or-later
#include "video/avi_stream.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <limits>
#include <new>
#include <vector>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/pixdesc.h>
}

#include "imaging/foto.h"
#include "imaging/frame_bitmap.h"
#include "video/ffmpeg_handles.h"
#include "video/square_sums.h"
#include "video/video_library.h"

namespace tg {
namespace {

// Frames larger than this are refused before anything is allocated for them: no clip a mosaic
// can use comes near it, and a damaged header must not make us allocate gigabytes.
constexpr int kMaxFrameSide = 16384;
constexpr uint64_t kMaxFrameBytes = uint64_t{1} << 30;

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

// Pixels converted at once: whole vectors of the scaler's conversion code.
constexpr int kVector = 16;
// Pixels around a part of a frame that are converted too (a resampling of the part reads them).
constexpr int kPartMargin = 2;
// Rows converted at once before their padding is cleared.
constexpr int kBandRows = 16;

// Turns decoded frames into bitmaps or pictures. One per reader, and one per thread for frames
// held apart from their reader: the scaler context is not shared between threads.
struct FrameConverter {
  ffmpeg::ScalerPtr scaler;
  // The frame as a bitmap, followed by kScalerSlack spare bytes: the scaler's vector code may
  // write past the end of the last row it fills, which must not land in someone else's memory.
  std::vector<uint8_t> bitmap;
  std::size_t bitmapBytes = 0;   ///< the bitmap's own size, without the spare bytes
  std::vector<uint8_t> topDown;  ///< rows of frames converted top-down first

  // Converts straight into the picture's pixel words: on a little-endian machine the bytes red,
  // green, blue, padding of FFmpeg's RGB0 are the word R | G << 8 | B << 16 once the padding is
  // cleared (T = 0), the pixels the bitmap conversion gives, without the bitmap in between.
  // With `part`, only the rows and columns around it are converted where the frame's layout
  // allows (planar 8-bit colour planes); the other pixels keep what the picture held.
  bool toFoto(const AVFrame* frame, Foto& target, const CAviStream::FramePart* part,
              SquareSums* sums = nullptr) {
    if (frame->format == AV_PIX_FMT_PAL8 || std::endian::native != std::endian::little ||
        frame->width % kVector != 0) {
      // The scaler's vector code may write past the last row; straight into the picture only
      // where rows are whole vectors, else through the bitmap and its spare bytes.
      if (!toBitmap(frame) || !frameToFoto(bitmap.data(), bitmapBytes, target)) return false;
      if (sums != nullptr) addSquare(*sums, target, 0, target.height);
      return true;
    }
    if (!frameSizeAcceptable(frame->width, frame->height, 32)) return false;
    const auto w = static_cast<std::uint32_t>(frame->width);
    const auto h = static_cast<std::uint32_t>(frame->height);
    if ((target.width != w || target.height != h || target.empty()) && !target.create(w, h)) {
      return false;
    }
    const auto* layout = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame->format));
    if (layout == nullptr) return false;
    // The region converted: the whole frame, or the part widened by the pixels a resampling
    // of it may also read, with its columns in whole vectors and its rows in whole rows of the
    // colour planes, so that every converted pixel is the one a whole conversion gives.
    int left = 0;
    int top = 0;
    int right = frame->width;
    int bottom = frame->height;
    if (part != nullptr && partsConvertible(*layout)) {
      const int rowStep = 1 << layout->log2_chroma_h;
      left = std::max<int64_t>(0, int64_t{part->x} - kPartMargin) / kVector * kVector;
      right = static_cast<int>(std::min<int64_t>(
          frame->width,
          (int64_t{part->x} + part->width + kPartMargin + kVector - 1) / kVector * kVector));
      top = static_cast<int>(std::max<int64_t>(0, int64_t{part->y} - kPartMargin) / rowStep *
                             rowStep);
      bottom = static_cast<int>(std::min<int64_t>(
          frame->height,
          (int64_t{part->y} + part->height + kPartMargin + rowStep - 1) / rowStep * rowStep));
      if (left >= right || top >= bottom) return true;
    }
    const int width = right - left;
    const int height = bottom - top;
    scaler.reset(sws_getCachedContext(scaler.release(), width, height,
                                      static_cast<AVPixelFormat>(frame->format), width, height,
                                      AV_PIX_FMT_RGB0, SWS_BILINEAR, nullptr, nullptr, nullptr));
    if (!scaler) return false;
    // Band by band, each band's padding cleared while it is still in the cache. The square's
    // pixels are cleared as they are summed, when the square lies in what is converted.
    Pixel* origin =
        target.pixels + static_cast<std::size_t>(top) * w + static_cast<std::size_t>(left);
    const bool sumsClear = sums != nullptr && int64_t{sums->x()} >= left &&
                           int64_t{sums->x()} + sums->side() <= right &&
                           int64_t{sums->y()} >= top && int64_t{sums->y()} + sums->side() <= bottom;
    // The square's columns in the converted region, when its rows are cleared by the sums.
    const int squareLeft = sumsClear ? static_cast<int>(sums->x()) - left : width;
    const int squareRight = sumsClear ? squareLeft + static_cast<int>(sums->side()) : width;
    uint8_t* destination[4] = {reinterpret_cast<uint8_t*>(origin), nullptr, nullptr, nullptr};
    const int destinationStride[4] = {frame->width * 4, 0, 0, 0};
    for (int y = 0; y < height; y += kBandRows) {
      const int rows = std::min(kBandRows, height - y);
      const uint8_t* source[4] = {nullptr, nullptr, nullptr, nullptr};
      for (int plane = 0; plane < 4 && frame->data[plane] != nullptr; ++plane) {
        const bool chroma = plane == 1 || plane == 2;
        const int row = chroma ? (top + y) >> layout->log2_chroma_h : top + y;
        const int column = chroma ? left >> layout->log2_chroma_w : left;
        source[plane] = frame->data[plane] +
                        static_cast<std::ptrdiff_t>(row) * frame->linesize[plane] +
                        (part != nullptr && partsConvertible(*layout) ? column : 0);
      }
      if (sws_scale(scaler.get(), source, frame->linesize, y, rows, destination,
                    destinationStride) != rows) {
        return false;
      }
      // The fourth byte is padding that the converter may fill; the picture wants it opaque.
      for (int r = y; r < y + rows; ++r) {
        Pixel* pixels = origin + static_cast<std::size_t>(r) * w;
        const int row = top + r;
        const bool inSquare = sumsClear && row >= static_cast<int>(sums->y()) &&
                              row < static_cast<int>(sums->y() + sums->side());
        const int skipFrom = inSquare ? squareLeft : width;
        const int skipTo = inSquare ? squareRight : width;
        for (int x = 0; x < skipFrom; ++x) pixels[x] &= 0x00FFFFFFu;
        for (int x = skipTo; x < width; ++x) pixels[x] &= 0x00FFFFFFu;
      }
      // Summed while the band is still in the cache.
      if (sumsClear) {
        sums->addRowsClearingPadding(target, static_cast<std::uint32_t>(top + y),
                                     static_cast<std::uint32_t>(top + y + rows));
      } else if (sums != nullptr) {
        addSquare(*sums, target, static_cast<std::uint32_t>(top + y),
                  static_cast<std::uint32_t>(top + y + rows));
      }
    }
    return true;
  }

  // Adds rows `first` to `end` - 1 of the picture to the square's sums when its columns lie in
  // the picture (else the sums stay incomplete and the caller resamples).
  static void addSquare(SquareSums& sums, const Foto& picture, std::uint32_t first,
                        std::uint32_t end) {
    if (std::uint64_t{sums.x()} + sums.side() <= picture.width &&
        std::uint64_t{sums.y()} + sums.side() <= picture.height) {
      sums.addRows(picture, first, end);
    }
  }

  // Planar layouts of 8-bit samples: a part of such a frame starts at a byte of every plane.
  static bool partsConvertible(const AVPixFmtDescriptor& layout) {
    if ((layout.flags & AV_PIX_FMT_FLAG_PLANAR) == 0 || (layout.flags & AV_PIX_FMT_FLAG_RGB) != 0 ||
        (layout.flags & AV_PIX_FMT_FLAG_PAL) != 0 || layout.nb_components < 3) {
      return false;
    }
    for (int i = 0; i < layout.nb_components; ++i) {
      if (layout.comp[i].depth != 8 || layout.comp[i].step != 1 || layout.comp[i].shift != 0 ||
          layout.comp[i].plane != i) {
        return false;
      }
    }
    return true;
  }

  bool toBitmap(const AVFrame* frame) {
    const bool pal8 = frame->format == AV_PIX_FMT_PAL8;
    const int bitCount = pal8 ? 8 : 24;
    if (!frameSizeAcceptable(frame->width, frame->height, bitCount)) return false;
    const uint32_t stride = bitmapRowStride(static_cast<uint32_t>(frame->width), bitCount);
    const std::size_t imageBytes = std::size_t{stride} * static_cast<std::size_t>(frame->height);
    const std::size_t paletteBytes = pal8 ? kPaletteBytes : 0;
    // Frames of one stream keep their size: the buffer is cleared only when it changes, so the
    // row padding stays zero without writing every frame's bytes twice.
    bitmapBytes = kHeaderBytes + paletteBytes + imageBytes;
    if (bitmap.size() != bitmapBytes + kScalerSlack) bitmap.assign(bitmapBytes + kScalerSlack, 0);

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
    if (frame->width % kVector == 0) {
      // Writing from the last row upwards turns FFmpeg's top-down frame into bottom-up rows.
      uint8_t* destination[4] = {
          bits + std::size_t{stride} * static_cast<std::size_t>(frame->height - 1), nullptr,
          nullptr, nullptr};
      const int destinationStride[4] = {-static_cast<int>(stride), 0, 0, 0};
      const int rows = sws_scale(scaler.get(), frame->data, frame->linesize, 0, frame->height,
                                 destination, destinationStride);
      return rows == frame->height;
    }
    // The scaler's vector code writes whole vectors, past the end of a row that is not made of
    // them: written upwards, into the row above it, which is already done. Such frames are
    // converted top-down into rows of their own (spare bytes after the last) and then copied.
    const std::size_t imageBytesTopDown =
        std::size_t{stride} * static_cast<std::size_t>(frame->height);
    if (topDown.size() < imageBytesTopDown + kScalerSlack) {
      topDown.assign(imageBytesTopDown + kScalerSlack, 0);
    }
    uint8_t* destination[4] = {topDown.data(), nullptr, nullptr, nullptr};
    const int destinationStride[4] = {static_cast<int>(stride), 0, 0, 0};
    const int rows = sws_scale(scaler.get(), frame->data, frame->linesize, 0, frame->height,
                               destination, destinationStride);
    for (int y = 0; y < frame->height; ++y) {
      std::memcpy(bits + std::size_t{stride} * static_cast<std::size_t>(frame->height - 1 - y),
                  topDown.data() + std::size_t{stride} * static_cast<std::size_t>(y), stride);
    }
    return rows == frame->height;
  }
};

}  // namespace

struct CAviStream::State {
  // One packet of the video stream, in the order the file stores them (decode order).
  struct Packet {
    int64_t dts = AV_NOPTS_VALUE;
    uint64_t digest = 0;  // of the packet's size and bytes, to recognise it after a seek
    bool key = false;
    bool discard = false;  // decoded for its references but never shown
  };

  std::string path;
  ffmpeg::InputPtr format;
  ffmpeg::CodecPtr codec;
  ffmpeg::PacketPtr packet;
  ffmpeg::FramePtr current;   // the last frame handed out by the decoder
  ffmpeg::FramePtr previous;  // the one before it
  ffmpeg::FramePtr spare;
  AVStream* stream = nullptr;
  int streamIndex = -1;
  AVRational rate{0, 1};

  // The index, read once at open. Frames are numbered by the order in which the decoder shows
  // them, never by time stamps (AVI and MPEG program streams leave them out or give them only
  // to some frames). A group (`groupStart`) runs from one key packet to the next; the frames a
  // group's packets hold are shown as one unbroken run of frame numbers that starts at the
  // number of shown packets before the group (`shownBefore`). So the decoder's output can be
  // numbered as soon as it delivers the first frame of a known group.
  std::vector<Packet> packets;
  std::vector<int64_t> shownBefore;   // per packet: packets before it that are shown
  std::vector<int64_t> groupStart;    // packet index of each group's first packet
  std::vector<int8_t> keyShownFirst;  // per group: 1 yes, 0 no (frames shown before it), -1 unknown
  int64_t shownCount = 0;
  bool palettised = false;
  // The palette the demuxer hands out once, with the first packet it reads: the index pass
  // takes it, so it is given back to the first packet whenever decoding starts there again.
  std::vector<uint8_t> firstPalette;
  std::vector<std::pair<uint64_t, int64_t>> byDigest;  // (digest, packet index), sorted

  // Decoding position.
  int64_t nextPacket = -1;     // index of the next packet to send; -1 when unknown
  bool synced = false;         // output frames can be numbered
  int64_t syncGroup = 0;       // the group whose first delivered frame sets the numbering
  bool syncOnKeyOnly = false;  // that first frame must be the group's key frame
  int64_t nextNumber = 0;      // number of the next shown output frame, when synced
  int64_t currentNumber = -1;
  int64_t previousNumber = -1;
  bool inputEnded = false;
  bool drained = false;
  bool packetPending = false;
  // Packets read ahead after a seek to recognise where the demuxer landed; sent first.
  std::deque<ffmpeg::PacketPtr> readAhead;

  FrameConverter converter;

  int64_t groupOfPacket(int64_t index) const {
    const auto it = std::upper_bound(groupStart.begin(), groupStart.end(), index);
    return static_cast<int64_t>(it - groupStart.begin()) - 1;
  }
  int64_t groupEndPacket(int64_t group) const {
    return group + 1 < static_cast<int64_t>(groupStart.size())
               ? groupStart[static_cast<std::size_t>(group + 1)]
               : static_cast<int64_t>(packets.size());
  }
  int64_t firstNumber(int64_t group) const {
    return shownBefore[static_cast<std::size_t>(groupStart[static_cast<std::size_t>(group)])];
  }
  int64_t endNumber(int64_t group) const {
    const int64_t end = groupEndPacket(group);
    return end < static_cast<int64_t>(packets.size()) ? shownBefore[static_cast<std::size_t>(end)]
                                                      : shownCount;
  }
  // The group whose packets hold frame `number`.
  int64_t groupOfNumber(int64_t number) const {
    int64_t low = 0;
    int64_t high = static_cast<int64_t>(groupStart.size()) - 1;
    while (low < high) {
      const int64_t middle = (low + high + 1) / 2;
      if (firstNumber(middle) <= number) {
        low = middle;
      } else {
        high = middle - 1;
      }
    }
    return low;
  }

  // Reads every packet of the stream once and rewinds. False when the stream holds none.
  bool buildIndex() {
    while (av_read_frame(format.get(), packet.get()) >= 0) {
      if (packet->stream_index == streamIndex) {
        Packet entry;
        entry.dts = packet->dts;
        entry.digest = digestOf(packet.get());
        std::size_t paletteSize = 0;
        const uint8_t* palette =
            av_packet_get_side_data(packet.get(), AV_PKT_DATA_PALETTE, &paletteSize);
        if (palette != nullptr && packets.empty())
          firstPalette.assign(palette, palette + paletteSize);
        entry.key = (packet->flags & AV_PKT_FLAG_KEY) != 0;
        entry.discard = (packet->flags & AV_PKT_FLAG_DISCARD) != 0;
        packets.push_back(entry);
      }
      av_packet_unref(packet.get());
    }
    if (packets.empty()) return false;
    // An AVI file without its index (a cut file) calls every packet a key frame. Unless the
    // codec only has key frames, such a stream is decoded from its start.
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(stream->codecpar->codec_id);
    const bool intraOnly = descriptor != nullptr && (descriptor->props & AV_CODEC_PROP_INTRA_ONLY);
    const bool keysTrusted =
        intraOnly || packets.size() < 2 ||
        !std::all_of(packets.begin(), packets.end(), [](const Packet& p) { return p.key; });
    shownBefore.resize(packets.size());
    for (std::size_t i = 0; i < packets.size(); ++i) {
      const Packet& entry = packets[i];
      shownBefore[i] = shownCount;
      if (!entry.discard) ++shownCount;
      if (i == 0 || (entry.key && keysTrusted)) groupStart.push_back(static_cast<int64_t>(i));
      byDigest.emplace_back(entry.digest, static_cast<int64_t>(i));
    }
    std::sort(byDigest.begin(), byDigest.end());
    keyShownFirst.assign(groupStart.size(), -1);
    return true;
  }

  void copyIndex(const State& other) {
    packets = other.packets;
    shownBefore = other.shownBefore;
    groupStart = other.groupStart;
    keyShownFirst = other.keyShownFirst;
    shownCount = other.shownCount;
    firstPalette = other.firstPalette;
    byDigest = other.byDigest;
  }

  // Time stamps cannot tell a packet after a seek: MPEG program streams carry them only on some
  // packets and the demuxer fills in the rest from where it started reading. The packet's size
  // and its first and last bytes can, with the packets that follow it.
  static uint64_t digestOf(const AVPacket* read) {
    uint64_t hash = 1469598103934665603ull ^ static_cast<uint64_t>(read->size);
    const auto mix = [&hash](const uint8_t* bytes, int count) {
      for (int i = 0; i < count; ++i) hash = (hash ^ bytes[i]) * 1099511628211ull;
    };
    const int edge = read->size < 64 ? read->size : 64;
    if (read->data != nullptr) {
      mix(read->data, edge);
      mix(read->data + read->size - edge, edge);
    }
    return hash;
  }

  // Reads packets after a seek until the packets read match one place of the index, and keeps
  // them in `readAhead`. The packet index of the first kept packet, or -1 when no place fits.
  int64_t recognise() {
    constexpr std::size_t kSpan = 6;
    std::vector<uint64_t> digests;
    std::vector<int64_t> times;
    while (readAhead.size() < kSpan + 4) {
      if (!readPacket()) break;
      digests.push_back(digestOf(packet.get()));
      times.push_back(packet->dts);
      readAhead.emplace_back(av_packet_clone(packet.get()));
      av_packet_unref(packet.get());
      if (!readAhead.back()) return -1;
    }
    // A packet cut by the seek matches nothing: drop leading packets until one fits.
    for (std::size_t first = 0; first < digests.size(); ++first) {
      int64_t best = -1;
      int64_t bestDistance = std::numeric_limits<int64_t>::max();
      auto it = std::lower_bound(byDigest.begin(), byDigest.end(),
                                 std::make_pair(digests[first], int64_t{-1}));
      for (; it != byDigest.end() && it->first == digests[first]; ++it) {
        const int64_t candidate = it->second;
        bool fits = true;
        for (std::size_t k = first + 1; k < digests.size() && fits; ++k) {
          const auto index = static_cast<std::size_t>(candidate) + (k - first);
          fits = index < packets.size() && packets[index].digest == digests[k];
        }
        if (!fits) continue;
        // Equal runs of packets (a still picture coded the same way in every group) are told
        // apart by the time stamp, which is close even where it was filled in.
        const int64_t stamp = packets[static_cast<std::size_t>(candidate)].dts;
        const int64_t distance = stamp == AV_NOPTS_VALUE || times[first] == AV_NOPTS_VALUE
                                     ? 0
                                     : std::abs(stamp - times[first]);
        if (best < 0 || distance < bestDistance) {
          best = candidate;
          bestDistance = distance;
        }
      }
      if (best >= 0) {
        readAhead.erase(readAhead.begin(), readAhead.begin() + static_cast<std::ptrdiff_t>(first));
        return best;
      }
    }
    readAhead.clear();
    return -1;
  }

  // Reads the next packet of the video stream into `packet`. False at the end of the input.
  bool readPacket() {
    for (;;) {
      if (av_read_frame(format.get(), packet.get()) < 0) return false;
      if (packet->stream_index == streamIndex) return true;
      av_packet_unref(packet.get());
    }
  }

  void resetDecoder() {
    avcodec_flush_buffers(codec.get());
    av_packet_unref(packet.get());
    packetPending = false;
    readAhead.clear();
    inputEnded = drained = false;
    synced = false;
    nextPacket = -1;
    currentNumber = previousNumber = -1;
    av_frame_unref(current.get());
    av_frame_unref(previous.get());
  }

  // Positions the input so that the next packet sent is packet `target` or an earlier one, and
  // holds that packet ready in `packet`. False when no position at or before it is found.
  bool seekTo(int64_t target, bool readPast = true) {
    int64_t aim = target;
    for (int attempt = 0; attempt < 4; ++attempt) {
      resetDecoder();
      const bool fromStart = aim <= 0;
      int result = -1;
      if (fromStart) {
        const int64_t first = packets.front().dts != AV_NOPTS_VALUE ? packets.front().dts : 0;
        result = avformat_seek_file(format.get(), streamIndex, std::numeric_limits<int64_t>::min(),
                                    first, first, 0);
        if (result < 0) {
          result =
              av_seek_frame(format.get(), streamIndex, 0, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_BYTE);
        }
      } else if (packets[static_cast<std::size_t>(aim)].dts != AV_NOPTS_VALUE) {
        result = av_seek_frame(format.get(), streamIndex,
                               packets[static_cast<std::size_t>(aim)].dts, AVSEEK_FLAG_BACKWARD);
      }
      if (result >= 0) {
        const int64_t found = recognise();
        if (found >= 0 && found <= target) {
          nextPacket = found;
          // The demuxer may land a group or more before the packet asked for (an MP4 file is
          // searched by time stamps that B-frames shift): the packets up to it, which begins a
          // group, are read past instead of decoded. Should the file not match the index on the
          // way, the seek is made again and decoding starts where it lands.
          if (!readPast) return true;
          while (nextPacket < target && skipPacket()) {
          }
          return nextPacket == target || seekTo(target, false);
        }
      }
      if (fromStart) return false;
      // The demuxer landed after the target (or nowhere): aim two groups earlier, then at the
      // start.
      const int64_t group = groupOfPacket(aim);
      aim = attempt < 2 && group >= 2 ? groupStart[static_cast<std::size_t>(group - 2)] : 0;
    }
    return false;
  }

  // Reads the next packet without decoding it, when it is the one the index expects there.
  bool skipPacket() {
    if (!readAhead.empty()) {
      av_packet_move_ref(packet.get(), readAhead.front().get());
      readAhead.pop_front();
    } else if (!readPacket()) {
      return false;
    }
    const bool expected =
        nextPacket >= 0 && nextPacket < static_cast<int64_t>(packets.size()) &&
        digestOf(packet.get()) == packets[static_cast<std::size_t>(nextPacket)].digest;
    av_packet_unref(packet.get());
    if (expected) ++nextPacket;
    return expected;
  }

  // Sends the held or next packet, tagged with its index so that the frame it holds can be
  // told when the decoder shows it. False at the end of the input or when the file no longer
  // matches the index.
  bool feedPacket() {
    if (!packetPending) {
      if (!readAhead.empty()) {
        av_packet_move_ref(packet.get(), readAhead.front().get());
        readAhead.pop_front();
      } else if (!readPacket()) {
        return false;
      }
      // A packet that is not the one the index expects here means the numbering is lost.
      if (nextPacket < 0 || nextPacket >= static_cast<int64_t>(packets.size()) ||
          digestOf(packet.get()) != packets[static_cast<std::size_t>(nextPacket)].digest) {
        av_packet_unref(packet.get());
        return false;
      }
    }
    if (nextPacket == 0 && !firstPalette.empty() &&
        av_packet_get_side_data(packet.get(), AV_PKT_DATA_PALETTE, nullptr) == nullptr) {
      uint8_t* palette =
          av_packet_new_side_data(packet.get(), AV_PKT_DATA_PALETTE, firstPalette.size());
      if (palette != nullptr) std::memcpy(palette, firstPalette.data(), firstPalette.size());
    }
    packet->pts = packet->dts = nextPacket;
    const int sent = avcodec_send_packet(codec.get(), packet.get());
    // A decoder that still holds output takes the packet later; keep it until then.
    packetPending = sent == AVERROR(EAGAIN);
    if (!packetPending) {
      av_packet_unref(packet.get());
      ++nextPacket;
    }
    return true;
  }

  // Decodes the next shown frame into `current` (moving the old one to `previous`) and numbers
  // it. False at the end of the stream or when the numbering is lost.
  bool decodeNext() {
    for (;;) {
      if (drained) return false;
      const int received = avcodec_receive_frame(codec.get(), spare.get());
      if (received == 0) {
        const int64_t tag = spare->pts;
        const bool known = tag >= 0 && tag < static_cast<int64_t>(packets.size());
        if (known && packets[static_cast<std::size_t>(tag)].discard) {
          av_frame_unref(spare.get());
          continue;
        }
        const int64_t group = known ? groupOfPacket(tag) : -1;
        if (!synced) {
          // Frames of earlier groups only prepare the references of the wanted one.
          if (!known || group < syncGroup) {
            av_frame_unref(spare.get());
            continue;
          }
          // A later group, or a group whose first shown frames the decoder dropped: numbering
          // from here would be a guess.
          if (group > syncGroup ||
              (syncOnKeyOnly && tag != groupStart[static_cast<std::size_t>(group)])) {
            av_frame_unref(spare.get());
            drained = true;
            return false;
          }
          synced = true;
          nextNumber = firstNumber(group);
        }
        const int64_t number = nextNumber++;
        if (known) {
          if (number < firstNumber(group) || number >= endNumber(group)) {
            // The decoder dropped or added a frame: every later number would be wrong.
            av_frame_unref(spare.get());
            synced = false;
            drained = true;
            return false;
          }
          if (tag == groupStart[static_cast<std::size_t>(group)]) {
            keyShownFirst[static_cast<std::size_t>(group)] = number == firstNumber(group) ? 1 : 0;
          }
        }
        std::swap(previous, current);
        std::swap(current, spare);
        av_frame_unref(spare.get());
        previousNumber = currentNumber;
        currentNumber = number;
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

  const AVFrame* locate(int64_t target) {
    if (target < 0 || target >= shownCount) return nullptr;
    if (currentNumber == target) return current.get();
    if (previousNumber == target) return previous.get();

    // Frames a group shows before its key frame refer to the previous group, so decoding
    // starts one group earlier unless the group is known to show its key frame first.
    const int64_t group = groupOfNumber(target);
    const bool keyFirst = keyShownFirst[static_cast<std::size_t>(group)] == 1;
    const int64_t startGroup = group == 0 || keyFirst ? group : group - 1;
    // A palette travels with the packet where it changes, so palettised frames are decoded
    // from the start of the stream.
    const int64_t startPacket = palettised ? 0 : groupStart[static_cast<std::size_t>(startGroup)];

    // Go on from where the decoder stands unless a seek would skip packets.
    const bool ahead = synced && !drained && target > currentNumber && nextPacket >= 0 &&
                       startPacket <= nextPacket;
    if (!ahead) {
      if (!seekTo(startPacket)) return nullptr;
      syncGroup = group;
      syncOnKeyOnly = startPacket == groupStart[static_cast<std::size_t>(group)] && group > 0;
    }
    while (currentNumber < target || !synced) {
      if (!decodeNext()) return nullptr;
    }
    return currentNumber == target ? current.get() : nullptr;
  }
};

CAviStream::CAviStream() : CAviError(false) {}

CAviStream::~CAviStream() { close(); }

bool CAviStream::open(const std::string& path) { return openFile(path, nullptr); }

bool CAviStream::openLike(const CAviStream& other) {
  if (!other.m_state) {
    close();
    return false;
  }
  const std::string path = other.m_state->path;
  return openFile(path, other.m_state.get());
}

bool CAviStream::openFile(const std::string& path, const State* indexFrom) {
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
      // Clips opened for a single frame at a time would only pay for the start-up of decoder
      // threads; a reader that decodes long runs asks for them with `setDecoderThreads`.
      state->codec->thread_count = m_decoderThreads;
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
    state->packet.reset(av_packet_alloc());
    state->current.reset(av_frame_alloc());
    state->previous.reset(av_frame_alloc());
    state->spare.reset(av_frame_alloc());
    if (!state->packet || !state->current || !state->previous || !state->spare) {
      reportError(AviStep::StreamInformation, avierr::kMemory);
      return false;
    }
    // The packet index gives the frame count and the key frames to start decoding from. A
    // stream without a single packet has no frames but still opens.
    state->palettised = parameters->format == AV_PIX_FMT_PAL8;
    if (indexFrom != nullptr) {
      state->copyIndex(*indexFrom);
    } else {
      state->buildIndex();
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
  const int64_t count = m_state->shownCount;
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

void CAviStream::learnKeyOrder(const CAviStream& other) {
  if (!m_state || !other.m_state || m_state->path != other.m_state->path ||
      m_state->keyShownFirst.size() != other.m_state->keyShownFirst.size()) {
    return;
  }
  std::vector<int8_t>& mine = m_state->keyShownFirst;
  const std::vector<int8_t>& learned = other.m_state->keyShownFirst;
  for (std::size_t group = 0; group < mine.size(); ++group) {
    if (mine[group] < 0) mine[group] = learned[group];
  }
}

void CAviStream::setDecoderThreads(int count) { m_decoderThreads = count < 0 ? 0 : count; }

int CAviStream::width() const { return m_state ? m_state->stream->codecpar->width : 0; }

int CAviStream::height() const { return m_state ? m_state->stream->codecpar->height : 0; }

bool CAviStream::palettised() const {
  return m_state && m_state->stream->codecpar->format == AV_PIX_FMT_PAL8;
}

const uint8_t* CAviStream::frame(uint32_t index) {
  if (!m_state || !videoAvailable()) return nullptr;
  State& state = *m_state;
  try {
    const AVFrame* found = state.locate(index);
    if (found == nullptr || !state.converter.toBitmap(found)) {
      state.converter.bitmap.clear();
      return nullptr;
    }
    return state.converter.bitmap.data();
  } catch (const std::bad_alloc&) {
    state.converter.bitmap.clear();
    return nullptr;
  }
}

bool CAviStream::frameImage(uint32_t index, Foto& target) {
  if (!m_state || !videoAvailable()) return false;
  State& state = *m_state;
  try {
    const AVFrame* found = state.locate(index);
    return found != nullptr && state.converter.toFoto(found, target, nullptr);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

struct CAviStream::HeldFrame {
  ffmpeg::FramePtr frame;
};

void CAviStream::HeldFrameDeleter::operator()(HeldFrame* held) const { delete held; }

CAviStream::HeldFramePtr CAviStream::holdFrame(uint32_t index) {
  if (!m_state || !videoAvailable()) return nullptr;
  try {
    const AVFrame* found = m_state->locate(index);
    if (found == nullptr) return nullptr;
    HeldFramePtr held(new HeldFrame);
    held->frame.reset(av_frame_alloc());
    if (!held->frame || av_frame_ref(held->frame.get(), found) < 0) return nullptr;
    return held;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

const AVFrame& CAviStream::picture(const HeldFrame& held) { return *held.frame; }

bool CAviStream::convertFrame(const HeldFrame& held, Foto& target, const FramePart* part,
                              SquareSums* sums) {
  if (!held.frame) return false;
  // Each thread converts with its own scaler; a frame of the size of the last one reuses it.
  thread_local FrameConverter converter;
  try {
    return converter.toFoto(held.frame.get(), target, part, sums);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

std::size_t CAviStream::frameBytes() const {
  return m_state && !m_state->converter.bitmap.empty() ? m_state->converter.bitmapBytes : 0;
}

void CAviStream::close() { m_state.reset(); }

}  // namespace tg
