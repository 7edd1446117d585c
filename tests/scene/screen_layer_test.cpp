// Screen capture against a real X server (Xvfb started per test suite): exact pixels on both
// capture paths, the cursor, monitors, odd widths, a missing display and a server that goes away.
#include "scene/screen_layer.h"

#include <gtest/gtest.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/x11/monitors.h"
#include "platform/x11/x_connection.h"
#include "scene_test_support.h"
#include "tools/peers/xvfb_server.h"

namespace {

struct Colour {
    uint8_t r, g, b;
};

// Draws on the root window of a display through its own connection.
class Painter {
public:
    explicit Painter(const std::string& display) : conn_(CXConnection::Open(display.c_str())) {}
    bool Ok() const { return conn_ != nullptr; }
    void Fill(int x, int y, int w, int h, Colour c) {
        xcb_connection_t* cx = conn_->Get();
        const xcb_gcontext_t gc = xcb_generate_id(cx);
        const uint32_t pixel = (uint32_t{c.r} << 16) | (uint32_t{c.g} << 8) | c.b;
        xcb_create_gc(cx, gc, conn_->Root(), XCB_GC_FOREGROUND, &pixel);
        const xcb_rectangle_t rect{static_cast<int16_t>(x), static_cast<int16_t>(y), static_cast<uint16_t>(w),
                                   static_cast<uint16_t>(h)};
        xcb_poly_fill_rectangle(cx, conn_->Root(), gc, 1, &rect);
        xcb_free_gc(cx, gc);
        Sync();
    }
    void MovePointer(int x, int y) {
        xcb_warp_pointer(conn_->Get(), XCB_NONE, conn_->Root(), 0, 0, 0, 0, static_cast<int16_t>(x),
                         static_cast<int16_t>(y));
        Sync();
    }
    // The server's own idea of the cursor, to compare the capture against.
    CursorImage Cursor() {
        CursorImage out;
        XcbReply<xcb_xfixes_get_cursor_image_reply_t> reply(
            xcb_xfixes_get_cursor_image_reply(conn_->Get(), xcb_xfixes_get_cursor_image(conn_->Get()), nullptr));
        if (!reply) return out;
        out.x = reply->x;
        out.y = reply->y;
        out.width = reply->width;
        out.height = reply->height;
        const uint32_t* d = xcb_xfixes_get_cursor_image_cursor_image(reply.get());
        out.argb.assign(d, d + static_cast<size_t>(out.width) * out.height);
        return out;
    }

private:
    // A round trip: everything sent before has been carried out by the server.
    void Sync() { free(xcb_get_input_focus_reply(conn_->Get(), xcb_get_input_focus(conn_->Get()), nullptr)); }
    std::unique_ptr<CXConnection> conn_;
};

const uint8_t* Px(const ImageBuffer* img, int x, int y) {
    return img->planes[0] + static_cast<size_t>(y) * img->strides[0] + static_cast<size_t>(x) * 3;
}

bool Is(const uint8_t* p, Colour c) { return p[0] == c.b && p[1] == c.g && p[2] == c.r; }

constexpr Colour kRed{230, 20, 10}, kBlue{5, 40, 220}, kGreen{10, 200, 30}, kGrey{120, 121, 122};

class ScreenCapture : public ::testing::TestWithParam<bool> {
protected:
    static void SetUpTestSuite() {
        server_ = new CXvfbServer;
        if (!server_->Start(1280, 720)) GTEST_SKIP() << "Xvfb could not be started";
    }
    static void TearDownTestSuite() {
        delete server_;
        server_ = nullptr;
    }
    void SetUp() override {
        if (!server_ || !server_->Running()) GTEST_SKIP() << "no X server";
        painter_ = std::make_unique<Painter>(server_->Display());
        ASSERT_TRUE(painter_->Ok());
        painter_->MovePointer(1279, 719);  // out of the way: only the corner pixel is covered
    }
    std::unique_ptr<CScrLayer> Layer(const MonitorRect& rect, int index = 0) {
        return std::make_unique<CScrLayer>(kFourccRV24, index, rect, server_->Display().c_str(), GetParam());
    }
    static CXvfbServer* server_;
    std::unique_ptr<Painter> painter_;
};
CXvfbServer* ScreenCapture::server_ = nullptr;

}  // namespace

TEST_P(ScreenCapture, UsesThePathItWasAskedForWhenTheServerOffersIt) {
    auto layer = Layer({0, 0, 1280, 720});
    EXPECT_EQ(layer->Method(), GetParam() ? CaptureMethod::kShm : CaptureMethod::kPlain);
}

