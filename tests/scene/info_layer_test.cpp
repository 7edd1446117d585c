// The information overlay: white text keyed on black, up to three lines in a box fixed by the
// first text, replaced from the main thread while the view renders it on the composition thread.
#include "scene/info_layer.h"

#include <gtest/gtest.h>

#include <memory>
#include <mutex>

#include "scene/scene.h"
#include "scene_test_support.h"
#include "text_test_support.h"

namespace {

constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kBlack = 0x000000;

int WhiteInRows(const ImageBuffer* image, int from, int to) {
    int n = 0;
    for (int y = from; y < to; ++y)
        for (int x = 0; x < image->width; ++x) n += PixelAt(image, x, y) == kWhite ? 1 : 0;
    return n;
}

// A view that, like the presenter's view, takes the overlay's image on every refresh.
class OverlayView : public RecordingView {
public:
    void Refresh(const ImageBuffer* canvas) override {
        CScene* scene = scene_.load();
        if (scene != nullptr) {
            if (CInfoLayer* info = scene->InfoLayer()) {
                const ImageBuffer* image = info->GetImage(1.0f, kFourccRV24);
                std::lock_guard<std::mutex> guard(lock_);
                width_ = image ? image->width : 0;
                white_ = image ? CountColour(image, kWhite) : 0;
            }
        }
        RecordingView::Refresh(canvas);
    }
    void Watch(CScene* scene) { scene_ = scene; }
    int LastWidth() {
        std::lock_guard<std::mutex> guard(lock_);
        return width_;
    }
    int LastWhite() {
        std::lock_guard<std::mutex> guard(lock_);
        return white_;
    }

private:
    std::atomic<CScene*> scene_{nullptr};
    std::mutex lock_;
    int width_ = -1, white_ = -1;
};

}  // namespace

TEST(InfoOverlay, TwoLineTextShowsBothLinesWhiteOnBlack) {
    CInfoLayer info("直播中 00:12:34\nOutput 1280x720 25 fps", kFourccRV24);
    const ImageBuffer* image = info.GetImage(1.0f, kFourccRV24);
    ASSERT_NE(image, nullptr);
    const int third = image->height / 3;
    ASSERT_EQ(image->height, 3 * third);
    EXPECT_GT(WhiteInRows(image, 0, third), 30);
    EXPECT_GT(WhiteInRows(image, third, 2 * third), 30);
    EXPECT_EQ(WhiteInRows(image, 2 * third, image->height), 0);
    EXPECT_EQ(CountColour(image, kWhite) + CountColour(image, kBlack), image->width * image->height);
    EXPECT_EQ(info.keyColor.load(), kBlack);

    // The box sits at (10, 10) and holds the three lines.
    const LayerRect r = info.GetRect();
    EXPECT_EQ(r, (LayerRect{10, 10, 10 + image->width, 10 + image->height}));
}

TEST(InfoOverlay, LongerTextIsRenderedButTheBoxKeepsTheFirstWidth) {
    CInfoLayer info("short", kFourccRV24);
    const LayerRect first = info.GetRect();
    const int firstWidth = info.GetImage(1.0f, kFourccRV24)->width;

    info.SetText("a considerably longer information text");
    EXPECT_EQ(info.Text(), "a considerably longer information text");
    const ImageBuffer* image = info.GetImage(1.0f, kFourccRV24);
    ASSERT_NE(image, nullptr);
    EXPECT_GT(image->width, 3 * firstWidth);
    EXPECT_EQ(info.GetRect(), first);  // the view clips the text to this box
}

TEST(InfoOverlay, EmptyTextShowsNothing) {
    CInfoLayer info("", kFourccRV24);
    EXPECT_EQ(info.GetImage(1.0f, kFourccRV24), nullptr);
    info.SetText("now visible");
    const ImageBuffer* image = info.GetImage(1.0f, kFourccRV24);
    ASSERT_NE(image, nullptr);
    EXPECT_GT(CountColour(image, kWhite), 0);
}

TEST(InfoOverlay, SceneCreatesTheOverlayOnceAndTheViewSeesEveryNewText) {
    SceneFixture f(320, 180);
    auto view = std::make_unique<OverlayView>();
    OverlayView* overlay = view.get();
    f.scene.AttachView(std::move(view));
    f.view = overlay;
    overlay->Watch(&f.scene);
    EXPECT_EQ(f.scene.InfoLayer(), nullptr);

    f.scene.SetInfoText("first");
    CInfoLayer* info = f.scene.InfoLayer();
    ASSERT_NE(info, nullptr);
    // The text changes while the composition thread renders it for the view.
    for (int i = 0; i < 40; ++i) f.scene.SetInfoText("changing " + std::to_string(i));
    const std::string last = "the last information text";
    f.scene.SetInfoText(last);
    EXPECT_EQ(f.scene.InfoLayer(), info);
    ASSERT_TRUE(f.Sync());

    CInfoLayer expected(last, kFourccRV24);
    const ImageBuffer* image = expected.GetImage(1.0f, kFourccRV24);
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(overlay->LastWidth(), image->width);
    EXPECT_EQ(overlay->LastWhite(), CountColour(image, kWhite));
    // The overlay never reaches the broadcast picture.
    const std::vector<uint8_t> canvas = f.Canvas();
    for (uint8_t v : canvas) ASSERT_EQ(v, 0);
    f.scene.Destroy();
    EXPECT_EQ(f.scene.InfoLayer(), nullptr);
}
