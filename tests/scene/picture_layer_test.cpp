// Still pictures: which files make which layer, what reaches the layer's pixels, how they are
// scaled and bordered, and how the scene draws them (opacity, alpha) and stores them.
#include "scene/picture_layer.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "picture_test_media.h"
#include "scene/picture32_layer.h"
#include "scene/picture_loader.h"
#include "scene_test_support.h"

namespace {

struct Made {
    std::unique_ptr<CBaseLayer> layer;
    int kind = 0;
};

Made MakeFromFile(const std::string& path, int32_t opacity = 255) {
    LayerArgs args;
    args.kind = kLayerPicture;
    args.sourceName = path;
    args.options.opacity = opacity;
    args.fourcc = kFourccRV24;
    Made made;
    made.layer = DefaultLayerFactory()->Create(&args);
    made.kind = args.kind;
    return made;
}

const uint8_t* PixelAt(const ImageBuffer* image, int x, int y) {
    return image->planes[0] + static_cast<size_t>(y) * image->strides[0] +
           static_cast<size_t>(x) * BytesPerPixel(image->fourcc);
}

// Expects the layer's picture to hold the RGBA pixels (blue, green, red order in memory), to
// within tolerance per channel; alpha too for four-byte pictures.
void ExpectPixels(const ImageBuffer* image, int w, int h, const std::vector<uint8_t>& rgba, int tolerance = 0) {
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(image->width, w);
    ASSERT_EQ(image->height, h);
    const int bpp = BytesPerPixel(image->fourcc);
    int wrong = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const uint8_t* p = PixelAt(image, x, y);
            const uint8_t* q = &rgba[(static_cast<size_t>(y) * w + x) * 4];
            bool ok = std::abs(p[0] - q[2]) <= tolerance && std::abs(p[1] - q[1]) <= tolerance &&
                      std::abs(p[2] - q[0]) <= tolerance;
            if (bpp == 4) ok = ok && p[3] == q[3];
            if (!ok && ++wrong <= 3)
                ADD_FAILURE() << "pixel (" << x << "," << y << ") is " << int(p[2]) << "," << int(p[1]) << ","
                              << int(p[0]) << " instead of " << int(q[0]) << "," << int(q[1]) << "," << int(q[2]);
        }
    EXPECT_EQ(wrong, 0);
}

std::vector<uint8_t> CanvasPixel(const std::vector<uint8_t>& canvas, int canvasWidth, int x, int y) {
    const size_t at = (static_cast<size_t>(y) * canvasWidth + x) * 3;
    return {canvas[at], canvas[at + 1], canvas[at + 2]};
}

}  // namespace

TEST(PictureKinds, TrueColourPngIsAPictureWithItsExactPixels) {
    MediaDir dir;
    const auto px = Pattern(12, 7);
    const std::string path = MakePicture(dir, "pattern.png", 12, 7, px, "rgb24");
    ASSERT_FALSE(path.empty());
    Made made = MakeFromFile(path, 200);
    ASSERT_NE(made.layer, nullptr);
    EXPECT_EQ(made.kind, kLayerPicture);
    EXPECT_EQ(made.layer->opacity, 200);
    EXPECT_EQ(made.layer->sourceName, path);
    EXPECT_FLOAT_EQ(made.layer->aspectRatio, 12.0f / 7.0f);
    ASSERT_NE(made.layer->Image(), nullptr);
    EXPECT_EQ(made.layer->Image()->fourcc, kFourccRV24);
    ExpectPixels(made.layer->Image(), 12, 7, px);
}

TEST(PictureKinds, JpegAndTwentyFourBitBmpArePictures) {
    MediaDir dir;
    const auto flat = Solid(16, 16, 200, 100, 50);
    Made jpeg = MakeFromFile(MakePicture(dir, "photo.jpg", 16, 16, flat, "yuvj420p"));
    ASSERT_NE(jpeg.layer, nullptr);
    EXPECT_EQ(jpeg.kind, kLayerPicture);
    ExpectPixels(jpeg.layer->Image(), 16, 16, flat, 4);  // lossy, but the colour survives

    const auto px = Pattern(9, 5);
    Made bmp = MakeFromFile(MakePicture(dir, "shot.bmp", 9, 5, px, "bgr24"));
    ASSERT_NE(bmp.layer, nullptr);
    EXPECT_EQ(bmp.kind, kLayerPicture);
    ExpectPixels(bmp.layer->Image(), 9, 5, px);  // BMP rows are stored bottom-up: the top must stay on top
}

