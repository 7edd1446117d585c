// The composition thread over time: pacing by the frame interval, frame-rate changes, and the
// hand-over of frames to a live engine (timing of the live start, YUY2 content, status reports).
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>

#include "platform/media_clock.h"
#include "platform/queue_window_target.h"
#include "scene_test_support.h"

namespace {

double MinSpacingMs(const std::vector<std::chrono::steady_clock::time_point>& times, size_t from) {
    double least = 1e9;
    for (size_t i = from + 1; i < times.size(); ++i)
        least = std::min(least, std::chrono::duration<double, std::milli>(times[i] - times[i - 1]).count());
    return least;
}

class FakeFeed : public ILiveFeed {
public:
    int32_t State() const override { return state; }
    bool HasVideoEncoder() const override { return hasEncoder; }
    void EncodeVideo(const uint8_t* yuy2, uint32_t pts) override {
        std::lock_guard<std::mutex> guard(lock);
        pts_.push_back(pts);
        std::copy(yuy2, yuy2 + 4, firstBytes);
        clockAtEncode.push_back(GetMediaTimeMs());
    }
    uint32_t LiveStartTick() const override { return startTick; }
    IWindowTarget* StatusWindow() const override { return window; }

    size_t Encoded() {
        std::lock_guard<std::mutex> guard(lock);
        return pts_.size();
    }

    std::atomic<int32_t> state{kEngineLiveRecording};
    std::atomic<bool> hasEncoder{true};
    uint32_t startTick = 0;
    IWindowTarget* window = nullptr;
    std::mutex lock;
    std::vector<uint32_t> pts_;
    std::vector<int64_t> clockAtEncode;
    uint8_t firstBytes[4] = {};
};

uintptr_t Feed(FakeFeed* f) { return reinterpret_cast<uintptr_t>(static_cast<ILiveFeed*>(f)); }

}  // namespace

TEST(ComposeFrames, WithNoLayersEveryFrameIsBlack) {
    SceneFixture f(320, 180);
    ASSERT_TRUE(f.view->WaitForFrames(3));
    const auto canvas = f.Canvas();
    ASSERT_EQ(canvas.size(), 320u * 180u * 3u);
    EXPECT_TRUE(std::all_of(canvas.begin(), canvas.end(), [](uint8_t v) { return v == 0; }));
}

TEST(ComposeFrames, PreviewOffStopsRefreshingTheView) {
    SceneFixture f(64, 36);
    ASSERT_TRUE(f.view->WaitForFrames(2));
    f.scene.SetPreviewOn(false);
    const uint64_t composed = f.scene.ComposeThread().FramesComposed();
    const uint64_t shown = f.view->Frames();
    // The view no longer hears of frames, so watch the composition count itself.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (f.scene.ComposeThread().FramesComposed() < composed + 5 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::yield();
    ASSERT_GE(f.scene.ComposeThread().FramesComposed(), composed + 5);
    EXPECT_LE(f.view->Frames(), shown + 1);  // at most the frame that was being drawn
    f.scene.SetPreviewOn(true);
    EXPECT_TRUE(f.view->WaitForFrames(shown + 3));
}

TEST(ComposePacing, At25FramesPerSecondFramesAreAtLeast39MsApart) {
    SceneFixture f(64, 36, 25);
    ASSERT_TRUE(f.view->WaitForFrames(30));
    // Refresh comes at the end of each composition; composing this canvas takes microseconds.
    EXPECT_GE(MinSpacingMs(f.view->Times(), 0), 38.5);
}

TEST(ComposePacing, At30FramesPerSecondFramesAreAtLeast32MsApart) {
    SceneFixture f(64, 36, 30);
    ASSERT_TRUE(f.view->WaitForFrames(30));
    EXPECT_GE(MinSpacingMs(f.view->Times(), 0), 31.5);
}

