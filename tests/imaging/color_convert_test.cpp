#include "imaging/color_convert.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "imaging/resize.h"
#include "tests/imaging/test_pixels.h"

namespace {

struct Yuv {
    double y, u, v;
};

// BT.601 studio range straight from the defining formulas.
Yuv ToYuv(double r, double g, double b) {
    return {16 + (65.481 * r + 128.553 * g + 24.966 * b) / 255, 128 + (-37.797 * r - 74.203 * g + 112.0 * b) / 255,
            128 + (112.0 * r - 93.786 * g - 18.214 * b) / 255};
}

void ToBgr(double y, double u, double v, double out[3]) {
    const double l = (y - 16) * 255 / 219, cb = (u - 128) * 255 / 224, cr = (v - 128) * 255 / 224;
    out[0] = std::clamp(l + 1.772 * cb, 0.0, 255.0);
    out[1] = std::clamp(l - 0.344136 * cb - 0.714136 * cr, 0.0, 255.0);
    out[2] = std::clamp(l + 1.402 * cr, 0.0, 255.0);
}

void ExpectPairEncodesAs(int r, int g, int b, int y, int u, int v) {
    uint8_t bgr[6] = {static_cast<uint8_t>(b), static_cast<uint8_t>(g), static_cast<uint8_t>(r),
                      static_cast<uint8_t>(b), static_cast<uint8_t>(g), static_cast<uint8_t>(r)};
    uint8_t out[4];
    ASSERT_EQ(BGRToYUY2(bgr, 6, out, 4, 2, 1), kImgOk);
    EXPECT_EQ(out[0], y);
    EXPECT_EQ(out[1], u);
    EXPECT_EQ(out[2], y);
    EXPECT_EQ(out[3], v);
}

}  // namespace

TEST(ColorConvert, BGRToYUY2KnownColours) {
    ExpectPairEncodesAs(0, 0, 0, 16, 128, 128);
    ExpectPairEncodesAs(255, 255, 255, 235, 128, 128);
    ExpectPairEncodesAs(255, 0, 0, 81, 90, 240);
    ExpectPairEncodesAs(0, 255, 0, 145, 54, 34);
    ExpectPairEncodesAs(0, 0, 255, 41, 240, 110);
}

// Within rounding of the exact value: half a step plus a few hundredths of fixed-point error.
constexpr double kRounding = 0.55;

TEST(ColorConvert, BGRToYUY2MatchesBT601StudioRangeWithPairChroma) {
    const int w = 53, h = 3, sstride = w * 3 + 1, dstride = w * 2;  // odd width, exact-size output
    const auto bgr = RandomBytes(static_cast<size_t>(sstride) * h, 3);
    std::vector<uint8_t> yuy2(static_cast<size_t>(dstride) * h);
    ASSERT_EQ(BGRToYUY2(bgr.data(), sstride, yuy2.data(), dstride, w, h), kImgOk);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint8_t* p = &bgr[y * sstride + x * 3];
            const int mate = std::min(x ^ 1, w - 1);  // the last odd pixel pairs with itself
            const uint8_t* q = &bgr[y * sstride + mate * 3];
            const Yuv own = ToYuv(p[2], p[1], p[0]);
            const Yuv pair = ToYuv((p[2] + q[2]) / 2.0, (p[1] + q[1]) / 2.0, (p[0] + q[0]) / 2.0);
            const uint8_t* out = &yuy2[y * dstride + x * 2];
            EXPECT_NEAR(out[0], own.y, kRounding) << x << "," << y;
            EXPECT_NEAR(out[1], x % 2 == 0 ? pair.u : pair.v, kRounding) << x << "," << y;
        }
}

TEST(ColorConvert, YUY2ToBGRMatchesInverseFormulaAndClamps) {
    const int w = 53, h = 2, sstride = w * 2, dstride = w * 3;
    const auto yuy2 = RandomBytes(static_cast<size_t>(sstride) * h, 4);
    std::vector<uint8_t> bgr(static_cast<size_t>(dstride) * h);
    ASSERT_EQ(YUY2ToBGR(yuy2.data(), sstride, bgr.data(), dstride, w, h), kImgOk);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint8_t* row = &yuy2[y * sstride];
            const int pair = x / 2 * 4;
            // The lone last pixel of an odd row borrows the previous pair's V.
            const int v = x == w - 1 ? row[pair - 1] : row[pair + 3];
            double expected[3];
            ToBgr(row[x * 2], row[pair + 1], v, expected);
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR(bgr[y * dstride + x * 3 + c], expected[c], kRounding) << x << "," << y;
        }
}

