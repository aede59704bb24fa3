// SPDX-License-Identifier: GPL-3.0-or-later
#include "video/yuv_jpeg_encoder.h"

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <optional>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

#include <jpeglib.h>
// jerror.h needs jpeglib.h's configuration first.
#include <jerror.h>

#include "imaging/jpeg_errors.h"
#include "platform/cpu_features.h"

namespace tg {
namespace {

// The quantisation of our Motion JPEG clips, row by row (FFmpeg's encoder at quality scale 3
// wrote this one table for all three planes).
constexpr std::array<unsigned, 64> kQuantisation = {
    8, 4,  4,  5,  6, 6, 7, 8, 4, 4,  5,  6,  6, 7, 8, 9, 4,  5,  6,  6,  7, 8,
    8, 9,  5,  5,  6, 6, 7, 8, 9, 10, 5,  6,  6, 7, 8, 8, 10, 12, 6,  6,  7, 8,
    8, 10, 12, 14, 6, 6, 7, 8, 9, 11, 14, 17, 6, 7, 8, 9, 11, 14, 17, 20,
};

constexpr int kLumaRows = 16;   // luma rows of one row of 4:2:0 blocks
constexpr int kChromaRows = 8;  // chroma rows of it

// The symbols baseline coding of 8-bit samples can use: DC sizes 0-11; AC end of block, the run
// of sixteen zeros and every run of 0-15 zeros before a value of size 1-10.
std::vector<std::uint8_t> validSymbols(bool ac) {
  std::vector<std::uint8_t> symbols;
  if (!ac) {
    for (int size = 0; size <= 11; ++size) symbols.push_back(static_cast<std::uint8_t>(size));
    return symbols;
  }
  symbols.push_back(0x00);
  symbols.push_back(0xF0);
  for (int run = 0; run < 16; ++run) {
    for (int size = 1; size <= 10; ++size) {
      symbols.push_back(static_cast<std::uint8_t>(run << 4 | size));
    }
  }
  return symbols;
}

// A Huffman table as JPEG stores it: code counts per length 1-16 and the symbols in code order.
struct HuffmanTable {
  std::array<std::uint8_t, 17> bits{};  // bits[0] unused
  std::array<std::uint8_t, 256> values{};
};

// The table a frame's symbol frequencies call for, limited to 16-bit codes and without the code
// of all ones (the procedure of the JPEG standard's annex K.2). `frequency` has 257 entries, the
// last a reserved symbol of frequency 1 that takes the all-ones code and is then dropped.
std::optional<HuffmanTable> tableFromFrequencies(std::array<long, 257> frequency) {
  std::array<int, 257> codeSize{};
  std::array<int, 257> others{};
  others.fill(-1);
  frequency[256] = 1;
  for (;;) {
    // The two least frequent symbols still in play (the later index among equals first).
    int c1 = -1;
    long v = 1000000000L;
    for (int i = 0; i <= 256; ++i) {
      if (frequency[i] != 0 && frequency[i] <= v) {
        v = frequency[i];
        c1 = i;
      }
    }
    int c2 = -1;
    v = 1000000000L;
    for (int i = 0; i <= 256; ++i) {
      if (frequency[i] != 0 && frequency[i] <= v && i != c1) {
        v = frequency[i];
        c2 = i;
      }
    }
    if (c2 < 0) break;
    frequency[c1] += frequency[c2];
    frequency[c2] = 0;
    ++codeSize[c1];
    while (others[c1] >= 0) {
      c1 = others[c1];
      ++codeSize[c1];
    }
    others[c1] = c2;
    ++codeSize[c2];
    while (others[c2] >= 0) {
      c2 = others[c2];
      ++codeSize[c2];
    }
  }
  std::array<int, 33> count{};
  for (int i = 0; i <= 256; ++i) {
    // Deeper than 32 would need a longer count table: the caller keeps the standard table.
    if (codeSize[i] > 32) return std::nullopt;
    if (codeSize[i] > 0) ++count[codeSize[i]];
  }
  // Codes longer than 16 bits: a pair of them becomes one code one bit shorter and one code of
  // a shorter length is split to make room.
  for (int i = 32; i > 16; --i) {
    while (count[i] > 0) {
      int j = i - 2;
      while (count[j] == 0) --j;
      count[i] -= 2;
      count[i - 1] += 1;
      count[j + 1] += 2;
      count[j] -= 1;
    }
  }
  // The reserved symbol's code, the longest, goes.
  int longest = 16;
  while (count[longest] == 0) --longest;
  --count[longest];
  // The codes must fit in 16 bits with the all-ones code left free.
  long used = 0;
  for (int i = 1; i <= 16; ++i) used += static_cast<long>(count[i]) << (16 - i);
  if (used >= 1L << 16) return std::nullopt;
  HuffmanTable table;
  for (int i = 1; i <= 16; ++i)
    table.bits[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(count[i]);
  std::size_t next = 0;
  for (int size = 1; size <= 32; ++size) {
    for (int symbol = 0; symbol < 256; ++symbol) {
      if (codeSize[symbol] == size) table.values[next++] = static_cast<std::uint8_t>(symbol);
    }
  }
  return table;
}

// `learned` (tables optimal for one frame, holding codes only for the symbols that frame used)
// completed with a code for every symbol in `symbols`: the learned symbols keep about their code
// lengths, the missing ones get long codes. Later frames can then use any symbol.
std::optional<HuffmanTable> completeTable(const JHUFF_TBL& learned,
                                          const std::vector<std::uint8_t>& symbols) {
  std::array<long, 257> frequency{};
  for (std::uint8_t symbol : symbols) frequency[symbol] = 1;
  std::size_t next = 0;
  for (int length = 1; length <= 16; ++length) {
    for (int k = 0; k < learned.bits[length]; ++k) {
      if (next >= 256) break;
      // Frequencies that give back about the learned lengths.
      frequency[learned.huffval[next++]] = 1L << (18 - length);
    }
  }
  return tableFromFrequencies(frequency);
}

// Puts `table` in `slot`; without one the slot keeps the standard table (every symbol coded).
void installTable(j_compress_ptr cinfo, JHUFF_TBL*& slot,
                  const std::optional<HuffmanTable>& table) {
  if (!table) return;
  if (slot == nullptr) slot = jpeg_alloc_huff_table(reinterpret_cast<j_common_ptr>(cinfo));
  std::memcpy(slot->bits, table->bits.data(), sizeof slot->bits);
  std::memcpy(slot->huffval, table->values.data(), sizeof slot->huffval);
  slot->sent_table = FALSE;
}

// Output into one growing block of memory that the encoder keeps between frames.
struct MemoryDestination {
  jpeg_destination_mgr pub;
  std::uint8_t* buffer = nullptr;
  std::size_t capacity = 0;
  std::size_t size = 0;
};

constexpr std::size_t kFirstCapacity = 1 << 18;

void startDestination(j_compress_ptr cinfo) {
  auto* destination = reinterpret_cast<MemoryDestination*>(cinfo->dest);
  // The library writes a byte before it asks for room: there must be some from the start.
  if (destination->capacity == 0) {
    destination->buffer = static_cast<std::uint8_t*>(std::malloc(kFirstCapacity));
    if (destination->buffer == nullptr) ERREXIT(cinfo, JERR_OUT_OF_MEMORY);
    destination->capacity = kFirstCapacity;
  }
  destination->size = 0;
  destination->pub.next_output_byte = destination->buffer;
  destination->pub.free_in_buffer = destination->capacity;
}

boolean growDestination(j_compress_ptr cinfo) {
  auto* destination = reinterpret_cast<MemoryDestination*>(cinfo->dest);
  // Called when the whole block is full (free_in_buffer reached 0).
  const std::size_t used = destination->capacity;
  const std::size_t capacity = used * 2;
  auto* grown = static_cast<std::uint8_t*>(std::realloc(destination->buffer, capacity));
  if (grown == nullptr) ERREXIT(cinfo, JERR_OUT_OF_MEMORY);
  destination->buffer = grown;
  destination->capacity = capacity;
  destination->pub.next_output_byte = grown + used;
  destination->pub.free_in_buffer = capacity - used;
  return TRUE;
}

void finishDestination(j_compress_ptr cinfo) {
  auto* destination = reinterpret_cast<MemoryDestination*>(cinfo->dest);
  destination->size = destination->capacity - destination->pub.free_in_buffer;
}

// Row pointers of one row of blocks, handed to the library; plain data for the function that
// holds the jump target.
struct BlockRow {
  JSAMPROW luma[kLumaRows];
  JSAMPROW cb[kChromaRows];
  JSAMPROW cr[kChromaRows];
};

}  // namespace

struct YuvJpegEncoder::State {
  jpeg_compress_struct cinfo{};
  JpegJumpErrors errors{};
  MemoryDestination destination{};
  bool created = false;
  bool learned = false;                                 // later frames use the completed tables
  std::array<std::optional<HuffmanTable>, 4> tables{};  // DC 0, DC 1, AC 0, AC 1
  // One row of blocks in the JPEG's range, padded to whole blocks by repeating the edge.
  std::vector<std::uint8_t> luma;
  std::vector<std::uint8_t> cb;
  std::vector<std::uint8_t> cr;
  State() = default;
  State(const State&) = delete;
  State& operator=(const State&) = delete;
  ~State() {
    if (created) jpeg_destroy_compress(&cinfo);
    std::free(destination.buffer);
  }
};

namespace {

// Copies `count` samples of `source`, stretched to the full range unless `fullRange`, and
// repeats the last one up to `padded`.
void copyRow(std::uint8_t* __restrict target, const std::uint8_t* __restrict source, int count,
             int padded, bool fullRange, bool chroma) {
  if (fullRange) {
    std::memcpy(target, source, static_cast<std::size_t>(count));
  } else {
    stretchRange(source, target, count, chroma);
  }
  std::fill(target + count, target + padded, target[count - 1]);
}

}  // namespace

YuvJpegEncoder::YuvJpegEncoder() : m_state(std::make_unique<State>()) {}

YuvJpegEncoder::~YuvJpegEncoder() = default;

const std::uint8_t* YuvJpegEncoder::data() const { return m_state->destination.buffer; }

std::size_t YuvJpegEncoder::size() const { return m_state->destination.size; }

namespace {

struct EncodeJob {
  const YuvJpegEncoder::Planes* planes;
  int width;
  int height;
  int paddedWidth;  // luma columns of whole 16-column blocks
  std::uint8_t* luma;
  std::uint8_t* cb;
  std::uint8_t* cr;
  bool learn;
  const std::optional<HuffmanTable>* tables;  // when not learning
  BlockRow* rows;
  jpeg_destination_mgr* destination;
};

// Sets up and runs one frame; the only function that holds the jump target, so its locals are
// all plain. False after a library error (the object is then destroyed and must be created again).
bool encodeFrame(jpeg_compress_struct* cinfo, JpegJumpErrors* errors, bool* created,
                 const EncodeJob* job) {
  if (setjmp(errors->jump) != 0) {
    jpeg_destroy_compress(cinfo);
    *created = false;
    return false;
  }
  if (!*created) {
    cinfo->err = jpeg_std_error(&errors->pub);
    errors->pub.error_exit = jumpOnJpegError;
    errors->pub.emit_message = ignoreJpegMessage;
    jpeg_create_compress(cinfo);
    *created = true;
  }
  cinfo->dest = job->destination;
  cinfo->image_width = static_cast<JDIMENSION>(job->width);
  cinfo->image_height = static_cast<JDIMENSION>(job->height);
  cinfo->input_components = 3;
  cinfo->in_color_space = JCS_YCbCr;
  jpeg_set_defaults(cinfo);
  unsigned table[64];
  std::copy(kQuantisation.begin(), kQuantisation.end(), table);
  jpeg_add_quant_table(cinfo, 0, table, 100, TRUE);
  cinfo->raw_data_in = TRUE;
  cinfo->dct_method = JDCT_ISLOW;
  for (int c = 0; c < 3; ++c) {
    cinfo->comp_info[c].h_samp_factor = c == 0 ? 2 : 1;
    cinfo->comp_info[c].v_samp_factor = c == 0 ? 2 : 1;
    cinfo->comp_info[c].quant_tbl_no = 0;
  }
  cinfo->optimize_coding = job->learn ? TRUE : FALSE;
  if (!job->learn) {
    installTable(cinfo, cinfo->dc_huff_tbl_ptrs[0], job->tables[0]);
    installTable(cinfo, cinfo->dc_huff_tbl_ptrs[1], job->tables[1]);
    installTable(cinfo, cinfo->ac_huff_tbl_ptrs[0], job->tables[2]);
    installTable(cinfo, cinfo->ac_huff_tbl_ptrs[1], job->tables[3]);
  }
  jpeg_start_compress(cinfo, TRUE);

  const YuvJpegEncoder::Planes& planes = *job->planes;
  const int chromaWidth = (job->width + 1) / 2;
  const int chromaHeight = (job->height + 1) / 2;
  const int paddedChroma = job->paddedWidth / 2;
  JSAMPARRAY blocks[3] = {job->rows->luma, job->rows->cb, job->rows->cr};
  for (int top = 0; top < job->height; top += kLumaRows) {
    // Rows below the picture repeat its last row.
    for (int i = 0; i < kLumaRows; ++i) {
      const int y = std::min(top + i, job->height - 1);
      std::uint8_t* target = job->luma + static_cast<std::size_t>(i) * job->paddedWidth;
      copyRow(target, planes.data[0] + static_cast<std::ptrdiff_t>(y) * planes.linesize[0],
              job->width, job->paddedWidth, planes.fullRange, false);
      job->rows->luma[i] = target;
    }
    for (int i = 0; i < kChromaRows; ++i) {
      const int y = std::min(top / 2 + i, chromaHeight - 1);
      std::uint8_t* cb = job->cb + static_cast<std::size_t>(i) * paddedChroma;
      std::uint8_t* cr = job->cr + static_cast<std::size_t>(i) * paddedChroma;
      copyRow(cb, planes.data[1] + static_cast<std::ptrdiff_t>(y) * planes.linesize[1], chromaWidth,
              paddedChroma, planes.fullRange, true);
      copyRow(cr, planes.data[2] + static_cast<std::ptrdiff_t>(y) * planes.linesize[2], chromaWidth,
              paddedChroma, planes.fullRange, true);
      job->rows->cb[i] = cb;
      job->rows->cr[i] = cr;
    }
    jpeg_write_raw_data(cinfo, blocks, kLumaRows);
  }
  jpeg_finish_compress(cinfo);
  return true;
}

}  // namespace

bool YuvJpegEncoder::encode(const Planes& planes, int width, int height) {
  State& state = *m_state;
  state.destination.size = 0;
  if (width < 1 || height < 1 || planes.data[0] == nullptr || planes.data[1] == nullptr ||
      planes.data[2] == nullptr) {
    return false;
  }
  const int paddedWidth = (width + 15) / 16 * 16;
  try {
    state.luma.resize(static_cast<std::size_t>(paddedWidth) * kLumaRows);
    state.cb.resize(static_cast<std::size_t>(paddedWidth / 2) * kChromaRows);
    state.cr.resize(static_cast<std::size_t>(paddedWidth / 2) * kChromaRows);
  } catch (const std::bad_alloc&) {
    return false;
  }
  BlockRow rows{};
  const EncodeJob job{&planes,
                      width,
                      height,
                      paddedWidth,
                      state.luma.data(),
                      state.cb.data(),
                      state.cr.data(),
                      !state.learned,
                      state.tables.data(),
                      &rows,
                      &state.destination.pub};
  state.destination.pub.init_destination = startDestination;
  state.destination.pub.empty_output_buffer = growDestination;
  state.destination.pub.term_destination = finishDestination;
  if (!encodeFrame(&state.cinfo, &state.errors, &state.created, &job)) {
    state.destination.size = 0;
    return false;
  }
  if (!state.learned) {
    // The optimal tables of this frame, completed, for every later frame.
    static const std::vector<std::uint8_t> dcSymbols = validSymbols(false);
    static const std::vector<std::uint8_t> acSymbols = validSymbols(true);
    for (int i = 0; i < 2; ++i) {
      const JHUFF_TBL* dc = state.cinfo.dc_huff_tbl_ptrs[i];
      const JHUFF_TBL* ac = state.cinfo.ac_huff_tbl_ptrs[i];
      if (dc == nullptr || ac == nullptr) return true;
      state.tables[static_cast<std::size_t>(i)] = completeTable(*dc, dcSymbols);
      state.tables[static_cast<std::size_t>(2 + i)] = completeTable(*ac, acSymbols);
    }
    state.learned = true;
  }
  return true;
}

// Luma: x = y - 16 (at least 0) becomes x * 255 / 219 rounded, that is x + (36 x + 109) / 219;
// chroma: the distance a = |c - 128| becomes a + (31 a + 112) / 224, away from 128. The
// divisions are multiplications by 9577 / 2^21 and 2341 / 2^19, exact for these ranges.
void stretchRangePlain(const std::uint8_t* in, std::uint8_t* out, int count, bool chroma) {
  for (int i = 0; i < count; ++i) {
    const int v = in[i];
    int result;
    if (chroma) {
      const int a = std::abs(v - 128);
      const int r = a + (31 * a + 112) / 224;
      result = v >= 128 ? 128 + r : 128 - r;
    } else {
      const int x = std::max(v - 16, 0);
      result = x + (36 * x + 109) / 219;
    }
    out[i] = static_cast<std::uint8_t>(std::clamp(result, 0, 255));
  }
}

#if defined(__x86_64__) || defined(__i386__)
namespace {

// The arithmetic of `stretchRange` on sixteen 16-bit samples.
__attribute__((target("avx2"), always_inline)) inline __m256i stretchLuma16(__m256i v) {
  const __m256i x = _mm256_subs_epu16(v, _mm256_set1_epi16(16));
  const __m256i t =
      _mm256_add_epi16(_mm256_mullo_epi16(x, _mm256_set1_epi16(36)), _mm256_set1_epi16(109));
  return _mm256_add_epi16(
      x, _mm256_srli_epi16(_mm256_mulhi_epu16(t, _mm256_set1_epi16(static_cast<short>(9577))), 5));
}

__attribute__((target("avx2"), always_inline)) inline __m256i stretchChroma16(__m256i v) {
  const __m256i d = _mm256_sub_epi16(v, _mm256_set1_epi16(128));
  const __m256i sign = _mm256_srai_epi16(d, 15);
  const __m256i a = _mm256_sub_epi16(_mm256_xor_si256(d, sign), sign);
  const __m256i t =
      _mm256_add_epi16(_mm256_mullo_epi16(a, _mm256_set1_epi16(31)), _mm256_set1_epi16(112));
  const __m256i r =
      _mm256_add_epi16(a, _mm256_srli_epi16(_mm256_mulhi_epu16(t, _mm256_set1_epi16(2341)), 3));
  return _mm256_add_epi16(_mm256_sub_epi16(_mm256_xor_si256(r, sign), sign),
                          _mm256_set1_epi16(128));
}

// 32 samples at a time; the samples left over are for the caller. Both unpacks and the pack work
// within each 128-bit half, so the samples come out in their order.
__attribute__((target("avx2"))) int stretchRangeWide(const std::uint8_t* in, std::uint8_t* out,
                                                     int count, bool chroma) {
  const __m256i zero = _mm256_setzero_si256();
  int i = 0;
  for (; i + 32 <= count; i += 32) {
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i));
    const __m256i low = _mm256_unpacklo_epi8(v, zero);
    const __m256i high = _mm256_unpackhi_epi8(v, zero);
    const __m256i packed = chroma ? _mm256_packus_epi16(stretchChroma16(low), stretchChroma16(high))
                                  : _mm256_packus_epi16(stretchLuma16(low), stretchLuma16(high));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), packed);
  }
  return i;
}

}  // namespace
#endif

