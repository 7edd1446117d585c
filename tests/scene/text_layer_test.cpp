// Captions as the presenter sees them: keyed so only glyphs reach the picture, styled (bold,
// underline, strike-out, hollow, vertical), fitted to their box when resized, scrolling through
// the box on the 80 ms step, restored and saved through stored records.
#include "scene/text_layer.h"

#include <gtest/gtest.h>

#include <memory>

#include "scene/layer_node.h"
#include "scene/scene_messages.h"
#include "scene_test_support.h"
#include "text_test_support.h"

namespace {

constexpr uint32_t kBlack = 0x000000;
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kRed = 0x0000FF;  // 0x00BBGGRR
// The scene's background in the keyed tests: neither key colour nor text colour.
constexpr uint8_t kBgB = 40, kBgG = 90, kBgR = 160;
constexpr uint32_t kBackground = kBgR | (kBgG << 8) | (kBgB << 16);

TextStyle Style(uint32_t colour, const std::string& face = "Arial") {
    TextStyle style;
    style.FaceName = face;
    style.rgbColor = colour;
    return style;
}

std::unique_ptr<CTxtLayer> Caption(const std::string& text, const TextStyle& style, TickClock clock = nullptr) {
    return std::make_unique<CTxtLayer>(text, style, kFourccRV24, std::move(clock));
}

// Rows in which at least nine tenths of the pixels have the colour.
std::vector<int> FullRows(const ImageBuffer* image, uint32_t colour) {
    std::vector<int> rows;
    for (int y = 0; y < image->height; ++y) {
        int n = 0;
        for (int x = 0; x < image->width; ++x) n += PixelAt(image, x, y) == colour ? 1 : 0;
        if (n * 10 >= image->width * 9) rows.push_back(y);
    }
    return rows;
}

// Composes a caption of the given colour over a coloured background and checks that the canvas
// holds nothing but the background and the text colour, with enough text to read.
void ExpectOnlyGlyphsOnCanvas(uint32_t colour) {
    SceneFixture f(720, 405);
    f.scene.AdoptLayer(kLayerPlain, SolidLayer(720, 405, kBgB, kBgG, kBgR), false);
    TextStyle style = Style(colour);
    style.Bold = 1;
    LayerNode* node = f.scene.AddLayer(kLayerText, "Keyed 文字 caption", LayerOptions::Text(&style));
    ASSERT_NE(node, nullptr);
    ASSERT_TRUE(f.Sync());

    const std::vector<uint8_t> canvas = f.Canvas();
    int text = 0, other = 0;
    for (int y = 0; y < 405; ++y)
        for (int x = 0; x < 720; ++x) {
            const uint32_t p = BgrAt(canvas.data() + static_cast<size_t>(y) * 720 * 3, x);
            if (p == colour)
                ++text;
            else if (p != kBackground)
                ++other;
        }
    EXPECT_EQ(other, 0) << "pixels that are neither background nor text";
    EXPECT_GT(text, 500);
    // A new caption sits at (10, 100) of the view.
    const InkBox box = CanvasBoxOf(canvas, 720, 405, colour);
    EXPECT_GE(box.left, 10);
    EXPECT_GE(box.top, 100);
    EXPECT_LT(box.top, 100 + 50);
}

}  // namespace

// fontconfig 2.14 loses a few bytes while parsing its configuration files, on the thread Pango
// starts to load them; nothing of ours is involved, so LeakSanitizer is told to look away.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

// Pango loads fontconfig and matches fonts on threads of its own and waits for them with GLib's
// futex-based locks, which ThreadSanitizer cannot see in these uninstrumented libraries. Our own
// accesses to Pango are serialised by the renderer's lock and stay checked.
extern "C" const char* __tsan_default_suppressions() {
    return "race:libfontconfig.so\nrace:libglib-2.0.so\nrace:libpangoft2-1.0.so\nrace:libpango-1.0.so\n"
           "race:libcairo.so\n";
}

TEST(TextKeyColour, BlackTextIsKeyedOnWhiteAndOnlyItsGlyphsReachTheCanvas) { ExpectOnlyGlyphsOnCanvas(kBlack); }

TEST(TextKeyColour, WhiteTextIsKeyedOnBlackAndOnlyItsGlyphsReachTheCanvas) { ExpectOnlyGlyphsOnCanvas(kWhite); }

