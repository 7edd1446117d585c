// Drawing layers into the canvas: clipping on every edge, bottom-up sources, opacity, colour
// key, chroma key and the selection outline, checked against simple per-pixel expectations.
#include "scene/image_ops.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "imaging/color_convert.h"

namespace {

struct Img {
    Img(int w, int h, int bpp, uint8_t fill = 0) : w(w), h(h), bpp(bpp), px(static_cast<size_t>(w) * h * bpp, fill) {}
    uint8_t* at(int x, int y) { return px.data() + (static_cast<size_t>(y) * w + x) * bpp; }
    int w, h, bpp;
    std::vector<uint8_t> px;
};

// A source whose every pixel encodes its own coordinates (blue = x, green = y), so that the
// test can tell which source pixel landed where.
Img Coded(int w, int h, int bpp = 3, uint8_t alpha = 255) {
    Img img(w, h, bpp);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            img.at(x, y)[0] = static_cast<uint8_t>(x);
            img.at(x, y)[1] = static_cast<uint8_t>(y);
            img.at(x, y)[2] = 200;
            if (bpp == 4) img.at(x, y)[3] = alpha;
        }
    return img;
}

// Where did each canvas pixel come from? (-1, -1) for untouched (still black) pixels.
std::pair<int, int> Origin(Img& canvas, int x, int y) {
    const uint8_t* p = canvas.at(x, y);
    if (p[2] != 200) return {-1, -1};
    return {p[0], p[1]};
}

Img FlipRows(const Img& src) {
    Img out(src.w, src.h, src.bpp);
    const size_t row = static_cast<size_t>(src.w) * src.bpp;
    for (int y = 0; y < src.h; ++y)
        std::copy(src.px.begin() + y * row, src.px.begin() + (y + 1) * row, out.px.begin() + (src.h - 1 - y) * row);
    return out;
}

}  // namespace

TEST(ImageOpsClipping, CopyInsideTheCanvasLandsPixelForPixel) {
    Img canvas(20, 10, 3);
    Img src = Coded(4, 3);
    ASSERT_EQ(CopyOpaque(canvas.px.data(), 20, 10, src.px.data(), 4, 3, 5, 2), 0);
    EXPECT_EQ(Origin(canvas, 5, 2), std::make_pair(0, 0));
    EXPECT_EQ(Origin(canvas, 8, 4), std::make_pair(3, 2));
    EXPECT_EQ(Origin(canvas, 9, 4), std::make_pair(-1, -1));
    EXPECT_EQ(Origin(canvas, 5, 5), std::make_pair(-1, -1));
}

TEST(ImageOpsClipping, SourcesHangingOffEachEdgeAreCut) {
    Img src = Coded(6, 4);
    {
        Img canvas(10, 8, 3);  // off the left and the top
        ASSERT_EQ(CopyOpaque(canvas.px.data(), 10, 8, src.px.data(), 6, 4, -2, -3), 0);
        EXPECT_EQ(Origin(canvas, 0, 0), std::make_pair(2, 3));
        EXPECT_EQ(Origin(canvas, 3, 0), std::make_pair(5, 3));
        EXPECT_EQ(Origin(canvas, 4, 0), std::make_pair(-1, -1));
        EXPECT_EQ(Origin(canvas, 0, 1), std::make_pair(-1, -1));
    }
    {
        Img canvas(10, 8, 3);  // off the right and the bottom
        ASSERT_EQ(CopyOpaque(canvas.px.data(), 10, 8, src.px.data(), 6, 4, 7, 6), 0);
        EXPECT_EQ(Origin(canvas, 7, 6), std::make_pair(0, 0));
        EXPECT_EQ(Origin(canvas, 9, 7), std::make_pair(2, 1));
    }
}

TEST(ImageOpsClipping, SourcesEntirelyOffTheCanvasDrawNothing) {
    Img src = Coded(6, 4);
    Img canvas(10, 8, 3);
    const Img before = canvas;
    EXPECT_EQ(CopyOpaque(canvas.px.data(), 10, 8, src.px.data(), 6, 4, -6, 0), 0);
    EXPECT_EQ(CopyOpaque(canvas.px.data(), 10, 8, src.px.data(), 6, 4, 0, -40), 0);
    EXPECT_EQ(CopyOpaque(canvas.px.data(), 10, 8, src.px.data(), 6, 4, 11, 0), -1);
    EXPECT_EQ(CopyOpaque(canvas.px.data(), 10, 8, src.px.data(), 6, 4, 10, 8), 0);
    EXPECT_EQ(CopyOpaque(canvas.px.data(), 10, 8, nullptr, 6, 4, 0, 0), -1);
    EXPECT_EQ(CopyOpaque(canvas.px.data(), 10, 8, src.px.data(), 6, 4, -2000000000, -2000000000), 0);
    Img alpha = Coded(6, 4, 4);
    EXPECT_EQ(AlphaOver(canvas.px.data(), 10, 8, alpha.px.data(), 6, 4, -6, 0), -1);
    EXPECT_EQ(BlendWithOpacity(canvas.px.data(), 10, 8, src.px.data(), 6, 4, 0, -4, 100), 0);
    EXPECT_EQ(canvas.px, before.px);
}

