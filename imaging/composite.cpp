#include "imaging/composite.h"

#include <cstddef>
#include <cstdlib>
#include <cstring>

#include "imaging/resize.h"
#include "imaging/simd.h"

#if BV_IMAGING_X86
#include <immintrin.h>
#endif

namespace {

using namespace imaging_detail;

// round(x / 255) for x in 0..255 * 255, without a division: exact over that whole range.
inline uint32_t Div255(uint32_t x) {
    x += 128;
    return (x + (x >> 8)) >> 8;
}

void C3ToAC4Scalar(const uint8_t* __restrict s, uint8_t* __restrict d, int x, int width) {
    for (; x < width; ++x) {
        d[4 * x] = s[3 * x];
        d[4 * x + 1] = s[3 * x + 1];
        d[4 * x + 2] = s[3 * x + 2];
    }
}

void AC4ToC3Scalar(const uint8_t* __restrict s, uint8_t* __restrict d, int x, int width) {
    for (; x < width; ++x) {
        d[3 * x] = s[4 * x];
        d[3 * x + 1] = s[4 * x + 1];
        d[3 * x + 2] = s[4 * x + 2];
    }
}

// Alpha 255 and 0 come out exact from the same arithmetic, so no pixel needs a special case.
void AlphaOverScalar(const uint8_t* __restrict s, uint8_t* __restrict d, int x, int width) {
    for (; x < width; ++x) {
        const uint32_t a = s[4 * x + 3], na = 255 - a;
        d[3 * x] = static_cast<uint8_t>(Div255(s[4 * x] * a + d[3 * x] * na));
        d[3 * x + 1] = static_cast<uint8_t>(Div255(s[4 * x + 1] * a + d[3 * x + 1] * na));
        d[3 * x + 2] = static_cast<uint8_t>(Div255(s[4 * x + 2] * a + d[3 * x + 2] * na));
    }
}

void KeyedScalar(const uint8_t* __restrict s, uint8_t* __restrict d, int x, int width, uint8_t kb, uint8_t kg,
                 uint8_t kr) {
    for (; x < width; ++x) {
        if (s[3 * x] == kb && s[3 * x + 1] == kg && s[3 * x + 2] == kr) continue;
        d[3 * x] = s[3 * x];
        d[3 * x + 1] = s[3 * x + 1];
        d[3 * x + 2] = s[3 * x + 2];
    }
}

// The canvas is 3 bytes per pixel while overlays carry alpha, so the vector kernels below work on
// 16 pixels at a time: 48 packed bytes are spread to four vectors of 4-byte pixels (fourth byte
// zero), processed there, and packed back.
#if BV_IMAGING_X86
struct Pixels16 {
    __m128i v[4];
};

__attribute__((target("ssse3"))) inline Pixels16 Spread(const uint8_t* p) {
    const __m128i spread = _mm_setr_epi8(0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1);
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 32));
    return {{_mm_shuffle_epi8(a, spread), _mm_shuffle_epi8(_mm_alignr_epi8(b, a, 12), spread),
             _mm_shuffle_epi8(_mm_alignr_epi8(c, b, 8), spread), _mm_shuffle_epi8(_mm_srli_si128(c, 4), spread)}};
}

__attribute__((target("ssse3"))) inline void Pack(const Pixels16& px, uint8_t* p) {
    const __m128i pack = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    const __m128i a = _mm_shuffle_epi8(px.v[0], pack), b = _mm_shuffle_epi8(px.v[1], pack);
    const __m128i c = _mm_shuffle_epi8(px.v[2], pack), d = _mm_shuffle_epi8(px.v[3], pack);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm_or_si128(a, _mm_slli_si128(b, 12)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 16), _mm_or_si128(_mm_srli_si128(b, 4), _mm_slli_si128(c, 8)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 32), _mm_or_si128(_mm_srli_si128(c, 8), _mm_slli_si128(d, 4)));
}