TEST(PictureKinds, PngAndBmpWithAlphaArePicturesWithAlpha) {
    MediaDir dir;
    auto px = Pattern(10, 6);
    for (size_t i = 3; i < px.size(); i += 4) px[i] = static_cast<uint8_t>(i * 3);  // alpha varies
    for (const auto& [name, fmt] : {std::pair{"alpha.png", "rgba"}, std::pair{"alpha.bmp", "bgra"}}) {
        Made made = MakeFromFile(MakePicture(dir, name, 10, 6, px, fmt));
        ASSERT_NE(made.layer, nullptr) << name;
        EXPECT_EQ(made.kind, kLayerPicture32) << name;
        EXPECT_EQ(made.layer->Image()->fourcc, kFourccRV32);
        ExpectPixels(made.layer->Image(), 10, 6, px);  // straight alpha, not premultiplied
    }
}

TEST(PictureKinds, ThirtyTwoBitBmpWithoutAlphaIsShownOpaque) {
    // A 32-bit BMP whose fourth bytes are all zero has no alpha: taking them as alpha would make
    // the whole picture invisible.
    MediaDir dir;
    const auto px = Pattern(8, 4, 0);
    Made made = MakeFromFile(MakePicture(dir, "noalpha.bmp", 8, 4, px, "bgra"));
    ASSERT_NE(made.layer, nullptr);
    EXPECT_EQ(made.kind, kLayerPicture);
    ExpectPixels(made.layer->Image(), 8, 4, px);
}

TEST(PictureKinds, PaletteGreyAndSixteenBitPicturesMakeNoLayer) {
    MediaDir dir;
    const auto px = Pattern(8, 8);
    const std::vector<std::pair<std::string, std::string>> refused = {
        {"palette.png", "pal8"},        {"grey.png", "gray"},    {"deep.png", "rgb48be"},
        {"deep-alpha.png", "rgba64be"}, {"palette.bmp", "pal8"}, {"rgb565.bmp", "rgb565le"}};
    for (const auto& [name, fmt] : refused) {
        const std::string path = MakePicture(dir, name, 8, 8, px, fmt);
        ASSERT_FALSE(path.empty()) << name;
        Made made = MakeFromFile(path);
        EXPECT_EQ(made.layer, nullptr) << name;
        EXPECT_EQ(LoadPicture(path), nullptr) << name;
    }
    // Through the scene: no node, nothing added.
    SceneFixture f(64, 36);
    EXPECT_EQ(f.scene.AddLayer(kLayerPicture, dir.Path("palette.png"), LayerOptions::Picture(255)), nullptr);
    ASSERT_TRUE(f.Sync());
    EXPECT_TRUE(f.scene.LayersTopFirst().empty());
}