TEST_P(ScreenCapture, CapturesADrawnPatternExactly) {
    painter_->Fill(0, 0, 1280, 720, kGrey);
    painter_->Fill(100, 50, 300, 200, kRed);
    painter_->Fill(401, 251, 1, 1, kGreen);  // a single pixel, to catch off-by-one rows and columns
    painter_->Fill(900, 600, 380, 120, kBlue);
    auto layer = Layer({0, 0, 1280, 720});
    layer->SetRect({0, 0, 1280, 720});
    const ImageBuffer* img = layer->GetImage(1.0f, kFourccRV24);
    ASSERT_NE(img, nullptr);
    ASSERT_EQ(img->width, 1280);
    ASSERT_EQ(img->height, 720);
    EXPECT_TRUE(Is(Px(img, 0, 0), kGrey));
    EXPECT_TRUE(Is(Px(img, 100, 50), kRed));
    EXPECT_TRUE(Is(Px(img, 399, 249), kRed));
    EXPECT_TRUE(Is(Px(img, 400, 250), kGrey));
    EXPECT_TRUE(Is(Px(img, 401, 251), kGreen));
    EXPECT_TRUE(Is(Px(img, 402, 251), kGrey));
    EXPECT_TRUE(Is(Px(img, 1278, 718), kBlue));
    EXPECT_TRUE(Is(Px(img, 899, 600), kGrey));
    int wrong = 0;
    for (int y = 0; y < 720; ++y)
        for (int x = 0; x < 1280; ++x) {
            if (x == 1279 && y == 719) continue;  // under the cursor
            Colour c = kGrey;
            if (x >= 100 && x < 400 && y >= 50 && y < 250) c = kRed;
            if (x == 401 && y == 251) c = kGreen;
            if (x >= 900 && y >= 600) c = kBlue;
            wrong += !Is(Px(img, x, y), c);
        }
    EXPECT_EQ(wrong, 0);
}

TEST_P(ScreenCapture, DrawsTheCursorWhereThePointerIs) {
    painter_->Fill(0, 0, 1280, 720, kGrey);
    painter_->MovePointer(200, 150);
    const CursorImage cursor = painter_->Cursor();
    ASSERT_GT(cursor.width, 0);
    auto layer = Layer({0, 0, 1280, 720});
    layer->SetRect({0, 0, 1280, 720});
    const ImageBuffer* img = layer->GetImage(1.0f, kFourccRV24);
    ASSERT_NE(img, nullptr);
    int opaque = 0, mismatched = 0;
    for (int cy = 0; cy < cursor.height; ++cy)
        for (int cx = 0; cx < cursor.width; ++cx) {
            const uint32_t p = cursor.argb[static_cast<size_t>(cy) * cursor.width + cx];
            const uint8_t* got = Px(img, 200 + cx, 150 + cy);
            if ((p >> 24) == 255) {
                ++opaque;
                mismatched += got[0] != (p & 0xFF) || got[1] != ((p >> 8) & 0xFF) || got[2] != ((p >> 16) & 0xFF);
            } else if ((p >> 24) == 0) {
                mismatched += !Is(got, kGrey);
            }
        }
    EXPECT_GT(opaque, 0);
    EXPECT_EQ(mismatched, 0);
    EXPECT_TRUE(Is(Px(img, 199, 149), kGrey));  // nothing before the pointer: the hot spot is not taken off
}

TEST_P(ScreenCapture, StillDesktopKeepsShowingTheLastCapture) {
    painter_->Fill(0, 0, 1280, 720, kBlue);
    auto layer = Layer({0, 0, 640, 360});
    layer->SetRect({0, 0, 640, 360});
    const ImageBuffer* first = layer->GetImage(1.0f, kFourccRV24);
    ASSERT_NE(first, nullptr);
    const std::vector<uint8_t> before(first->planes[0], first->planes[0] + first->strides[0] * first->height);
    const ImageBuffer* second = layer->GetImage(1.0f, kFourccRV24);
    ASSERT_EQ(second, first);  // the same buffer, no allocation per frame
    EXPECT_EQ(std::vector<uint8_t>(second->planes[0], second->planes[0] + second->strides[0] * second->height), before);
    EXPECT_TRUE(Is(Px(second, 639, 359), kBlue));
}

