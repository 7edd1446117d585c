// Animated GIF layers: frame timing on an injected clock, frames drawn over one another, files
// that cannot be read or animated, and the frames reaching the scene's canvas.
#include "scene/gif_layer.h"

#include <gtest/gtest.h>

#include <atomic>

#include "picture_test_media.h"
#include "scene_test_support.h"

namespace {

constexpr uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kWhite = 0xFFFFFF;
const std::vector<uint32_t> kPalette = {kRed, kGreen, kBlue, kWhite};
constexpr uint8_t kRedIndex = 0, kGreenIndex = 1, kBlueIndex = 2, kWhiteIndex = 3, kClearIndex = 5;

// A millisecond tick the test moves by hand; the composition thread may read it meanwhile.
class ManualClock {
public:
    explicit ManualClock(uint32_t start = 1000) { *now_ = start; }
    GifClock Clock() const {
        return [now = now_] { return now->load(); };
    }
    void Set(uint32_t ms) { *now_ = ms; }
    uint32_t Now() const { return *now_; }

private:
    std::shared_ptr<std::atomic<uint32_t>> now_ = std::make_shared<std::atomic<uint32_t>>(0);
};

GifImage Full(int w, int h, uint8_t fill, uint16_t delay, int disposal = 1) {
    GifImage im;
    im.w = w;
    im.h = h;
    im.fill = fill;
    im.delay = delay;
    im.disposal = disposal;
    return im;
}

std::string WriteGif(const MediaDir& dir, const std::string& name, int w, int h, const std::vector<GifImage>& images) {
    const std::string path = dir.Path(name);
    return WriteBytes(path, EncodeGif(w, h, kPalette, images)) ? path : "";
}

// Red, green, blue frames of 16 x 8 shown for 10, 0 and 20 hundredths.
std::string ThreeColours(const MediaDir& dir) {
    return WriteGif(dir, "rgb.gif", 16, 8,
                    {Full(16, 8, kRedIndex, 10), Full(16, 8, kGreenIndex, 0), Full(16, 8, kBlueIndex, 20)});
}

// The BGRA pixel at (x, y) of what the layer draws at its own size.
std::vector<int> Shown(CGifLayer& layer, int x, int y) {
    ImageBuffer* out = layer.GetImage(1.0f, kFourccRV24);
    if (out == nullptr) return {};
    const uint8_t* p = out->planes[0] + static_cast<size_t>(y) * out->strides[0] + static_cast<size_t>(x) * 4;
    return {p[0], p[1], p[2], p[3]};
}

std::vector<int> Bgra(uint32_t rgb) {
    return {static_cast<int>(rgb & 0xFF), static_cast<int>((rgb >> 8) & 0xFF), static_cast<int>(rgb >> 16), 255};
}

void AtOwnSize(CBaseLayer& layer) {
    ASSERT_NE(layer.Image(), nullptr);
    layer.SetRect({0, 0, layer.Image()->width, layer.Image()->height});
}

std::vector<uint8_t> CanvasPixel(const std::vector<uint8_t>& canvas, int canvasWidth, int x, int y) {
    const size_t at = (static_cast<size_t>(y) * canvasWidth + x) * 3;
    return {canvas[at], canvas[at + 1], canvas[at + 2]};
}

}  // namespace

TEST(GifLayerTiming, DelaysAreHundredthsAndZeroCountsAsOneHundredMs) {
    MediaDir dir;
    ManualClock clock;
    CGifLayer layer(ThreeColours(dir), clock.Clock());
    ASSERT_TRUE(layer.Animated());
    ASSERT_EQ(layer.FrameCount(), 3);
    EXPECT_EQ(layer.Delay(0), 100u);
    EXPECT_EQ(layer.Delay(1), 100u);
    EXPECT_EQ(layer.Delay(2), 200u);
    EXPECT_EQ(layer.TotalDuration(), 400u);
}

TEST(GifLayerTiming, FramesFollowTheClockAndRepeatEvery400Ms) {
    MediaDir dir;
    ManualClock clock(1000);
    CGifLayer layer(ThreeColours(dir), clock.Clock());
    AtOwnSize(layer);
    const std::vector<std::pair<uint32_t, uint32_t>> expected = {
        {0, kRed},   {50, kRed},    {150, kGreen}, {200, kGreen}, {201, kBlue},  {399, kBlue},
        {400, kRed}, {501, kGreen}, {799, kBlue},  {800, kRed},   {4150, kGreen}};
    for (const auto& [elapsed, colour] : expected) {
        clock.Set(1000 + elapsed);
        EXPECT_EQ(Shown(layer, 3, 3), Bgra(colour)) << "at " << elapsed << " ms";
    }
}