__attribute__((target("ssse3"))) inline Pixels16 Load4(const uint8_t* p) {
    Pixels16 px;
    for (int i = 0; i < 4; ++i) px.v[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
    return px;
}

__attribute__((target("ssse3"))) int C3ToAC4Ssse3(const uint8_t* __restrict s, uint8_t* __restrict d, int width) {
    const __m128i keep = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        const Pixels16 colour = Spread(s + 3 * x);
        for (int i = 0; i < 4; ++i) {
            auto* out = reinterpret_cast<__m128i*>(d + 4 * x + 16 * i);
            _mm_storeu_si128(out, _mm_or_si128(colour.v[i], _mm_and_si128(_mm_loadu_si128(out), keep)));
        }
    }
    return x;
}

__attribute__((target("ssse3"))) int AC4ToC3Ssse3(const uint8_t* __restrict s, uint8_t* __restrict d, int width) {
    int x = 0;
    for (; x + 16 <= width; x += 16) Pack(Load4(s + 4 * x), d + 3 * x);
    return x;
}

// (s a + d (255 - a) + 128) and the division by 255 both stay inside unsigned 16-bit lanes.
inline __m128i BlendHalf(__m128i s, __m128i d, __m128i a) {
    const __m128i t =
        _mm_add_epi16(_mm_add_epi16(_mm_mullo_epi16(s, a), _mm_mullo_epi16(d, _mm_sub_epi16(_mm_set1_epi16(255), a))),
                      _mm_set1_epi16(128));
    return _mm_srli_epi16(_mm_add_epi16(t, _mm_srli_epi16(t, 8)), 8);
}

__attribute__((target("ssse3"))) int AlphaOverSsse3(const uint8_t* __restrict s, uint8_t* __restrict d, int width) {
    const __m128i alpha_bytes = _mm_set1_epi32(static_cast<int>(0xFF000000u));
    const __m128i alpha_lo = _mm_setr_epi8(3, -1, 3, -1, 3, -1, 3, -1, 7, -1, 7, -1, 7, -1, 7, -1);
    const __m128i alpha_hi = _mm_setr_epi8(11, -1, 11, -1, 11, -1, 11, -1, 15, -1, 15, -1, 15, -1, 15, -1);
    const __m128i zero = _mm_setzero_si128();
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        const Pixels16 src = Load4(s + 4 * x);
        // Overlays are mostly fully transparent or fully opaque: skip or copy such blocks whole.
        const __m128i any = _mm_or_si128(_mm_or_si128(src.v[0], src.v[1]), _mm_or_si128(src.v[2], src.v[3]));
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(any, alpha_bytes), zero)) == 0xFFFF) continue;
        const __m128i all = _mm_and_si128(_mm_and_si128(src.v[0], src.v[1]), _mm_and_si128(src.v[2], src.v[3]));
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(all, alpha_bytes), alpha_bytes)) == 0xFFFF) {
            Pack(src, d + 3 * x);
            continue;
        }
        Pixels16 dst = Spread(d + 3 * x);
        for (int i = 0; i < 4; ++i) {
            const __m128i lo = BlendHalf(_mm_unpacklo_epi8(src.v[i], zero), _mm_unpacklo_epi8(dst.v[i], zero),
                                         _mm_shuffle_epi8(src.v[i], alpha_lo));
            const __m128i hi = BlendHalf(_mm_unpackhi_epi8(src.v[i], zero), _mm_unpackhi_epi8(dst.v[i], zero),
                                         _mm_shuffle_epi8(src.v[i], alpha_hi));
            dst.v[i] = _mm_packus_epi16(lo, hi);
        }
        Pack(dst, d + 3 * x);
    }
    return x;
}