TEST_P(ScreenCapture, NaturalSizeReturnsTheCaptureAndOtherSizesAreScaled) {
    painter_->Fill(0, 0, 1280, 720, kRed);
    auto layer = Layer({0, 0, 1280, 720});
    layer->SetRect({0, 0, 1280, 720});
    EXPECT_EQ(layer->GetImage(1.0f, kFourccRV24), layer->Image());
    layer->SetRect({0, 0, 640, 360});
    const ImageBuffer* half = layer->GetImage(1.0f, kFourccRV24);
    ASSERT_NE(half, nullptr);
    EXPECT_NE(half, layer->Image());
    EXPECT_EQ(half->width, 640);
    EXPECT_EQ(half->height, 360);
    EXPECT_TRUE(Is(Px(half, 10, 10), kRed));
    layer->borderWidth = 5;
    layer->borderColor = 0x00FFFFFF;
    layer->SetRect({0, 0, 1280, 720});
    const ImageBuffer* framed = layer->GetImage(1.0f, kFourccRV24);
    ASSERT_NE(framed, layer->Image());
    EXPECT_EQ(Px(framed, 2, 2)[0], 255);
    EXPECT_TRUE(Is(Px(framed, 10, 10), kRed));
}

TEST_P(ScreenCapture, ServerThatGoesAwayLeavesTheLayerEmpty) {
    CXvfbServer own;
    ASSERT_TRUE(own.Start(320, 240));
    CScrLayer layer(kFourccRV24, 0, {0, 0, 320, 240}, own.Display().c_str(), GetParam());
    layer.SetRect({0, 0, 320, 240});
    ASSERT_NE(layer.GetImage(1.0f, kFourccRV24), nullptr);
    own.Stop();
    EXPECT_EQ(layer.GetImage(1.0f, kFourccRV24), nullptr);
    EXPECT_TRUE(layer.Lost());
    EXPECT_EQ(layer.GetImage(1.0f, kFourccRV24), nullptr);
}

INSTANTIATE_TEST_SUITE_P(BothPaths, ScreenCapture, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& p) { return p.param ? "Shm" : "Plain"; });

TEST(ScreenMonitors, SecondMonitorCapturesItsOwnHalfAndNotTheCursorOfTheFirst) {
    CXvfbServer server;
    ASSERT_TRUE(server.Start(1280, 720));
    ASSERT_EQ(RunWithDisplay(server.Display(),
                             "xrandr --setmonitor left 640/169x720/190+0+0 none >/dev/null 2>&1 && "
                             "xrandr --setmonitor right 640/169x720/190+640+0 none >/dev/null 2>&1"),
              0);
    Painter painter(server.Display());
    painter.Fill(0, 0, 640, 720, kRed);
    painter.Fill(640, 0, 640, 720, kBlue);
    painter.MovePointer(300, 100);  // on the left monitor

    auto conn = CXConnection::Open(server.Display().c_str());
    const std::vector<MonitorRect> monitors = EnumerateMonitors(conn.get());
    ASSERT_GE(monitors.size(), 2u);
    // The server lists the monitors in its order; find ours by position.
    int right = -1;
    for (size_t i = 0; i < monitors.size(); ++i)
        if (monitors[i] == MonitorRect{640, 0, 1280, 720}) right = static_cast<int>(i);
    ASSERT_GE(right, 0);
    for (bool shm : {true, false}) {
        CScrLayer layer(kFourccRV24, right, monitors[right], server.Display().c_str(), shm);
        layer.SetRect({0, 0, 640, 720});
        const ImageBuffer* img = layer.GetImage(1.0f, kFourccRV24);
        ASSERT_NE(img, nullptr);
        ASSERT_EQ(img->width, 640);
        int notBlue = 0;
        for (int y = 0; y < 720; ++y)
            for (int x = 0; x < 640; ++x) notBlue += !Is(Px(img, x, y), kBlue);
        EXPECT_EQ(notBlue, 0) << (shm ? "shm" : "plain");
        EXPECT_EQ(layer.ScreenIndex(), right);
    }
}

