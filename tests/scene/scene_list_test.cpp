// The layer list as the composition thread keeps it: stacking order, the no-op ends, main screen,
// delete, screen flags, hit testing and export/re-import of stored records.
#include <gtest/gtest.h>

#include <string>

#include "platform/queue_window_target.h"
#include "scene/layer_node.h"
#include "scene_test_support.h"

namespace {

uintptr_t W(LayerNode* node) { return reinterpret_cast<uintptr_t>(node); }

std::vector<CBaseLayer*> Order(const CScene& scene) {
    std::vector<CBaseLayer*> layers;
    for (auto& [kind, layer] : scene.LayersTopFirst()) layers.push_back(layer);
    return layers;
}

// A screen layer stand-in that reports its monitor.
class FakeScreenLayer : public CBaseLayer {
public:
    explicit FakeScreenLayer(int index) : index_(index) {}
    int ScreenIndex() const override { return index_; }

private:
    int index_;
};

// Builds layers of the stored kinds with a small solid picture, standing in for the real
// picture and screen layers, so that records can be exported and rebuilt.
class TestFactory : public ILayerFactory {
public:
    std::unique_ptr<CBaseLayer> Create(LayerArgs* args) override {
        if (args->sourceName == "missing.png") return nullptr;
        std::unique_ptr<CBaseLayer> layer;
        if (args->kind == kLayerScreen)
            layer = std::make_unique<FakeScreenLayer>(args->record ? args->record->ScrIdx : args->options.monitorIndex);
        else
            layer = SolidLayer(64, 36, 1, 2, 3);
        layer->sourceName = args->sourceName;
        if (args->kind == kLayerPicture) layer->opacity = args->record ? args->record->Alpha : args->options.opacity;
        return layer;
    }
};

struct ThreeLayers : SceneFixture {
    ThreeLayers() {
        a = scene.AdoptLayer(kLayerPlain, SolidLayer(10, 10, 1, 1, 1), true);
        b = scene.AdoptLayer(kLayerPlain, SolidLayer(10, 10, 2, 2, 2), true);
        c = scene.AdoptLayer(kLayerPlain, SolidLayer(10, 10, 3, 3, 3), true);
        EXPECT_TRUE(Sync());
    }
    CBaseLayer* L(LayerNode* n) { return n->layer.get(); }
    LayerNode *a, *b, *c;  // c on top, a at the bottom
};

}  // namespace

TEST(SceneListOrder, AddTopPutsNewestFirstAddBottomPutsItLast) {
    ThreeLayers f;
    EXPECT_EQ(Order(f.scene), (std::vector<CBaseLayer*>{f.L(f.c), f.L(f.b), f.L(f.a)}));
    LayerNode* d = f.scene.AdoptLayer(kLayerPlain, SolidLayer(4, 4, 0, 0, 0), false);
    ASSERT_TRUE(f.Sync());
    EXPECT_EQ(Order(f.scene).back(), f.L(d));
}

TEST(SceneListOrder, MovesAtTheEndsChangeNothing) {
    ThreeLayers f;
    const auto before = Order(f.scene);
    f.scene.PostThreadMessage(WM_SCENE_MOVE_UP, W(f.c), 0);
    f.scene.PostThreadMessage(WM_SCENE_TO_TOP, W(f.c), 0);
    f.scene.PostThreadMessage(WM_SCENE_MOVE_DOWN, W(f.a), 0);
    f.scene.PostThreadMessage(WM_SCENE_TO_BOTTOM, W(f.a), 0);
    f.scene.PostThreadMessage(WM_SCENE_MOVE_UP, 0, 0);
    f.scene.PostThreadMessage(WM_SCENE_DELETE, 0, 0);
    ASSERT_TRUE(f.Sync());
    EXPECT_EQ(Order(f.scene), before);
}