__attribute__((target("ssse3"))) int KeyedSsse3(const uint8_t* __restrict s, uint8_t* __restrict d, int width,
                                                uint8_t kb, uint8_t kg, uint8_t kr) {
    const __m128i key = _mm_set1_epi32(kb | (kg << 8) | (kr << 16));
    const __m128i pack = _mm_setr_epi8(0, 1, 2, 4, 5, 6, 8, 9, 10, 12, 13, 14, -1, -1, -1, -1);
    int x = 0;
    for (; x + 16 <= width; x += 16) {
        const Pixels16 src = Spread(s + 3 * x);
        __m128i keyed[4];
        for (int i = 0; i < 4; ++i) keyed[i] = _mm_cmpeq_epi32(src.v[i], key);
        const __m128i any = _mm_or_si128(_mm_or_si128(keyed[0], keyed[1]), _mm_or_si128(keyed[2], keyed[3]));
        const auto* in = reinterpret_cast<const __m128i*>(s + 3 * x);
        auto* out = reinterpret_cast<__m128i*>(d + 3 * x);
        if (_mm_movemask_epi8(any) == 0) {
            for (int i = 0; i < 3; ++i) _mm_storeu_si128(out + i, _mm_loadu_si128(in + i));
            continue;
        }
        // Pack the per-pixel masks like pixels, so they line up with the packed bytes.
        const __m128i a = _mm_shuffle_epi8(keyed[0], pack), b = _mm_shuffle_epi8(keyed[1], pack);
        const __m128i c = _mm_shuffle_epi8(keyed[2], pack), e = _mm_shuffle_epi8(keyed[3], pack);
        const __m128i masks[3] = {_mm_or_si128(a, _mm_slli_si128(b, 12)),
                                  _mm_or_si128(_mm_srli_si128(b, 4), _mm_slli_si128(c, 8)),
                                  _mm_or_si128(_mm_srli_si128(c, 8), _mm_slli_si128(e, 4))};
        for (int i = 0; i < 3; ++i) {
            const __m128i old = _mm_loadu_si128(out + i);
            _mm_storeu_si128(out + i, _mm_or_si128(_mm_and_si128(masks[i], old),
                                                   _mm_andnot_si128(masks[i], _mm_loadu_si128(in + i))));
        }
    }
    return x;
}
#endif

void C3ToAC4Row(const uint8_t* __restrict s, uint8_t* __restrict d, int width) {
    int x = 0;
#if BV_IMAGING_X86
    if (HasSsse3()) x = C3ToAC4Ssse3(s, d, width);
#endif
    C3ToAC4Scalar(s, d, x, width);
}

void AC4ToC3Row(const uint8_t* __restrict s, uint8_t* __restrict d, int width) {
    int x = 0;
#if BV_IMAGING_X86
    if (HasSsse3()) x = AC4ToC3Ssse3(s, d, width);
#endif
    AC4ToC3Scalar(s, d, x, width);
}

void AlphaOverRow(const uint8_t* __restrict s, uint8_t* __restrict d, int width) {
    int x = 0;
#if BV_IMAGING_X86
    if (HasSsse3()) x = AlphaOverSsse3(s, d, width);
#endif
    AlphaOverScalar(s, d, x, width);
}

void KeyedRow(const uint8_t* __restrict s, uint8_t* __restrict d, int width, uint8_t kb, uint8_t kg, uint8_t kr) {
    int x = 0;
#if BV_IMAGING_X86
    if (HasSsse3()) x = KeyedSsse3(s, d, width, kb, kg, kr);
#endif
    KeyedScalar(s, d, x, width, kb, kg, kr);
}

// Plain SSE2 is part of x86-64, so this one needs no check; elsewhere the loop is left to the
// compiler.
void BlendRow(const uint8_t* __restrict s, uint8_t* __restrict d, int count, uint32_t alpha) {
    int i = 0;
#if BV_IMAGING_X86
    const __m128i a = _mm_set1_epi16(static_cast<int16_t>(alpha));
    const __m128i zero = _mm_setzero_si128();
    for (; i + 16 <= count; i += 16) {
        const __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        auto* out = reinterpret_cast<__m128i*>(d + i);
        const __m128i dv = _mm_loadu_si128(out);
        const __m128i lo = BlendHalf(_mm_unpacklo_epi8(sv, zero), _mm_unpacklo_epi8(dv, zero), a);
        const __m128i hi = BlendHalf(_mm_unpackhi_epi8(sv, zero), _mm_unpackhi_epi8(dv, zero), a);
        _mm_storeu_si128(out, _mm_packus_epi16(lo, hi));
    }
#endif
    const uint32_t inverse = 255 - alpha;
    for (; i < count; ++i) d[i] = static_cast<uint8_t>(Div255(s[i] * alpha + d[i] * inverse));
}

