#include "imaging/deinterlace.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "imaging/resize.h"
#include "imaging/simd.h"

#if BV_IMAGING_X86
#include <immintrin.h>
#endif

// Method (edge-based line averaging over a small window):
// Each missing pixel looks at three directions through it: up-left/down-right, vertical and
// up-right/down-left. For each direction the mismatch between the row above and the row below is
// measured over three neighbouring pairs with weights 2, 4, 2:
//     D(d) = 2 |u[x+d-1] - l[x-d-1]| + 4 |u[x+d] - l[x-d]| + 2 |u[x+d+1] - l[x-d+1]|
// which runs 0..2040 (eight times a mean pixel difference; the window keeps noise from picking
// a false direction). The direction with the smallest D wins, the vertical one on ties. If that D
// is below the threshold, the pixel is the mean of the winning pair; otherwise the edge is too
// uncertain and the vertical mean is used. Threshold 0 therefore gives plain line averaging and
// 2041 always follows the best direction. Columns beyond the edges repeat the edge pixel.

namespace {

constexpr int kMaxThreshold = 2041;
constexpr int kPad = 2;  // the window reaches two columns either side

inline int AbsDiff(int a, int b) { return a > b ? a - b : b - a; }

// u and l point at rows padded by kPad replicated pixels on each side. The costs are kept halved
// (weights 1, 2, 1; at most 1020) and compared against threshold / 2, rounded up, which is the
// same decision.
void InterpolateScalar(const uint8_t* __restrict u, const uint8_t* __restrict l, uint8_t* __restrict out, int x,
                       int width, int half_threshold) {
    for (; x < width; ++x) {
        const int vertical = AbsDiff(u[x - 1], l[x - 1]) + 2 * AbsDiff(u[x], l[x]) + AbsDiff(u[x + 1], l[x + 1]);
        const int falling = AbsDiff(u[x - 2], l[x]) + 2 * AbsDiff(u[x - 1], l[x + 1]) + AbsDiff(u[x], l[x + 2]);
        const int rising = AbsDiff(u[x], l[x - 2]) + 2 * AbsDiff(u[x + 1], l[x - 1]) + AbsDiff(u[x + 2], l[x]);
        const int mean_vertical = (u[x] + l[x] + 1) >> 1;
        int best = vertical, value = mean_vertical;
        if (falling < best) {
            best = falling;
            value = (u[x - 1] + l[x + 1] + 1) >> 1;
        }
        if (rising < best) {
            best = rising;
            value = (u[x + 1] + l[x - 1] + 1) >> 1;
        }
        out[x] = static_cast<uint8_t>(best < half_threshold ? value : mean_vertical);
    }
}

#if BV_IMAGING_X86
// The same decisions 16 pixels at a time with plain SSE2 (part of x86-64): byte differences and
// means, costs in 16-bit lanes.
inline __m128i LoadAt(const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); }

inline __m128i AbsDiff16(const uint8_t* a, const uint8_t* b) {
    const __m128i x = LoadAt(a), y = LoadAt(b);
    return _mm_or_si128(_mm_subs_epu8(x, y), _mm_subs_epu8(y, x));
}

// d(-1) + 2 d(0) + d(+1) for the low and high eight pixels.
inline void Cost(__m128i before, __m128i centre, __m128i after, __m128i& lo, __m128i& hi) {
    const __m128i zero = _mm_setzero_si128();
    auto widen_sum = [&](auto unpack) {
        const __m128i c = unpack(centre, zero);
        return _mm_add_epi16(_mm_add_epi16(unpack(before, zero), unpack(after, zero)), _mm_add_epi16(c, c));
    };
    lo = widen_sum([](__m128i a, __m128i b) { return _mm_unpacklo_epi8(a, b); });
    hi = widen_sum([](__m128i a, __m128i b) { return _mm_unpackhi_epi8(a, b); });
}

inline __m128i Select(__m128i mask, __m128i yes, __m128i no) {
    return _mm_or_si128(_mm_and_si128(mask, yes), _mm_andnot_si128(mask, no));
}