// Long rows go through wide kernels and their ends through narrower code; a pixel pair must come
// out the same wherever it sits.
TEST(ColorConvert, PairsConvertTheSameAnywhereInARow) {
    const int w = 70;
    const auto bgr = RandomBytes(w * 3, 9), packed = RandomBytes(w * 2, 10);
    std::vector<uint8_t> row(w * 2), alone(4), back(w * 3), back_alone(6);
    ASSERT_EQ(BGRToYUY2(bgr.data(), w * 3, row.data(), w * 2, w, 1), kImgOk);
    ASSERT_EQ(YUY2ToBGR(packed.data(), w * 2, back.data(), w * 3, w, 1), kImgOk);
    for (int x = 0; x < w; x += 2) {
        ASSERT_EQ(BGRToYUY2(&bgr[x * 3], 6, alone.data(), 4, 2, 1), kImgOk);
        ASSERT_EQ(YUY2ToBGR(&packed[x * 2], 4, back_alone.data(), 6, 2, 1), kImgOk);
        EXPECT_TRUE(std::equal(alone.begin(), alone.end(), &row[x * 2])) << "pair at " << x;
        EXPECT_TRUE(std::equal(back_alone.begin(), back_alone.end(), &back[x * 3])) << "pair at " << x;
    }
}

TEST(ColorConvert, FlatColoursSurviveBGRToYUY2RoundTrip) {
    const uint8_t colours[][3] = {{0, 0, 0}, {255, 255, 255}, {0, 0, 255}, {0, 255, 0}, {255, 0, 0}, {37, 140, 201}};
    for (const auto& c : colours) {
        std::vector<uint8_t> bgr(4 * 2 * 3), yuy2(4 * 2 * 2), back(bgr.size());
        for (size_t i = 0; i < bgr.size(); ++i) bgr[i] = c[i % 3];
        ASSERT_EQ(BGRToYUY2(bgr.data(), 12, yuy2.data(), 8, 4, 2), kImgOk);
        ASSERT_EQ(YUY2ToBGR(yuy2.data(), 8, back.data(), 12, 4, 2), kImgOk);
        for (size_t i = 0; i < bgr.size(); ++i) EXPECT_NEAR(back[i], bgr[i], 2) << "byte " << i;
    }
}

TEST(ColorConvert, YUY2ToPlanarAveragesChromaOverRowPairs) {
    const int w = 5, h = 3, cw = 3, ch = 2;  // odd both ways: last column and row repeat
    const auto yuy2 = RandomBytes(w * 2 * h, 5);
    std::vector<uint8_t> y(w * h), u(cw * ch), v(cw * ch), y2(w * h), uv(cw * 2 * ch);
    ASSERT_EQ(YUY2ToI420(yuy2.data(), w * 2, y.data(), w, u.data(), cw, v.data(), cw, w, h), kImgOk);
    ASSERT_EQ(YUY2ToNV12(yuy2.data(), w * 2, y2.data(), w, uv.data(), cw * 2, w, h), kImgOk);
    auto chroma = [&](int row, int col, bool is_v) {
        if (is_v && col == cw - 1) return static_cast<int>(yuy2[row * w * 2 + col * 4 - 1]);
        return static_cast<int>(yuy2[row * w * 2 + col * 4 + (is_v ? 3 : 1)]);
    };
    for (int r = 0; r < h; ++r)
        for (int x = 0; x < w; ++x) EXPECT_EQ(y[r * w + x], yuy2[r * w * 2 + x * 2]);
    EXPECT_EQ(y2, y);
    for (int r = 0; r < ch; ++r)
        for (int c = 0; c < cw; ++c) {
            const int r1 = std::min(2 * r + 1, h - 1);
            EXPECT_EQ(u[r * cw + c], (chroma(2 * r, c, false) + chroma(r1, c, false) + 1) / 2) << c << "," << r;
            EXPECT_EQ(v[r * cw + c], (chroma(2 * r, c, true) + chroma(r1, c, true) + 1) / 2) << c << "," << r;
            EXPECT_EQ(uv[r * cw * 2 + 2 * c], u[r * cw + c]);
            EXPECT_EQ(uv[r * cw * 2 + 2 * c + 1], v[r * cw + c]);
        }
}

