// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include <gtest/gtest.h>

extern "C" {
#include <libavutil/frame.h>
}

#include "clip_maker.h"
#include "imaging/foto.h"
#include "support/scratch_dir.h"
#include "video/avi_create.h"
#include "video/avi_stream.h"
#include "video/ffmpeg_handles.h"
#include "video/four_cc.h"
#include "video/yuv_jpeg_encoder.h"

namespace tg {
namespace {

// A 4:2:0 picture in the video range: a flat grey frame, one of noise (every coefficient size
// and run a JPEG can code) or a gradient with fine stripes.
ffmpeg::FramePtr makePicture(int width, int height, int kind) {
  ffmpeg::FramePtr picture(av_frame_alloc());
  picture->format = AV_PIX_FMT_YUV420P;
  picture->width = width;
  picture->height = height;
  if (av_frame_get_buffer(picture.get(), 0) < 0) return nullptr;
  std::uint32_t seed = 12345;
  const auto sample = [&](int plane, int x, int y) -> std::uint8_t {
    if (kind == 0) return plane == 0 ? 120 : 128;
    if (kind == 1) {
      seed = seed * 1103515245u + 12345u;
      return static_cast<std::uint8_t>(16 + (seed >> 16) % 220);
    }
    return static_cast<std::uint8_t>(plane == 0 ? 20 + (x * 3 + y) % 200 + (x % 2) * 15
                                                : 60 + x * 2 + plane * y);
  };
  for (int plane = 0; plane < 3; ++plane) {
    const int w = plane == 0 ? width : (width + 1) / 2;
    const int h = plane == 0 ? height : (height + 1) / 2;
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        picture->data[plane][y * picture->linesize[plane] + x] = sample(plane, x, y);
      }
    }
  }
  return picture;
}

double meanDifference(const Foto& a, const Foto& b) {
  double sum = 0;
  for (std::size_t i = 0; i < a.pixelCount(); ++i) {
    sum += std::abs(static_cast<int>(pixelRed(a.pixels[i])) -
                    static_cast<int>(pixelRed(b.pixels[i]))) +
           std::abs(static_cast<int>(pixelGreen(a.pixels[i])) -
                    static_cast<int>(pixelGreen(b.pixels[i]))) +
           std::abs(static_cast<int>(pixelBlue(a.pixels[i])) -
                    static_cast<int>(pixelBlue(b.pixels[i])));
  }
  return sum / (3.0 * static_cast<double>(a.pixelCount()));
}

// The stretch of video-range samples: every value, in vector and plain code, against the
// rounded scale (a length that is no whole number of vectors).
TEST(PlaneJpeg, RangeStretchIsTheRoundedScale) {
  std::vector<std::uint8_t> in(256 + 21);
  for (std::size_t i = 0; i < in.size(); ++i) in[i] = static_cast<std::uint8_t>((i * 7) % 256);
  for (const bool chroma : {false, true}) {
    std::vector<std::uint8_t> fast(in.size());
    std::vector<std::uint8_t> plain(in.size());
    stretchRange(in.data(), fast.data(), static_cast<int>(in.size()), chroma);
    stretchRangePlain(in.data(), plain.data(), static_cast<int>(in.size()), chroma);
    for (std::size_t i = 0; i < in.size(); ++i) {
      const double scaled =
          chroma ? (in[i] - 128) * 255.0 / 224.0 + 128 : (in[i] - 16) * 255.0 / 219.0;
      const long expected =
          std::clamp(chroma ? std::lround(scaled - 128) + 128 : std::lround(scaled), 0L, 255L);
      ASSERT_EQ(fast[i], expected) << (chroma ? "chroma " : "luma ") << int{in[i]};
      ASSERT_EQ(plain[i], expected) << (chroma ? "chroma " : "luma ") << int{in[i]};
    }
  }
}

