// SPDX-License-Identifier: GPL-3.0-or-later
// Speed of the imaging core on a 12-megapixel photograph: resampling (fast and reference forms
// side by side, also from a tile to cells), loading as a tile and building a signature, each
// beside libjpeg-turbo's own 1/8 decode of the same file.
#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <jpeglib.h>

#include "imaging/foto.h"
#include "imaging/image_file.h"
#include "imaging/image_signature.h"
#include "imaging/resample_reference.h"

namespace {

constexpr std::uint32_t kWidth = 4000;
constexpr std::uint32_t kHeight = 3000;

struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

[[noreturn]] void onError(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

// A photograph-like picture: smooth gradients with fine noise, so that the entropy decoder has
// real work to do, as in a camera's file.
tg::Foto photograph() {
  tg::Foto image;
  if (!image.createQuiet(kWidth, kHeight)) return image;
  std::mt19937 random(42);
  std::uniform_int_distribution<int> noise(-12, 12);
  for (std::uint32_t y = 0; y < kHeight; ++y) {
    for (std::uint32_t x = 0; x < kWidth; ++x) {
      const int r = static_cast<int>((x * 255) / kWidth) + noise(random);
      const int g = static_cast<int>((y * 255) / kHeight) + noise(random);
      const int b = static_cast<int>(((x + y) / 28) % 256) + noise(random);
      image.at(x, y) = tg::makePixel(static_cast<std::uint32_t>(std::clamp(r, 0, 255)),
                                     static_cast<std::uint32_t>(std::clamp(g, 0, 255)),
                                     static_cast<std::uint32_t>(std::clamp(b, 0, 255)));
    }
  }
  return image;
}

struct WriteJob {
  jpeg_compress_struct cinfo;
  ErrorManager err;
  std::FILE* file;
  const tg::Foto* image;
  std::vector<JSAMPLE>* row;
};

bool runWrite(WriteJob& job) {
  if (setjmp(job.err.jump) != 0) return false;
  jpeg_create_compress(&job.cinfo);
  jpeg_stdio_dest(&job.cinfo, job.file);
  job.cinfo.image_width = kWidth;
  job.cinfo.image_height = kHeight;
  job.cinfo.input_components = 3;
  job.cinfo.in_color_space = JCS_RGB;
  jpeg_set_defaults(&job.cinfo);
  jpeg_set_quality(&job.cinfo, 92, TRUE);
  jpeg_start_compress(&job.cinfo, TRUE);
  while (job.cinfo.next_scanline < kHeight) {
    const tg::Pixel* in = job.image->row(job.cinfo.next_scanline);
    for (std::uint32_t x = 0; x < kWidth; ++x) {
      (*job.row)[3 * x] = static_cast<JSAMPLE>(tg::pixelRed(in[x]));
      (*job.row)[3 * x + 1] = static_cast<JSAMPLE>(tg::pixelGreen(in[x]));
      (*job.row)[3 * x + 2] = static_cast<JSAMPLE>(tg::pixelBlue(in[x]));
    }
    JSAMPROW pointer = job.row->data();
    jpeg_write_scanlines(&job.cinfo, &pointer, 1);
  }
  jpeg_finish_compress(&job.cinfo);
  return true;
}

// The source picture and its JPEG file, made once per run.
struct Fixture {
  tg::Foto image = photograph();
  std::string path;

  Fixture() {
    path = (std::filesystem::temp_directory_path() / "tg-imaging-bench-12mp.jpg").string();
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return;
    std::vector<JSAMPLE> row(kWidth * 3);
    WriteJob job{};
    job.cinfo.err = jpeg_std_error(&job.err.pub);
    job.err.pub.error_exit = onError;
    job.file = file;
    job.image = &image;
    job.row = &row;
    if (!runWrite(job)) path.clear();
    jpeg_destroy_compress(&job.cinfo);
    std::fclose(file);
  }
  ~Fixture() {
    if (!path.empty()) std::filesystem::remove(path);
  }
};

// Built on first use, before any timed loop starts.
Fixture& fixture() {
  static Fixture instance;
  return instance;
}

struct DecodeJob {
  jpeg_decompress_struct cinfo;
  ErrorManager err;
  std::FILE* file;
  std::vector<JSAMPLE>* pixels;
};

bool runBareDecode(DecodeJob& job) {
  if (setjmp(job.err.jump) != 0) return false;
  jpeg_create_decompress(&job.cinfo);
  jpeg_stdio_src(&job.cinfo, job.file);
  jpeg_read_header(&job.cinfo, TRUE);
  job.cinfo.scale_num = 1;
  job.cinfo.scale_denom = 8;
  job.cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&job.cinfo);
  const std::size_t stride = static_cast<std::size_t>(job.cinfo.output_width) * 3;
  job.pixels->resize(stride * job.cinfo.output_height);
  while (job.cinfo.output_scanline < job.cinfo.output_height) {
    JSAMPROW row = job.pixels->data() + stride * job.cinfo.output_scanline;
    jpeg_read_scanlines(&job.cinfo, &row, 1);
  }
  jpeg_finish_decompress(&job.cinfo);
  return true;
}

// The baseline: libjpeg-turbo alone decoding the file at 1/8 scale into an RGB buffer.
void BM_BareLibjpegDecodeOneEighth(benchmark::State& state) {
  const std::string& path = fixture().path;
  std::vector<JSAMPLE> pixels;
  for (auto _ : state) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
      state.SkipWithError("cannot open the picture");
      return;
    }
    DecodeJob job{};
    job.cinfo.err = jpeg_std_error(&job.err.pub);
    job.err.pub.error_exit = onError;
    job.file = file;
    job.pixels = &pixels;
    const bool ok = runBareDecode(job);
    jpeg_destroy_decompress(&job.cinfo);
    std::fclose(file);
    if (!ok) {
      state.SkipWithError("decoding failed");
      return;
    }
    benchmark::DoNotOptimize(pixels.data());
  }
}
BENCHMARK(BM_BareLibjpegDecodeOneEighth)->Unit(benchmark::kMillisecond);

