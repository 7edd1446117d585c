#include "imaging/resize.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "tests/imaging/test_pixels.h"

namespace {

// Exact bilinear sample with edge replication, in double.
double Reference(const std::vector<uint8_t>& src, int sw, int sh, int stride, int ch, int dw, int dh, int x, int y,
                 int c) {
    auto map = [](int d, int s_len, int d_len) {
        return std::clamp((d + 0.5) * s_len / d_len - 0.5, 0.0, static_cast<double>(s_len - 1));
    };
    const double sx = map(x, sw, dw), sy = map(y, sh, dh);
    const int x0 = static_cast<int>(sx), y0 = static_cast<int>(sy);
    const int x1 = std::min(x0 + 1, sw - 1), y1 = std::min(y0 + 1, sh - 1);
    const double fx = sx - x0, fy = sy - y0;
    auto at = [&](int xx, int yy) { return static_cast<double>(src[yy * stride + xx * ch + c]); };
    return (at(x0, y0) * (1 - fx) + at(x1, y0) * fx) * (1 - fy) + (at(x0, y1) * (1 - fx) + at(x1, y1) * fx) * fy;
}

void ExpectMatchesReference(int sw, int sh, int dw, int dh, int ch) {
    SCOPED_TRACE(testing::Message() << sw << "x" << sh << " -> " << dw << "x" << dh << " ch " << ch);
    const int sstride = sw * ch + 5, dstride = dw * ch;
    const auto src = RandomBytes(static_cast<size_t>(sstride) * sh, sw * 131 + dh);
    std::vector<uint8_t> dst(static_cast<size_t>(dstride) * dh);
    ASSERT_EQ(ResizeLinear(src.data(), sw, sh, sstride, dst.data(), dw, dh, dstride, ch), kImgOk);
    for (int y = 0; y < dh; ++y)
        for (int x = 0; x < dw; ++x)
            for (int c = 0; c < ch; ++c)
                ASSERT_NEAR(dst[y * dstride + x * ch + c], Reference(src, sw, sh, sstride, ch, dw, dh, x, y, c), 1.0)
                    << "at " << x << "," << y << " channel " << c;
}

}  // namespace

TEST(ResizeLinear, SameSizeCopiesExactly) {
    const auto src = RandomBytes(13 * 4 * 3, 1);
    std::vector<uint8_t> dst(13 * 4 * 3);
    ASSERT_EQ(ResizeLinear(src.data(), 13, 3, 13 * 4, dst.data(), 13, 3, 13 * 4, 4), kImgOk);
    EXPECT_EQ(dst, src);
}

TEST(ResizeLinear, DoublingTwoByTwoMatchesHandComputedBilinear) {
    // Channel 0 holds 0 100 / 200 40; channel 1 a constant, channel 2 its complement.
    const uint8_t src[12] = {0, 7, 255, 100, 7, 155, 200, 7, 55, 40, 7, 215};
    uint8_t dst[4 * 4 * 3];
    ASSERT_EQ(ResizeLinear(src, 2, 2, 6, dst, 4, 4, 12, 3), kImgOk);
    const int expected[4][4] = {{0, 25, 75, 100}, {50, 59, 76, 85}, {150, 126, 79, 55}, {200, 160, 80, 40}};
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            EXPECT_EQ(dst[y * 12 + x * 3], expected[y][x]) << x << "," << y;
            EXPECT_EQ(dst[y * 12 + x * 3 + 1], 7);
            EXPECT_EQ(dst[y * 12 + x * 3 + 2], 255 - expected[y][x]);
        }
}

TEST(ResizeLinear, SamplesBeyondTheEdgeRepeatTheEdgePixel) {
    const uint8_t src[8] = {10, 20, 30, 40, 210, 220, 230, 240};  // two RGBA pixels in one row
    uint8_t dst[8 * 3 * 4];
    ASSERT_EQ(ResizeLinear(src, 2, 1, 8, dst, 8, 3, 32, 4), kImgOk);
    for (int y = 0; y < 3; ++y)
        for (int c = 0; c < 4; ++c) {
            EXPECT_EQ(dst[y * 32 + c], src[c]);
            EXPECT_EQ(dst[y * 32 + 4 + c], src[c]);
            EXPECT_EQ(dst[y * 32 + 24 + c], src[4 + c]);
            EXPECT_EQ(dst[y * 32 + 28 + c], src[4 + c]);
        }
}

TEST(ResizeLinear, OddSizesMatchExactBilinearWithinOne) {
    for (int ch : {3, 4}) {
        ExpectMatchesReference(7, 5, 13, 3, ch);
        ExpectMatchesReference(17, 11, 5, 9, ch);
        ExpectMatchesReference(1, 1, 3, 2, ch);
        ExpectMatchesReference(64, 36, 64, 17, ch);
        ExpectMatchesReference(33, 9, 120, 41, ch);
    }
}

TEST(ResizeLinear, BottomUpSourceComesOutUpright) {
    const int sw = 9, sh = 6, dw = 5, dh = 4, row = sw * 3;
    const auto src = RandomBytes(row * sh, 7);
    std::vector<uint8_t> flipped(src.size());
    for (int y = 0; y < sh; ++y) std::copy_n(&src[y * row], row, &flipped[(sh - 1 - y) * row]);
    std::vector<uint8_t> expected(dw * 3 * dh), actual(dw * 3 * dh);
    ASSERT_EQ(ResizeLinear(src.data(), sw, sh, row, expected.data(), dw, dh, dw * 3, 3), kImgOk);
    ASSERT_EQ(ResizeLinear(&flipped[(sh - 1) * row], sw, sh, -row, actual.data(), dw, dh, dw * 3, 3), kImgOk);
    EXPECT_EQ(actual, expected);
}

TEST(ResizeLinear, RejectsBadArguments) {
    uint8_t src[64] = {}, dst[64] = {};
    EXPECT_EQ(ResizeLinear(nullptr, 2, 2, 6, dst, 2, 2, 6, 3), kImgNullPtr);
    EXPECT_EQ(ResizeLinear(src, 2, 2, 6, nullptr, 2, 2, 6, 3), kImgNullPtr);
    EXPECT_EQ(ResizeLinear(src, 0, 2, 6, dst, 2, 2, 6, 3), kImgBadSize);
    EXPECT_EQ(ResizeLinear(src, 2, 2, 6, dst, 2, -1, 6, 3), kImgBadSize);
    EXPECT_EQ(ResizeLinear(src, 2, 2, 6, dst, 2, 2, 6, 2), kImgBadChannels);
    EXPECT_EQ(ResizeLinear(src, 2, 2, 4, dst, 2, 2, 8, 5), kImgBadChannels);
    EXPECT_EQ(ResizeLinear(src, 2, 2, 5, dst, 2, 2, 6, 3), kImgBadStride);
    EXPECT_EQ(ResizeLinear(src, 2, 2, 8, dst, 3, 2, 8, 4), kImgBadStride);
}
