#include "imaging/composite.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "imaging/resize.h"
#include "tests/imaging/test_pixels.h"

namespace {

uint8_t Mix(int s, int d, int a) { return static_cast<uint8_t>(std::lround((s * a + d * (255 - a)) / 255.0)); }

}  // namespace

TEST(Composite, ChannelCopiesLeaveTheFourthByteAlone) {
    const int w = 21, h = 2;
    const auto c3 = RandomBytes(w * 3 * h, 1);
    std::vector<uint8_t> c4(w * 4 * h, 0x5A), back(c3.size());
    ASSERT_EQ(CopyC3ToAC4(c3.data(), w * 3, c4.data(), w * 4, w, h), kImgOk);
    for (int i = 0; i < w * h; ++i) {
        for (int c = 0; c < 3; ++c) EXPECT_EQ(c4[i * 4 + c], c3[i * 3 + c]) << "pixel " << i;
        EXPECT_EQ(c4[i * 4 + 3], 0x5A) << "pixel " << i;
    }
    ASSERT_EQ(CopyAC4ToC3(c4.data(), w * 4, back.data(), w * 3, w, h), kImgOk);
    EXPECT_EQ(back, c3);
}

TEST(Composite, AlphaOverUsesEachSourcePixelsAlpha) {
    // Rows mix long transparent and opaque runs with partial alpha so every path of the row walk
    // is taken; each pixel must still equal the rounded source-over value.
    const int w = 100, h = 4;
    auto src = RandomBytes(w * 4 * h, 2);
    for (int x = 0; x < w; ++x) {
        src[(0 * w + x) * 4 + 3] = x < 40 ? 0 : x < 70 ? 255 : x % 3 ? 128 : 0;
        src[(1 * w + x) * 4 + 3] = (x / 17) % 2 ? 255 : 0;
        src[(2 * w + x) * 4 + 3] = x % 2 ? 255 : 1;
    }
    const auto before = RandomBytes(w * 3 * h, 3);
    auto dst = before;
    ASSERT_EQ(AlphaOverBGRAOntoBGR(src.data(), w * 4, dst.data(), w * 3, w, h), kImgOk);
    for (int i = 0; i < w * h; ++i) {
        const int a = src[i * 4 + 3];
        for (int c = 0; c < 3; ++c) {
            ASSERT_EQ(dst[i * 3 + c], Mix(src[i * 4 + c], before[i * 3 + c], a)) << "pixel " << i << " alpha " << a;
        }
    }
}

TEST(Composite, BlendConstAlphaAtZeroHalfAndFull) {
    const auto src = RandomBytes(11 * 3 * 3, 4), before = RandomBytes(11 * 3 * 3, 5);
    for (int a : {0, 1, 128, 254, 255}) {
        auto dst = before;
        ASSERT_EQ(BlendConstAlphaBGR(src.data(), 33, dst.data(), 33, 11, 3, static_cast<uint8_t>(a)), kImgOk);
        for (size_t i = 0; i < dst.size(); ++i) ASSERT_EQ(dst[i], Mix(src[i], before[i], a)) << "alpha " << a;
    }
}

TEST(Composite, KeyedCopySkipsOnlyExactKeyPixels) {
    // Black text on white, keyed on white, over a grey canvas; a near-white pixel is not the key.
    // The second row is all background, so nothing of it may be copied.
    const int w = 37, h = 2;
    std::vector<uint8_t> src(w * 3 * h, 255), dst(w * 3 * h, 90);
    auto is_text = [](int p) { return p < 37 && (p % 5 == 1 || p % 7 == 3); };
    for (int p = 0; p < w * h; ++p)
        if (is_text(p)) src[p * 3] = src[p * 3 + 1] = src[p * 3 + 2] = 0;
    src[4 * 3 + 1] = 254;
    ASSERT_EQ(CopyKeyedBGR(src.data(), w * 3, dst.data(), w * 3, w, h, 255, 255, 255), kImgOk);
    for (int p = 0; p < w * h; ++p) {
        const bool copied = is_text(p) || p == 4;
        for (int c = 0; c < 3; ++c) EXPECT_EQ(dst[p * 3 + c], copied ? src[p * 3 + c] : 90) << "pixel " << p;
    }
}

TEST(Composite, NegativeStrideReadsBottomUpSources) {
    const int w = 19, h = 4;
    const auto src = RandomBytes(w * 4 * h, 6);  // stored bottom-up: row 0 in memory is the image's last
    std::vector<uint8_t> dst(w * 3 * h, 0), blended(w * 3 * h, 40);
    ASSERT_EQ(CopyAC4ToC3(src.data() + (h - 1) * w * 4, -w * 4, dst.data(), w * 3, w, h), kImgOk);
    ASSERT_EQ(AlphaOverBGRAOntoBGR(src.data() + (h - 1) * w * 4, -w * 4, blended.data(), w * 3, w, h), kImgOk);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) {
                const uint8_t* s = &src[((h - 1 - y) * w + x) * 4];
                EXPECT_EQ(dst[(y * w + x) * 3 + c], s[c]);
                EXPECT_EQ(blended[(y * w + x) * 3 + c], Mix(s[c], 40, s[3]));
            }
}

TEST(Composite, FillsWriteOnlyTheRegion) {
    const uint8_t bgr[3] = {1, 2, 3}, bgra[4] = {4, 5, 6, 7};
    std::vector<uint8_t> c3(23 * 3, 0xEE), c4(24 * 2, 0xEE);  // rows padded to 23 and 24 bytes
    ASSERT_EQ(FillC3(c3.data(), 23, 7, 3, bgr), kImgOk);
    ASSERT_EQ(FillC4(c4.data(), 24, 5, 2, bgra), kImgOk);
    for (size_t i = 0; i < c3.size(); ++i) EXPECT_EQ(c3[i], i % 23 < 21 ? bgr[i % 23 % 3] : 0xEE) << i;
    for (size_t i = 0; i < c4.size(); ++i) EXPECT_EQ(c4[i], i % 24 < 20 ? bgra[i % 24 % 4] : 0xEE) << i;
}

TEST(Composite, RejectsBadArguments) {
    uint8_t a[64] = {}, b[64] = {};
    EXPECT_EQ(AlphaOverBGRAOntoBGR(nullptr, 8, b, 6, 2, 1), kImgNullPtr);
    EXPECT_EQ(AlphaOverBGRAOntoBGR(a, 6, b, 6, 2, 1), kImgBadStride);
    EXPECT_EQ(BlendConstAlphaBGR(a, 6, b, -5, 2, 1, 9), kImgBadStride);
    EXPECT_EQ(CopyKeyedBGR(a, 6, b, 6, 2, 0, 0, 0, 0), kImgBadSize);
    EXPECT_EQ(FillC3(a, 6, 3, 1, b), kImgBadStride);
    EXPECT_EQ(FillC4(nullptr, 8, 2, 1, b), kImgNullPtr);
}