TEST(GifLayerTiming, TheEndOfFrameZeroStillShowsFrameZero) {
    MediaDir dir;
    ManualClock clock(1000);
    CGifLayer layer(ThreeColours(dir), clock.Clock());
    AtOwnSize(layer);
    clock.Set(1100);
    EXPECT_EQ(Shown(layer, 0, 0), Bgra(kRed));
    EXPECT_EQ(layer.CurrentFrame(), 0);
    clock.Set(1101);
    EXPECT_EQ(Shown(layer, 0, 0), Bgra(kGreen));
    EXPECT_EQ(layer.CurrentFrame(), 1);
}

TEST(GifLayerTiming, TheClockStartsWhenTheLayerIsMadeNotWhenItIsFirstShown) {
    MediaDir dir;
    ManualClock clock(5000);
    CGifLayer layer(ThreeColours(dir), clock.Clock());
    AtOwnSize(layer);
    clock.Set(5000 + 250);  // never drawn until now
    EXPECT_EQ(Shown(layer, 0, 0), Bgra(kBlue));
}

TEST(GifLayerTiming, TheTickWrappingAroundKeepsTheCycle) {
    MediaDir dir;
    ManualClock clock(0xFFFFFFFFu - 49);  // 50 ms before the 32-bit tick wraps
    CGifLayer layer(ThreeColours(dir), clock.Clock());
    AtOwnSize(layer);
    clock.Set(100);  // 150 ms after the start
    EXPECT_EQ(Shown(layer, 0, 0), Bgra(kGreen));
}

TEST(GifFrames, PartialFramesShowTheEarlierFramesAroundThem) {
    MediaDir dir;
    GifImage square = Full(4, 4, kGreenIndex, 10);
    square.x = 4;
    square.y = 2;
    GifImage corner = Full(2, 2, kBlueIndex, 10);
    corner.x = 14;
    corner.y = 0;
    ManualClock clock(0);
    CGifLayer layer(WriteGif(dir, "parts.gif", 16, 8, {Full(16, 8, kRedIndex, 10), square, corner}), clock.Clock());
    ASSERT_EQ(layer.FrameCount(), 3);
    AtOwnSize(layer);
    clock.Set(150);
    EXPECT_EQ(Shown(layer, 5, 3), Bgra(kGreen));
    EXPECT_EQ(Shown(layer, 3, 3), Bgra(kRed));
    EXPECT_EQ(Shown(layer, 8, 5), Bgra(kRed));
    EXPECT_EQ(Shown(layer, 15, 0), Bgra(kRed));
    clock.Set(250);
    EXPECT_EQ(Shown(layer, 15, 0), Bgra(kBlue));
    EXPECT_EQ(Shown(layer, 7, 5), Bgra(kGreen));  // the second frame's square is still there
    EXPECT_EQ(Shown(layer, 0, 7), Bgra(kRed));
}

TEST(GifFrames, TransparentPixelsOfALaterFrameShowTheFramesBeforeIt) {
    // Each stored frame is drawn over the ones before it, so what a frame leaves transparent keeps
    // the earlier picture, even where the file asks for the earlier frame to be cleared.
    MediaDir dir;
    GifImage halves = Full(16, 8, kBlueIndex, 10);
    halves.transparent = kClearIndex;
    halves.indices.assign(16 * 8, kBlueIndex);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x) halves.indices[static_cast<size_t>(y) * 16 + x] = kClearIndex;
    ManualClock clock(0);
    CGifLayer layer(WriteGif(dir, "halves.gif", 16, 8, {Full(16, 8, kRedIndex, 10, 2), halves}), clock.Clock());
    ASSERT_EQ(layer.FrameCount(), 2);
    AtOwnSize(layer);
    clock.Set(150);
    EXPECT_EQ(Shown(layer, 2, 2), Bgra(kRed));
    EXPECT_EQ(Shown(layer, 12, 2), Bgra(kBlue));
}

