// What the imaging module's files share: the switches for the vector code, the one-time processor
// check, and the argument check every operation begins with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "imaging/resize.h"

#if defined(__x86_64__) || defined(__i386__)
#define BV_IMAGING_X86 1
#else
#define BV_IMAGING_X86 0
#endif

// Plain loops get an AVX2 clone chosen at load time. The sanitizers cannot run the load-time
// resolver (it runs before they are set up), so their builds keep the baseline code only.
#if BV_IMAGING_X86 && !defined(BV_NO_IFUNC)
#define BV_AVX2_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define BV_AVX2_CLONES
#endif

namespace imaging_detail {

#if BV_IMAGING_X86
// SSSE3 (byte shuffles) is on every x86-64 desktop of the last fifteen years but not in the
// baseline the program is compiled for, hence the one-time check. The explicit init makes the
// check safe even from another file's static initialiser.
inline bool HasSsse3() {
    static const bool has = (__builtin_cpu_init(), __builtin_cpu_supports("ssse3"));
    return has;
}
inline bool HasAvx2() {
    static const bool has = (__builtin_cpu_init(), __builtin_cpu_supports("avx2"));
    return has;
}
#endif

inline ptrdiff_t Offset(int row, int stride) { return static_cast<ptrdiff_t>(row) * stride; }

// A stride, which may be negative for images walked bottom-up, must cover a whole row.
inline int CheckArgs(const uint8_t* src, int sstride, int sbpp, const uint8_t* dst, int dstride, int dbpp, int width,
                     int height) {
    if (src == nullptr || dst == nullptr) return kImgNullPtr;
    if (width <= 0 || height <= 0) return kImgBadSize;
    if (std::abs(static_cast<int64_t>(sstride)) < static_cast<int64_t>(width) * sbpp ||
        std::abs(static_cast<int64_t>(dstride)) < static_cast<int64_t>(width) * dbpp)
        return kImgBadStride;
    return kImgOk;
}

}  // namespace imaging_detail