TEST(TextStyleRendering, HollowCaptionIsThreePixelsWiderAndTallerWithAnOutlineOnly) {
    TextStyle hollow = Style(kRed);
    hollow.Hollow = 1;
    auto filled = Caption("H\u2588", Style(kRed));
    auto outlined = Caption("H\u2588", hollow);
    const ImageBuffer* a = filled->Image();
    const ImageBuffer* b = outlined->Image();
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->width, a->width + 3);
    EXPECT_EQ(b->height, a->height + 3);

    // The middle of the full block (the last glyph) is solid when filled and background inside
    // the outline.
    const InkBox ink = InkOf(a, kBlack);
    ASSERT_FALSE(ink.empty);
    const int blockX = a->width - 8;
    const int blockY = (ink.top + ink.bottom) / 2;
    EXPECT_EQ(PixelAt(a, blockX, blockY), kRed);
    EXPECT_EQ(PixelAt(b, blockX + 1, blockY + 1), kBlack);
    EXPECT_GT(CountColour(b, kRed), 0);
    EXPECT_LT(CountColour(b, kRed), CountColour(a, kRed));
}

TEST(TextStyleRendering, BoldDrawsHeavierGlyphs) {
    TextStyle bold = Style(kRed);
    bold.Bold = 1;
    auto regular = Caption("Heavier text", Style(kRed));
    auto heavy = Caption("Heavier text", bold);
    EXPECT_GT(CountColour(heavy->Image(), kRed), CountColour(regular->Image(), kRed) * 115 / 100);
}

TEST(TextStyleRendering, UnderlineAddsAFullRowBelowTheGlyphs) {
    TextStyle underlined = Style(kRed);
    underlined.UnderLine = 1;
    // Letters that end flat on the baseline, none below it.
    auto plain = Caption("mix zinx", Style(kRed));
    auto lined = Caption("mix zinx", underlined);
    ASSERT_EQ(plain->Image()->height, lined->Image()->height);
    EXPECT_TRUE(FullRows(plain->Image(), kRed).empty());

    const InkBox glyphs = InkOf(plain->Image(), kBlack);
    const std::vector<int> rows = FullRows(lined->Image(), kRed);
    ASSERT_FALSE(rows.empty());
    for (int y : rows) EXPECT_GE(y, glyphs.bottom) << "underline row " << y << " is not below the glyphs";
}

TEST(TextStyleRendering, StrikeOutCrossesTheGlyphsInTheirMiddle) {
    TextStyle struck = Style(kRed);
    struck.StrikeOut = 1;
    auto plain = Caption("ace cave", Style(kRed));
    auto crossed = Caption("ace cave", struck);
    const InkBox glyphs = InkOf(plain->Image(), kBlack);
    const std::vector<int> rows = FullRows(crossed->Image(), kRed);
    ASSERT_FALSE(rows.empty());
    for (int y : rows) {
        EXPECT_GT(y, glyphs.top);
        EXPECT_LT(y, glyphs.bottom - 1);
    }
}

TEST(TextStyleRendering, ChineseTextDrawsRealGlyphs) {
    auto layer = Caption("中", Style(kRed, "微软雅黑"));
    const ImageBuffer* image = layer->Image();
    ASSERT_NE(image, nullptr);
    const InkBox ink = InkOf(image, kBlack);
    ASSERT_FALSE(ink.empty);
    // 中 has a vertical stroke through its whole height near its middle; a missing-glyph box
    // would have only its frame and small digits there.
    int longest = 0;
    for (int x = ink.left + (ink.right - ink.left) / 3; x < ink.right - (ink.right - ink.left) / 3; ++x) {
        int run = 0;
        for (int y = ink.top; y < ink.bottom; ++y) {
            run = PixelAt(image, x, y) == kRed ? run + 1 : 0;
            longest = std::max(longest, run);
        }
    }
    EXPECT_GE(longest, (ink.bottom - ink.top) * 9 / 10);
}

