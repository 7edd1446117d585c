#include "imaging/color_convert.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdlib>

#include "imaging/resize.h"
#include "imaging/simd.h"

#if BV_IMAGING_X86
#include <immintrin.h>
#endif

namespace {

using namespace imaging_detail;

// BT.601 studio-range coefficients for BGR -> YUV. The arithmetic is the one the vector kernel
// does with 16-bit high multiplies, mirrored exactly by the scalar path so both give the same bytes:
// luma terms are (byte << 8) x c >> 16 with c = coefficient x 2^15 (luma x 128), chroma terms are
// (pair sum << 6) x c >> 16 with the same c (chroma x 64). The forward sums are exact at the range
// ends (white 235, saturated blue or red chroma 240), so no clamping is needed.
constexpr int16_t Coef(double per_unit) { return static_cast<int16_t>(per_unit * 32768 + 0.5); }
constexpr int16_t kYR = Coef(65.481 / 255), kYG = Coef(128.553 / 255), kYB = Coef(24.966 / 255);
constexpr int16_t kUR = Coef(37.797 / 255), kUG = Coef(74.203 / 255), kUB = Coef(112.0 / 255);
constexpr int16_t kVR = Coef(112.0 / 255), kVG = Coef(93.786 / 255), kVB = Coef(18.214 / 255);
// Offsets hold the range base, half a step for rounding and one unit against the bias of the three
// truncating multiplies.
constexpr int16_t kYOffset = (16 << 7) + 64 + 1;
constexpr int16_t kCOffset = (128 << 6) + 32 + 1;

constexpr int32_t MulHigh(int32_t a, int32_t b) { return (a * b) >> 16; }

inline uint8_t LumaOf(int32_t b, int32_t g, int32_t r) {
    return static_cast<uint8_t>((MulHigh(b << 8, kYB) + MulHigh(g << 8, kYG) + MulHigh(r << 8, kYR) + kYOffset) >> 7);
}
// b, g, r are sums over two pixels.
inline uint8_t CbOfPair(int32_t b, int32_t g, int32_t r) {
    return static_cast<uint8_t>((MulHigh(b << 6, kUB) + MulHigh(g << 6, -kUG) + MulHigh(r << 6, -kUR) + kCOffset) >> 6);
}
inline uint8_t CrOfPair(int32_t b, int32_t g, int32_t r) {
    return static_cast<uint8_t>((MulHigh(b << 6, -kVB) + MulHigh(g << 6, -kVG) + MulHigh(r << 6, kVR) + kCOffset) >> 6);
}

// YUV -> BGR in the arithmetic of 16-bit rounding high multiplies (x y + 2^14) >> 15, results x 64.
// Inputs are (Y - 16) << 7 and (C - 128) << 7; coefficients are scaled by 2^14. The blue factor
// 2.017 does not fit, so it is split into 2 (a plain shift) plus 0.017. Sums are clamped when
// narrowed, which the vector kernel gets from saturating adds and packs.
constexpr int16_t InvCoef(double v) { return static_cast<int16_t>(v * 16384 + 0.5); }
constexpr int16_t kInvY = InvCoef(255.0 / 219);
constexpr int16_t kInvRV = InvCoef(1.402 * 255 / 224), kInvGU = InvCoef(0.344136 * 255 / 224);
constexpr int16_t kInvGV = InvCoef(0.714136 * 255 / 224), kInvBUFraction = InvCoef(1.772 * 255 / 224 - 2);

constexpr int32_t MulHighRound(int32_t a, int32_t b) { return (a * b + 0x4000) >> 15; }

inline uint8_t Clamp255(int32_t v) { return static_cast<uint8_t>(std::clamp(v, 0, 255)); }

// y, u, v are the raw bytes.
inline void StoreBGR(uint8_t* __restrict out, int32_t y, int32_t u, int32_t v) {
    const int32_t luma = MulHighRound((y - 16) << 7, kInvY);
    const int32_t cu = (u - 128) << 7, cv = (v - 128) << 7;
    out[0] = Clamp255((luma + cu + MulHighRound(cu, kInvBUFraction) + 32) >> 6);
    out[1] = Clamp255((luma - MulHighRound(cu, kInvGU) - MulHighRound(cv, kInvGV) + 32) >> 6);
    out[2] = Clamp255((luma + MulHighRound(cv, kInvRV) + 32) >> 6);
}

bool StrideCovers(int stride, int64_t row_bytes) { return std::abs(static_cast<int64_t>(stride)) >= row_bytes; }

// A YUY2 row of an odd width ends in a lone Y, U: the last pixel borrows the V of the pair before
// it, or neutral chroma when there is none.
inline uint8_t TrailingCr(const uint8_t* row, int width) { return width >= 3 ? row[2 * width - 3] : 128; }

void BGRRowToYUY2Scalar(const uint8_t* __restrict s, uint8_t* __restrict d, int first_pair, int width) {
    const int pairs = width / 2;
    for (int i = first_pair; i < pairs; ++i) {
        const int32_t b0 = s[6 * i], g0 = s[6 * i + 1], r0 = s[6 * i + 2];
        const int32_t b1 = s[6 * i + 3], g1 = s[6 * i + 4], r1 = s[6 * i + 5];
        d[4 * i] = LumaOf(b0, g0, r0);
        d[4 * i + 1] = CbOfPair(b0 + b1, g0 + g1, r0 + r1);
        d[4 * i + 2] = LumaOf(b1, g1, r1);
        d[4 * i + 3] = CrOfPair(b0 + b1, g0 + g1, r0 + r1);
    }
    if (width & 1) {
        const uint8_t* p = s + 3 * (width - 1);
        d[2 * (width - 1)] = LumaOf(p[0], p[1], p[2]);
        d[2 * (width - 1) + 1] = CbOfPair(2 * p[0], 2 * p[1], 2 * p[2]);
    }
}

#if BV_IMAGING_X86
// Byte shuffles between 16 packed 3-byte pixels (48 bytes, three vectors) and three planes of 16
// bytes. kGather[c][k] collects channel c from the k-th vector of packed bytes; kScatter[c][k]
// places channel c into the k-th vector of packed output. Unused lanes are -128 (zero).
struct ShuffleTable {
    alignas(16) int8_t mask[3][3][16];
};

constexpr ShuffleTable MakeGather() {
    ShuffleTable t{};
    for (int c = 0; c < 3; ++c)
        for (int k = 0; k < 3; ++k)
            for (int i = 0; i < 16; ++i) {
                const int byte = 3 * i + c - 16 * k;
                t.mask[c][k][i] = static_cast<int8_t>(byte >= 0 && byte < 16 ? byte : -128);
            }
    return t;
}

constexpr ShuffleTable MakeScatter() {
    ShuffleTable t{};
    for (int c = 0; c < 3; ++c)
        for (int k = 0; k < 3; ++k)
            for (int j = 0; j < 16; ++j) {
                const int byte = 16 * k + j;
                t.mask[c][k][j] = static_cast<int8_t>(byte % 3 == c ? byte / 3 : -128);
            }
    return t;
}

constexpr ShuffleTable kGather = MakeGather();
constexpr ShuffleTable kScatter = MakeScatter();

inline __m128i Mask(const ShuffleTable& table, int c, int k) {
    return _mm_load_si128(reinterpret_cast<const __m128i*>(table.mask[c][k]));
}

__attribute__((target("ssse3"))) inline __m128i Planar(__m128i a, __m128i b, __m128i c, int channel) {
    return _mm_or_si128(
        _mm_or_si128(_mm_shuffle_epi8(a, Mask(kGather, channel, 0)), _mm_shuffle_epi8(b, Mask(kGather, channel, 1))),
        _mm_shuffle_epi8(c, Mask(kGather, channel, 2)));
}

// 16 pixels per step; returns how many pixel pairs it converted.
__attribute__((target("ssse3"))) int BGRRowToYUY2Ssse3(const uint8_t* __restrict s, uint8_t* __restrict d, int width) {
    const __m128i zero = _mm_setzero_si128(), ones = _mm_set1_epi8(1);
    const __m128i yb = _mm_set1_epi16(kYB), yg = _mm_set1_epi16(kYG), yr = _mm_set1_epi16(kYR);
    const __m128i ub = _mm_set1_epi16(kUB), ug = _mm_set1_epi16(-kUG), ur = _mm_set1_epi16(-kUR);
    const __m128i vb = _mm_set1_epi16(-kVB), vg = _mm_set1_epi16(-kVG), vr = _mm_set1_epi16(kVR);
    const __m128i y_offset = _mm_set1_epi16(kYOffset), c_offset = _mm_set1_epi16(kCOffset);
    auto luma = [&](__m128i b, __m128i g, __m128i r) {  // channels in the high byte of each lane
        const __m128i sum = _mm_add_epi16(_mm_add_epi16(_mm_mulhi_epu16(b, yb), _mm_mulhi_epu16(g, yg)),
                                          _mm_add_epi16(_mm_mulhi_epu16(r, yr), y_offset));
        return _mm_srli_epi16(sum, 7);
    };
    auto chroma = [&](__m128i b, __m128i g, __m128i r, __m128i cb, __m128i cg, __m128i cr) {
        const __m128i sum = _mm_add_epi16(_mm_add_epi16(_mm_mulhi_epi16(b, cb), _mm_mulhi_epi16(g, cg)),
                                          _mm_add_epi16(_mm_mulhi_epi16(r, cr), c_offset));
        return _mm_srai_epi16(sum, 6);
    };
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        const __m128i p0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 3 * x));
        const __m128i p1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 3 * x + 16));
        const __m128i p2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 3 * x + 32));
        const __m128i b = Planar(p0, p1, p2, 0);
        const __m128i g = Planar(p0, p1, p2, 1);
        const __m128i r = Planar(p0, p1, p2, 2);
        const __m128i y =
            _mm_packus_epi16(luma(_mm_unpacklo_epi8(zero, b), _mm_unpacklo_epi8(zero, g), _mm_unpacklo_epi8(zero, r)),
                             luma(_mm_unpackhi_epi8(zero, b), _mm_unpackhi_epi8(zero, g), _mm_unpackhi_epi8(zero, r)));
        // Adjacent-byte sums give the pair sums directly.
        const __m128i bs = _mm_slli_epi16(_mm_maddubs_epi16(b, ones), 6);
        const __m128i gs = _mm_slli_epi16(_mm_maddubs_epi16(g, ones), 6);
        const __m128i rs = _mm_slli_epi16(_mm_maddubs_epi16(r, ones), 6);
        const __m128i u = chroma(bs, gs, rs, ub, ug, ur);
        const __m128i v = chroma(bs, gs, rs, vb, vg, vr);
        const __m128i uv = _mm_unpacklo_epi8(_mm_packus_epi16(u, zero), _mm_packus_epi16(v, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 2 * x), _mm_unpacklo_epi8(y, uv));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 2 * x + 16), _mm_unpackhi_epi8(y, uv));
    }
    return x / 2;
}