TEST(PictureKinds, BrokenMissingAndEmptyFilesMakeNoLayer) {
    MediaDir dir;
    const std::string good = MakePicture(dir, "good.png", 32, 32, Pattern(32, 32), "rgb24");
    ASSERT_FALSE(good.empty());
    const auto bytes = ReadBytes(good);
    ASSERT_GT(bytes.size(), 100u);
    WriteBytes(dir.Path("half.png"), std::vector<uint8_t>(bytes.begin(), bytes.begin() + bytes.size() / 2));
    WriteBytes(dir.Path("header-only.png"), std::vector<uint8_t>(bytes.begin(), bytes.begin() + 40));
    std::vector<uint8_t> noise(4096);
    for (size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<uint8_t>((i * 2654435761u) >> 13);
    WriteBytes(dir.Path("noise.jpg"), noise);
    WriteBytes(dir.Path("empty.bmp"), {});
    for (const char* name : {"half.png", "header-only.png", "noise.jpg", "empty.bmp", "missing.png"}) {
        EXPECT_EQ(MakeFromFile(dir.Path(name)).layer, nullptr) << name;
    }
}

TEST(PictureKinds, GifNamesInAnyLetterCaseBecomeGifLayers) {
    MediaDir dir;
    GifImage red;
    red.w = 4;
    red.h = 4;
    red.delay = 10;
    const auto gif = EncodeGif(4, 4, {0xFF0000}, {red});
    for (const char* name : {"banner.Gif", "LOGO.GIF", "a.gif"}) {
        ASSERT_TRUE(WriteBytes(dir.Path(name), gif));
        Made made = MakeFromFile(dir.Path(name));
        ASSERT_NE(made.layer, nullptr) << name;
        EXPECT_EQ(made.kind, kLayerGif) << name;
        ASSERT_NE(made.layer->Image(), nullptr) << name;
        EXPECT_EQ(made.layer->Image()->fourcc, kFourccRV32);
    }
    SceneFixture f(64, 36);
    LayerNode* node = f.scene.AddLayer(kLayerPicture, dir.Path("banner.Gif"), LayerOptions::Picture(255));
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->kind, kLayerGif);
}

TEST(PictureFiles, NamesWithPercentSignsAndColonsAreOrdinaryFiles) {
    // A name is a file, never a pattern of numbered files nor a protocol.
    MediaDir dir;
    const auto px = Pattern(6, 6);
    const std::string plain = MakePicture(dir, "plain.png", 6, 6, px, "rgb24");
    ASSERT_FALSE(plain.empty());
    for (const char* name : {"frame%d.png", "note:1.png", "100%.png"}) {
        std::filesystem::copy_file(plain, dir.Path(name));
        Made made = MakeFromFile(dir.Path(name));
        ASSERT_NE(made.layer, nullptr) << name;
        ExpectPixels(made.layer->Image(), 6, 6, px);
    }
}

TEST(PictureRendering, AtItsOwnSizeWithoutBorderThePictureItselfIsDrawn) {
    MediaDir dir;
    Made made = MakeFromFile(MakePicture(dir, "p.png", 30, 20, Pattern(30, 20), "rgb24"));
    ASSERT_NE(made.layer, nullptr);
    made.layer->SetRect({5, 5, 35, 25});
    EXPECT_EQ(made.layer->GetImage(1.0f, kFourccRV24), made.layer->Image());
}

TEST(PictureRendering, StillPictureIsScaledOncePerSize) {
    MediaDir dir;
    Made made = MakeFromFile(MakePicture(dir, "p.png", 30, 20, Solid(30, 20, 10, 20, 30), "rgb24"));
    ASSERT_NE(made.layer, nullptr);
    CBaseLayer& layer = *made.layer;
    layer.SetRect({0, 0, 60, 40});
    ImageBuffer* first = layer.GetImage(1.0f, kFourccRV24);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(first, layer.Image());
    EXPECT_EQ(first->width, 60);
    EXPECT_EQ(first->height, 40);
    EXPECT_EQ(PixelAt(first, 59, 39)[0], 30);  // blue of the picture at the far corner
    // Mark the rendered picture: a second scaling would paint over the mark.
    first->planes[0][0] = 0xEE;
    for (int i = 0; i < 5; ++i) {
        ImageBuffer* again = layer.GetImage(1.0f, kFourccRV24);
        EXPECT_EQ(again, first);
        EXPECT_EQ(again->planes[0][0], 0xEE);
    }
    // A new size scales again.
    layer.SetRect({0, 0, 90, 60});
    ImageBuffer* bigger = layer.GetImage(1.0f, kFourccRV24);
    ASSERT_NE(bigger, nullptr);
    EXPECT_EQ(bigger->width, 90);
    EXPECT_EQ(bigger->planes[0][0], 30);
}

