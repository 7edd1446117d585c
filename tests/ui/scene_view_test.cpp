// The scene view as the presenter uses it, on a private X server: selecting, moving and resizing layers
// with the mouse (handles and cursors), the arrow keys and Delete, the layer context panel, the outline
// and information overlay that only the view shows, a view that stops drawing while its window is away,
// captions replaced while the scene composes, and either side of the view going first.
#include <gtest/gtest.h>

#include <QCursor>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "app/app_config.h"
#include "app/language_table.h"
#include "app/live_session.h"
#include "media/live_engine.h"
#include "platform/queue_window_target.h"
#include "scene/picture_layer.h"
#include "scene/scene.h"
#include "scene/text_layer.h"
#include "tests/media/live_test_support.h"
#include "tests/ui/ui_test_support.h"
#include "ui/bg_panel.h"

namespace {

constexpr uint8_t kLayerB = 60, kLayerG = 160, kLayerR = 90;  // the test picture's colour

bool WaitFor(const std::function<bool()>& condition, int ms = 10000) { return QTest::qWaitFor(condition, ms); }

// A still picture of one colour, scaled by the scene to its rectangle.
std::unique_ptr<CBaseLayer> Picture(int w, int h, uint8_t b = kLayerB, uint8_t g = kLayerG, uint8_t r = kLayerR) {
    ImageBufferPtr pixels(CreateImageBuffer(w, h, kFourccRV24));
    for (int i = 0; i < w * h; ++i) {
        pixels->planes[0][i * 3] = b;
        pixels->planes[0][i * 3 + 1] = g;
        pixels->planes[0][i * 3 + 2] = r;
    }
    return std::make_unique<CPicLayer>("picture.png", CPictureBitmap(std::move(pixels)), 255);
}

bool Near(QRgb c, int r, int g, int b, int tolerance = 14) {
    return std::abs(qRed(c) - r) <= tolerance && std::abs(qGreen(c) - g) <= tolerance &&
           std::abs(qBlue(c) - b) <= tolerance;
}
bool IsLayer(QRgb c) { return Near(c, kLayerR, kLayerG, kLayerB); }
bool IsWhite(QRgb c) { return qRed(c) > 235 && qGreen(c) > 235 && qBlue(c) > 235; }
// White drawn one pixel wide down a column shares its chroma with the neighbour in YUY2: it stays bright.
bool IsBright(QRgb c) { return qGray(c) > 200; }

// Hovering: a move with no button, delivered to the panel as the window system would.
void Hover(QWidget* widget, QPoint at) {
    QMouseEvent move(QEvent::MouseMove, at, widget->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

void Drag(QWidget* widget, QPoint from, QPoint to) {
    QTest::mousePress(widget, Qt::LeftButton, Qt::NoModifier, from);
    QTest::mouseMove(widget, from + (to - from) / 2);
    QTest::mouseMove(widget, to);
    QTest::mouseRelease(widget, Qt::LeftButton, Qt::NoModifier, to);
}

uintptr_t W(const LayerNode* node) { return reinterpret_cast<uintptr_t>(node); }

// Sets an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old, had_ = true;
        setenv(name, value, 1);
    }
    ~ScopedEnv() {
        if (had_)
            setenv(name_, old_.c_str(), 1);
        else
            unsetenv(name_);
    }

private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};

// The main window's part: a window holding the view, the scene, and the window the scene and the view
// tell of their changes.
struct Studio {
    explicit Studio(int canvasWidth = 1280, int canvasHeight = 720) {
        if (CSkin::Current().SkinFolder().empty()) ui_test::UseLanguage("en");
        scene.SetNotificationWindow(&owner);
        scene.SetFrameRate(50);
        window.resize(760, 520);
        panel = new CBGPanel(&scene, &owner, &window);
        scene.Initialise(canvasWidth, canvasHeight, 40);
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    // A picture layer at rect, on top, once the composition thread has taken it in.
    LayerNode* Add(LayerRect rect, std::unique_ptr<CBaseLayer> layer = Picture(160, 90)) {
        layer->SetRect(rect);
        LayerNode* node = scene.AdoptLayer(kLayerPicture, std::move(layer), true);
        EXPECT_TRUE(WaitFor([&] { return scene.WithLayer(node, [](CBaseLayer&) {}); }));
        return node;
    }
    LayerRect Rect(const LayerNode* node) {
        LayerRect r;
        scene.WithLayer(node, [&](CBaseLayer& layer) { r = layer.GetRect(); });
        return r;
    }
    // Returns once n more frames have reached the view.
    bool Frames(int n = 2) {
        const uint64_t target = panel->Frames().Published() + n;
        return WaitFor([&] { return panel->Frames().Published() >= target; });
    }
    // What the view shows after the next frames.
    QImage Shown() {
        EXPECT_TRUE(Frames());
        return panel->Renderer()->Surface()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    }
    // The composed canvas after the next frames.
    QRgb CanvasAt(int x, int y) {
        EXPECT_TRUE(Frames());
        std::vector<uint8_t> pixels;
        int w = 0, h = 0;
        scene.CopyCanvas(&pixels, &w, &h);
        const uint8_t* p = pixels.data() + (static_cast<size_t>(y) * w + x) * 3;
        return qRgb(p[2], p[1], p[0]);
    }
    std::vector<ThreadMessage> Posted() {
        auto all = owner.TakeAll();
        return {all.begin(), all.end()};
    }

    CQueueWindowTarget owner;
    CScene scene{&owner};
    QWidget window;  // goes first, with the panel
    CBGPanel* panel = nullptr;
};

bool Contains(const std::vector<ThreadMessage>& messages, uint32_t code, const LayerNode* node) {
    for (const ThreadMessage& m : messages)
        if (m.code == code && m.wParam == W(node)) return true;
    return false;
}

}  // namespace

TEST(SceneViewMouse, APressInsideTheMarginSelectsWithoutMovingAndOneAtTheCentreStartsAMove) {
    Studio studio;
    LayerNode* node = studio.Add({100, 100, 260, 190});
    ASSERT_EQ(studio.panel->geometry(), QRect(1, 40, 720, 405)) << "placed by the scene's initialisation";

    // 5 pixels inside the left edge: selected, and the left edge is the handle, not a move.
    QTest::mousePress(studio.panel, Qt::LeftButton, Qt::NoModifier, QPoint(105, 145));
    EXPECT_EQ(studio.panel->SelectedNode(), node);
    EXPECT_NE(studio.panel->DragMode(), kDragMove);
    QTest::mouseMove(studio.panel, QPoint(125, 145));
    QTest::mouseRelease(studio.panel, Qt::LeftButton, Qt::NoModifier, QPoint(125, 145));
    const LayerRect edged = studio.Rect(node);
    EXPECT_EQ(edged.right, 260) << "the layer did not move";
    EXPECT_EQ(edged.top, 100);
    EXPECT_TRUE(Contains(studio.Posted(), WM_SCENE_SELECTED, node));

    // At the centre: a move, with the four-way cursor while it lasts.
    const LayerRect before = studio.Rect(node);
    const QPoint centre((before.left + before.right) / 2, (before.top + before.bottom) / 2);
    QTest::mousePress(studio.panel, Qt::LeftButton, Qt::NoModifier, centre);
    EXPECT_EQ(studio.panel->DragMode(), kDragMove);
    EXPECT_EQ(studio.panel->cursor().shape(), Qt::SizeAllCursor);
    QTest::mouseMove(studio.panel, centre + QPoint(12, 7));
    QTest::mouseMove(studio.panel, centre + QPoint(30, 20));
    QTest::mouseRelease(studio.panel, Qt::LeftButton, Qt::NoModifier, centre + QPoint(30, 20));
    const LayerRect moved = studio.Rect(node);
    EXPECT_EQ(moved.left, before.left + 30);
    EXPECT_EQ(moved.top, before.top + 20);
    EXPECT_EQ(moved.Width(), before.Width());
    EXPECT_EQ(moved.Height(), before.Height());
    EXPECT_EQ(studio.panel->DragMode(), 0);
    EXPECT_EQ(studio.panel->cursor().shape(), Qt::ArrowCursor);
}

TEST(SceneViewMouse, HoveringTheMarginOfTheSelectionShowsItsHandleAndDraggingACornerResizes) {
    Studio studio;
    LayerNode* node = studio.Add({100, 100, 260, 190});  // 16:9, the picture's own ratio
    QTest::mouseClick(studio.panel, Qt::LeftButton, Qt::NoModifier, QPoint(180, 145));
    ASSERT_EQ(studio.panel->SelectedNode(), node);

    const struct {
        QPoint at;
        int mode;
        Qt::CursorShape cursor;
    } hovers[] = {
        {{257, 187}, kDragBottomRight, Qt::SizeFDiagCursor},  // 3 pixels inside the corner
        {{103, 103}, kDragTopLeft, Qt::SizeFDiagCursor},
        {{257, 103}, kDragTopRight, Qt::SizeBDiagCursor},
        {{104, 145}, kDragLeft, Qt::SizeHorCursor},
        {{180, 186}, kDragBottom, Qt::SizeVerCursor},
        {{180, 145}, 0, Qt::ArrowCursor},  // the move area has no handle until pressed
        {{300, 145}, 0, Qt::ArrowCursor},  // outside the layer
    };
    for (const auto& h : hovers) {
        Hover(studio.panel, h.at);
        EXPECT_EQ(studio.panel->DragMode(), h.mode) << h.at.x() << "," << h.at.y();
        EXPECT_EQ(studio.panel->cursor().shape(), h.cursor) << h.at.x() << "," << h.at.y();
    }

    Hover(studio.panel, QPoint(257, 187));
    Drag(studio.panel, QPoint(257, 187), QPoint(297, 197));
    const LayerRect r = studio.Rect(node);
    EXPECT_EQ(r.left, 100);
    EXPECT_EQ(r.top, 100);
    EXPECT_EQ(r.right, 300);
    EXPECT_EQ(r.bottom, 100 + static_cast<int>(200 / (16.0f / 9.0f))) << "the width decides, the ratio holds";
    // Drawn at the new size: the canvas shows the layer up to its new corner.
    const float scale = studio.scene.Scale();
    EXPECT_TRUE(IsLayer(studio.CanvasAt(static_cast<int>(298 * scale), static_cast<int>((r.bottom - 2) * scale))));
}

TEST(SceneViewKeys, ArrowsMoveOneViewPixelWhichIsScaleCanvasPixelsAndDeleteRemovesTheLayer) {
    Studio studio;  // 1280 x 720: 1.78 canvas pixels per view pixel
    LayerNode* node = studio.Add({100, 100, 260, 190});
    QTest::mouseClick(studio.panel, Qt::LeftButton, Qt::NoModifier, QPoint(180, 145));
    const float scale = studio.scene.Scale();
    const int edge = static_cast<int>(100 * scale);  // 177
    EXPECT_TRUE(IsLayer(studio.CanvasAt(edge, 300)));
    EXPECT_FALSE(IsLayer(studio.CanvasAt(edge - 1, 300)));

    studio.panel->HandleKey(Qt::Key_Right);
    EXPECT_EQ(studio.Rect(node).left, 101);
    const int moved = static_cast<int>(101 * scale);  // 179: two canvas pixels further
    EXPECT_GT(moved, edge + 1);
    EXPECT_FALSE(IsLayer(studio.CanvasAt(moved - 1, 300)));
    EXPECT_TRUE(IsLayer(studio.CanvasAt(moved, 300)));

    studio.panel->HandleKey(Qt::Key_Down);
    studio.panel->HandleKey(Qt::Key_Left);
    studio.panel->HandleKey(Qt::Key_Up);
    studio.panel->HandleKey(Qt::Key_A);  // not a key of the view
    EXPECT_EQ(studio.Rect(node), (LayerRect{100, 100, 260, 190}));

    studio.Posted();
    studio.panel->HandleKey(Qt::Key_Delete);
    EXPECT_TRUE(Contains(studio.Posted(), WM_SCENE_DELETE, node));
    ASSERT_TRUE(WaitFor([&] { return studio.scene.LayersTopFirst().empty(); }));
    EXPECT_EQ(studio.panel->SelectedNode(), nullptr) << "the scene cleared the selection of the deleted layer";
    studio.panel->HandleKey(Qt::Key_Right);  // nothing selected: nothing to move, nothing freed touched
    studio.panel->HandleKey(Qt::Key_Delete);
    EXPECT_TRUE(studio.Posted().empty());
}

// Both display paths show the same thing; OpenGL only where the server gives a context.
class SceneViewOutline : public testing::TestWithParam<const char*> {};

TEST_P(SceneViewOutline, ClickingEmptySpaceClearsTheSelectionAndTheOutline) {
    ScopedEnv path("BREVACAST_PREVIEW", GetParam());
    if (std::string(GetParam()) == "gl" && !ProbeOpenGL().context) GTEST_SKIP() << "no OpenGL context here";
    Studio studio;
    ASSERT_NE(studio.panel->Renderer(), nullptr);
    EXPECT_EQ(studio.panel->Renderer()->Path(),
              std::string(GetParam()) == "gl" ? PreviewPath::kOpenGL : PreviewPath::kCpu);
    LayerNode* node = studio.Add({100, 100, 260, 190});
    QTest::mouseClick(studio.panel, Qt::LeftButton, Qt::NoModifier, QPoint(180, 145));
    ASSERT_EQ(studio.panel->SelectedNode(), node);
    QImage shown = studio.Shown();
    EXPECT_TRUE(IsWhite(shown.pixel(180, 100))) << "the outline's top side";
    EXPECT_TRUE(IsWhite(shown.pixel(180, 189))) << "its bottom side, inside the rectangle";
    EXPECT_TRUE(IsBright(shown.pixel(100, 140))) << "its left side";
    EXPECT_TRUE(IsBright(shown.pixel(259, 140))) << "its right side";
    EXPECT_TRUE(IsLayer(shown.pixel(180, 102))) << "one pixel wide";
    EXPECT_TRUE(IsLayer(shown.pixel(102, 140)));

    QTest::mouseClick(studio.panel, Qt::LeftButton, Qt::NoModifier, QPoint(600, 350));
    EXPECT_EQ(studio.panel->SelectedNode(), nullptr);
    shown = studio.Shown();
    EXPECT_TRUE(IsLayer(shown.pixel(180, 100)));
    EXPECT_FALSE(IsBright(shown.pixel(180, 189)));  // the layer's last row, half over black
    EXPECT_FALSE(IsBright(shown.pixel(100, 140)));
    EXPECT_FALSE(IsBright(shown.pixel(259, 140)));
}

INSTANTIATE_TEST_SUITE_P(BothPaths, SceneViewOutline, testing::Values("cpu", "gl"));

TEST(SceneViewContextPanel, EntriesPostTheirCodesActOnTheLayerAndKeepToTheSelection) {
    Studio studio;
    LayerNode* lower = studio.Add({40, 40, 200, 130});
    LayerNode* upper = studio.Add({100, 100, 260, 190});
    std::vector<std::pair<int, LayerNode*>> handled;
    CMenuPanel* menu = studio.panel->ContextPanel();

    QTest::mouseClick(studio.panel, Qt::RightButton, Qt::NoModifier, QPoint(180, 145));
    ASSERT_TRUE(menu->isVisible());
    EXPECT_EQ(menu->Node(), upper);
    EXPECT_EQ(studio.panel->SelectedNode(), upper);
    // Opened at the pointer, under the real pointer so that its timer keeps it open.
    EXPECT_EQ(menu->pos(), studio.panel->mapToGlobal(QPoint(180, 145)));
    QCursor::setPos(menu->geometry().center());
    EXPECT_EQ(menu->Entry(kCmdMainScreen)->Text(), QString::fromStdString(GetText(kTextMainScreen)));

    // Without a handler the border and settings entries do nothing; with one they reach it.
    QTest::mouseClick(menu->Entry(kCmdSetting), Qt::LeftButton);
    EXPECT_FALSE(menu->isVisible()) << "a choice closes the panel";
    studio.panel->SetLayerCommandHandler([&](int command, LayerNode* node) { handled.emplace_back(command, node); });
    menu->Run(kCmdBorder);
    menu->Run(kCmdSetting);
    EXPECT_EQ(handled, (std::vector<std::pair<int, LayerNode*>>{{kCmdBorder, upper}, {kCmdSetting, upper}}));

    // The proportion lock and the natural size act at once.
    menu->Run(kCmdOriginalRate);
    studio.scene.WithLayer(upper, [](CBaseLayer& layer) { EXPECT_EQ(layer.keepRatio, 0); });
    menu->Run(kCmdOriginalSize);  // 160 x 90 canvas pixels are 90 x 51 view pixels at 1280 x 720
    EXPECT_EQ(studio.Rect(upper), (LayerRect{100, 100, 190, 151}));

    // Main screen: the owner hears "to the bottom", the scene makes it the main screen.
    studio.Posted();
    QCursor::setPos(menu->geometry().center());
    QTest::mouseClick(menu->Entry(kCmdMainScreen), Qt::LeftButton);
    const std::vector<ThreadMessage> posted = studio.Posted();
    ASSERT_FALSE(posted.empty());
    EXPECT_EQ(posted.front().code, WM_SCENE_TO_BOTTOM);
    EXPECT_EQ(posted.front().wParam, W(upper));
    EXPECT_FALSE(Contains(posted, WM_SCENE_MAIN_SCREEN, upper)) << "the main screen code is the scene's";
    ASSERT_TRUE(WaitFor([&] { return studio.Rect(upper) == LayerRect{0, 0, 720, 405}; }));
    ASSERT_TRUE(WaitFor([&] { return studio.scene.LayersTopFirst().back().second == upper->layer.get(); }));

    // The panel acts only while its layer is still the selection.
    QTest::mouseClick(studio.panel, Qt::RightButton, Qt::NoModifier, QPoint(60, 60));
    EXPECT_EQ(menu->Node(), lower);
    QTest::mouseClick(studio.panel, Qt::LeftButton, Qt::NoModifier, QPoint(700, 10));  // lands on the main screen
    studio.Posted();
    menu->Run(kCmdDelete);
    EXPECT_TRUE(studio.Posted().empty());
    EXPECT_EQ(studio.scene.LayersTopFirst().size(), 2u);

    QTest::mouseClick(studio.panel, Qt::RightButton, Qt::NoModifier, QPoint(60, 60));
    menu->Run(kCmdDelete);
    EXPECT_TRUE(Contains(studio.Posted(), WM_SCENE_DELETE, lower));
    EXPECT_TRUE(WaitFor([&] { return studio.scene.LayersTopFirst().size() == 1; }));
}

TEST(SceneViewVisibility, AHiddenOrMinimisedWindowGetsNoFramesDrawn) {
    Studio studio;
    ASSERT_TRUE(studio.Frames());
    EXPECT_TRUE(studio.panel->PreviewShowing());
    const auto composedMore = [&](uint64_t n) {
        const uint64_t target = studio.scene.ComposeThread().FramesComposed() + n;
        return WaitFor([&] { return studio.scene.ComposeThread().FramesComposed() >= target; });
    };

    studio.window.hide();
    EXPECT_FALSE(studio.panel->PreviewShowing());
    uint64_t drawn = studio.panel->Frames().Published();
    ASSERT_TRUE(composedMore(5));
    EXPECT_LE(studio.panel->Frames().Published(), drawn + 1) << "at most the frame under way";

    studio.window.show();
    EXPECT_TRUE(studio.panel->PreviewShowing());
    ASSERT_TRUE(studio.Frames(3));

    studio.window.setWindowState(Qt::WindowMinimized);
    EXPECT_FALSE(studio.panel->PreviewShowing());
    drawn = studio.panel->Frames().Published();
    ASSERT_TRUE(composedMore(5));
    EXPECT_LE(studio.panel->Frames().Published(), drawn + 1);
    studio.window.setWindowState(Qt::WindowNoState);
    EXPECT_TRUE(studio.panel->PreviewShowing());
    EXPECT_TRUE(studio.Frames(3));
}

TEST(SceneViewCaptions, ACaptionReplacedWhileTheSceneComposesKeepsItsPlaceSelectionAndVisibility) {
    Studio studio;
    studio.scene.SetFrameRate(1000);  // compose as fast as the thread can
    TextStyle style;
    style.FaceName = "DejaVu Sans";
    style.rgbColor = 0x00FFFFFF;
    LayerNode* node = studio.scene.AddLayer(kLayerText, "first", LayerOptions::Text(&style));
    ASSERT_NE(node, nullptr);
    ASSERT_TRUE(WaitFor([&] { return studio.scene.WithLayer(node, [](CBaseLayer&) {}); }));
    const LayerRect place{50, 300, 350, 360};
    studio.scene.WithLayer(node, [&](CBaseLayer& layer) {
        layer.SetRect(place);
        layer.SetVisible(0);
    });
    EXPECT_EQ(studio.panel->SelectedNode(), node) << "a new layer is selected";

    for (int i = 0; i < 30; ++i) {
        style.rgbColor = i % 2 ? 0x00FFFFFF : 0x000000FF;
        studio.panel->ReplaceCaption(node, "caption " + std::to_string(i), style);
        studio.panel->HandleKey(i % 2 ? Qt::Key_Right : Qt::Key_Left);
    }
    ASSERT_TRUE(WaitFor([&] { return studio.scene.ComposeThread().PendingMessages() == 0; }));
    ASSERT_TRUE(studio.Frames());
    studio.scene.WithLayer(node, [&](CBaseLayer& layer) {
        EXPECT_EQ(layer.sourceName, "caption 29");
        EXPECT_EQ(layer.GetRect(), place);
        EXPECT_EQ(layer.visible, 0) << "a hidden caption stays hidden";
        EXPECT_EQ(static_cast<CTxtLayer&>(layer).Style().rgbColor, 0x00FFFFFFu);
    });
    EXPECT_EQ(studio.panel->SelectedNode(), node);
    EXPECT_EQ(studio.scene.LayersTopFirst().size(), 1u);
}

TEST(SceneViewReset, ANewOutputSizeResizesTheViewFromTheCompositionThread) {
    Studio studio;
    ASSERT_TRUE(studio.Frames());
    studio.scene.PostThreadMessage(WM_SCENE_RESIZE, 640, 480);
    ASSERT_TRUE(WaitFor([&] { return studio.panel->height() == 540; }));
    EXPECT_EQ(studio.panel->geometry(), QRect(1, 40, 720, 540));
    LayerNode* node = studio.Add({300, 400, 460, 490});  // below the old view's bottom
    QTest::mouseClick(studio.panel, Qt::LeftButton, Qt::NoModifier, QPoint(380, 445));
    EXPECT_EQ(studio.panel->SelectedNode(), node);
    const QImage shown = studio.Shown();
    EXPECT_EQ(shown.size(), QSize(720, 540));
    EXPECT_TRUE(IsLayer(shown.pixel(380, 445)));
    EXPECT_TRUE(IsWhite(shown.pixel(380, 400)));
}

TEST(SceneViewLifetime, ThePanelAndTheSceneMayGoInEitherOrder) {
    // The panel goes first: the scene composes on, with nobody to show its frames to.
    {
        CQueueWindowTarget owner;
        CScene scene(&owner);
        scene.SetFrameRate(200);
        auto* panel = new CBGPanel(&scene, &owner, nullptr);
        scene.Initialise(640, 360, 0);
        panel->show();
        ASSERT_TRUE(WaitFor([&] { return panel->Frames().Published() >= 3; }));
        delete panel;
        const uint64_t composed = scene.ComposeThread().FramesComposed();
        EXPECT_TRUE(WaitFor([&] { return scene.ComposeThread().FramesComposed() >= composed + 5; }));
    }
    // The scene goes first: the panel stays usable and touches nothing of it.
    CQueueWindowTarget owner;
    auto scene = std::make_unique<CScene>(&owner);
    QWidget window;
    auto* panel = new CBGPanel(scene.get(), &owner, &window);
    scene->Initialise(640, 360, 0);
    auto layer = Picture(64, 36);
    layer->SetRect({10, 10, 200, 120});
    LayerNode* node = scene->AdoptLayer(kLayerPicture, std::move(layer), true);
    ASSERT_TRUE(WaitFor([&] { return scene->WithLayer(node, [](CBaseLayer&) {}); }));
    QTest::mouseClick(panel, Qt::RightButton, Qt::NoModifier, QPoint(50, 50));
    ASSERT_EQ(panel->SelectedNode(), node);
    ASSERT_TRUE(panel->ContextPanel()->isVisible());
    owner.TakeAll();
    scene.reset();
    EXPECT_EQ(panel->SelectedNode(), nullptr);
    QTest::mouseClick(panel, Qt::LeftButton, Qt::NoModifier, QPoint(50, 50));
    QTest::mouseMove(panel, QPoint(60, 60));
    panel->HandleKey(Qt::Key_Right);
    panel->HandleKey(Qt::Key_Delete);
    panel->ContextPanel()->Run(kCmdDelete);
    EXPECT_FALSE(panel->ContextPanel()->isVisible());
    EXPECT_TRUE(owner.TakeAll().empty());
}

TEST(SceneViewRecording, TheOutlineAndTheInformationTextStayOutOfARecordingMadeWhileALayerIsSelected) {
    live_test::TempDir folder;
    Studio studio(640, 360);
    studio.scene.SetFrameRate(25);
    // A grey layer; the outline around it and the information text are white, in the view only.
    LayerNode* node = studio.Add({150, 120, 450, 320}, Picture(64, 36, 128, 128, 128));
    studio.scene.SetInfoText("REC\nTEST");
    QTest::mouseClick(studio.panel, Qt::LeftButton, Qt::NoModifier, QPoint(300, 220));
    ASSERT_EQ(studio.panel->SelectedNode(), node);
    const QImage shown = studio.Shown();
    ASSERT_TRUE(IsWhite(shown.pixel(300, 120))) << "the view shows the outline";
    int infoPixels = 0;
    for (int y = 10; y < 70; ++y)
        for (int x = 10; x < 60; ++x) infoPixels += IsBright(shown.pixel(x, y)) ? 1 : 0;
    ASSERT_GT(infoPixels, 20) << "and the information text";

    AppConfig config("", nullptr);
    config.FrameSizeCX = 640;
    config.FrameSizeCY = 360;
    config.Bitrate = 2000;
    config.Framerate = 25;
    config.LocalSaveFolder = folder.Path();
    CQueueWindowTarget status;
    CLiveEngine engine(&status);
    LiveSession session(&engine, LiveProducers::Of(&studio.scene, nullptr));
    ASSERT_EQ(session.Start(LiveSettings::From(config, kServerNone, 0, std::string(), false)), LiveStartResult::kLive);
    const uint64_t encoded = studio.scene.ComposeThread().FramesEncoded();
    EXPECT_TRUE(WaitFor([&] { return studio.scene.ComposeThread().FramesEncoded() >= encoded + 40; }, 30000));
    EXPECT_EQ(studio.panel->SelectedNode(), node);
    EXPECT_TRUE(studio.Frames()) << "the view kept drawing during the live";
    session.Stop();

    const std::vector<std::string> files = live_test::Recordings(folder.Path());
    ASSERT_EQ(files.size(), 1u);
    std::string raw;
    live_test::Run(
        "ffmpeg -v error -sseof -1 -i " + live_test::Quoted(files[0]) + " -frames:v 1 -f rawvideo -pix_fmt bgr24 -",
        &raw);
    ASSERT_EQ(raw.size(), 640u * 360u * 3u);
    const auto* pixels = reinterpret_cast<const uint8_t*>(raw.data());
    int bright = 0;
    for (size_t i = 0; i < raw.size(); i += 3)
        if (std::min({pixels[i], pixels[i + 1], pixels[i + 2]}) > 190) ++bright;
    EXPECT_EQ(bright, 0) << "no outline and no information text in the broadcast picture";
    const uint8_t* centre = pixels + (static_cast<size_t>(200) * 640 + 266) * 3;
    EXPECT_NEAR(centre[1], 128, 12) << "the layer itself is recorded";
}

TEST(SceneViewScreenshots, TheViewWithASelectedLayerAndTheOverlayAndTheContextPanelInBothLanguages) {
    for (const char* language : {"en", "cn"}) {
        ui_test::UseLanguage(language);
        Studio studio;
        // A stage: a dusk gradient with a lit disc, the kind of picture a studio shows behind a caption.
        QImage stage(640, 360, QImage::Format_RGB32);
        {
            QPainter painter(&stage);
            QLinearGradient sky(0, 0, 0, 360);
            sky.setColorAt(0, QColor(0x1C, 0x2A, 0x4A));
            sky.setColorAt(1, QColor(0xC8, 0x6A, 0x3C));
            painter.fillRect(stage.rect(), sky);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.setBrush(QColor(0xF6, 0xD3, 0x7A));
            painter.setPen(Qt::NoPen);
            painter.drawEllipse(QPointF(420, 250), 70, 70);
            painter.fillRect(QRect(0, 300, 640, 60), QColor(0x16, 0x18, 0x22));
        }
        const QImage bgr = stage.convertToFormat(QImage::Format_BGR888);
        ImageBufferPtr pixels(CreateImageBuffer(640, 360, kFourccRV24));
        for (int y = 0; y < 360; ++y) std::memcpy(pixels->planes[0] + y * 640 * 3, bgr.constScanLine(y), 640 * 3);
        auto picture = std::make_unique<CPicLayer>("stage.png", CPictureBitmap(std::move(pixels)), 255);
        studio.Add({0, 0, 720, 405}, std::move(picture));
        TextStyle style;
        style.FaceName = GetText(kTextSkinFontFace);
        style.rgbColor = 0x00FFFFFF;
        style.Bold = 1;
        LayerNode* caption = studio.scene.AddLayer(kLayerText, "BrevacastPC", LayerOptions::Text(&style));
        ASSERT_TRUE(WaitFor([&] { return studio.scene.WithLayer(caption, [](CBaseLayer&) {}); }));
        studio.scene.WithLayer(caption, [](CBaseLayer& layer) {
            layer.SetRect({200, 290, 520, 350});
            layer.reRender = 1;  // fitted to its box, as a drag leaves it
        });
        char info[256];
        std::snprintf(info, sizeof(info), GetText(kTextOutputInfo).c_str(), 1280, 720, 2000, 25);
        studio.scene.SetInfoText(info);
        QTest::mouseClick(studio.panel, Qt::LeftButton, Qt::NoModifier, QPoint(360, 320));
        ASSERT_EQ(studio.panel->SelectedNode(), caption);
        ASSERT_TRUE(studio.Frames(3));
        ui_test::SaveScreenshot(studio.panel, QString("scene_view_") + language);

        QTest::mouseClick(studio.panel, Qt::RightButton, Qt::NoModifier, QPoint(360, 320));
        CMenuPanel* menu = studio.panel->ContextPanel();
        ASSERT_TRUE(menu->isVisible());
        QCursor::setPos(menu->geometry().center());
        QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));  // the pointer over one entry
        QApplication::sendEvent(menu->Entry(kCmdMainScreen), &enter);
        ui_test::SaveScreenshot(menu, QString("context_panel_") + language);
    }
}
