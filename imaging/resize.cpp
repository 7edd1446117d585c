#include "imaging/resize.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "imaging/simd.h"

#if BV_IMAGING_X86
#include <immintrin.h>
#endif

// The scaler works one destination row at a time: the two source rows around it are blended into
// a 16-bit "wide" row (value x 128), then each destination pixel blends two neighbouring pixels of
// that row. Weights are 11-bit fixed point; the two rounded stages stay within 0.1 of the exact
// bilinear value before the final rounding. Vertical first keeps the per-pixel (gather) work to one
// pass over the destination when shrinking, which is the common case (camera to canvas, canvas to
// view).

namespace {

using namespace imaging_detail;

constexpr int kWeightBits = 11;
constexpr int kOne = 1 << kWeightBits;
constexpr int kWideBits = 7;  // wide row = value << 7, at most 32640: fits a signed 16-bit lane
constexpr int kWidePad = 8;   // the vector path reads up to 8 lanes past the last pixel's left tap

// Source coordinate of a destination sample split into the left tap and the weight of the right
// tap. Worked in integers on the doubled coordinate so the mapping is exact:
// (2d + 1) * src - dst over 2 * dst is (d + 0.5) * src / dst - 0.5. A tap on the last sample always
// has weight 0, so the right tap may be read one past it.
struct Tap {
    int index;
    int weight;
};

Tap MapCoordinate(int d, int src_len, int dst_len) {
    const int64_t den = 2 * static_cast<int64_t>(dst_len);
    const int64_t num = (2 * static_cast<int64_t>(d) + 1) * src_len - dst_len;
    if (num <= 0) return {0, 0};
    int64_t index = num / den;
    if (index >= src_len - 1) return {src_len - 1, 0};
    int64_t weight = (num % den * kOne + den / 2) / den;
    if (weight == kOne) {
        ++index;
        weight = 0;
    }
    return {static_cast<int>(index), static_cast<int>(weight)};
}

// wide = (top << 7) + round((bottom - top) x weight / 16), the same arithmetic as a 16-bit
// rounding high multiply of (bottom - top) << 7 by weight << 4.
inline int16_t VerticalSample(int top, int bottom, int weight) {
    return static_cast<int16_t>((top << kWideBits) + ((((bottom - top) << kWideBits) * (weight << 4) + 0x4000) >> 15));
}

void BlendRowsScalar(const uint8_t* __restrict top, const uint8_t* __restrict bottom, int weight,
                     int16_t* __restrict out, int i, int count) {
    for (; i < count; ++i) out[i] = VerticalSample(top[i], bottom[i], weight);
}

template <int C>
void ScaleRowScalar(const int16_t* __restrict wide, const int* __restrict left, const int* __restrict weights,
                    uint8_t* __restrict out, int x, int width) {
    constexpr int kRound = 1 << (kWeightBits + kWideBits - 1);
    for (; x < width; ++x) {
        const int16_t* a = wide + left[x];
        const int wa = weights[x] & 0xFFFF, wb = weights[x] >> 16;
        for (int c = 0; c < C; ++c)
            out[x * C + c] = static_cast<uint8_t>((a[c] * wa + a[c + C] * wb + kRound) >> (kWeightBits + kWideBits));
    }
}

#if BV_IMAGING_X86
__attribute__((target("ssse3"))) inline __m128i VerticalSamples(__m128i a, __m128i b, __m128i weight) {
    const __m128i delta = _mm_slli_epi16(_mm_sub_epi16(b, a), kWideBits);
    return _mm_add_epi16(_mm_slli_epi16(a, kWideBits), _mm_mulhrs_epi16(delta, weight));
}

__attribute__((target("ssse3"))) int BlendRowsSsse3(const uint8_t* __restrict top, const uint8_t* __restrict bottom,
                                                    int weight, int16_t* __restrict out, int count) {
    const __m128i zero = _mm_setzero_si128(), w = _mm_set1_epi16(static_cast<int16_t>(weight << 4));
    int i = 0;
    for (; i + 16 <= count; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(top + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bottom + i));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                         VerticalSamples(_mm_unpacklo_epi8(a, zero), _mm_unpacklo_epi8(b, zero), w));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i + 8),
                         VerticalSamples(_mm_unpackhi_epi8(a, zero), _mm_unpackhi_epi8(b, zero), w));
    }
    return i;
}

// Four destination pixels per step. Each pixel's left and right source pixels are adjacent in the
// wide row: one load, a shuffle pairing the channels of both, and one multiply-add with the
// (left, right) weights give all channels of the pixel.
__attribute__((target("ssse3"))) inline __m128i ScalePixel(const int16_t* taps, __m128i w, __m128i pair) {
    const __m128i v = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(taps)), pair);
    const __m128i round = _mm_set1_epi32(1 << (kWeightBits + kWideBits - 1));
    return _mm_srai_epi32(_mm_add_epi32(_mm_madd_epi16(v, w), round), kWeightBits + kWideBits);
}