TEST(PictureComposition, OpacityOf128OverWhiteBlendsEachChannel) {
    MediaDir dir;
    const auto px = Pattern(40, 30);
    const std::string path = MakePicture(dir, "p.png", 40, 30, px, "rgb24");
    ASSERT_FALSE(path.empty());
    SceneFixture f(720, 405);
    auto white = SolidLayer(720, 405, 255, 255, 255);
    f.scene.AdoptLayer(kLayerPlain, std::move(white), true);
    LayerNode* node = f.scene.AddLayer(kLayerPicture, path, LayerOptions::Picture(128));
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->kind, kLayerPicture);
    ASSERT_TRUE(f.Sync());
    EXPECT_EQ(node->layer->GetRect(), (LayerRect{0, 0, 40, 30}));
    const auto canvas = f.Canvas();
    int wrong = 0;
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) {
            const auto c = CanvasPixel(canvas, 720, x, y);
            const uint8_t* q = &px[(static_cast<size_t>(y) * 40 + x) * 4];
            const int bgr[3] = {q[2], q[1], q[0]};
            for (int k = 0; k < 3; ++k) {
                const int expected = (255 * 127 + bgr[k] * 128) / 255;
                if (std::abs(c[static_cast<size_t>(k)] - expected) > 1) ++wrong;
            }
        }
    EXPECT_EQ(wrong, 0);
    // Beside the picture the canvas stays white.
    EXPECT_EQ(CanvasPixel(canvas, 720, 41, 10), (std::vector<uint8_t>{255, 255, 255}));
}

TEST(PictureComposition, TransparentPixelsOfA32BitPngShowTheScene) {
    MediaDir dir;
    // Left half transparent, right half opaque blue.
    auto px = Solid(40, 20, 0, 0, 255);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) px[(static_cast<size_t>(y) * 40 + x) * 4 + 3] = 0;
    const std::string path = MakePicture(dir, "logo.png", 40, 20, px, "rgba");
    ASSERT_FALSE(path.empty());
    SceneFixture f(720, 405);
    f.scene.AdoptLayer(kLayerPlain, SolidLayer(720, 405, 0, 200, 0), true);  // green scene
    LayerNode* node = f.scene.AddLayer(kLayerPicture, path, LayerOptions::Picture(255));
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->kind, kLayerPicture32);
    node->layer->Drag(kDragMove, 100, 50, f.scene.Scale());
    ASSERT_TRUE(f.Sync());
    const auto canvas = f.Canvas();
    EXPECT_EQ(CanvasPixel(canvas, 720, 105, 55), (std::vector<uint8_t>{0, 200, 0}));  // through the hole
    EXPECT_EQ(CanvasPixel(canvas, 720, 125, 55), (std::vector<uint8_t>{255, 0, 0}));  // the picture
    EXPECT_EQ(CanvasPixel(canvas, 720, 139, 69), (std::vector<uint8_t>{255, 0, 0}));  // its last pixel
    EXPECT_EQ(CanvasPixel(canvas, 720, 140, 55), (std::vector<uint8_t>{0, 200, 0}));  // right of it
    EXPECT_EQ(CanvasPixel(canvas, 720, 125, 70), (std::vector<uint8_t>{0, 200, 0}));  // below it
}

TEST(PictureComposition, ScaledPictureFillsItsRectangleOnALargerCanvas) {
    // On a 1440-wide canvas a view pixel is two canvas pixels.
    MediaDir dir;
    const std::string path = MakePicture(dir, "p.bmp", 50, 50, Solid(50, 50, 250, 10, 10), "bgr24");
    SceneFixture f(1440, 810);
    LayerNode* node = f.scene.AddLayer(kLayerPicture, path, LayerOptions::Picture(255));
    ASSERT_NE(node, nullptr);
    ASSERT_TRUE(f.Sync());
    EXPECT_EQ(node->layer->GetRect(), (LayerRect{0, 0, 25, 25}));  // its own 50 pixels on the canvas
    node->layer->SetRect({10, 20, 60, 70});                        // twice that
    ASSERT_TRUE(f.Sync());
    const auto canvas = f.Canvas();
    EXPECT_EQ(CanvasPixel(canvas, 1440, 20, 40), (std::vector<uint8_t>{10, 10, 250}));
    EXPECT_EQ(CanvasPixel(canvas, 1440, 119, 139), (std::vector<uint8_t>{10, 10, 250}));
    EXPECT_EQ(CanvasPixel(canvas, 1440, 120, 139), (std::vector<uint8_t>{0, 0, 0}));
    EXPECT_EQ(CanvasPixel(canvas, 1440, 19, 40), (std::vector<uint8_t>{0, 0, 0}));
}

