// A caption edited in its dialog takes its node's place on the composition thread, keeping the box and the
// visibility the presenter gave the old one; a camera given another device does the same and keeps its
// frame; and the view's selection stays safe while the scene composes at full rate: it is set and used
// under the scene's list lock and cleared there before a node is freed, and a node that has gone never
// becomes the selection again.
// Part of the threaded tests, so ThreadSanitizer runs these too.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>

#include "scene/dev_layer.h"
#include "scene/layer_node.h"
#include "scene/text_layer.h"
#include "scene_test_support.h"

namespace {

// Reads the selected layer on every refresh, as the program's view does to draw its outline.
class OutliningView : public RecordingView {
public:
    void Refresh(const ImageBuffer* canvas) override {
        if (const LayerNode* node = SelectedNode(); node != nullptr && node->layer && node->layer->visible)
            outlined_ += node->layer->GetRect().Width() > 0 ? 1 : 0;
        RecordingView::Refresh(canvas);
    }
    int Outlined() const { return outlined_; }

private:
    std::atomic<int> outlined_{0};
};

struct CaptionScene {
    CaptionScene() : scene(nullptr) {
        auto v = std::make_unique<OutliningView>();
        view = v.get();
        scene.AttachView(std::move(v));
        scene.SetFrameRate(1000);  // compose as fast as the thread can
        scene.Initialise(1280, 720, 0);
    }
    TextStyle Style(uint32_t colour) {
        TextStyle style;
        style.FaceName = "DejaVu Sans";
        style.rgbColor = colour;
        return style;
    }
    LayerNode* AddCaption(const std::string& text, LayerRect rect) {
        const TextStyle style = Style(0x00FFFFFF);
        LayerNode* node = scene.AddLayer(kLayerText, text, LayerOptions::Text(&style));
        node->layer->SetRect(rect);  // the rectangle has a lock of its own
        return node;
    }
    std::unique_ptr<CBaseLayer> Caption(const std::string& text, uint32_t colour = 0x000000FF) {
        auto layer = std::make_unique<CTxtLayer>(text, Style(colour), kFourccRV24);
        layer->reRender = 1;
        return layer;
    }
    bool Sync() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (scene.ComposeThread().PendingMessages() != 0) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::yield();
        }
        return view->WaitForFrames(view->Frames() + 2);
    }

    CScene scene;
    OutliningView* view = nullptr;
};

// A capture device that says when it is gone.
class TrackedCamera : public CVideoDevice {
public:
    TrackedCamera(const std::string& name, std::atomic<bool>* gone)
        : CVideoDevice(name, nullptr, 0, 64, 48), gone_(gone) {}
    ~TrackedCamera() override { *gone_ = true; }

private:
    std::atomic<bool>* gone_;
};

}  // namespace

TEST(CaptionExchange, ANewCaptionTakesTheOldOnesPlaceBoxAndVisibilityAndNothingElse) {
    CaptionScene f;
    LayerNode* caption = f.AddCaption("before", {50, 60, 300, 120});
    LayerNode* picture = f.scene.AdoptLayer(kLayerPicture, SolidLayer(64, 36, 9, 9, 9), true);
    ASSERT_TRUE(f.Sync());
    f.scene.WithLayer(caption, [](CBaseLayer& layer) {
        layer.SetVisible(0);
        layer.borderWidth = 4;
        layer.keepRatio = 1;
    });

    f.scene.ReplaceLayer(caption, f.Caption("after"));
    f.scene.ReplaceLayer(picture, f.Caption("not a caption's place"));
    ASSERT_TRUE(f.Sync());
    EXPECT_TRUE(f.scene.WithLayer(caption, [](CBaseLayer& layer) {
        EXPECT_EQ(layer.sourceName, "after");
        EXPECT_EQ(layer.GetRect(), (LayerRect{50, 60, 300, 120}));
        EXPECT_EQ(layer.visible, 0) << "hidden by the presenter, hidden still";
        EXPECT_EQ(layer.borderWidth, 0) << "the other fields start afresh";
        EXPECT_EQ(layer.keepRatio, 0);
        EXPECT_EQ(layer.reRender, 1) << "rendered at its box's size when next shown";
    }));
    f.scene.WithLayer(picture, [](CBaseLayer& layer) { EXPECT_EQ(layer.sourceName, ""); });

    // A node deleted before the exchange arrives takes no new layer; one still queued at the end is freed.
    f.scene.PostThreadMessage(WM_SCENE_DELETE, reinterpret_cast<uintptr_t>(caption), 0);
    f.scene.ReplaceLayer(caption, f.Caption("too late"));
    ASSERT_TRUE(f.Sync());
    EXPECT_EQ(f.scene.LayersTopFirst().size(), 1u);
    // Nor does it become the selection again (a row of the sources panel clicked late).
    EXPECT_FALSE(f.scene.Select(caption));
    EXPECT_TRUE(f.scene.Select(picture));
    EXPECT_EQ(f.view->SelectedNode(), picture);
    f.scene.ReplaceLayer(picture, f.Caption("queued"));
    f.scene.Destroy();
}