TEST(TextStyleRendering, VerticalDirectionsTurnTheTextClockwiseWithTheAtFace) {
    const std::string text = "\u2588\u2588 . . . . . .";
    TextStyle flat = Style(kRed);
    flat.UnderLine = 1;
    auto horizontal = Caption(text, flat);
    const ImageBuffer* h = horizontal->Image();
    ASSERT_NE(h, nullptr);
    for (int32_t direction : {kTextTopToBottom, kTextBottomToTop}) {
        TextStyle style = flat;
        style.MoveDirection = direction;
        auto vertical = Caption(text, style);
        const ImageBuffer* v = vertical->Image();
        ASSERT_NE(v, nullptr);
        EXPECT_GT(v->height, v->width);
        EXPECT_EQ(v->width, h->height);
        EXPECT_EQ(v->height, h->width);
        EXPECT_EQ(vertical->Font().faceName, "@Arial");
        EXPECT_EQ(vertical->Font().escapement, 2700);

        // Turned clockwise: the text starts at the top and its underline runs down the left side.
        int top = 0, bottom = 0;
        for (int y = 0; y < v->height; ++y)
            for (int x = 0; x < v->width; ++x) (y < v->height / 2 ? top : bottom) += PixelAt(v, x, y) == kRed;
        EXPECT_GT(top, 2 * bottom);
        int fullColumns = 0;
        for (int x = 0; x < v->width; ++x) {
            int n = 0;
            for (int y = 0; y < v->height; ++y) n += PixelAt(v, x, y) == kRed ? 1 : 0;
            if (n * 10 >= v->height * 9) {
                ++fullColumns;
                EXPECT_LT(x, v->width / 2);
            }
        }
        EXPECT_GT(fullColumns, 0);
    }
}

TEST(TextResize, DraggedToTwiceItsWidthKeepsItsFontSize) {
    auto layer = Caption("Steady size", Style(kRed));
    ASSERT_EQ(layer->keepRatio.load(), 0);
    const int bw = layer->BaseWidth(), bh = layer->BaseHeight();
    layer->SetRect(LayerRect{0, 0, 2 * bw, bh});
    layer->reRender = 1;
    const ImageBuffer* before = layer->GetImage(1.0f, kFourccRV24);
    ASSERT_NE(before, nullptr);
    const int w = before->width, h = before->height, ink = CountColour(before, kRed);

    layer->Drag(kDragRight, 2 * bw, 0, 1.0f);
    EXPECT_EQ(layer->GetRect().Width(), 4 * bw);
    const ImageBuffer* after = layer->GetImage(1.0f, kFourccRV24);
    ASSERT_NE(after, nullptr);
    EXPECT_EQ(after->width, w);
    EXPECT_EQ(after->height, h);
    EXPECT_EQ(CountColour(after, kRed), ink);

    // Twice the height (the width still to spare) does make the text larger.
    layer->Drag(kDragBottom, 0, bh, 1.0f);
    const ImageBuffer* taller = layer->GetImage(1.0f, kFourccRV24);
    ASSERT_NE(taller, nullptr);
    EXPECT_NEAR(taller->height, 2 * h, 2);
}

TEST(TextResize, LargerCanvasRendersTheCaptionLargerNotBlurred) {
    SceneFixture f(720, 405);
    TextStyle style = Style(kWhite);
    ASSERT_NE(f.scene.AddLayer(kLayerText, "Sharp", LayerOptions::Text(&style)), nullptr);
    ASSERT_TRUE(f.Sync());
    const InkBox small = CanvasBoxOf(f.Canvas(), 720, 405, kWhite);
    ASSERT_FALSE(small.empty);

    f.scene.PostThreadMessage(WM_SCENE_RESIZE, 1440, 810);
    ASSERT_TRUE(f.Sync());
    const std::vector<uint8_t> canvas = f.Canvas();
    ASSERT_EQ(canvas.size(), 1440u * 810u * 3u);
    const InkBox large = CanvasBoxOf(canvas, 1440, 810, kWhite);
    ASSERT_FALSE(large.empty);
    const double ratio = static_cast<double>(large.bottom - large.top) / (small.bottom - small.top);
    EXPECT_NEAR(ratio, 2.0, 0.2);
    // Re-rendered, not scaled: still only white glyphs on the black canvas.
    for (size_t i = 0; i < canvas.size(); i += 3) {
        const uint32_t p = BgrAt(canvas.data() + i, 0);
        ASSERT_TRUE(p == kWhite || p == kBlack) << std::hex << p;
    }
}