// The same arithmetic on 32 pixels per step. Byte shuffles stay within 128-bit halves, so each half
// gets 16 whole pixels: the low half pixels 0..15, the high half pixels 16..31.
__attribute__((target("avx2"))) inline __m256i LoadHalves(const uint8_t* lo, const uint8_t* hi) {
    return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(lo))),
                                   _mm_loadu_si128(reinterpret_cast<const __m128i*>(hi)), 1);
}

__attribute__((target("avx2"))) inline __m256i Mask2(int channel, int k) {
    return _mm256_broadcastsi128_si256(Mask(kGather, channel, k));
}

__attribute__((target("avx2"))) inline __m256i Planar2(__m256i a, __m256i b, __m256i c, int channel) {
    return _mm256_or_si256(
        _mm256_or_si256(_mm256_shuffle_epi8(a, Mask2(channel, 0)), _mm256_shuffle_epi8(b, Mask2(channel, 1))),
        _mm256_shuffle_epi8(c, Mask2(channel, 2)));
}

__attribute__((target("avx2"))) inline __m256i Luma2(__m256i b, __m256i g, __m256i r) {
    const __m256i sum = _mm256_add_epi16(
        _mm256_add_epi16(_mm256_mulhi_epu16(b, _mm256_set1_epi16(kYB)), _mm256_mulhi_epu16(g, _mm256_set1_epi16(kYG))),
        _mm256_add_epi16(_mm256_mulhi_epu16(r, _mm256_set1_epi16(kYR)), _mm256_set1_epi16(kYOffset)));
    return _mm256_srli_epi16(sum, 7);
}