TEST(SceneListOrder, MoveUpDownAndToTopBottomSwapNeighbours) {
    ThreeLayers f;
    f.scene.PostThreadMessage(WM_SCENE_MOVE_UP, W(f.a), 0);  // c a b
    ASSERT_TRUE(f.Sync());
    EXPECT_EQ(Order(f.scene), (std::vector<CBaseLayer*>{f.L(f.c), f.L(f.a), f.L(f.b)}));
    f.scene.PostThreadMessage(WM_SCENE_MOVE_DOWN, W(f.c), 0);  // a c b
    ASSERT_TRUE(f.Sync());
    EXPECT_EQ(Order(f.scene), (std::vector<CBaseLayer*>{f.L(f.a), f.L(f.c), f.L(f.b)}));
    f.scene.PostThreadMessage(WM_SCENE_TO_TOP, W(f.b), 0);  // b a c
    ASSERT_TRUE(f.Sync());
    EXPECT_EQ(Order(f.scene), (std::vector<CBaseLayer*>{f.L(f.b), f.L(f.a), f.L(f.c)}));
    f.scene.PostThreadMessage(WM_SCENE_TO_BOTTOM, W(f.b), 0);  // a c b
    ASSERT_TRUE(f.Sync());
    EXPECT_EQ(Order(f.scene), (std::vector<CBaseLayer*>{f.L(f.a), f.L(f.c), f.L(f.b)}));
}

TEST(SceneListOrder, MessagesTakeEffectInTheOrderPosted) {
    ThreeLayers f;
    // Each message depends on the one before it having been applied.
    f.scene.PostThreadMessage(WM_SCENE_TO_TOP, W(f.a), 0);     // a c b
    f.scene.PostThreadMessage(WM_SCENE_MOVE_DOWN, W(f.a), 0);  // c a b
    f.scene.PostThreadMessage(WM_SCENE_MOVE_DOWN, W(f.a), 0);  // c b a
    f.scene.PostThreadMessage(WM_SCENE_MOVE_UP, W(f.b), 0);    // b c a
    ASSERT_TRUE(f.Sync());
    EXPECT_EQ(Order(f.scene), (std::vector<CBaseLayer*>{f.L(f.b), f.L(f.c), f.L(f.a)}));
}

TEST(SceneMainScreen, LayerGoesToTheBottomAndFillsTheCanvas) {
    SceneFixture f(1280, 720);
    CQueueWindowTarget notify;
    f.scene.SetNotificationWindow(&notify);
    LayerNode* low = f.scene.AdoptLayer(kLayerPlain, SolidLayer(10, 10, 0, 0, 0), true);
    LayerNode* main = f.scene.AdoptLayer(kLayerPlain, SolidLayer(1280, 720, 0, 0, 200), true);
    LayerNode* high = f.scene.AdoptLayer(kLayerPlain, SolidLayer(100, 100, 0, 200, 0), true);
    ASSERT_TRUE(f.Sync());
    f.scene.PostThreadMessage(WM_SCENE_MAIN_SCREEN, W(main), 0);
    ASSERT_TRUE(f.Sync());
    EXPECT_EQ(Order(f.scene), (std::vector<CBaseLayer*>{high->layer.get(), low->layer.get(), main->layer.get()}));
    EXPECT_EQ(main->layer->GetRect(), (LayerRect{0, 0, 720, 405}));
    ThreadMessage m;
    ASSERT_TRUE(notify.WaitFor([](const ThreadMessage& x) { return x.code == WM_SCENE_TO_BOTTOM; },
                               std::chrono::seconds(1), &m));
    EXPECT_EQ(m.wParam, W(main));
    // Drawn under everything: the other layers' pixels are on top of it.
    const auto canvas = f.Canvas();
    EXPECT_EQ(canvas[2], 0);    // (0,0): the black 10x10 layer covers the corner
    EXPECT_EQ(canvas[1], 200);  // the green 100x100 layer is above that one
    const size_t far = (700 * 1280 + 1200) * 3;
    EXPECT_EQ(canvas[far + 2], 200);  // elsewhere the main screen shows
}