TEST(GifFrames, SingleFrameAtItsOwnSizeIsDrawnFromItsPictureWithoutScaling) {
    MediaDir dir;
    CGifLayer layer(WriteGif(dir, "still.gif", 10, 6, {Full(10, 6, kGreenIndex, 0)}));
    EXPECT_FALSE(layer.Animated());
    EXPECT_EQ(layer.FrameCount(), 1);
    AtOwnSize(layer);
    EXPECT_EQ(layer.GetImage(1.0f, kFourccRV24), layer.Image());
    EXPECT_EQ(Shown(layer, 9, 5), Bgra(kGreen));
    layer.borderWidth = 1;
    layer.borderChanged = 1;
    ImageBuffer* bordered = layer.GetImage(1.0f, kFourccRV24);
    ASSERT_NE(bordered, layer.Image());
    EXPECT_EQ(Shown(layer, 0, 0), Bgra(0x000000));  // black border, opaque
    EXPECT_EQ(Shown(layer, 5, 3), Bgra(kGreen));
}

TEST(GifFrames, ScaledAnimationIsRedrawnOnlyWhenItsFrameChanges) {
    MediaDir dir;
    ManualClock clock(0);
    CGifLayer layer(ThreeColours(dir), clock.Clock());
    layer.SetRect({0, 0, 32, 16});
    ImageBuffer* first = layer.GetImage(1.0f, kFourccRV24);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->width, 32);
    first->planes[0][0] = 0x11;  // a redraw would paint over this mark
    clock.Set(90);
    EXPECT_EQ(layer.GetImage(1.0f, kFourccRV24), first);
    EXPECT_EQ(first->planes[0][0], 0x11);
    clock.Set(120);
    ImageBuffer* next = layer.GetImage(1.0f, kFourccRV24);
    ASSERT_EQ(next, first);
    EXPECT_EQ((std::vector<int>{next->planes[0][0], next->planes[0][1], next->planes[0][2]}),
              (std::vector<int>{0, 255, 0}));
}

TEST(GifFailures, AGifThatCannotBeReadGivesAnEmptyLayer) {
    MediaDir dir;
    std::vector<uint8_t> noise(2000);
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>((i * 40503u) >> 7);
    WriteBytes(dir.Path("noise.gif"), noise);
    const auto gif = EncodeGif(8, 8, kPalette, {Full(8, 8, kRedIndex, 10)});
    WriteBytes(dir.Path("cut.gif"), std::vector<uint8_t>(gif.begin(), gif.begin() + 20));
    for (const char* name : {"missing.gif", "noise.gif", "cut.gif"}) {
        CGifLayer layer(dir.Path(name));
        EXPECT_EQ(layer.Image(), nullptr) << name;
        EXPECT_EQ(layer.FrameCount(), 0) << name;
        layer.ResetSize(720, 405, 720, 405, 1.0f);
        EXPECT_EQ(layer.GetRect(), (LayerRect{})) << name;
        EXPECT_EQ(layer.GetImage(1.0f, kFourccRV24), nullptr) << name;
    }
    // The scene keeps the empty layer and draws nothing for it.
    SceneFixture f(64, 36);
    LayerNode* node = f.scene.AddLayer(kLayerPicture, dir.Path("missing.gif"), LayerOptions::Picture(255));
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->kind, kLayerGif);
    ASSERT_TRUE(f.Sync());
    const auto canvas = f.Canvas();
    EXPECT_TRUE(std::all_of(canvas.begin(), canvas.end(), [](uint8_t v) { return v == 0; }));
}

TEST(GifFailures, AnimationWithoutRoomForItsFramesIsOneClearedFrame) {
    MediaDir dir;
    const std::string path = ThreeColours(dir);
    const size_t frames = 3 * 16 * 8 * 4;
    ManualClock clock(0);
    CGifLayer layer(path, clock.Clock(), frames - 1);
    EXPECT_FALSE(layer.Animated());
    EXPECT_EQ(layer.FrameCount(), 1);
    AtOwnSize(layer);
    for (uint32_t t : {0u, 150u, 250u, 1000u}) {
        clock.Set(t);
        ImageBuffer* out = layer.GetImage(1.0f, kFourccRV24);
        ASSERT_NE(out, nullptr);
        const uint8_t* p = out->planes[0];
        EXPECT_TRUE(std::all_of(p, p + out->strides[0] * out->height, [](uint8_t v) { return v == 0; })) << t;
    }
    // Scaled too, and on the canvas the scene shows through.
    SceneFixture f(720, 405);
    f.scene.AdoptLayer(kLayerPlain, SolidLayer(720, 405, 0, 200, 0), true);
    auto gif = std::make_unique<CGifLayer>(path, clock.Clock(), frames - 1);
    gif->SetRect({10, 10, 42, 26});
    f.scene.AdoptLayer(kLayerGif, std::move(gif), true);
    ASSERT_TRUE(f.Sync());
    EXPECT_EQ(CanvasPixel(f.Canvas(), 720, 20, 15), (std::vector<uint8_t>{0, 200, 0}));
    // With room for its frames the same file animates.
    CGifLayer roomy(path, clock.Clock(), frames);
    EXPECT_TRUE(roomy.Animated());
}