__attribute__((target("avx2"))) inline __m256i Chroma2(__m256i b, __m256i g, __m256i r, int16_t cb, int16_t cg,
                                                       int16_t cr) {
    const __m256i sum = _mm256_add_epi16(
        _mm256_add_epi16(_mm256_mulhi_epi16(b, _mm256_set1_epi16(cb)), _mm256_mulhi_epi16(g, _mm256_set1_epi16(cg))),
        _mm256_add_epi16(_mm256_mulhi_epi16(r, _mm256_set1_epi16(cr)), _mm256_set1_epi16(kCOffset)));
    return _mm256_srai_epi16(sum, 6);
}

__attribute__((target("avx2"))) int BGRRowToYUY2Avx2(const uint8_t* __restrict s, uint8_t* __restrict d, int width) {
    const __m256i zero = _mm256_setzero_si256(), ones = _mm256_set1_epi8(1);
    int x = 0;
    for (; x + 32 <= width; x += 32) {
        const uint8_t* p = s + 3 * x;
        const __m256i p0 = LoadHalves(p, p + 48), p1 = LoadHalves(p + 16, p + 64), p2 = LoadHalves(p + 32, p + 80);
        const __m256i b = Planar2(p0, p1, p2, 0), g = Planar2(p0, p1, p2, 1), r = Planar2(p0, p1, p2, 2);
        const __m256i y = _mm256_packus_epi16(
            Luma2(_mm256_unpacklo_epi8(zero, b), _mm256_unpacklo_epi8(zero, g), _mm256_unpacklo_epi8(zero, r)),
            Luma2(_mm256_unpackhi_epi8(zero, b), _mm256_unpackhi_epi8(zero, g), _mm256_unpackhi_epi8(zero, r)));
        const __m256i bs = _mm256_slli_epi16(_mm256_maddubs_epi16(b, ones), 6);
        const __m256i gs = _mm256_slli_epi16(_mm256_maddubs_epi16(g, ones), 6);
        const __m256i rs = _mm256_slli_epi16(_mm256_maddubs_epi16(r, ones), 6);
        const __m256i u = Chroma2(bs, gs, rs, kUB, -kUG, -kUR);
        const __m256i v = Chroma2(bs, gs, rs, -kVB, -kVG, kVR);
        const __m256i uv = _mm256_unpacklo_epi8(_mm256_packus_epi16(u, zero), _mm256_packus_epi16(v, zero));
        const __m256i first = _mm256_unpacklo_epi8(y, uv), second = _mm256_unpackhi_epi8(y, uv);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 2 * x), _mm256_permute2x128_si256(first, second, 0x20));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(d + 2 * x + 32), _mm256_permute2x128_si256(first, second, 0x31));
    }
    return x / 2;
}
#endif