int InterpolateSse2(const uint8_t* __restrict u, const uint8_t* __restrict l, uint8_t* __restrict out, int width,
                    int half_threshold) {
    const __m128i limit = _mm_set1_epi16(static_cast<int16_t>(half_threshold));
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        const uint8_t* a = u + x;
        const uint8_t* b = l + x;
        __m128i v_lo, v_hi, f_lo, f_hi, r_lo, r_hi;
        Cost(AbsDiff16(a - 1, b - 1), AbsDiff16(a, b), AbsDiff16(a + 1, b + 1), v_lo, v_hi);
        Cost(AbsDiff16(a - 2, b), AbsDiff16(a - 1, b + 1), AbsDiff16(a, b + 2), f_lo, f_hi);
        Cost(AbsDiff16(a, b - 2), AbsDiff16(a + 1, b - 1), AbsDiff16(a + 2, b), r_lo, r_hi);
        // Strictly smaller wins, so the vertical direction keeps ties.
        const __m128i take_f = _mm_packs_epi16(_mm_cmplt_epi16(f_lo, v_lo), _mm_cmplt_epi16(f_hi, v_hi));
        const __m128i best_lo = _mm_min_epi16(v_lo, f_lo), best_hi = _mm_min_epi16(v_hi, f_hi);
        const __m128i take_r = _mm_packs_epi16(_mm_cmplt_epi16(r_lo, best_lo), _mm_cmplt_epi16(r_hi, best_hi));
        const __m128i sure = _mm_packs_epi16(_mm_cmplt_epi16(_mm_min_epi16(best_lo, r_lo), limit),
                                             _mm_cmplt_epi16(_mm_min_epi16(best_hi, r_hi), limit));
        const __m128i vertical = _mm_avg_epu8(LoadAt(a), LoadAt(b));
        __m128i value = Select(take_f, _mm_avg_epu8(LoadAt(a - 1), LoadAt(b + 1)), vertical);
        value = Select(take_r, _mm_avg_epu8(LoadAt(a + 1), LoadAt(b - 1)), value);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), Select(sure, value, vertical));
    }
    return x;
}
#endif

void InterpolateRow(const uint8_t* __restrict u, const uint8_t* __restrict l, uint8_t* __restrict out, int width,
                    int half_threshold) {
    int x = 0;
#if BV_IMAGING_X86
    x = InterpolateSse2(u, l, out, width, half_threshold);
#endif
    InterpolateScalar(u, l, out, x, width, half_threshold);
}

void PadRow(const uint8_t* row, int width, uint8_t* padded) {
    std::memcpy(padded + kPad, row, width);
    for (int i = 0; i < kPad; ++i) {
        padded[i] = row[0];
        padded[kPad + width + i] = row[width - 1];
    }
}

}  // namespace

int DeinterlaceFilter(const uint8_t* src, int sstride, uint8_t* dst, int dstride, int width, int height,
                      int threshold) {
    if (src == nullptr || dst == nullptr) return kImgNullPtr;
    if (width <= 0 || height <= 0) return kImgBadSize;
    if (std::abs(static_cast<int64_t>(sstride)) < width || std::abs(static_cast<int64_t>(dstride)) < width)
        return kImgBadStride;
    // Working in place only makes sense when both views walk the same rows.
    const bool in_place = src == dst;
    if (in_place && sstride != dstride) return kImgBadStride;
    // 2 x cost < threshold  <=>  cost < ceil(threshold / 2)
    const int half_threshold = (std::clamp(threshold, 0, kMaxThreshold) + 1) / 2;

    // Two padded rows; the lower one of a pair becomes the upper one of the next pair.
    const size_t padded_width = static_cast<size_t>(width) + 2 * kPad;
    auto* scratch = static_cast<uint8_t*>(std::malloc(2 * padded_width));
    if (scratch == nullptr) return kImgNoMemory;
    uint8_t* upper = scratch;
    uint8_t* lower = scratch + padded_width;

    auto src_row = [&](int y) { return src + static_cast<ptrdiff_t>(y) * sstride; };
    auto dst_row = [&](int y) { return dst + static_cast<ptrdiff_t>(y) * dstride; };

    if (!in_place) std::memcpy(dst_row(0), src_row(0), width);
    PadRow(src_row(0), width, upper);
    for (int y = 1; y < height; y += 2) {
        if (y + 1 >= height) {
            std::memcpy(dst_row(y), src_row(y - 1), width);
            break;
        }
        if (!in_place) std::memcpy(dst_row(y + 1), src_row(y + 1), width);
        PadRow(src_row(y + 1), width, lower);
        InterpolateRow(upper + kPad, lower + kPad, dst_row(y), width, half_threshold);
        std::swap(upper, lower);
    }
    std::free(scratch);
    return kImgOk;
}