TEST(GifFailures, ACutAnimationKeepsTheFramesBeforeTheCut) {
    MediaDir dir;
    const auto whole = ReadBytes(ThreeColours(dir));
    // Cut inside the last frame's image data.
    WriteBytes(dir.Path("cut.gif"), std::vector<uint8_t>(whole.begin(), whole.end() - 60));
    ManualClock clock(0);
    CGifLayer layer(dir.Path("cut.gif"), clock.Clock());
    ASSERT_GE(layer.FrameCount(), 2);
    AtOwnSize(layer);
    clock.Set(50);
    EXPECT_EQ(Shown(layer, 1, 1), Bgra(kRed));
    clock.Set(150);
    EXPECT_EQ(Shown(layer, 1, 1), Bgra(kGreen));
}

TEST(GifComposition, TheCanvasShowsTheFrameOfTheClockAtTheLayersPlace) {
    MediaDir dir;
    // Frame 0: red with a transparent left column; frame 1: blue everywhere.
    GifImage first = Full(16, 8, kRedIndex, 10);
    first.transparent = kClearIndex;
    first.indices.assign(16 * 8, kRedIndex);
    for (int y = 0; y < 8; ++y) first.indices[static_cast<size_t>(y) * 16] = kClearIndex;
    ManualClock clock(0);
    auto layer = std::make_unique<CGifLayer>(WriteGif(dir, "anim.gif", 16, 8, {first, Full(16, 8, kBlueIndex, 10)}),
                                             clock.Clock());
    ASSERT_TRUE(layer->Animated());
    layer->SetRect({100, 50, 116, 58});
    SceneFixture f(720, 405);
    f.scene.AdoptLayer(kLayerPlain, SolidLayer(720, 405, 0, 200, 0), true);
    f.scene.AdoptLayer(kLayerGif, std::move(layer), true);
    ASSERT_TRUE(f.Sync());
    auto canvas = f.Canvas();
    EXPECT_EQ(CanvasPixel(canvas, 720, 100, 50), (std::vector<uint8_t>{0, 200, 0}));  // transparent column
    EXPECT_EQ(CanvasPixel(canvas, 720, 101, 50), (std::vector<uint8_t>{0, 0, 255}));
    EXPECT_EQ(CanvasPixel(canvas, 720, 115, 57), (std::vector<uint8_t>{0, 0, 255}));
    EXPECT_EQ(CanvasPixel(canvas, 720, 116, 57), (std::vector<uint8_t>{0, 200, 0}));
    clock.Set(150);
    ASSERT_TRUE(f.Sync());
    canvas = f.Canvas();
    EXPECT_EQ(CanvasPixel(canvas, 720, 100, 50), (std::vector<uint8_t>{255, 0, 0}));
    EXPECT_EQ(CanvasPixel(canvas, 720, 110, 55), (std::vector<uint8_t>{255, 0, 0}));
}

TEST(GifComposition, AGifAddedByNameIsSizedAndDrawnAtItsPlace) {
    MediaDir dir;
    const std::string path = WriteGif(dir, "LOGO.GIF", 20, 10, {Full(20, 10, kWhiteIndex, 0)});
    SceneFixture f(1440, 810);  // two canvas pixels per view pixel
    LayerNode* node = f.scene.AddLayer(kLayerPicture, path, LayerOptions::Picture(255));
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->kind, kLayerGif);
    ASSERT_TRUE(f.Sync());
    EXPECT_EQ(node->layer->GetRect(), (LayerRect{0, 0, 10, 5}));
    const auto canvas = f.Canvas();
    EXPECT_EQ(CanvasPixel(canvas, 1440, 19, 9), (std::vector<uint8_t>{255, 255, 255}));
    EXPECT_EQ(CanvasPixel(canvas, 1440, 20, 9), (std::vector<uint8_t>{0, 0, 0}));
}