TEST(ComposePacing, ARateChangeTakesEffectOnTheNextTurn) {
    SceneFixture f(64, 36, 200);
    ASSERT_TRUE(f.view->WaitForFrames(10));
    f.scene.SetFrameRate(10);
    const size_t changedAt = f.view->Frames() + 1;  // the frame in flight may use the old rate
    ASSERT_TRUE(f.view->WaitForFrames(changedAt + 4));
    EXPECT_GE(MinSpacingMs(f.view->Times(), changedAt), 98.5);
}

TEST(ComposePacing, ANonsenseRateStillProducesFrames) {
    SceneFixture f(64, 36, 0);
    EXPECT_TRUE(f.view->WaitForFrames(3));
    f.scene.SetFrameRate(-5);
    EXPECT_TRUE(f.view->WaitForFrames(f.view->Frames() + 3));
}

TEST(ComposeLive, FramesBeforeTheLiveStartAreShownButNotEncoded) {
    SceneFixture f(64, 36);
    FakeFeed feed;
    const int64_t now = GetMediaTimeMs();
    f.scene.PostThreadMessage(WM_SCENE_SET_ENGINE, Feed(&feed),
                              static_cast<intptr_t>(static_cast<uint32_t>(now + 60000)));
    ASSERT_TRUE(f.Sync());
    ASSERT_TRUE(f.view->WaitForFrames(f.view->Frames() + 5));
    EXPECT_EQ(feed.Encoded(), 0u);
    // The same engine with a start time that has passed: frames are encoded from now on.
    const uint32_t start = static_cast<uint32_t>(GetMediaTimeMs());
    f.scene.PostThreadMessage(WM_SCENE_SET_ENGINE, Feed(&feed), start);
    ASSERT_TRUE(f.Sync());
    ASSERT_TRUE(f.view->WaitForFrames(f.view->Frames() + 5));
    f.scene.PostThreadMessage(WM_SCENE_SET_ENGINE, 0, 0);
    ASSERT_TRUE(f.Sync());
    std::lock_guard<std::mutex> guard(feed.lock);
    ASSERT_GE(feed.pts_.size(), 4u);
    for (size_t i = 0; i < feed.pts_.size(); ++i) {
        // pts is the media clock at conversion minus the live start.
        EXPECT_LE(feed.pts_[i], static_cast<uint32_t>(feed.clockAtEncode[i] - start));
        if (i > 0) {
            EXPECT_GT(feed.pts_[i], feed.pts_[i - 1]);
        }
    }
}

TEST(ComposeLive, EncodesTheCanvasAsYUY2OnlyInLiveStates) {
    SceneFixture f(64, 36);
    f.scene.AdoptLayer(kLayerPlain, SolidLayer(64, 36, 0, 0, 255), true);  // pure red
    FakeFeed feed;
    feed.state = kEngineReady;
    f.scene.PostThreadMessage(WM_SCENE_SET_ENGINE, Feed(&feed), static_cast<intptr_t>(GetMediaTimeMs()));
    ASSERT_TRUE(f.Sync());
    ASSERT_TRUE(f.view->WaitForFrames(f.view->Frames() + 3));
    EXPECT_EQ(feed.Encoded(), 0u);  // ready but not live yet
    feed.state = kEnginePublishStarting;
    ASSERT_TRUE(f.view->WaitForFrames(f.view->Frames() + 3));
    EXPECT_GT(feed.Encoded(), 0u);
    f.scene.PostThreadMessage(WM_SCENE_SET_ENGINE, 0, 0);
    ASSERT_TRUE(f.Sync());
    const size_t stopped = feed.Encoded();
    ASSERT_TRUE(f.view->WaitForFrames(f.view->Frames() + 3));
    EXPECT_EQ(feed.Encoded(), stopped);  // detached: nothing more reaches the encoder
    std::lock_guard<std::mutex> guard(feed.lock);
    // BT.601 studio range red: Y 81, U 90, V 240.
    EXPECT_NEAR(feed.firstBytes[0], 81, 2);
    EXPECT_NEAR(feed.firstBytes[1], 90, 2);
    EXPECT_NEAR(feed.firstBytes[2], 81, 2);
    EXPECT_NEAR(feed.firstBytes[3], 240, 2);
}