TEST(SceneDelete, DeletingTheSelectedLayerClearsTheSelection) {
    ThreeLayers f;
    f.view->SetSelectedNode(f.b);
    f.scene.PostThreadMessage(WM_SCENE_DELETE, W(f.b), 0);
    ASSERT_TRUE(f.Sync());
    EXPECT_EQ(f.view->SelectedNode(), nullptr);
    EXPECT_EQ(Order(f.scene), (std::vector<CBaseLayer*>{f.L(f.c), f.L(f.a)}));
}

TEST(SceneDelete, DeletingAnotherLayerKeepsTheSelection) {
    ThreeLayers f;
    f.view->SetSelectedNode(f.a);
    f.scene.PostThreadMessage(WM_SCENE_DELETE, W(f.c), 0);
    ASSERT_TRUE(f.Sync());
    EXPECT_EQ(f.view->SelectedNode(), f.a);
}

TEST(SceneDelete, ADeletedNodePostedAgainIsIgnored) {
    ThreeLayers f;
    LayerNode* gone = f.b;
    f.scene.PostThreadMessage(WM_SCENE_DELETE, W(gone), 0);
    // The view may still hold the node and post more about it: nothing may touch freed memory.
    f.scene.PostThreadMessage(WM_SCENE_DELETE, W(gone), 0);
    f.scene.PostThreadMessage(WM_SCENE_MOVE_UP, W(gone), 0);
    f.scene.PostThreadMessage(WM_SCENE_MAIN_SCREEN, W(gone), 0);
    ASSERT_TRUE(f.Sync());
    EXPECT_EQ(Order(f.scene), (std::vector<CBaseLayer*>{f.L(f.c), f.L(f.a)}));
}

TEST(SceneScreens, DeletingAScreenLayerFreesItsMonitor) {
    SceneFixture f;
    LayerNode* s = f.scene.AdoptLayer(kLayerScreen, std::make_unique<FakeScreenLayer>(2), true);
    ASSERT_TRUE(f.Sync());
    EXPECT_TRUE(f.scene.ScreenInUse(2));
    EXPECT_FALSE(f.scene.ScreenInUse(0));
    f.scene.PostThreadMessage(WM_SCENE_DELETE, W(s), 0);
    ASSERT_TRUE(f.Sync());
    EXPECT_FALSE(f.scene.ScreenInUse(2));
    f.scene.AdoptLayer(kLayerScreen, std::make_unique<FakeScreenLayer>(2), false);
    ASSERT_TRUE(f.Sync());
    EXPECT_TRUE(f.scene.ScreenInUse(2));
    EXPECT_FALSE(f.scene.ScreenInUse(-1));
    EXPECT_FALSE(f.scene.ScreenInUse(10));
}

TEST(SceneHitTest, TopmostVisibleLayerWinsAndEdgesAreExclusive) {
    SceneFixture f;
    CQueueWindowTarget notify;
    f.scene.SetNotificationWindow(&notify);
    LayerNode* under = f.scene.AdoptLayer(kLayerPlain, SolidLayer(4, 4, 0, 0, 0), true);
    LayerNode* over = f.scene.AdoptLayer(kLayerPlain, SolidLayer(4, 4, 0, 0, 0), true);
    under->layer->SetRect({0, 0, 200, 200});
    over->layer->SetRect({100, 100, 150, 150});
    ASSERT_TRUE(f.Sync());
    EXPECT_EQ(f.scene.HitTest(120, 120), over);
    EXPECT_EQ(f.scene.HitTest(100, 100), over);   // left and top inclusive
    EXPECT_EQ(f.scene.HitTest(150, 120), under);  // right edge outside the upper layer
    EXPECT_EQ(f.scene.HitTest(120, 150), under);  // bottom edge outside too
    EXPECT_EQ(f.scene.HitTest(200, 10), nullptr);
    over->layer->SetVisible(0);
    EXPECT_EQ(f.scene.HitTest(120, 120), under);
    ThreadMessage m;
    ASSERT_TRUE(notify.Take(&m, std::chrono::seconds(1)));
    EXPECT_EQ(m.code, WM_SCENE_SELECTED);
    EXPECT_EQ(m.wParam, W(over));
}