// Builds one row by doubling the filled prefix, then copies it to the others: memcpy-speed for any
// pixel size, aligned or not.
int FillPixels(uint8_t* dst, int dstride, int width, int height, const uint8_t* value, int bpp) {
    if (dst == nullptr || value == nullptr) return kImgNullPtr;
    if (width <= 0 || height <= 0) return kImgBadSize;
    const size_t row_bytes = static_cast<size_t>(width) * bpp;
    if (static_cast<uint64_t>(std::abs(static_cast<int64_t>(dstride))) < row_bytes) return kImgBadStride;
    std::memcpy(dst, value, bpp);
    for (size_t filled = bpp; filled < row_bytes;) {
        const size_t n = filled < row_bytes - filled ? filled : row_bytes - filled;
        std::memcpy(dst + filled, dst, n);
        filled += n;
    }
    for (int y = 1; y < height; ++y) std::memcpy(dst + Offset(y, dstride), dst, row_bytes);
    return kImgOk;
}

}  // namespace

int CopyC3ToAC4(const uint8_t* src, int sstride, uint8_t* dst, int dstride, int width, int height) {
    if (int status = CheckArgs(src, sstride, 3, dst, dstride, 4, width, height); status != kImgOk) return status;
    for (int y = 0; y < height; ++y) C3ToAC4Row(src + Offset(y, sstride), dst + Offset(y, dstride), width);
    return kImgOk;
}

int CopyAC4ToC3(const uint8_t* src, int sstride, uint8_t* dst, int dstride, int width, int height) {
    if (int status = CheckArgs(src, sstride, 4, dst, dstride, 3, width, height); status != kImgOk) return status;
    for (int y = 0; y < height; ++y) AC4ToC3Row(src + Offset(y, sstride), dst + Offset(y, dstride), width);
    return kImgOk;
}

int AlphaOverBGRAOntoBGR(const uint8_t* src, int sstride, uint8_t* dst, int dstride, int width, int height) {
    if (int status = CheckArgs(src, sstride, 4, dst, dstride, 3, width, height); status != kImgOk) return status;
    for (int y = 0; y < height; ++y) AlphaOverRow(src + Offset(y, sstride), dst + Offset(y, dstride), width);
    return kImgOk;
}

int BlendConstAlphaBGR(const uint8_t* src, int sstride, uint8_t* dst, int dstride, int width, int height,
                       uint8_t alpha) {
    if (int status = CheckArgs(src, sstride, 3, dst, dstride, 3, width, height); status != kImgOk) return status;
    if (alpha == 0) return kImgOk;
    const size_t row_bytes = static_cast<size_t>(width) * 3;
    for (int y = 0; y < height; ++y) {
        const uint8_t* s = src + Offset(y, sstride);
        uint8_t* d = dst + Offset(y, dstride);
        if (alpha == 255) {
            std::memcpy(d, s, row_bytes);
        } else {
            BlendRow(s, d, static_cast<int>(row_bytes), alpha);
        }
    }
    return kImgOk;
}

int CopyKeyedBGR(const uint8_t* src, int sstride, uint8_t* dst, int dstride, int width, int height, uint8_t key_b,
                 uint8_t key_g, uint8_t key_r) {
    if (int status = CheckArgs(src, sstride, 3, dst, dstride, 3, width, height); status != kImgOk) return status;
    for (int y = 0; y < height; ++y)
        KeyedRow(src + Offset(y, sstride), dst + Offset(y, dstride), width, key_b, key_g, key_r);
    return kImgOk;
}

int FillC3(uint8_t* dst, int dstride, int width, int height, const uint8_t value[3]) {
    return FillPixels(dst, dstride, width, height, value, 3);
}

int FillC4(uint8_t* dst, int dstride, int width, int height, const uint8_t value[4]) {
    return FillPixels(dst, dstride, width, height, value, 4);
}