TEST(CaptionExchange, ReplacingSelectingDraggingAndDeletingWhileTheSceneComposesAtFullRate) {
    CaptionScene f;
    LayerNode* edited = f.AddCaption("edited", {20, 20, 340, 80});
    LayerNode* other = f.AddCaption("other", {20, 200, 340, 260});
    ASSERT_TRUE(f.Sync());
    const uint64_t framesBefore = f.scene.ComposeThread().FramesComposed();
    for (int i = 0; i < 120; ++i) {
        f.scene.ReplaceLayer(edited, f.Caption("caption " + std::to_string(i), i % 2 ? 0x000000FF : 0x00FF0000));
        // Select the caption being exchanged and move it, as a drag does between exchanges.
        if (f.scene.SelectAt(100, 50) == edited)
            f.scene.WithSelectedLayer([&](LayerNode& node) { node.layer->Drag(kDragMove, i % 2 ? 1 : -1, 0, 1.0f); });
        if (i % 10 == 0) {
            // The selected layer deleted under the view, and a new one added (and selected) in its place.
            f.scene.SelectAt(100, 230);
            f.scene.PostThreadMessage(WM_SCENE_DELETE, reinterpret_cast<uintptr_t>(other), 0);
            other = f.AddCaption("other " + std::to_string(i), {20, 200, 340, 260});
        }
        if (i % 7 == 0) f.scene.SelectAt(700, 400);  // empty space
    }
    ASSERT_TRUE(f.Sync());
    EXPECT_GT(f.scene.ComposeThread().FramesComposed(), framesBefore + 20) << "composed all along";
    EXPECT_GT(f.view->Outlined(), 0);
    EXPECT_TRUE(f.scene.WithLayer(edited, [](CBaseLayer& layer) {
        EXPECT_EQ(layer.sourceName, "caption 119");
        EXPECT_EQ(layer.GetRect(), (LayerRect{20, 20, 340, 80})) << "every move was taken back";
    }));
    EXPECT_EQ(f.scene.LayersTopFirst().size(), 2u);
    // Whatever is selected now is in the scene.
    LayerNode* selected = f.view->SelectedNode();
    EXPECT_TRUE(selected == nullptr || f.scene.WithSelectedLayer([](LayerNode&) {}));
}

TEST(CameraExchange, AnotherDeviceTakesTheCamerasPlaceAndFrameAndTheOldOneIsGoneWhenTheWaitReturns) {
    CaptionScene f;
    std::atomic<bool> firstGone{false};
    LayerNode* node =
        f.scene.AddLayer(kLayerDevice, "Camera One", LayerOptions::Camera(new TrackedCamera("Camera One", &firstGone)));
    ASSERT_NE(node, nullptr);
    ASSERT_TRUE(f.Sync());
    f.scene.WithLayer(node, [](CBaseLayer& layer) {
        layer.SetRect({10, 20, 330, 260});
        layer.borderWidth = 3;
        layer.borderColor = 0x0000FF;
        layer.keepRatio = 0;
    });

    // The device goes with the old layer, on the composition thread: once the wait returns, a capture
    // device that opens only once may be opened again.
    f.scene.ReplaceLayer(node,
                         std::make_unique<CDevLayer>("Camera Two", new CVideoDevice("Camera Two", nullptr, 0, 64, 48),
                                                     ChromaOptions{}, kFourccRV24));
    f.scene.WaitForMessages();
    EXPECT_TRUE(firstGone);
    EXPECT_TRUE(f.scene.WithLayer(node, [](CBaseLayer& layer) {
        EXPECT_EQ(layer.sourceName, "Camera Two");
        EXPECT_EQ(layer.GetRect(), (LayerRect{10, 20, 330, 260}));
        EXPECT_EQ(layer.borderWidth, 3) << "a camera keeps its frame";
        EXPECT_EQ(layer.borderColor, 0x0000FFu);
        EXPECT_EQ(layer.keepRatio, 0);
    }));
    f.scene.Destroy();
    f.scene.WaitForMessages();  // nobody handles messages any more: returns at once
}