void BM_LoadImageFileAsTile48(benchmark::State& state) {
  const std::string& path = fixture().path;
  for (auto _ : state) {
    tg::Foto image;
    if (!tg::loadImageFile(image, path, 48, 48, false)) {
      state.SkipWithError("loading failed");
      return;
    }
    benchmark::DoNotOptimize(image.pixels);
  }
}
BENCHMARK(BM_LoadImageFileAsTile48)->Unit(benchmark::kMillisecond);

void BM_LoadAndSignTile(benchmark::State& state) {
  const std::string& path = fixture().path;
  for (auto _ : state) {
    tg::Foto image;
    tg::ImageSignature signature;
    if (!tg::loadImageFile(image, path, 48, 48, false) ||
        !tg::buildSignature(image, true, signature)) {
      state.SkipWithError("loading failed");
      return;
    }
    benchmark::DoNotOptimize(signature.values.data());
  }
}
BENCHMARK(BM_LoadAndSignTile)->Unit(benchmark::kMillisecond);

// A 640 x 480 photograph, as the renderer meets tiles decoded at a reduced scale.
const tg::Foto& tilePhoto() {
  static const tg::Foto photo = [] {
    tg::Foto image;
    if (!image.createQuiet(640, 480)) return image;
    std::mt19937 random(7);
    std::uniform_int_distribution<int> noise(-12, 12);
    for (std::uint32_t y = 0; y < 480; ++y) {
      for (std::uint32_t x = 0; x < 640; ++x) {
        image.at(x, y) = tg::makePixel(
            static_cast<std::uint32_t>(std::clamp(int(x / 3) + noise(random), 0, 255)),
            static_cast<std::uint32_t>(std::clamp(int(y / 2) + noise(random), 0, 255)),
            (x ^ y) & 0xFFu);
      }
    }
    return image;
  }();
  return photo;
}