TEST(ImageOpsBottomUp, FlippedCopyShowsTheRightRowsWhenClippedAtTheTop) {
    Img top = Coded(4, 6);
    Img stored = FlipRows(top);  // the same picture kept bottom-up
    Img canvas(8, 8, 3);
    ASSERT_EQ(CopyOpaqueFlipped(canvas.px.data(), 8, 8, stored.px.data(), 4, 6, 1, -2), 0);
    EXPECT_EQ(Origin(canvas, 1, 0), std::make_pair(0, 2));
    EXPECT_EQ(Origin(canvas, 4, 3), std::make_pair(3, 5));
}

TEST(ImageOpsBottomUp, FlippedAlphaOverMatchesTheTopDownPictureWhenClipped) {
    Img top = Coded(5, 6, 4);
    Img stored = FlipRows(top);
    for (int y : {-2, 0, 4}) {
        Img viaFlipped(8, 8, 3), viaTopDown(8, 8, 3);
        ASSERT_EQ(AlphaOverFlipped(viaFlipped.px.data(), 8, 8, stored.px.data(), 5, 6, 2, y), 0);
        ASSERT_EQ(AlphaOver(viaTopDown.px.data(), 8, 8, top.px.data(), 5, 6, 2, y), 0);
        EXPECT_EQ(viaFlipped.px, viaTopDown.px) << "placed at y = " << y;
    }
}

TEST(ImageOpsAlpha, SourceOverUsesEachPixelsOwnAlpha) {
    Img canvas(3, 1, 3, 100);
    Img src(3, 1, 4);
    const uint8_t alphas[3] = {0, 128, 255};
    for (int x = 0; x < 3; ++x) {
        src.at(x, 0)[0] = src.at(x, 0)[1] = src.at(x, 0)[2] = 200;
        src.at(x, 0)[3] = alphas[x];
    }
    ASSERT_EQ(AlphaOver(canvas.px.data(), 3, 1, src.px.data(), 3, 1, 0, 0), 0);
    EXPECT_EQ(canvas.at(0, 0)[0], 100);
    EXPECT_NEAR(canvas.at(1, 0)[0], 100 + (200 - 100) * 128 / 255.0, 1.0);
    EXPECT_EQ(canvas.at(2, 0)[0], 200);
}

TEST(ImageOpsOpacity, FullOpacityCopiesZeroKeepsHalfMixes) {
    Img src(4, 4, 3, 240);
    for (int opacity : {0, 128, 255}) {
        Img canvas(4, 4, 3, 40);
        ASSERT_EQ(BlendWithOpacity(canvas.px.data(), 4, 4, src.px.data(), 4, 4, 0, 0, static_cast<uint8_t>(opacity)),
                  0);
        const double expected = 40 * (255 - opacity) / 255.0 + 240 * opacity / 255.0;
        for (uint8_t v : canvas.px) ASSERT_NEAR(v, expected, 1.0) << "opacity " << opacity;
        if (opacity == 255) {
            EXPECT_EQ(canvas.px, src.px);
        }
        if (opacity == 0) {
            EXPECT_TRUE(std::all_of(canvas.px.begin(), canvas.px.end(), [](uint8_t v) { return v == 40; }));
        }
    }
}

TEST(ImageOpsColorKey, WhiteKeyLeavesOnlyTheBlackText) {
    Img text(6, 3, 3, 255);                                      // white background
    text.at(2, 1)[0] = text.at(2, 1)[1] = text.at(2, 1)[2] = 0;  // one black "glyph" pixel
    text.at(3, 1)[0] = text.at(3, 1)[1] = text.at(3, 1)[2] = 0;
    Img canvas(10, 10, 3, 77);
    ASSERT_EQ(CopyColorKeyed(canvas.px.data(), 10, 10, text.px.data(), 6, 3, 1, 1, {0, 0, 10, 10}, 0x00FFFFFF), 0);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x) {
            const bool glyph = y == 2 && (x == 3 || x == 4);
            ASSERT_EQ(canvas.at(x, y)[0], glyph ? 0 : 77) << x << "," << y;
        }
}