template <int C>
__attribute__((target("ssse3"))) int ScaleRowSsse3(const int16_t* __restrict wide, const int* __restrict left,
                                                   const int* __restrict weights, uint8_t* __restrict out, int width) {
    const __m128i pair = C == 4 ? _mm_setr_epi8(0, 1, 8, 9, 2, 3, 10, 11, 4, 5, 12, 13, 6, 7, 14, 15)
                                : _mm_setr_epi8(0, 1, 6, 7, 2, 3, 8, 9, 4, 5, 10, 11, -1, -1, -1, -1);
    const __m128i pack3 = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    int x = 0;
    for (; x + 4 <= width; x += 4) {
        const __m128i w = _mm_loadu_si128(reinterpret_cast<const __m128i*>(weights + x));
        const __m128i p0 = ScalePixel(wide + left[x], _mm_shuffle_epi32(w, 0x00), pair);
        const __m128i p1 = ScalePixel(wide + left[x + 1], _mm_shuffle_epi32(w, 0x55), pair);
        const __m128i p2 = ScalePixel(wide + left[x + 2], _mm_shuffle_epi32(w, 0xAA), pair);
        const __m128i p3 = ScalePixel(wide + left[x + 3], _mm_shuffle_epi32(w, 0xFF), pair);
        const __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(p0, p1), _mm_packs_epi32(p2, p3));
        if (C == 4) {
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * x), bytes);
        } else {
            const __m128i packed = _mm_shuffle_epi8(bytes, pack3);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 3 * x), packed);
            const int tail = _mm_cvtsi128_si32(_mm_srli_si128(packed, 8));
            std::memcpy(out + 3 * x + 8, &tail, 4);
        }
    }
    return x;
}
#endif

void BlendRows(const uint8_t* __restrict top, const uint8_t* __restrict bottom, int weight, int16_t* __restrict out,
               int count) {
    int i = 0;
#if BV_IMAGING_X86
    if (HasSsse3()) i = BlendRowsSsse3(top, bottom, weight, out, count);
#endif
    BlendRowsScalar(top, bottom, weight, out, i, count);
}

template <int C>
void ScaleRow(const int16_t* __restrict wide, const int* __restrict left, const int* __restrict weights,
              uint8_t* __restrict out, int width) {
    int x = 0;
#if BV_IMAGING_X86
    if (HasSsse3()) x = ScaleRowSsse3<C>(wide, left, weights, out, width);
#endif
    ScaleRowScalar<C>(wide, left, weights, out, x, width);
}

BV_AVX2_CLONES void NarrowRow(const int16_t* __restrict wide, uint8_t* __restrict out, int count) {
    for (int i = 0; i < count; ++i) out[i] = static_cast<uint8_t>((wide[i] + (1 << (kWideBits - 1))) >> kWideBits);
}

}  // namespace

int ResizeLinear(const uint8_t* src, int sw, int sh, int sstride, uint8_t* dst, int dw, int dh, int dstride,
                 int channels) {
    if (src == nullptr || dst == nullptr) return kImgNullPtr;
    if (sw <= 0 || sh <= 0 || dw <= 0 || dh <= 0) return kImgBadSize;
    if (channels != 3 && channels != 4) return kImgBadChannels;
    if (std::abs(static_cast<int64_t>(sstride)) < static_cast<int64_t>(sw) * channels ||
        std::abs(static_cast<int64_t>(dstride)) < static_cast<int64_t>(dw) * channels)
        return kImgBadStride;

    const size_t src_row = static_cast<size_t>(sw) * channels;
    const size_t dst_row = static_cast<size_t>(dw) * channels;
    if (sw == dw && sh == dh) {
        for (int y = 0; y < dh; ++y)
            std::memcpy(dst + static_cast<ptrdiff_t>(y) * dstride, src + static_cast<ptrdiff_t>(y) * sstride, src_row);
        return kImgOk;
    }

    // One block for the column tables and the wide row: a few tens of kilobytes at most.
    const size_t wide_count = src_row + kWidePad;
    void* block = std::malloc(static_cast<size_t>(dw) * 2 * sizeof(int) + wide_count * sizeof(int16_t));
    if (block == nullptr) return kImgNoMemory;
    auto* left = static_cast<int*>(block);
    auto* weights = left + dw;
    auto* wide = reinterpret_cast<int16_t*>(weights + dw);
    std::memset(wide + src_row, 0, kWidePad * sizeof(int16_t));
    for (int x = 0; x < dw; ++x) {
        const Tap tap = MapCoordinate(x, sw, dw);
        left[x] = tap.index * channels;
        weights[x] = (kOne - tap.weight) | (tap.weight << 16);  // (left, right) as two 16-bit lanes
    }

    for (int y = 0; y < dh; ++y) {
        const Tap tap = MapCoordinate(y, sh, dh);
        const uint8_t* top = src + static_cast<ptrdiff_t>(tap.index) * sstride;
        // A zero weight never reads the row below, which may not exist.
        BlendRows(top, tap.weight ? top + sstride : top, tap.weight, wide, static_cast<int>(src_row));
        uint8_t* out = dst + static_cast<ptrdiff_t>(y) * dstride;
        if (sw == dw) {
            NarrowRow(wide, out, static_cast<int>(dst_row));
        } else if (channels == 3) {
            ScaleRow<3>(wide, left, weights, out, dw);
        } else {
            ScaleRow<4>(wide, left, weights, out, dw);
        }
    }
    std::free(block);
    return kImgOk;
}