void BGRRowToYUY2(const uint8_t* __restrict s, uint8_t* __restrict d, int width) {
    int done = 0;
#if BV_IMAGING_X86
    if (HasAvx2()) {
        done = BGRRowToYUY2Avx2(s, d, width);
        // The narrower kernel takes what is left of the 32-pixel steps.
        if (width - 2 * done >= 16) done += BGRRowToYUY2Ssse3(s + 6 * done, d + 4 * done, width - 2 * done);
    } else if (HasSsse3()) {
        done = BGRRowToYUY2Ssse3(s, d, width);
    }
#endif
    BGRRowToYUY2Scalar(s, d, done, width);
}

void YUY2RowToBGRScalar(const uint8_t* __restrict s, uint8_t* __restrict d, int first_pair, int width) {
    const int pairs = width / 2;
    for (int i = first_pair; i < pairs; ++i) {
        StoreBGR(d + 6 * i, s[4 * i], s[4 * i + 1], s[4 * i + 3]);
        StoreBGR(d + 6 * i + 3, s[4 * i + 2], s[4 * i + 1], s[4 * i + 3]);
    }
    if (width & 1) {
        const int x = width - 1;
        StoreBGR(d + 3 * x, s[2 * x], s[2 * x + 1], TrailingCr(s, width));
    }
}