void stretchRange(const std::uint8_t* in, std::uint8_t* out, int count, bool chroma) {
  int i = 0;
#if defined(__x86_64__) || defined(__i386__)
  if (cpuHasAvx2()) i = stretchRangeWide(in, out, count, chroma);
#endif
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  const auto stretch = [&](__m128i v) {
    if (chroma) {
      const __m128i d = _mm_sub_epi16(v, _mm_set1_epi16(128));
      const __m128i sign = _mm_srai_epi16(d, 15);
      const __m128i a = _mm_sub_epi16(_mm_xor_si128(d, sign), sign);
      const __m128i t = _mm_add_epi16(_mm_mullo_epi16(a, _mm_set1_epi16(31)), _mm_set1_epi16(112));
      const __m128i r =
          _mm_add_epi16(a, _mm_srli_epi16(_mm_mulhi_epu16(t, _mm_set1_epi16(2341)), 3));
      return _mm_add_epi16(_mm_sub_epi16(_mm_xor_si128(r, sign), sign), _mm_set1_epi16(128));
    }
    const __m128i x = _mm_subs_epu16(v, _mm_set1_epi16(16));
    const __m128i t = _mm_add_epi16(_mm_mullo_epi16(x, _mm_set1_epi16(36)), _mm_set1_epi16(109));
    return _mm_add_epi16(
        x, _mm_srli_epi16(_mm_mulhi_epu16(t, _mm_set1_epi16(static_cast<short>(9577))), 5));
  };
  for (; i + 16 <= count; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
    // Both halves as 16-bit values, packed back with saturation (the clamp to 0-255).
    const __m128i low = stretch(_mm_unpacklo_epi8(v, zero));
    const __m128i high = stretch(_mm_unpackhi_epi8(v, zero));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i), _mm_packus_epi16(low, high));
  }
#endif
  stretchRangePlain(in + i, out + i, count - i, chroma);
}

}  // namespace tg