TEST(ImageOpsColorKey, KeyIsMatchedOnAllThreeBytesInPixelOrder) {
    Img text(2, 1, 3);
    text.at(0, 0)[0] = 0x33;  // blue
    text.at(0, 0)[1] = 0x22;  // green
    text.at(0, 0)[2] = 0x11;  // red: the key 0x00332211
    text.at(1, 0)[0] = 0x11;  // same bytes in the other order: not the key
    text.at(1, 0)[1] = 0x22;
    text.at(1, 0)[2] = 0x33;
    Img canvas(2, 1, 3, 9);
    ASSERT_EQ(CopyColorKeyed(canvas.px.data(), 2, 1, text.px.data(), 2, 1, 0, 0, {0, 0, 2, 1}, 0x00332211), 0);
    EXPECT_EQ(canvas.at(0, 0)[0], 9);
    EXPECT_EQ(canvas.at(1, 0)[0], 0x11);
}

TEST(ImageOpsColorKey, ClipRectangleLimitsTheCopy) {
    Img text = Coded(8, 8);
    Img canvas(10, 10, 3);
    ASSERT_EQ(CopyColorKeyed(canvas.px.data(), 10, 10, text.px.data(), 8, 8, -2, 0, {0, 2, 3, 4}, 0x00FFFFFF), 0);
    EXPECT_EQ(Origin(canvas, 0, 2), std::make_pair(2, 2));
    EXPECT_EQ(Origin(canvas, 2, 3), std::make_pair(4, 3));
    EXPECT_EQ(Origin(canvas, 3, 3), std::make_pair(-1, -1));
    EXPECT_EQ(Origin(canvas, 0, 1), std::make_pair(-1, -1));
    EXPECT_EQ(Origin(canvas, 0, 4), std::make_pair(-1, -1));
    EXPECT_EQ(CopyColorKeyed(canvas.px.data(), 10, 10, text.px.data(), 8, 8, 0, 0, {9, 9, 9, 9}, 0), -1);
}

TEST(ImageOpsChromaKey, SimilarityZeroKeepsEveryPixelOpaque) {
    Img src(8, 8, 3);
    for (int i = 0; i < 64; ++i) src.px[i * 3 + 1] = 255;  // all pure green, the key itself
    Img dst(8, 8, 4, 9);
    ASSERT_EQ(ChromaKeyMask(dst.px.data(), 32, src.px.data(), 24, 8, 8, 0x0000FF00, 0), 0);
    for (int i = 0; i < 64; ++i) {
        ASSERT_EQ(dst.px[i * 4 + 3], 255);
        ASSERT_EQ(dst.px[i * 4 + 1], 255);  // colour copied through
    }
}

TEST(ImageOpsChromaKey, HighSimilarityRemovesTheKeyAreaButNotAFarColour) {
    // Left half green screen, right half grey; key green.
    Img src(16, 8, 3);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 16; ++x) {
            uint8_t* p = src.at(x, y);
            if (x < 8) {
                p[1] = 255;
            } else {
                p[0] = p[1] = p[2] = 128;
            }
        }
    Img dst(16, 8, 4);
    ASSERT_EQ(ChromaKeyMask(dst.px.data(), 64, src.px.data(), 48, 16, 8, 0x0000FF00, 400), 0);
    EXPECT_EQ(dst.at(2, 4)[3], 0);
    EXPECT_EQ(dst.at(13, 4)[3], 255);
    EXPECT_EQ(ChromaKeyMask(nullptr, 64, src.px.data(), 48, 16, 8, 0, 400), -1);
}