#if BV_IMAGING_X86
// Eight pixels of YUY2 to B, G, R in 16-bit lanes (x 64, saturated).
__attribute__((target("ssse3"))) inline void YUY2ToBGR8(__m128i yuy2, __m128i& b, __m128i& g, __m128i& r) {
    const __m128i dup_u = _mm_setr_epi8(0, 1, 0, 1, 4, 5, 4, 5, 8, 9, 8, 9, 12, 13, 12, 13);
    const __m128i dup_v = _mm_setr_epi8(2, 3, 2, 3, 6, 7, 6, 7, 10, 11, 10, 11, 14, 15, 14, 15);
    const __m128i y = _mm_and_si128(yuy2, _mm_set1_epi16(0xFF)), uv = _mm_srli_epi16(yuy2, 8);
    const __m128i luma =
        _mm_mulhrs_epi16(_mm_slli_epi16(_mm_sub_epi16(y, _mm_set1_epi16(16)), 7), _mm_set1_epi16(kInvY));
    const __m128i centred = _mm_slli_epi16(_mm_sub_epi16(uv, _mm_set1_epi16(128)), 7);
    const __m128i cu = _mm_shuffle_epi8(centred, dup_u), cv = _mm_shuffle_epi8(centred, dup_v);
    const __m128i round = _mm_set1_epi16(32);
    b = _mm_adds_epi16(_mm_adds_epi16(luma, cu), _mm_mulhrs_epi16(cu, _mm_set1_epi16(kInvBUFraction)));
    g = _mm_subs_epi16(_mm_subs_epi16(luma, _mm_mulhrs_epi16(cu, _mm_set1_epi16(kInvGU))),
                       _mm_mulhrs_epi16(cv, _mm_set1_epi16(kInvGV)));
    r = _mm_adds_epi16(luma, _mm_mulhrs_epi16(cv, _mm_set1_epi16(kInvRV)));
    b = _mm_srai_epi16(_mm_adds_epi16(b, round), 6);
    g = _mm_srai_epi16(_mm_adds_epi16(g, round), 6);
    r = _mm_srai_epi16(_mm_adds_epi16(r, round), 6);
}

// 16 pixels per step; returns how many pixel pairs it converted.
__attribute__((target("ssse3"))) int YUY2RowToBGRSsse3(const uint8_t* __restrict s, uint8_t* __restrict d, int width) {
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        __m128i b0, g0, r0, b1, g1, r1;
        YUY2ToBGR8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 2 * x)), b0, g0, r0);
        YUY2ToBGR8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(s + 2 * x + 16)), b1, g1, r1);
        const __m128i b = _mm_packus_epi16(b0, b1), g = _mm_packus_epi16(g0, g1), r = _mm_packus_epi16(r0, r1);
        for (int part = 0; part < 3; ++part) {
            const __m128i out = _mm_or_si128(_mm_or_si128(_mm_shuffle_epi8(b, Mask(kScatter, 0, part)),
                                                          _mm_shuffle_epi8(g, Mask(kScatter, 1, part))),
                                             _mm_shuffle_epi8(r, Mask(kScatter, 2, part)));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 3 * x + 16 * part), out);
        }
    }
    return x / 2;
}
#endif

void YUY2RowToBGR(const uint8_t* __restrict s, uint8_t* __restrict d, int width) {
    int done = 0;
#if BV_IMAGING_X86
    if (HasSsse3()) done = YUY2RowToBGRSsse3(s, d, width);
#endif
    YUY2RowToBGRScalar(s, d, done, width);
}