// Resampling in its fast form (0) and its plain reference form (1), side by side. The rate is in
// megapixels of the source rectangle per second ("MP/s"), so that downscales of different sizes
// compare; "out MP/s" counts the output pixels.
template <bool kReference>
void resampleCase(benchmark::State& state, const tg::Foto& image, std::uint32_t outW,
                  std::uint32_t outH, bool cellCrop) {
  std::uint32_t cropW = image.width;
  std::uint32_t cropH = image.height;
  if (cellCrop && !tg::cropToAspect(cropW, cropH, outW, outH)) {
    state.SkipWithError("bad crop");
    return;
  }
  const double x = (image.width - cropW) >> 1;
  const double y = (image.height - cropH) >> 1;
  for (auto _ : state) {
    auto result = kReference ? tg::resampleReference(image, outW, outH, cropW, cropH, x, y)
                             : tg::resample(image, outW, outH, cropW, cropH, x, y);
    benchmark::DoNotOptimize(result);
  }
  const double iterations = static_cast<double>(state.iterations());
  state.counters["MP/s"] =
      benchmark::Counter(iterations * cropW * cropH / 1e6, benchmark::Counter::kIsRate);
  state.counters["out MP/s"] =
      benchmark::Counter(iterations * outW * outH / 1e6, benchmark::Counter::kIsRate);
}

template <bool kReference>
void BM_Resample12MPTo48x48(benchmark::State& state) {
  resampleCase<kReference>(state, fixture().image, 48, 48, false);
}
BENCHMARK_TEMPLATE(BM_Resample12MPTo48x48, false)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Resample12MPTo48x48, true)->Unit(benchmark::kMillisecond);

template <bool kReference>
void BM_Resample12MPTo1000x750(benchmark::State& state) {
  resampleCase<kReference>(state, fixture().image, 1000, 750, false);
}
BENCHMARK_TEMPLATE(BM_Resample12MPTo1000x750, false)->Unit(benchmark::kMillisecond);
BENCHMARK_TEMPLATE(BM_Resample12MPTo1000x750, true)->Unit(benchmark::kMillisecond);

// A cell of `side` pixels cut from the 640 x 480 tile: 100 is a 4.8 : 1 downscale, 300 is 1.6 : 1
// (the usual ratio after a reduced-scale decode), 400 is 1.2 : 1 and 1000 an enlargement.
template <bool kReference>
void BM_ResampleTileToCell(benchmark::State& state) {
  const auto side = static_cast<std::uint32_t>(state.range(0));
  resampleCase<kReference>(state, tilePhoto(), side, side, true);
}
BENCHMARK_TEMPLATE(BM_ResampleTileToCell, false)
    ->Arg(100)
    ->Arg(300)
    ->Arg(400)
    ->Arg(1000)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_TEMPLATE(BM_ResampleTileToCell, true)
    ->Arg(100)
    ->Arg(300)
    ->Arg(400)
    ->Arg(1000)
    ->Unit(benchmark::kMicrosecond);

void BM_BuildSignature12MP(benchmark::State& state) {
  const tg::Foto& image = fixture().image;
  for (auto _ : state) {
    tg::ImageSignature signature;
    benchmark::DoNotOptimize(tg::buildSignature(image, true, signature));
  }
}
BENCHMARK(BM_BuildSignature12MP)->Unit(benchmark::kMillisecond);

void BM_BuildSignatureOfTile(benchmark::State& state) {
  tg::Foto tile;
  if (!tg::loadImageFile(tile, fixture().path, 48, 48, false)) {
    state.SkipWithError("loading failed");
    return;
  }
  for (auto _ : state) {
    tg::ImageSignature signature;
    benchmark::DoNotOptimize(tg::buildSignature(tile, true, signature));
  }
}
BENCHMARK(BM_BuildSignatureOfTile)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