TEST(ScreenMonitors, OddWidthMonitorCapturesEveryColumn) {
    CXvfbServer server;
    ASSERT_TRUE(server.Start(1366, 768));
    Painter painter(server.Display());
    painter.Fill(0, 0, 1366, 768, kGrey);
    for (int x = 1; x < 1366; x += 3) painter.Fill(x, 0, 1, 767, kRed);  // every third column
    painter.MovePointer(1365, 767);
    for (bool shm : {true, false}) {
        CScrLayer layer(kFourccRV24, 0, {0, 0, 1366, 768}, server.Display().c_str(), shm);
        layer.SetRect({0, 0, 1366, 768});
        const ImageBuffer* img = layer.GetImage(1.0f, kFourccRV24);
        ASSERT_NE(img, nullptr);
        EXPECT_EQ(img->strides[0], 1366 * 3);
        int wrong = 0;
        for (int y = 0; y < 767; ++y)
            for (int x = 0; x < 1366; ++x) wrong += !Is(Px(img, x, y), x % 3 == 1 ? kRed : kGrey);
        EXPECT_EQ(wrong, 0) << (shm ? "shm" : "plain");
    }
}

TEST(ScreenNoDisplay, LayerExistsAndDrawsNothing) {
    CScrLayer layer(kFourccRV24, 0, {0, 0, 640, 480}, ":7391");
    EXPECT_EQ(layer.Method(), CaptureMethod::kNone);
    layer.SetRect({0, 0, 640, 480});
    EXPECT_EQ(layer.GetImage(1.0f, kFourccRV24), nullptr);
    EXPECT_EQ(layer.ScreenIndex(), 0);
}

TEST(ScreenInScene, ScreenLayerMarksItsMonitorAndIsComposed) {
    CXvfbServer server;
    ASSERT_TRUE(server.Start(640, 360));
    Painter painter(server.Display());
    painter.Fill(0, 0, 640, 360, kGreen);
    painter.MovePointer(639, 359);
    setenv("DISPLAY", server.Display().c_str(), 1);
    SceneFixture f(640, 360);
    const MonitorRect rect{0, 0, 640, 360};
    LayerNode* node = f.scene.AddLayer(kLayerScreen, "screen", LayerOptions::Screen(0, &rect));
    ASSERT_NE(node, nullptr);
    ASSERT_TRUE(f.Sync());
    EXPECT_TRUE(f.scene.ScreenInUse(0));
    EXPECT_EQ(node->layer->GetRect(), (LayerRect{0, 0, 720, 405}));  // its own size: the whole view
    const auto canvas = f.Canvas();
    EXPECT_EQ(canvas[(100 * 640 + 100) * 3 + 1], kGreen.g);
    CSceneBase stored;
    ASSERT_TRUE(f.scene.ExportRecords(&stored));
    ASSERT_EQ(stored.Records().size(), 1u);
    EXPECT_EQ(stored.Records()[0]->type, kSourceScreen);
    EXPECT_EQ(stored.Records()[0]->ScrIdx, 0);
    // Restored without a rectangle, the layer finds its monitor itself.
    SceneFixture g(640, 360);
    ASSERT_NE(g.scene.AddLayerFromRecord(kLayerScreen, *stored.Records()[0]), nullptr);
    ASSERT_TRUE(g.Sync());
    EXPECT_EQ(g.Canvas()[(100 * 640 + 100) * 3 + 1], kGreen.g);
    unsetenv("DISPLAY");
}

TEST(ScreenResize, SharedMemoryCaptureGoesBlankWhenTheScreenShrinksPlainKeepsTheLastFrame) {
    CXvfbServer server;
    ASSERT_TRUE(server.Start(1280, 720));
    Painter painter(server.Display());
    painter.Fill(0, 0, 1280, 720, kRed);
    painter.MovePointer(1279, 719);
    CScrLayer shm(kFourccRV24, 0, {0, 0, 1280, 720}, server.Display().c_str(), true);
    CScrLayer plain(kFourccRV24, 0, {0, 0, 1280, 720}, server.Display().c_str(), false);
    shm.SetRect({0, 0, 1280, 720});
    plain.SetRect({0, 0, 1280, 720});
    ASSERT_NE(shm.GetImage(1.0f, kFourccRV24), nullptr);
    ASSERT_NE(plain.GetImage(1.0f, kFourccRV24), nullptr);
    // The server answers the shrink with an error for the output but the screen does shrink.
    RunWithDisplay(server.Display(), "xrandr --fb 640x360 >/dev/null 2>&1");
    EXPECT_EQ(shm.GetImage(1.0f, kFourccRV24), nullptr);
    EXPECT_TRUE(shm.Lost());
    const ImageBuffer* last = plain.GetImage(1.0f, kFourccRV24);
    ASSERT_NE(last, nullptr);
    EXPECT_TRUE(Is(Px(last, 10, 10), kRed));
    EXPECT_FALSE(plain.Lost());
}