// Splits two YUY2 rows into one luma row (of the first) and the chroma averaged over both rows.
// Writing the second luma row is left to the caller so an odd last row can pass itself twice.
BV_AVX2_CLONES void YUY2RowPairToPlanar(const uint8_t* __restrict s0, const uint8_t* __restrict s1,
                                        uint8_t* __restrict y, uint8_t* __restrict u, uint8_t* __restrict v,
                                        int uv_step, int width) {
    const int pairs = width / 2;
    for (int i = 0; i < pairs; ++i) {
        y[2 * i] = s0[4 * i];
        y[2 * i + 1] = s0[4 * i + 2];
        u[uv_step * i] = static_cast<uint8_t>((s0[4 * i + 1] + s1[4 * i + 1] + 1) >> 1);
        v[uv_step * i] = static_cast<uint8_t>((s0[4 * i + 3] + s1[4 * i + 3] + 1) >> 1);
    }
    if (width & 1) {
        const int x = width - 1;
        y[x] = s0[2 * x];
        u[uv_step * pairs] = static_cast<uint8_t>((s0[2 * x + 1] + s1[2 * x + 1] + 1) >> 1);
        v[uv_step * pairs] = static_cast<uint8_t>((TrailingCr(s0, width) + TrailingCr(s1, width) + 1) >> 1);
    }
}

BV_AVX2_CLONES void YUY2RowToLuma(const uint8_t* __restrict s, uint8_t* __restrict y, int width) {
    for (int x = 0; x < width; ++x) y[x] = s[2 * x];
}

BV_AVX2_CLONES void PlanarRowToYUY2(const uint8_t* __restrict y, const uint8_t* __restrict cb,
                                    const uint8_t* __restrict cr, uint8_t* __restrict d, int width) {
    const int pairs = width / 2;
    for (int i = 0; i < pairs; ++i) {
        d[4 * i] = y[2 * i];
        d[4 * i + 1] = cb[i];
        d[4 * i + 2] = y[2 * i + 1];
        d[4 * i + 3] = cr[i];
    }
    if (width & 1) {
        d[2 * (width - 1)] = y[width - 1];
        d[2 * (width - 1) + 1] = cb[pairs];
    }
}

// Cube root for 0.008856 <= y <= 1: a bit-level first guess (within 3.5 %) refined by one Halley
// step, within 3e-5 relative, far below one output step. Plain arithmetic keeps the loop
// vectorisable, which a library call would not.
inline float CubeRoot(float y) {
    const float t = std::bit_cast<float>(std::bit_cast<uint32_t>(y) / 3 + 709921077u);
    const float t3 = t * t * t;
    return t * (t3 + 2.0f * y) / (2.0f * t3 + y);
}

inline int32_t ToByte(float v) { return static_cast<int32_t>(std::clamp(v, 0.0f, 255.0f) + 0.5f); }

// The byte shuffling of packed pixels defeats the vectoriser, so pixels go through in blocks: the
// channels are spread into float arrays, converted by a branch-free loop the compiler vectorises,
// and packed back.
constexpr int kLuvBlock = 64;

BV_AVX2_CLONES void LuvBlock(const float* __restrict r, const float* __restrict g, const float* __restrict b,
                             int32_t* __restrict out) {
    constexpr float kUn = 0.19793943f, kVn = 0.46831096f, kScale = 1.0f / 255;
    for (int i = 0; i < kLuvBlock; ++i) {
        const float cx = (0.412453f * kScale) * r[i] + (0.357580f * kScale) * g[i] + (0.180423f * kScale) * b[i];
        const float cy = (0.212671f * kScale) * r[i] + (0.715160f * kScale) * g[i] + (0.072169f * kScale) * b[i];
        const float cz = (0.019334f * kScale) * r[i] + (0.119193f * kScale) * g[i] + (0.950227f * kScale) * b[i];
        // Both sides of each choice are computed and then selected, which is what lets the loop
        // vectorise; the clamped arguments keep the unused side finite.
        const float cube_root = CubeRoot(std::max(cy, 0.008856f));
        const float l = cy > 0.008856f ? 116.0f * cube_root - 16.0f : 903.3f * cy;
        const float den = cx + 15.0f * cy + 3.0f * cz;
        const float reciprocal = 1.0f / std::max(den, 1e-30f);
        const float inv = den > 0.0f ? reciprocal : 0.0f;
        const float cu = 13.0f * l * (4.0f * cx * inv - kUn), cv = 13.0f * l * (9.0f * cy * inv - kVn);
        out[i] = ToByte(l * (255.0f / 100)) | (ToByte((cu + 134.0f) * (255.0f / 354)) << 8) |
                 (ToByte((cv + 140.0f) * (255.0f / 262)) << 16);
    }
}