TEST(ColorConvert, I420PlanesPassedAsYCrCbComeBackAsTheirColours) {
    // Four 2x2 blocks: red, green, blue, mid grey, in an I420 frame built with the BT.601 formula.
    const int w = 8, h = 2;
    const uint8_t rgb[4][3] = {{255, 0, 0}, {0, 255, 0}, {0, 0, 255}, {128, 128, 128}};
    std::vector<uint8_t> y(w * h), u(w / 2 * h / 2), v(u.size()), yuy2(w * 2 * h), bgr(w * 3 * h);
    for (int b = 0; b < 4; ++b) {
        const Yuv c = ToYuv(rgb[b][0], rgb[b][1], rgb[b][2]);
        for (int i = 0; i < 4; ++i) y[(i / 2) * w + 2 * b + i % 2] = static_cast<uint8_t>(std::lround(c.y));
        u[b] = static_cast<uint8_t>(std::lround(c.u));
        v[b] = static_cast<uint8_t>(std::lround(c.v));
    }
    ASSERT_EQ(YCrCb420ToYUY2(y.data(), w, v.data(), w / 2, u.data(), w / 2, yuy2.data(), w * 2, w, h), kImgOk);
    ASSERT_EQ(YUY2ToBGR(yuy2.data(), w * 2, bgr.data(), w * 3, w, h), kImgOk);
    for (int r = 0; r < h; ++r)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c)
                EXPECT_NEAR(bgr[r * w * 3 + x * 3 + c], rgb[x / 2][2 - c], 2) << x << "," << r << " channel " << c;
}

TEST(ColorConvert, RGBToLUVMatchesCIEFormula) {
    // Named colours first, then random ones to fill a row long enough for every code path.
    const uint8_t named[][3] = {{0, 0, 0},       {255, 255, 255}, {255, 0, 0}, {0, 255, 0},   {0, 0, 255},
                                {128, 128, 128}, {1, 1, 1},       {2, 0, 0},   {10, 200, 30}, {250, 120, 5}};
    const int n = 37;
    auto rgb = RandomBytes(n * 3, 11);
    std::copy_n(&named[0][0], sizeof(named), rgb.begin());
    std::vector<uint8_t> out(n * 3);
    ASSERT_EQ(RGBToLUV(rgb.data(), n * 3, out.data(), n * 3, n, 1), kImgOk);
    for (int i = 0; i < n; ++i) {
        const double r = rgb[i * 3] / 255.0, g = rgb[i * 3 + 1] / 255.0, b = rgb[i * 3 + 2] / 255.0;
        const double x = 0.412453 * r + 0.357580 * g + 0.180423 * b;
        const double y = 0.212671 * r + 0.715160 * g + 0.072169 * b;
        const double z = 0.019334 * r + 0.119193 * g + 0.950227 * b;
        const double l = y > 0.008856 ? 116 * std::cbrt(y) - 16 : 903.3 * y;
        const double den = x + 15 * y + 3 * z;
        const double up = den > 0 ? 4 * x / den : 0, vp = den > 0 ? 9 * y / den : 0;
        const double expected[3] = {l * 255 / 100, (13 * l * (up - 0.19793943) + 134) * 255 / 354,
                                    (13 * l * (vp - 0.46831096) + 140) * 255 / 262};
        for (int c = 0; c < 3; ++c)
            EXPECT_NEAR(out[i * 3 + c], std::clamp(std::round(expected[c]), 0.0, 255.0), 1) << "colour " << i;
    }
    EXPECT_EQ(out[0], 0);  // black: L 0, neutral U and V
    EXPECT_EQ(out[1], 97);
    EXPECT_EQ(out[2], 136);
    EXPECT_EQ(out[3], 255);  // white: L 100
}

TEST(ColorConvert, RejectsBadArguments) {
    uint8_t a[64] = {}, b[64] = {}, c[64] = {};
    EXPECT_EQ(BGRToYUY2(nullptr, 6, a, 4, 2, 1), kImgNullPtr);
    EXPECT_EQ(YUY2ToBGR(a, 4, b, 6, 0, 1), kImgBadSize);
    EXPECT_EQ(BGRToYUY2(a, 5, b, 4, 2, 1), kImgBadStride);
    EXPECT_EQ(YUY2ToI420(a, 8, b, 4, nullptr, 2, c, 2, 4, 2), kImgNullPtr);
    EXPECT_EQ(YUY2ToI420(a, 8, b, 4, c, 1, c, 2, 4, 2), kImgBadStride);
    EXPECT_EQ(YUY2ToNV12(a, 8, b, 4, c, 3, 4, 2), kImgBadStride);
    EXPECT_EQ(YCrCb420ToYUY2(a, 4, b, 2, c, 2, a, 8, 4, -2), kImgBadSize);
    EXPECT_EQ(RGBToLUV(a, 3, b, 2, 1, 1), kImgBadStride);
}
