// Sizing and interactive resizing of layers, and the scaled-image-with-border rendering.
#include "scene/base_layer.h"

#include <gtest/gtest.h>

#include "scene_test_support.h"

namespace {

// Exposes the rendering pattern that picture, screen and device layers build on.
class RenderingLayer : public CBaseLayer {
public:
    ImageBuffer* GetImage(float scale, uint32_t fourcc) override {
        return RenderScaled(image.get(), scale, fourcc, false);
    }
};

LayerRect DragOnce(LayerRect start, bool keep, float ratio, int mode, int dx, int dy, int border = 0,
                   float scale = 1.0f) {
    CBaseLayer layer;
    layer.SetRect(start);
    layer.keepRatio = keep ? 1 : 0;
    layer.aspectRatio = ratio;
    layer.borderWidth = border;
    layer.Drag(mode, dx, dy, scale);
    return layer.GetRect();
}

}  // namespace

TEST(LayerDragFree, EveryEdgeAndCornerMovesOnlyItsOwnSides) {
    const LayerRect r{100, 100, 300, 200};
    EXPECT_EQ(DragOnce(r, false, 2.0f, kDragMove, -150, 7), (LayerRect{-50, 107, 150, 207}));
    EXPECT_EQ(DragOnce(r, false, 2.0f, kDragLeft, 10, 99), (LayerRect{110, 100, 300, 200}));
    EXPECT_EQ(DragOnce(r, false, 2.0f, kDragTopLeft, 10, 5), (LayerRect{110, 105, 300, 200}));
    EXPECT_EQ(DragOnce(r, false, 2.0f, kDragTop, 99, -5), (LayerRect{100, 95, 300, 200}));
    EXPECT_EQ(DragOnce(r, false, 2.0f, kDragTopRight, 10, 5), (LayerRect{100, 105, 310, 200}));
    EXPECT_EQ(DragOnce(r, false, 2.0f, kDragRight, -10, 99), (LayerRect{100, 100, 290, 200}));
    EXPECT_EQ(DragOnce(r, false, 2.0f, kDragBottomRight, 10, 5), (LayerRect{100, 100, 310, 205}));
    EXPECT_EQ(DragOnce(r, false, 2.0f, kDragBottom, 99, 5), (LayerRect{100, 100, 300, 205}));
    EXPECT_EQ(DragOnce(r, false, 2.0f, kDragBottomLeft, 10, 5), (LayerRect{110, 100, 300, 205}));
}

TEST(LayerDragFree, LayersNeverShrinkBelowTwentyPixels) {
    CBaseLayer layer;
    layer.keepRatio = 0;
    layer.SetRect({0, 0, 100, 100});
    layer.Drag(kDragLeft, 90, 0, 1.0f);
    EXPECT_EQ(layer.GetRect(), (LayerRect{80, 0, 100, 100}));
    layer.Drag(kDragLeft, 30, 0, 1.0f);
    EXPECT_EQ(layer.GetRect(), (LayerRect{80, 0, 100, 100}));
    layer.Drag(kDragBottom, 0, -500, 1.0f);
    EXPECT_EQ(layer.GetRect(), (LayerRect{80, 0, 100, 20}));
    layer.Drag(kDragTopRight, -500, 500, 1.0f);
    EXPECT_EQ(layer.GetRect(), (LayerRect{80, 0, 100, 20}));
}

TEST(LayerDragFree, ResizingAsksForARerenderButMovingDoesNot) {
    CBaseLayer layer;
    layer.keepRatio = 0;
    layer.SetRect({0, 0, 100, 100});
    layer.Drag(kDragRight, 5, 0, 1.0f);
    EXPECT_EQ(layer.reRender, 1);
    layer.Drag(kDragMove, 5, 0, 1.0f);
    EXPECT_EQ(layer.reRender, 0);
    layer.Drag(42, 5, 5, 1.0f);  // unknown mode: flag set, rectangle untouched
    EXPECT_EQ(layer.reRender, 1);
    EXPECT_EQ(layer.GetRect(), (LayerRect{5, 0, 110, 100}));
}

TEST(LayerDragKeepRatio, RightEdgeOfATwoToOneLayerGrowsBothSides) {
    EXPECT_EQ(DragOnce({0, 0, 200, 100}, true, 2.0f, kDragRight, 20, 0), (LayerRect{0, 0, 220, 110}));
}

TEST(LayerDragKeepRatio, EachModeMovesItsEdgeAndTheFollower) {
    const LayerRect r{100, 100, 300, 200};  // 200 x 100, ratio 2
    EXPECT_EQ(DragOnce(r, true, 2.0f, kDragLeft, 20, 0), (LayerRect{120, 100, 300, 190}));
    EXPECT_EQ(DragOnce(r, true, 2.0f, kDragTopLeft, 20, 77), (LayerRect{120, 110, 300, 200}));
    EXPECT_EQ(DragOnce(r, true, 2.0f, kDragTop, 0, 10), (LayerRect{100, 110, 280, 200}));
    EXPECT_EQ(DragOnce(r, true, 2.0f, kDragTopRight, 20, -77), (LayerRect{100, 90, 320, 200}));
    EXPECT_EQ(DragOnce(r, true, 2.0f, kDragBottomRight, 20, 77), (LayerRect{100, 100, 320, 210}));
    EXPECT_EQ(DragOnce(r, true, 2.0f, kDragBottom, 0, 10), (LayerRect{100, 100, 320, 210}));
    EXPECT_EQ(DragOnce(r, true, 2.0f, kDragBottomLeft, -20, 77), (LayerRect{80, 100, 300, 210}));
}