// Motion JPEG frames coded from a picture's planes against FFmpeg's encoder after a conversion
// (the plain path): the same pictures, the same cut (a width and height that are no whole
// blocks), frames whose symbols the first frame's Huffman tables never saw.
TEST(PlaneJpeg, ClipsAgreeWithThePlainEncoderFrameByFrame) {
  test::ScratchDir dir;
  std::vector<ffmpeg::FramePtr> pictures;
  for (const int kind : {0, 1, 2, 1}) {
    pictures.push_back(makePicture(70, 42, kind));
    ASSERT_TRUE(pictures.back());
  }
  const int left = 4;
  const int top = 6;
  const auto write = [&](const std::string& path, bool planes) {
    CAviCreate writer;
    writer.setPlaneJpeg(planes);
    BitmapInfoHeader format{};
    ASSERT_TRUE(
        writer.create(path, format, 44, 30, fourCCFromText("MJPG"), 12500, pictures.front().get()));
    EXPECT_EQ(format.width, 40);
    EXPECT_EQ(format.height, 28);
    for (const auto& picture : pictures) {
      ASSERT_TRUE(writer.acceptsPicture(*picture, left, top));
      ASSERT_TRUE(writer.writePicture(*picture, left, top)) << writer.message();
    }
    ASSERT_TRUE(writer.close());
  };
  const std::string fast = dir.file("planes.avi");
  const std::string plain = dir.file("plain.avi");
  write(fast, true);
  write(plain, false);

  CAviStream a;
  CAviStream b;
  ASSERT_TRUE(a.open(fast));
  ASSERT_TRUE(b.open(plain));
  ASSERT_EQ(a.frameCount(), pictures.size());
  Foto fromPlanes;
  Foto fromPlain;
  for (std::uint32_t k = 0; k < pictures.size(); ++k) {
    ASSERT_TRUE(a.frameImage(k, fromPlanes)) << k;
    ASSERT_TRUE(b.frameImage(k, fromPlain)) << k;
    ASSERT_EQ(fromPlanes.width, 40u);
    ASSERT_EQ(fromPlanes.height, 28u);
    // Two JPEG coders with one quantisation differ only by their rounding.
    EXPECT_LE(meanDifference(fromPlanes, fromPlain), k % 2 == 1 ? 3.0 : 1.0) << "frame " << k;
  }
  if (test::haveFfmpegTools()) {
    EXPECT_EQ(test::programOutput({"ffprobe", "-v", "error", "-count_frames", "-show_entries",
                                   "stream=codec_name,codec_tag_string,pix_fmt,nb_read_frames",
                                   "-of", "csv=p=0", fast}),
              "mjpeg,MJPG,yuvj420p,4\n");
  }
}

// A picture of another layout in a clip begun with 4:2:0 ones goes through FFmpeg's encoder.
TEST(PlaneJpeg, OtherLayoutsTakeThePlainPath) {
  test::ScratchDir dir;
  const ffmpeg::FramePtr first = makePicture(32, 16, 0);
  ASSERT_TRUE(first);
  ffmpeg::FramePtr other(av_frame_alloc());
  other->format = AV_PIX_FMT_YUV444P;
  other->width = 32;
  other->height = 16;
  ASSERT_GE(av_frame_get_buffer(other.get(), 0), 0);
  for (int plane = 0; plane < 3; ++plane) {
    for (int y = 0; y < 16; ++y) {
      for (int x = 0; x < 32; ++x) {
        other->data[plane][y * other->linesize[plane] + x] = plane == 0 ? 200 : 128;
      }
    }
  }
  CAviCreate writer;
  BitmapInfoHeader format{};
  const std::string path = dir.file("other.avi");
  ASSERT_TRUE(writer.create(path, format, 32, 16, fourCCFromText("MJPG"), 12500, first.get()));
  ASSERT_TRUE(writer.writePicture(*first, 0, 0));
  ASSERT_TRUE(writer.writePicture(*other, 0, 0));
  ASSERT_TRUE(writer.close());
  CAviStream reader;
  ASSERT_TRUE(reader.open(path));
  ASSERT_EQ(reader.frameCount(), 2u);
  Foto image;
  ASSERT_TRUE(reader.frameImage(1, image));
  // Luma 200 of the video range is 214 of the full one: grey.
  const Pixel middle = image.pixels[8 * image.width + 16];
  EXPECT_NEAR(static_cast<int>(pixelRed(middle)), 214, 3);
  EXPECT_NEAR(static_cast<int>(pixelGreen(middle)), 214, 3);
  EXPECT_NEAR(static_cast<int>(pixelBlue(middle)), 214, 3);
}

}  // namespace
}  // namespace tg