TEST(ComposeLive, WithoutAVideoEncoderNothingIsEncoded) {
    SceneFixture f(64, 36);
    FakeFeed feed;
    feed.hasEncoder = false;
    f.scene.PostThreadMessage(WM_SCENE_SET_ENGINE, Feed(&feed), static_cast<intptr_t>(GetMediaTimeMs()));
    ASSERT_TRUE(f.Sync());
    ASSERT_TRUE(f.view->WaitForFrames(f.view->Frames() + 4));
    EXPECT_EQ(feed.Encoded(), 0u);
    EXPECT_GT(f.scene.ComposeThread().LastPts() + 1, 0u);
    f.scene.PostThreadMessage(WM_SCENE_SET_ENGINE, 0, 0);
    ASSERT_TRUE(f.Sync());
}

TEST(ComposeLive, ReportsElapsedTimeOnceASecondWhileRecordingOrPublishing) {
    SceneFixture f(64, 36);
    CQueueWindowTarget window;
    FakeFeed feed;
    feed.window = &window;
    feed.state = kEngineLivePublishing;
    feed.startTick = TimeGetTime() - 5000;  // the live began five seconds ago
    f.scene.PostThreadMessage(WM_SCENE_SET_ENGINE, Feed(&feed), static_cast<intptr_t>(GetMediaTimeMs()));
    ThreadMessage m;
    ASSERT_TRUE(window.Take(&m, std::chrono::seconds(5)));
    EXPECT_EQ(m.code, WM_LIVE_STATUS);
    EXPECT_EQ(m.wParam, static_cast<uintptr_t>(kEngineLivePublishing));
    EXPECT_GE(m.lParam, 5000);
    EXPECT_LT(m.lParam, 65000);
    ASSERT_TRUE(window.Take(&m, std::chrono::seconds(5)));  // and again a second later
    EXPECT_GE(m.lParam, 6000);
    f.scene.PostThreadMessage(WM_SCENE_SET_ENGINE, 0, 0);
    ASSERT_TRUE(f.Sync());
}

TEST(ComposeLive, TheCanvasSizeCannotChangeDuringALive) {
    SceneFixture f(320, 180);
    FakeFeed feed;
    f.scene.PostThreadMessage(WM_SCENE_SET_ENGINE, Feed(&feed), static_cast<intptr_t>(GetMediaTimeMs()));
    f.scene.PostThreadMessage(WM_SCENE_RESIZE, 640, 360);
    ASSERT_TRUE(f.Sync());
    EXPECT_EQ(f.scene.CanvasWidth(), 320);
    f.scene.PostThreadMessage(WM_SCENE_SET_ENGINE, 0, 0);
    f.scene.PostThreadMessage(WM_SCENE_RESIZE, 640, 360);
    ASSERT_TRUE(f.Sync());
    EXPECT_EQ(f.scene.CanvasWidth(), 640);
}

TEST(ComposeFrames, AreaUncoveredByAMovedFullCanvasLayerTurnsBlack) {
    SceneFixture f(72, 40);
    LayerNode* full = f.scene.AdoptLayer(kLayerPlain, SolidLayer(72, 40, 0, 0, 255), true);
    full->layer->SetRect({0, 0, 720, 400});
    ASSERT_TRUE(f.Sync());
    EXPECT_EQ(f.Canvas()[2], 255);
    full->layer->SetRect({100, 0, 820, 400});  // 10 canvas pixels to the right
    ASSERT_TRUE(f.Sync());
    const auto canvas = f.Canvas();
    EXPECT_EQ(canvas[(5 * 72 + 5) * 3 + 2], 0);
    EXPECT_EQ(canvas[(5 * 72 + 15) * 3 + 2], 255);
}