TEST(PictureRecords, OpacityIsStoredAndRestoredOnTheSameScale) {
    MediaDir dir;
    const std::string opaque = MakePicture(dir, "opaque.png", 16, 16, Solid(16, 16, 0, 0, 0), "rgb24");
    const std::string alpha = MakePicture(dir, "alpha.png", 16, 16, Solid(16, 16, 0, 0, 0, 90), "rgba");
    CSceneBase stored;
    {
        SceneFixture f(720, 405);
        LayerNode* a = f.scene.AddLayer(kLayerPicture, opaque, LayerOptions::Picture(77));
        LayerNode* b = f.scene.AddLayer(kLayerPicture, alpha, LayerOptions::Picture(255));
        ASSERT_NE(a, nullptr);
        ASSERT_NE(b, nullptr);
        a->layer->SetRect({100, 50, 132, 82});
        ASSERT_TRUE(f.Sync());
        ASSERT_TRUE(f.scene.ExportRecords(&stored));
    }
    ASSERT_EQ(stored.Records().size(), 2u);
    const SceneSource& top = *stored.Records()[0];
    const SceneSource& bottom = *stored.Records()[1];
    EXPECT_EQ(top.type, kSourcePicture);
    EXPECT_EQ(top.SourceName, alpha);
    EXPECT_EQ(bottom.type, kSourcePicture);
    EXPECT_EQ(bottom.Alpha, 77);
    EXPECT_EQ((LayerRect{bottom.Left, bottom.Top, bottom.Right, bottom.Bottom}), (LayerRect{100, 50, 132, 82}));

    // Restored over a white scene: a black picture at opacity 77 leaves 255 x 178 / 255 = 178.
    SceneFixture g(720, 405);
    LayerNode* restored32 = g.scene.AddLayerFromRecord(kLayerPicture, top);
    LayerNode* restored = g.scene.AddLayerFromRecord(kLayerPicture, bottom);
    g.scene.AdoptLayer(kLayerPlain, SolidLayer(720, 405, 255, 255, 255), false);
    ASSERT_NE(restored, nullptr);
    ASSERT_NE(restored32, nullptr);
    EXPECT_EQ(restored->kind, kLayerPicture);
    EXPECT_EQ(restored32->kind, kLayerPicture32);  // the file, not the record, knows it has alpha
    EXPECT_EQ(restored->layer->opacity, 77);
    ASSERT_TRUE(g.Sync());
    const auto canvas = g.Canvas();
    const auto c = CanvasPixel(canvas, 720, 110, 60);
    EXPECT_NEAR(c[0], 178, 1);
    EXPECT_NEAR(c[2], 178, 1);
}

TEST(PictureRecords, OpacityOutsideItsRangeIsClamped) {
    MediaDir dir;
    const std::string path = MakePicture(dir, "p.png", 4, 4, Solid(4, 4, 1, 2, 3), "rgb24");
    SceneSource record;
    record.SourceName = path;
    record.Alpha = 1000;
    LayerArgs args;
    args.kind = kLayerPicture;
    args.sourceName = path;
    args.record = &record;
    auto high = DefaultLayerFactory()->Create(&args);
    ASSERT_NE(high, nullptr);
    EXPECT_EQ(high->opacity, 255);
    record.Alpha = -5;
    auto low = DefaultLayerFactory()->Create(&args);
    ASSERT_NE(low, nullptr);
    EXPECT_EQ(low->opacity, 0);
}