#if BV_IMAGING_X86
__attribute__((target("ssse3"))) inline void StoreAsFloats(__m128i bytes, float* out) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i lo = _mm_unpacklo_epi8(bytes, zero), hi = _mm_unpackhi_epi8(bytes, zero);
    _mm_storeu_ps(out, _mm_cvtepi32_ps(_mm_unpacklo_epi16(lo, zero)));
    _mm_storeu_ps(out + 4, _mm_cvtepi32_ps(_mm_unpackhi_epi16(lo, zero)));
    _mm_storeu_ps(out + 8, _mm_cvtepi32_ps(_mm_unpacklo_epi16(hi, zero)));
    _mm_storeu_ps(out + 12, _mm_cvtepi32_ps(_mm_unpackhi_epi16(hi, zero)));
}

__attribute__((target("ssse3"))) int SpreadChannels(const uint8_t* __restrict p, int n, float* __restrict c0,
                                                    float* __restrict c1, float* __restrict c2) {
    int i = 0;
    for (; i + 16 <= n; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 3 * i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 3 * i + 16));
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 3 * i + 32));
        StoreAsFloats(Planar(a, b, c, 0), c0 + i);
        StoreAsFloats(Planar(a, b, c, 1), c1 + i);
        StoreAsFloats(Planar(a, b, c, 2), c2 + i);
    }
    return i;
}

// Drops the fourth byte of 16 four-byte values and stores the 48 bytes left.
__attribute__((target("ssse3"))) int PackTriples(const int32_t* __restrict in, int n, uint8_t* __restrict p) {
    const __m128i pack = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    int i = 0;
    for (; i + 16 <= n; i += 16) {
        __m128i v[4];
        for (int k = 0; k < 4; ++k)
            v[k] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i + 4 * k)), pack);
        auto* out = reinterpret_cast<__m128i*>(p + 3 * i);
        _mm_storeu_si128(out, _mm_or_si128(v[0], _mm_slli_si128(v[1], 12)));
        _mm_storeu_si128(out + 1, _mm_or_si128(_mm_srli_si128(v[1], 4), _mm_slli_si128(v[2], 8)));
        _mm_storeu_si128(out + 2, _mm_or_si128(_mm_srli_si128(v[2], 8), _mm_slli_si128(v[3], 4)));
    }
    return i;
}
#endif

void RGBRowToLUV(const uint8_t* __restrict s, uint8_t* __restrict d, int width) {
    alignas(32) float r[kLuvBlock], g[kLuvBlock], b[kLuvBlock];
    alignas(32) int32_t luv[kLuvBlock];
#if BV_IMAGING_X86
    const bool ssse3 = HasSsse3();
#endif
    for (int x = 0; x < width; x += kLuvBlock) {
        const int n = std::min(kLuvBlock, width - x);
        const uint8_t* p = s + 3 * x;
        int i = 0;
#if BV_IMAGING_X86
        if (ssse3) i = SpreadChannels(p, n, r, g, b);
#endif
        for (; i < n; ++i) {
            r[i] = p[3 * i];
            g[i] = p[3 * i + 1];
            b[i] = p[3 * i + 2];
        }
        for (; i < kLuvBlock; ++i) r[i] = g[i] = b[i] = 0.0f;
        LuvBlock(r, g, b, luv);
        uint8_t* q = d + 3 * x;
        i = 0;
#if BV_IMAGING_X86
        if (ssse3) i = PackTriples(luv, n, q);
#endif
        for (; i < n; ++i) {
            q[3 * i] = static_cast<uint8_t>(luv[i]);
            q[3 * i + 1] = static_cast<uint8_t>(luv[i] >> 8);
            q[3 * i + 2] = static_cast<uint8_t>(luv[i] >> 16);
        }
    }
}

}  // namespace