TEST(LayerDragKeepRatio, TheBorderStaysOutsideTheKeptRatio) {
    // A 10-pixel canvas border at scale 2 is 5 view pixels on each side: the inner area of
    // 210 - 10 = 200 wide keeps 2:1 and is 100 high, plus 10 of border.
    EXPECT_EQ(DragOnce({0, 0, 200, 110}, true, 2.0f, kDragRight, 10, 0, 10, 2.0f), (LayerRect{0, 0, 210, 110}));
}

TEST(LayerResetSize, SmallPictureShowsAtItsOwnPixelSize) {
    CBaseLayer layer;
    layer.SetImage(ImageBufferPtr(CreateImageBuffer(320, 240, kFourccRV24)));
    layer.SetRect({7, 9, 0, 0});
    layer.ResetSize(1920, 1080, 720, 405, 1920.0f / 720.0f);
    EXPECT_EQ(layer.GetRect(), (LayerRect{7, 9, 127, 99}));
}

TEST(LayerResetSize, WidePictureTakesTheViewWidth) {
    CBaseLayer layer;
    layer.SetImage(ImageBufferPtr(CreateImageBuffer(3840, 1080, kFourccRV24)));
    layer.ResetSize(1920, 1080, 720, 405, 1920.0f / 720.0f);
    EXPECT_EQ(layer.GetRect(), (LayerRect{0, 0, 720, 202}));
}

TEST(LayerResetSize, TallPictureTakesTheViewHeight) {
    CBaseLayer layer;
    layer.SetImage(ImageBufferPtr(CreateImageBuffer(1000, 2000, kFourccRV24)));
    layer.ResetSize(1920, 1080, 720, 405, 1920.0f / 720.0f);
    EXPECT_EQ(layer.GetRect(), (LayerRect{0, 0, 202, 405}));  // trunc(405 x 0.5 + 0.49)
}

TEST(LayerResetSize, TheBorderCountsTowardTheSize) {
    CBaseLayer layer;
    layer.SetImage(ImageBufferPtr(CreateImageBuffer(100, 50, kFourccRV24)));
    layer.borderWidth = 10;
    layer.ResetSize(720, 405, 720, 405, 1.0f);
    EXPECT_EQ(layer.GetRect(), (LayerRect{0, 0, 120, 70}));
}

TEST(LayerResetSize, LayerWithoutAPictureKeepsItsRectangle) {
    CBaseLayer layer;
    layer.SetRect({1, 2, 3, 4});
    layer.ResetSize(1920, 1080, 720, 405, 2.667f);
    EXPECT_EQ(layer.GetRect(), (LayerRect{1, 2, 3, 4}));
    EXPECT_EQ(layer.GetImage(1.0f, kFourccRV24), nullptr);
}

TEST(LayerRender, NaturalSizeWithoutBorderIsThePictureItself) {
    RenderingLayer layer;
    layer.SetImage(ImageBufferPtr(CreateImageBuffer(90, 45, kFourccRV24)));
    layer.SetRect({0, 0, 90, 45});
    EXPECT_EQ(layer.GetImage(1.0f, kFourccRV24), layer.Image());
}

TEST(LayerRender, BorderSurroundsTheScaledPicture) {
    RenderingLayer layer;
    auto src = SolidLayer(10, 10, 0, 0, 255);  // red picture
    layer.SetImage(std::move(src->image));
    layer.SetRect({0, 0, 20, 20});
    layer.borderWidth = 3;
    layer.borderColor = 0x0000FF00;  // green
    ImageBuffer* out = layer.GetImage(1.0f, kFourccRV24);
    ASSERT_NE(out, nullptr);
    ASSERT_NE(out, layer.Image());
    ASSERT_EQ(out->width, 20);
    auto px = [&](int x, int y) { return out->planes[0] + y * out->strides[0] + x * 3; };
    EXPECT_EQ(px(0, 0)[1], 255);
    EXPECT_EQ(px(2, 10)[1], 255);
    EXPECT_EQ(px(19, 19)[1], 255);
    EXPECT_EQ(px(3, 3)[2], 255);
    EXPECT_EQ(px(3, 3)[1], 0);
    EXPECT_EQ(px(16, 16)[2], 255);
    // The same size again reuses the rendered image; a border change redraws it.
    EXPECT_EQ(layer.GetImage(1.0f, kFourccRV24), out);
    layer.borderColor = 0x00FF0000;  // blue
    layer.borderChanged = 1;
    ASSERT_EQ(layer.GetImage(1.0f, kFourccRV24), out);
    EXPECT_EQ(px(0, 0)[0], 255);
    EXPECT_EQ(px(0, 0)[1], 0);
    EXPECT_EQ(layer.borderChanged, 0);
}

TEST(LayerRender, BorderWiderThanHalfTheLayerShowsOnlyTheBorder) {
    RenderingLayer layer;
    layer.SetImage(std::move(SolidLayer(10, 10, 0, 0, 255)->image));
    layer.SetRect({0, 0, 12, 12});
    layer.borderWidth = 8;
    layer.borderColor = 0x00FFFFFF;
    ImageBuffer* out = layer.GetImage(1.0f, kFourccRV24);
    ASSERT_NE(out, nullptr);
    for (int i = 0; i < 12 * 12 * 3; ++i) ASSERT_EQ(out->planes[0][i], 255);
}

TEST(LayerRender, ALayerScaledToNothingHasNoImage) {
    RenderingLayer layer;
    layer.SetImage(std::move(SolidLayer(10, 10, 0, 0, 255)->image));
    layer.SetRect({0, 0, 0, 10});
    EXPECT_EQ(layer.GetImage(1.0f, kFourccRV24), nullptr);
}