TEST(SceneRecords, ExportThenRebuildKeepsOrderAndFields) {
    TestFactory factory;
    SceneFixture f(1280, 720, 100, &factory);
    CScene& scene = f.scene;
    LayerNode* pic = scene.AddLayer(kLayerPicture, "logo.png", LayerOptions::Picture(128));
    LayerNode* screen = scene.AddLayer(kLayerScreen, "screen", LayerOptions::Screen(3));
    ASSERT_NE(pic, nullptr);
    ASSERT_NE(screen, nullptr);
    pic->layer->SetRect({5, 6, 105, 66});
    pic->layer->keepRatio = 0;
    pic->layer->borderWidth = 4;
    pic->layer->borderColor = 0x00112233;
    screen->layer->SetVisible(0);

    CSceneBase stored;
    // The layers are in the list only once the composition thread has taken them.
    ASSERT_TRUE(f.Sync());
    ASSERT_EQ(scene.LayersTopFirst().size(), 2u);
    ASSERT_TRUE(scene.ExportRecords(&stored));
    ASSERT_EQ(stored.Records().size(), 2u);
    const SceneSource& first = *stored.Records()[0];
    const SceneSource& second = *stored.Records()[1];
    EXPECT_EQ(first.type, kSourceScreen);
    EXPECT_EQ(first.ScrIdx, 3);
    EXPECT_EQ(first.Visible, 0);
    EXPECT_EQ(second.type, kSourcePicture);
    EXPECT_EQ(second.SourceName, "logo.png");
    EXPECT_EQ(second.Alpha, 128);
    EXPECT_EQ((LayerRect{second.Left, second.Top, second.Right, second.Bottom}), (LayerRect{5, 6, 105, 66}));
    EXPECT_EQ(second.KeepRatio, 0);
    EXPECT_EQ(second.BorderWidth, 4);
    EXPECT_EQ(second.BorderColor, 0x00112233u);

    // Records taken top first and added at the bottom rebuild the same order.
    SceneFixture g(1280, 720, 100, &factory);
    CScene& rebuilt = g.scene;
    const int kinds[] = {kLayerScreen, kLayerPicture};
    for (size_t i = 0; i < 2; ++i) ASSERT_NE(rebuilt.AddLayerFromRecord(kinds[i], *stored.Records()[i]), nullptr);
    ASSERT_TRUE(g.Sync());
    const auto layers = rebuilt.LayersTopFirst();
    ASSERT_EQ(layers.size(), 2u);
    EXPECT_EQ(layers[0].first, kLayerScreen);
    EXPECT_EQ(layers[0].second->ScreenIndex(), 3);
    EXPECT_EQ(layers[0].second->visible, 0);
    EXPECT_EQ(layers[1].first, kLayerPicture);
    EXPECT_EQ(layers[1].second->GetRect(), (LayerRect{5, 6, 105, 66}));
    EXPECT_EQ(layers[1].second->opacity, 128);
    EXPECT_EQ(layers[1].second->borderWidth, 4);
    EXPECT_TRUE(rebuilt.ScreenInUse(3));
    EXPECT_FALSE(rebuilt.ExportRecords(nullptr));
}

TEST(SceneAddLayer, EmptyNamesAndUnloadablePicturesMakeNoLayer) {
    TestFactory factory;
    CScene scene(nullptr, &factory);
    EXPECT_EQ(scene.AddLayer(kLayerPicture, "", LayerOptions::Picture(255)), nullptr);
    EXPECT_EQ(scene.AddLayer(kLayerPicture, "missing.png", LayerOptions::Picture(255)), nullptr);
    SceneSource record;
    record.SourceName = "missing.png";
    EXPECT_EQ(scene.AddLayerFromRecord(kLayerPicture, record), nullptr);
}