TEST(TextScrolling, RightToLeftAtSpeedOneMovesTenPixelsPerStepAndWrapsAfterBoxPlusText) {
    ManualClock clock;
    TextStyle style = Style(kRed);
    style.MoveSpeed = 1;
    style.MoveDirection = kTextRightToLeft;
    auto layer = Caption("Scrolling news", style, [&] { return clock(); });
    layer->SetRect(LayerRect{100, 50, 500, 50 + layer->BaseHeight()});
    layer->reRender = 1;
    const ImageBuffer* image = layer->GetImage(1.0f, kFourccRV24);
    ASSERT_NE(image, nullptr);
    const uint32_t start = clock.now;

    auto xAt = [&](uint32_t ms) {
        clock.now = start + ms;
        LayerPoint p;
        layer->GetPosition(&p, 1.0f);
        EXPECT_EQ(p.y, 50);
        return p.x;
    };
    EXPECT_EQ(xAt(0), 500);  // just outside the right edge
    EXPECT_EQ(xAt(79), 500);
    EXPECT_EQ(xAt(80), 490);
    EXPECT_EQ(xAt(159), 490);
    EXPECT_EQ(xAt(160), 480);

    int wrapsAfter = 0;
    for (int k = 1; k < 10000 && wrapsAfter == 0; ++k)
        if (xAt(80u * k) == 500) wrapsAfter = k;
    EXPECT_EQ(wrapsAfter, (400 + image->width) / 10);
    EXPECT_EQ(xAt(80u * (wrapsAfter - 1)), 500 - 10 * (wrapsAfter - 1));
}

TEST(TextScrolling, EachDirectionStartsOutsideItsEntryEdgeAndMovesInward) {
    ManualClock clock;
    for (int32_t direction : {kTextLeftToRight, kTextRightToLeft, kTextTopToBottom, kTextBottomToTop}) {
        TextStyle style = Style(kRed);
        style.MoveSpeed = 2;
        style.MoveDirection = direction;
        auto layer = Caption("Moving", style, [&] { return clock(); });
        layer->SetRect(LayerRect{20, 30, 420, 330});
        layer->reRender = 1;
        const ImageBuffer* image = layer->GetImage(1.0f, kFourccRV24);
        ASSERT_NE(image, nullptr);
        const uint32_t start = clock.now;
        LayerPoint p0, p1;
        layer->GetPosition(&p0, 1.0f);
        clock.now = start + 80;
        layer->GetPosition(&p1, 1.0f);
        clock.now = start;
        switch (direction) {
            case kTextLeftToRight:
                EXPECT_EQ(p0.x, 20 - image->width);
                EXPECT_EQ(p1.x - p0.x, 20);
                EXPECT_EQ(p1.y, 30);
                break;
            case kTextRightToLeft:
                EXPECT_EQ(p0.x, 420);
                EXPECT_EQ(p1.x - p0.x, -20);
                break;
            case kTextTopToBottom:
                EXPECT_EQ(p0.y, 30 - image->height);
                EXPECT_EQ(p1.y - p0.y, 20);
                EXPECT_EQ(p1.x, 20);
                break;
            case kTextBottomToTop:
                EXPECT_EQ(p0.y, 330);
                EXPECT_EQ(p1.y - p0.y, -20);
                break;
        }
    }
}

TEST(TextScrolling, CaptionMovesAcrossTheComposedPicture) {
    ManualClock clock;
    SceneFixture f(720, 405);
    TextStyle style = Style(kWhite);
    style.MoveSpeed = 1;
    style.MoveDirection = kTextRightToLeft;
    auto layer = Caption("Ticker", style, [&] { return clock(); });
    layer->SetRect(LayerRect{0, 100, 700, 100 + layer->BaseHeight()});
    layer->reRender = 1;
    const uint32_t start = clock.now;
    clock.now = start + 80 * 20;  // 200 pixels in: the whole word is inside the box
    f.scene.AdoptLayer(kLayerText, std::move(layer), true);
    ASSERT_TRUE(f.Sync());
    const InkBox first = CanvasBoxOf(f.Canvas(), 720, 405, kWhite);
    ASSERT_FALSE(first.empty);

    clock.now = start + 80 * 21;
    ASSERT_TRUE(f.Sync());
    const InkBox second = CanvasBoxOf(f.Canvas(), 720, 405, kWhite);
    EXPECT_EQ(second.left, first.left - 10);
    EXPECT_EQ(second.right, first.right - 10);
    EXPECT_EQ(second.top, first.top);
}