int BGRToYUY2(const uint8_t* src, int sstride, uint8_t* dst, int dstride, int width, int height) {
    if (int status = CheckArgs(src, sstride, 3, dst, dstride, 2, width, height); status != kImgOk) return status;
    for (int row = 0; row < height; ++row) BGRRowToYUY2(src + Offset(row, sstride), dst + Offset(row, dstride), width);
    return kImgOk;
}

int YUY2ToBGR(const uint8_t* src, int sstride, uint8_t* dst, int dstride, int width, int height) {
    if (int status = CheckArgs(src, sstride, 2, dst, dstride, 3, width, height); status != kImgOk) return status;
    for (int row = 0; row < height; ++row) YUY2RowToBGR(src + Offset(row, sstride), dst + Offset(row, dstride), width);
    return kImgOk;
}

int YUY2ToI420(const uint8_t* src, int sstride, uint8_t* y, int ystride, uint8_t* u, int ustride, uint8_t* v,
               int vstride, int width, int height) {
    if (u == nullptr || v == nullptr) return kImgNullPtr;
    if (int status = CheckArgs(src, sstride, 2, y, ystride, 1, width, height); status != kImgOk) return status;
    const int chroma_width = (width + 1) / 2;
    if (!StrideCovers(ustride, chroma_width) || !StrideCovers(vstride, chroma_width)) return kImgBadStride;
    for (int row = 0; row < height; row += 2) {
        const int next = row + 1 < height ? row + 1 : row;
        const uint8_t* s0 = src + Offset(row, sstride);
        const uint8_t* s1 = src + Offset(next, sstride);
        YUY2RowPairToPlanar(s0, s1, y + Offset(row, ystride), u + Offset(row / 2, ustride),
                            v + Offset(row / 2, vstride), 1, width);
        if (next != row) YUY2RowToLuma(s1, y + Offset(next, ystride), width);
    }
    return kImgOk;
}

int YUY2ToNV12(const uint8_t* src, int sstride, uint8_t* y, int ystride, uint8_t* uv, int uvstride, int width,
               int height) {
    if (uv == nullptr) return kImgNullPtr;
    if (int status = CheckArgs(src, sstride, 2, y, ystride, 1, width, height); status != kImgOk) return status;
    if (!StrideCovers(uvstride, 2 * static_cast<int64_t>((width + 1) / 2))) return kImgBadStride;
    for (int row = 0; row < height; row += 2) {
        const int next = row + 1 < height ? row + 1 : row;
        const uint8_t* s0 = src + Offset(row, sstride);
        const uint8_t* s1 = src + Offset(next, sstride);
        uint8_t* chroma = uv + Offset(row / 2, uvstride);
        YUY2RowPairToPlanar(s0, s1, y + Offset(row, ystride), chroma, chroma + 1, 2, width);
        if (next != row) YUY2RowToLuma(s1, y + Offset(next, ystride), width);
    }
    return kImgOk;
}

int YCrCb420ToYUY2(const uint8_t* y, int ystride, const uint8_t* cr, int crstride, const uint8_t* cb, int cbstride,
                   uint8_t* dst, int dstride, int width, int height) {
    if (cr == nullptr || cb == nullptr) return kImgNullPtr;
    if (int status = CheckArgs(y, ystride, 1, dst, dstride, 2, width, height); status != kImgOk) return status;
    const int chroma_width = (width + 1) / 2;
    if (!StrideCovers(crstride, chroma_width) || !StrideCovers(cbstride, chroma_width)) return kImgBadStride;
    for (int row = 0; row < height; ++row) {
        PlanarRowToYUY2(y + Offset(row, ystride), cb + Offset(row / 2, cbstride), cr + Offset(row / 2, crstride),
                        dst + Offset(row, dstride), width);
    }
    return kImgOk;
}

int RGBToLUV(const uint8_t* src, int sstride, uint8_t* dst, int dstride, int width, int height) {
    if (int status = CheckArgs(src, sstride, 3, dst, dstride, 3, width, height); status != kImgOk) return status;
    for (int row = 0; row < height; ++row) RGBRowToLUV(src + Offset(row, sstride), dst + Offset(row, dstride), width);
    return kImgOk;
}
