#include "imaging/deinterlace.h"

#include <gtest/gtest.h>

#include <vector>

#include "imaging/resize.h"
#include "tests/imaging/test_pixels.h"

TEST(Deinterlace, KeepsTheFirstFieldAndCopiesTheLastOddRowFromAbove) {
    const int w = 11, h = 6, stride = 13;
    const auto src = RandomBytes(stride * h, 1);
    std::vector<uint8_t> dst(stride * h, 0);
    ASSERT_EQ(DeinterlaceFilter(src.data(), stride, dst.data(), stride, w, h, 2041), kImgOk);
    for (int y = 0; y < h; y += 2)
        for (int x = 0; x < w; ++x) EXPECT_EQ(dst[y * stride + x], src[y * stride + x]) << x << "," << y;
    for (int x = 0; x < w; ++x) EXPECT_EQ(dst[5 * stride + x], src[4 * stride + x]);
}

TEST(Deinterlace, RebuildsAVerticalGradientExactlyInPlace) {
    const int w = 9, h = 9;
    std::vector<uint8_t> image(w * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) image[y * w + x] = static_cast<uint8_t>(10 + 3 * y + (y % 2 ? 77 : 0));
    ASSERT_EQ(DeinterlaceFilter(image.data(), w, image.data(), w, w, h, 2041), kImgOk);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) EXPECT_EQ(image[y * w + x], 10 + 3 * y) << x << "," << y;
}

TEST(Deinterlace, FollowsDiagonalEdgesAtFullThreshold) {
    // 45-degree edges leaning either way: the odd rows are recoverable exactly along the edge,
    // where a vertical mean would leave an intermediate grey.
    const int w = 40, h = 8;
    for (int lean : {1, -1}) {
        std::vector<uint8_t> progressive(w * h), weave(w * h), out(w * h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                progressive[y * w + x] = x > lean * y + 20 ? 200 : 40;
                weave[y * w + x] = y % 2 ? 0 : progressive[y * w + x];
            }
        ASSERT_EQ(DeinterlaceFilter(weave.data(), w, out.data(), w, w, h, 2041), kImgOk);
        for (int y = 1; y < h - 1; y += 2)
            for (int x = 0; x < w; ++x)
                EXPECT_EQ(out[y * w + x], progressive[y * w + x]) << x << "," << y << " lean " << lean;
    }
}

TEST(Deinterlace, ZeroThresholdAveragesTheRowsAroundEachOddRow) {
    const int w = 37, h = 7;
    const auto src = RandomBytes(w * h, 3);
    std::vector<uint8_t> out(w * h);
    ASSERT_EQ(DeinterlaceFilter(src.data(), w, out.data(), w, w, h, 0), kImgOk);
    for (int y = 1; y < h; y += 2)
        for (int x = 0; x < w; ++x)
            EXPECT_EQ(out[y * w + x], (src[(y - 1) * w + x] + src[(y + 1) * w + x] + 1) / 2) << x << "," << y;
}

TEST(Deinterlace, EdgeIsFollowedOnlyWhenItsMismatchIsBelowTheThreshold) {
    // A diagonal edge whose field rows alternate between two levels 4 apart: along the edge every pair differs by 4,
    // a mismatch of 8 x 4 = 32 in threshold units; every other direction crossing the edge costs
    // more. Flat areas tie, and ties stay vertical.
    const int w = 24, h = 6;
    std::vector<uint8_t> weave(w * h, 0), out(w * h);
    auto progressive = [](int x, int y) { return x > y + 10 ? 200 : 40; };
    for (int y = 0; y < h; y += 2)
        for (int x = 0; x < w; ++x) weave[y * w + x] = static_cast<uint8_t>(progressive(x, y) + (y / 2 % 2) * 4);
    ASSERT_EQ(DeinterlaceFilter(weave.data(), w, out.data(), w, w, h, 33), kImgOk);
    for (int y = 1; y < h - 1; y += 2)
        for (int x = 0; x < w; ++x) EXPECT_EQ(out[y * w + x], progressive(x, y) + 2) << x << "," << y;
    ASSERT_EQ(DeinterlaceFilter(weave.data(), w, out.data(), w, w, h, 32), kImgOk);
    for (int y = 1; y < h - 1; y += 2)
        for (int x = 0; x < w; ++x)
            EXPECT_EQ(out[y * w + x], (weave[(y - 1) * w + x] + weave[(y + 1) * w + x] + 1) / 2) << x << "," << y;
}

TEST(Deinterlace, InPlaceMatchesSeparateOutput) {
    const int w = 37, h = 15;
    auto image = RandomBytes(w * h, 2);
    std::vector<uint8_t> separate(w * h);
    for (int threshold : {0, 300, 2041}) {
        auto in_place = image;
        ASSERT_EQ(DeinterlaceFilter(image.data(), w, separate.data(), w, w, h, threshold), kImgOk);
        ASSERT_EQ(DeinterlaceFilter(in_place.data(), w, in_place.data(), w, w, h, threshold), kImgOk);
        EXPECT_EQ(in_place, separate) << "threshold " << threshold;
    }
}

TEST(Deinterlace, RejectsBadArguments) {
    uint8_t a[16] = {}, b[16] = {};
    EXPECT_EQ(DeinterlaceFilter(nullptr, 4, b, 4, 4, 4, 0), kImgNullPtr);
    EXPECT_EQ(DeinterlaceFilter(a, 4, b, 4, 0, 4, 0), kImgBadSize);
    EXPECT_EQ(DeinterlaceFilter(a, 3, b, 4, 4, 4, 0), kImgBadStride);
    EXPECT_EQ(DeinterlaceFilter(a, 4, a, -4, 4, 4, 0), kImgBadStride);
}