TEST(TextScrolling, CaptionIsClippedToItsBox) {
    ManualClock clock;
    SceneFixture f(720, 405);
    TextStyle style = Style(kWhite);
    style.MoveSpeed = 3;
    style.MoveDirection = kTextLeftToRight;
    auto layer = Caption("Clipped caption", style, [&] { return clock(); });
    layer->SetRect(LayerRect{200, 100, 300, 100 + layer->BaseHeight()});
    layer->reRender = 1;
    clock.now += 80 * 5;  // the text straddles the box's left edge
    f.scene.AdoptLayer(kLayerText, std::move(layer), true);
    ASSERT_TRUE(f.Sync());
    const InkBox box = CanvasBoxOf(f.Canvas(), 720, 405, kWhite);
    ASSERT_FALSE(box.empty);
    EXPECT_GE(box.left, 200);
    EXPECT_LE(box.right, 300);
}

TEST(TextRecords, RestoredCaptionWithEmptyTextDrawsNothing) {
    SceneFixture f(720, 405);
    f.scene.AdoptLayer(kLayerPlain, SolidLayer(720, 405, kBgB, kBgG, kBgR), false);
    SceneSource record;
    record.type = kSourceText;
    record.SourceName = "";
    record.Left = 10;
    record.Top = 100;
    record.Right = 400;
    record.Bottom = 160;
    record.FaceName = "Arial";
    record.rgbColor = kWhite;
    record.MoveSpeed = 2;
    record.MoveDirection = kTextRightToLeft;
    LayerNode* node = f.scene.AddLayerFromRecord(kLayerText, record);
    ASSERT_NE(node, nullptr);
    ASSERT_TRUE(f.Sync());
    ASSERT_TRUE(f.Sync());
    const std::vector<uint8_t> canvas = f.Canvas();
    for (size_t i = 0; i < canvas.size(); i += 3)
        ASSERT_EQ(BgrAt(canvas.data() + i, 0), kBackground) << "pixel " << i / 3;
}

TEST(TextRecords, RestoredCaptionIsFittedToItsStoredBox) {
    SceneFixture f(720, 405);
    SceneSource record;
    record.type = kSourceText;
    record.SourceName = "Restored";
    record.Left = 100;
    record.Top = 200;
    record.Right = 700;
    record.Bottom = 300;  // room for twice the base height
    record.KeepRatio = 0;
    record.rgbColor = kWhite;
    ASSERT_NE(f.scene.AddLayerFromRecord(kLayerText, record), nullptr);
    ASSERT_TRUE(f.Sync());
    const InkBox box = CanvasBoxOf(f.Canvas(), 720, 405, kWhite);
    ASSERT_FALSE(box.empty);
    EXPECT_GE(box.top, 200);
    EXPECT_LE(box.bottom, 300);
    EXPECT_GT(box.bottom - box.top, 50);  // larger than the base size
}

TEST(TextRecords, ExportWritesTheTextStyle) {
    SceneFixture f(720, 405);
    TextStyle style;
    style.FaceName = "楷体";
    style.rgbColor = 0x00123456;
    style.Bold = 1;
    style.Italic = 1;
    style.UnderLine = 1;
    style.StrikeOut = 1;
    style.Hollow = 1;
    style.MoveSpeed = 2;
    style.MoveDirection = kTextBottomToTop;
    ASSERT_NE(f.scene.AddLayer(kLayerText, "Saved caption", LayerOptions::Text(&style)), nullptr);
    ASSERT_TRUE(f.Sync());
    CSceneBase stored;
    ASSERT_TRUE(f.scene.ExportRecords(&stored));
    ASSERT_EQ(stored.Records().size(), 1u);
    const SceneSource& r = *stored.Records()[0];
    EXPECT_EQ(r.type, kSourceText);
    EXPECT_EQ(r.SourceName, "Saved caption");
    EXPECT_EQ(r.FaceName, "楷体");
    EXPECT_EQ(r.rgbColor, 0x00123456u);
    EXPECT_EQ(r.Bold, 1);
    EXPECT_EQ(r.Italic, 1);
    EXPECT_EQ(r.UnderLine, 1);
    EXPECT_EQ(r.StrikeOut, 1);
    EXPECT_EQ(r.Hollow, 1);
    EXPECT_EQ(r.MoveSpeed, 2);
    EXPECT_EQ(r.MoveDirection, kTextBottomToTop);
    EXPECT_EQ(r.KeepRatio, 0);
    EXPECT_EQ(r.Left, 10);
    EXPECT_EQ(r.Top, 100);
}