// The mask by its plain definition: the mean chroma distance to the key over the 3 x 3
// neighbourhood inside the image, keyed where the similarity exceeds it.
std::vector<uint8_t> PlainChromaMask(const Img& src, int w, int h, uint32_t key, uint32_t similarity) {
    const uint8_t keyRgb[3] = {uint8_t(key), uint8_t(key >> 8), uint8_t(key >> 16)};
    uint8_t keyLuv[3];
    RGBToLUV(keyRgb, 3, keyLuv, 3, 1, 1);
    std::vector<uint8_t> luv(size_t(w) * h * 3);
    RGBToLUV(src.px.data(), w * 3, luv.data(), w * 3, w, h);
    std::vector<float> dist(size_t(w) * h);
    for (size_t i = 0; i < dist.size(); ++i) {
        const float u = luv[i * 3 + 1] / 255.0f - keyLuv[1] * 2.0f / 255.0f;
        const float v = luv[i * 3 + 2] / 255.0f - keyLuv[2] * 2.0f / 255.0f;
        dist[i] = std::sqrt(u * u + v * v);
    }
    std::vector<uint8_t> alpha(size_t(w) * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            float rows[3] = {0, 0, 0};
            int nr = 0, nc = 0;
            for (int dy = -1; dy <= 1; ++dy) {
                if (y + dy < 0 || y + dy >= h) continue;
                ++nr;
                for (int dx = -1; dx <= 1; ++dx)
                    if (x + dx >= 0 && x + dx < w) rows[dy + 1] += dist[size_t(y + dy) * w + x + dx];
            }
            for (int dx = -1; dx <= 1; ++dx) nc += x + dx >= 0 && x + dx < w;
            float sum = rows[1];
            if (y > 0) sum += rows[0];
            if (y + 1 < h) sum += rows[2];
            const float mean = sum / float(nr * nc) / 3.0f;
            alpha[size_t(y) * w + x] = similarity / 1000.0f > mean ? 0 : 255;
        }
    return alpha;
}

TEST(ImageOpsChromaKey, MaskMatchesItsDefinitionOnEveryEdgeAndSize) {
    uint32_t seed = 7;
    auto next = [&] { return seed = seed * 1664525u + 1013904223u; };
    const std::pair<int, int> sizes[] = {{1, 1}, {1, 7}, {7, 1}, {2, 2}, {5, 3}, {13, 9}, {64, 4}, {37, 21}};
    for (const auto& [w, h] : sizes) {
        Img src(w, h, 3);
        // Mostly near the key with noise, so both sides of the threshold occur.
        for (int i = 0; i < w * h; ++i) {
            const bool screen = next() % 3 != 0;
            src.px[i * 3 + 0] = uint8_t(screen ? 20 + next() % 40 : next());
            src.px[i * 3 + 1] = uint8_t(screen ? 180 + next() % 60 : next());
            src.px[i * 3 + 2] = uint8_t(screen ? 20 + next() % 40 : next());
        }
        for (uint32_t similarity : {0u, 150u, 400u}) {
            for (uint32_t key : {0x0000FF00u, 0x00FF0000u}) {
                Img dst(w, h, 4);
                ASSERT_EQ(ChromaKeyMask(dst.px.data(), w * 4, src.px.data(), w * 3, w, h, key, similarity), 0);
                const std::vector<uint8_t> expected = PlainChromaMask(src, w, h, key, similarity);
                for (int i = 0; i < w * h; ++i)
                    ASSERT_EQ(dst.px[i * 4 + 3], expected[i])
                        << w << "x" << h << " pixel " << i << " key " << key << " similarity " << similarity;
            }
        }
    }
}

TEST(ImageOpsSelectionFrame, OnlyTheVisibleSidesAreDrawn) {
    Img img(10, 10, 3);
    DrawSelectionFrame(img.px.data(), 10, 10, {-5, 2, 6, 20});  // left and bottom off the image
    auto white = [&](int x, int y) { return img.at(x, y)[0] == 255; };
    EXPECT_TRUE(white(0, 2));
    EXPECT_TRUE(white(5, 2));
    EXPECT_FALSE(white(6, 2));
    EXPECT_TRUE(white(5, 9));   // the right side runs to the image's bottom
    EXPECT_FALSE(white(0, 9));  // no bottom side: it lies outside
    EXPECT_FALSE(white(0, 5));  // no left side either
    int count = 0;
    for (size_t i = 0; i < img.px.size(); i += 3) count += img.px[i] == 255;
    EXPECT_EQ(count, 6 + 7);  // top row x 0..5, right column y 3..9
}

TEST(ImageOpsFill, FillsUseTheColourInPixelByteOrder) {
    Img bgr(3, 2, 3), bgra(3, 2, 4);
    FillBGR(bgr.px.data(), 9, 3, 2, 0x00112233);
    FillBGRA(bgra.px.data(), 12, 3, 2, 0x00112233);
    EXPECT_EQ(bgr.at(2, 1)[0], 0x11);
    EXPECT_EQ(bgr.at(2, 1)[2], 0x33);
    EXPECT_EQ(bgra.at(1, 1)[0], 0x11);
    EXPECT_EQ(bgra.at(1, 1)[3], 255);
}