TEST(SceneAddLayer, NewLayerGetsItsNaturalSizeAndIsSelected) {
    TestFactory factory;
    CScene scene(nullptr, &factory);
    auto v = std::make_unique<RecordingView>();
    RecordingView* view = v.get();
    scene.AttachView(std::move(v));
    ASSERT_TRUE(scene.Initialise(1920, 1080, 0));
    LayerNode* node = scene.AddLayer(kLayerPicture, "a.png", LayerOptions::Picture(255));
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(view->SelectedNode(), node);
    // 64x36 pixels at scale 2.667: trunc(64 / 2.667 + 0.49) = 24, trunc(36 / 2.667 + 0.49) = 13.
    EXPECT_EQ(node->layer->GetRect(), (LayerRect{0, 0, 24, 13}));
}

TEST(SceneAddLayer, PlainLayerFromTheProgramFactoryDrawsNothing) {
    SceneFixture f;
    LayerNode* node = f.scene.AddLayer(kLayerPlain, "plain", LayerOptions{});
    ASSERT_NE(node, nullptr);
    ASSERT_TRUE(f.Sync());
    EXPECT_EQ(f.scene.LayersTopFirst().size(), 1u);
    for (uint8_t v : f.Canvas()) ASSERT_EQ(v, 0);
    // Kinds whose layers the program cannot make give no node at all.
    EXPECT_EQ(f.scene.AddLayer(6, "nothing", LayerOptions{}), nullptr);
}

TEST(SceneResize, CanvasFollowsAndTextLayersAreMarkedForRerender) {
    SceneFixture f(1280, 720);
    LayerNode* text = f.scene.AdoptLayer(kLayerText, SolidLayer(10, 10, 255, 255, 255), true);
    LayerNode* plain = f.scene.AdoptLayer(kLayerPlain, SolidLayer(10, 10, 255, 255, 255), true);
    ASSERT_TRUE(f.Sync());
    f.scene.PostThreadMessage(WM_SCENE_RESIZE, 640, 360);
    ASSERT_TRUE(f.Sync());
    EXPECT_EQ(f.scene.CanvasWidth(), 640);
    EXPECT_EQ(f.scene.ViewHeight(), 405);
    EXPECT_FLOAT_EQ(f.scene.Scale(), 640.0f / 720.0f);
    EXPECT_EQ(f.view->resetCanvasWidth, 640);
    EXPECT_EQ(f.view->resetViewHeight, 405);
    EXPECT_EQ(f.Canvas().size(), 640u * 360u * 3u);
    EXPECT_EQ(text->layer->reRender, 1);
    EXPECT_EQ(plain->layer->reRender, 0);
    // Impossible sizes are refused and the canvas stays.
    f.scene.PostThreadMessage(WM_SCENE_RESIZE, 0, 360);
    f.scene.PostThreadMessage(WM_SCENE_RESIZE, 640, static_cast<intptr_t>(-2));
    ASSERT_TRUE(f.Sync());
    EXPECT_EQ(f.scene.CanvasWidth(), 640);
    EXPECT_EQ(f.Canvas().size(), 640u * 360u * 3u);
}

TEST(SceneLifetime, LayersPostedButNeverTakenAreReleasedOnDestroy) {
    // Run under the address sanitizer this catches a leak of the posted node and its layer.
    CScene scene(nullptr);
    scene.AdoptLayer(kLayerPlain, SolidLayer(4, 4, 0, 0, 0), true);
    scene.Destroy();
    // After the thread has gone a new layer is refused (and freed), never left dangling.
    EXPECT_EQ(scene.AdoptLayer(kLayerPlain, SolidLayer(4, 4, 0, 0, 0), true), nullptr);
    scene.Destroy();
}
