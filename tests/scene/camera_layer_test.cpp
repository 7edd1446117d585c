// Camera layers: capture devices read by the real SourceKit from lavfi graphs (no camera exists on
// these machines), and frames fed to a device directly where exact pixels matter. Covers the
// orientation of both capture formats, the chroma key, deinterlacing, shared devices, sources that
// change size or send other formats, stored records and the device list.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <set>

#include "device_test_media.h"
#include "scene/dev_layer.h"
#include "scene/video_device_list.h"
#include "scene_test_support.h"

using namespace devtest;
using namespace std::chrono_literals;

namespace {

// The top half blue, the bottom half black (padding). Device names must stay within 43 bytes, which
// leaves no room for pacing: frames come as fast as the reading thread takes them.
const std::string kHalvesGraph = "color=blue:64x24,pad=0:48";

// Capture devices read the lavfi graph named as the device. Set while no device thread runs.
class CameraCapture : public ::testing::Test {
protected:
    void SetUp() override { setenv("SOURCEKIT_VIDEO_INPUT", "lavfi", 1); }
    void TearDown() override { unsetenv("SOURCEKIT_VIDEO_INPUT"); }
};

// Expects the 64 x 48 canvas area at (x, 0) to show blue above the bottom colour.
void ExpectBlueAbove(const std::vector<uint8_t>& canvas, int x, Bgr bottom, int tolerance) {
    EXPECT_EQ(CountOff(canvas, 640, x + 1, 1, x + 63, 23, 255, 0, 0, tolerance), 0) << "top at x " << x;
    EXPECT_EQ(CountOff(canvas, 640, x + 1, 25, x + 63, 47, bottom.b, bottom.g, bottom.r, tolerance), 0)
        << "bottom at x " << x;
}

constexpr Bgr kBlack{0, 0, 0};
constexpr Bgr kRed{0, 0, 255};

ImageBufferPtr BlueAboveRedFrame() {
    return BottomUpBgrFrame(64, 48, [](int, int y) { return y < 24 ? Bgr{255, 0, 0} : Bgr{0, 0, 255}; });
}

}  // namespace

TEST_F(CameraCapture, Rv24AndYuy2CamerasAreBothDrawnUpright) {
    CVideoDeviceList cameras;
    SceneFixture f(640, 360);
    const CaptureOptions bgr{64, 48, 25.0f, kFourccRV24};
    const CaptureOptions yuy2{64, 48, 25.0f, kFourccYUY2};
    CVideoDevice* bottomUp = cameras.OpenVideoDevice(kHalvesGraph + ",format=bgr24", &bgr, false);
    CVideoDevice* topDown = cameras.OpenVideoDevice(kHalvesGraph + ",format=yuyv422", &yuy2, false);
    ASSERT_TRUE(bottomUp != nullptr && topDown != nullptr);
    LayerNode* left = f.scene.AddLayer(kLayerDevice, bottomUp->Name(), LayerOptions::Camera(bottomUp));
    LayerNode* right = f.scene.AddLayer(kLayerDevice, topDown->Name(), LayerOptions::Camera(topDown));
    ASSERT_TRUE(left != nullptr && right != nullptr);
    EXPECT_EQ(left->layer->GetRect(), (LayerRect{0, 0, 72, 54}));
    right->layer->SetRect({360, 0, 432, 54});  // canvas x 320
    ASSERT_TRUE(WaitUntil([&] { return bottomUp->HasFrame() && topDown->HasFrame(); }, 10s));
    ASSERT_TRUE(f.Sync());
    const auto canvas = f.Canvas();
    ExpectBlueAbove(canvas, 0, kBlack, 2);
    ExpectBlueAbove(canvas, 320, kBlack, 16);
    EXPECT_EQ(left->layer->bottomUp, 1);
    EXPECT_EQ(right->layer->bottomUp, 0);
}

TEST_F(CameraCapture, TwoLayersShareOneDeviceUntilBothAreGone) {
    CVideoDeviceList cameras;
    SceneFixture f(640, 360);
    const CaptureOptions options{64, 48, 25.0f, kFourccRV24};
    const std::string name = kHalvesGraph + ",format=bgr24";
    CVideoDevice* first = cameras.OpenVideoDevice(name, &options, false);
    CVideoDevice* second = cameras.OpenVideoDevice(name, &options, true);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(second, first);
    EXPECT_EQ(first->references, 2);
    EXPECT_EQ(first->deinterlace, 0) << "the first opening's options stay";
    EXPECT_EQ(cameras.Count(), 1u);
    LayerNode* a = f.scene.AddLayer(kLayerDevice, name, LayerOptions::Camera(first));
    LayerNode* b = f.scene.AddLayer(kLayerDevice, name, LayerOptions::Camera(second));
    ASSERT_TRUE(a != nullptr && b != nullptr);
    b->layer->SetRect({360, 0, 432, 54});
    ASSERT_TRUE(WaitForFrameAfter(first, std::nullopt, 10s));

    f.scene.PostThreadMessage(WM_SCENE_DELETE, reinterpret_cast<uintptr_t>(a), 0);
    ASSERT_TRUE(f.Sync());
    EXPECT_EQ(first->references, 1);
    ASSERT_TRUE(WaitForFrameAfter(first, NewestTimestamp(first), 5s)) << "the device still captures";
    ASSERT_TRUE(f.Sync());
    const auto canvas = f.Canvas();
    ExpectBlueAbove(canvas, 320, kBlack, 2);
    EXPECT_EQ(CountOff(canvas, 640, 0, 0, 64, 48, 0, 0, 0, 0), 0) << "the deleted layer is gone";

    f.scene.PostThreadMessage(WM_SCENE_DELETE, reinterpret_cast<uintptr_t>(b), 0);
    ASSERT_TRUE(f.Sync());
    EXPECT_EQ(cameras.Count(), 0u);
}

TEST_F(CameraCapture, UnknownDevicesAndMissingOptionsOpenNothing) {
    CVideoDeviceList cameras;
    const CaptureOptions options{64, 48, 25.0f, kFourccRV24};
    EXPECT_EQ(cameras.OpenVideoDevice("no_such_source=x", &options, false), nullptr);
    EXPECT_EQ(cameras.OpenVideoDevice(kHalvesGraph + ",format=bgr24", nullptr, false), nullptr);
    unsetenv("SOURCEKIT_VIDEO_INPUT");  // V4L2 again: no card has this name
    EXPECT_EQ(cameras.OpenVideoDevice("No Such Camera", &options, false), nullptr);
    EXPECT_EQ(cameras.Count(), 0u);
}

TEST(CameraChromaKey, GreenIsKeyedOutOnlyWithASimilarity) {
    SceneFixture f(640, 360);
    f.scene.AdoptLayer(kLayerPlain, SolidLayer(640, 360, 255, 0, 0), true);  // blue below the camera
    auto* camera = new CVideoDevice("green screen", nullptr, 0, 64, 48);
    // Green with a red box near the top left.
    ImageBufferPtr frame = BottomUpBgrFrame(64, 48, [](int x, int y) {
        return x >= 8 && x < 24 && y >= 6 && y < 20 ? Bgr{0, 0, 255} : Bgr{0, 255, 0};
    });
    camera->DeliverFrame(frame.get());
    const ChromaOptions chroma{1, 0x0000FF00, 0};
    LayerNode* node = f.scene.AddLayer(kLayerDevice, camera->Name(), LayerOptions::Camera(camera, &chroma));
    ASSERT_NE(node, nullptr);
    ASSERT_TRUE(f.Sync());
    auto canvas = f.Canvas();
    EXPECT_EQ(CountOff(canvas, 640, 0, 24, 64, 48, 0, 255, 0, 0), 0) << "similarity 0 keys nothing";
    EXPECT_EQ(CountOff(canvas, 640, 8, 6, 24, 20, 0, 0, 255, 0), 0);

    static_cast<CDevLayer*>(node->layer.get())->similarity = 450;
    ASSERT_TRUE(f.Sync());
    canvas = f.Canvas();
    EXPECT_EQ(CountOff(canvas, 640, 0, 24, 64, 48, 255, 0, 0, 0), 0) << "the green shows the layer below";
    EXPECT_EQ(CountOff(canvas, 640, 30, 0, 64, 24, 255, 0, 0, 0), 0);
    EXPECT_EQ(CountOff(canvas, 640, 10, 8, 22, 18, 0, 0, 255, 0), 0) << "the red box stays, upright";
}

TEST(CameraLayer, AHeldFrameIsDrawnAgainWhenTheLayerOrItsKeyChanges) {
    // One frame and no more, as from a camera that stalls: what the layer shows must still follow
    // its size and key.
    SceneFixture f(640, 360);
    auto* camera = new CVideoDevice("stalled", nullptr, 0, 64, 48);
    ImageBufferPtr frame = BottomUpBgrFrame(64, 48, [](int x, int) { return x < 32 ? Bgr{0, 255, 0} : kRed; });
    camera->DeliverFrame(frame.get());
    LayerNode* node = f.scene.AddLayer(kLayerDevice, camera->Name(), LayerOptions::Camera(camera));
    ASSERT_NE(node, nullptr);
    auto* layer = static_cast<CDevLayer*>(node->layer.get());
    ASSERT_TRUE(f.Sync());
    EXPECT_EQ(CountOff(f.Canvas(), 640, 0, 0, 32, 48, 0, 255, 0, 0), 0);

    layer->keyColor = 0x0000FF00;
    layer->similarity = 450;
    f.scene.PostThreadMessage(WM_SCENE_SET_KEYED, reinterpret_cast<uintptr_t>(node), 1);
    ASSERT_TRUE(f.Sync());
    auto canvas = f.Canvas();
    EXPECT_EQ(CountOff(canvas, 640, 0, 0, 32, 48, 0, 0, 0, 0), 0) << "the green is keyed out";
    EXPECT_EQ(CountOff(canvas, 640, 33, 0, 64, 48, 0, 0, 255, 0), 0);

    node->layer->SetRect({0, 0, 144, 108});  // 128 x 96 canvas pixels
    ASSERT_TRUE(f.Sync());
    canvas = f.Canvas();
    EXPECT_EQ(CountOff(canvas, 640, 0, 0, 64, 96, 0, 0, 0, 0), 0) << "keyed at the new size";
    EXPECT_EQ(CountOff(canvas, 640, 65, 0, 128, 96, 0, 0, 255, 0), 0);

    f.scene.PostThreadMessage(WM_SCENE_SET_KEYED, reinterpret_cast<uintptr_t>(node), 0);
    ASSERT_TRUE(f.Sync());
    canvas = f.Canvas();
    EXPECT_EQ(CountOff(canvas, 640, 0, 0, 63, 96, 0, 255, 0, 0), 0) << "unkeyed again, at the new size";
    EXPECT_EQ(CountOff(canvas, 640, 65, 0, 128, 96, 0, 0, 255, 0), 0);
}

TEST(CameraDeinterlace, OddRowsAreRebuiltOnlyWhenAsked) {
    // Rows alternate white and black, as two fields of a moving picture would.
    ImageBufferPtr combed(CreateImageBuffer(64, 48, kFourccRV24));
    for (int y = 0; y < 48; ++y)
        std::memset(combed->planes[0] + static_cast<size_t>(y) * combed->strides[0], y % 2 == 0 ? 255 : 0, 64 * 3);
    CVideoDevice on("interlaced", nullptr, 0, 64, 48);
    on.deinterlace = 1;
    CVideoDevice off("progressive", nullptr, 1, 64, 48);
    on.DeliverFrame(combed.get());
    off.DeliverFrame(combed.get());

    ImageBufferPtr rebuilt, kept;
    ImageBuffer* image = nullptr;
    ASSERT_EQ(on.CopyLatestFrame(&image), 0);
    rebuilt.reset(image);
    image = nullptr;
    ASSERT_EQ(off.CopyLatestFrame(&image), 0);
    kept.reset(image);
    int darkRebuilt = 0, changedKept = 0;
    for (int y = 0; y < 47; ++y)
        for (int i = 0; i < 64 * 3; ++i) {
            const uint8_t r = rebuilt->planes[0][static_cast<size_t>(y) * rebuilt->strides[0] + i];
            const uint8_t k = kept->planes[0][static_cast<size_t>(y) * kept->strides[0] + i];
            if (r < 230) ++darkRebuilt;
            if (k != (y % 2 == 0 ? 255 : 0)) ++changedKept;
        }
    EXPECT_EQ(darkRebuilt, 0);
    EXPECT_EQ(changedKept, 0);
}

TEST(CameraLayer, AYuy2SourceThatChangesItsSizeIsDrawnWholeEachTime) {
    SceneFixture f(640, 360);
    auto* camera = new CVideoDevice("capture card", nullptr, 0, 64, 48);
    LayerNode* node = f.scene.AddLayer(kLayerDevice, camera->Name(), LayerOptions::Camera(camera));
    ASSERT_NE(node, nullptr);
    struct Step {
        int w, h;
        Yuv yuv;
        Bgr bgr;
    };
    const Step steps[] = {
        {64, 48, kYuvRed, {0, 0, 255}}, {128, 96, kYuvGreen, {0, 255, 0}}, {32, 24, kYuvBlue, {255, 0, 0}}};
    for (const Step& step : steps) {
        ImageBufferPtr frame = SolidYuy2Frame(step.w, step.h, step.yuv.y, step.yuv.u, step.yuv.v);
        camera->DeliverFrame(frame.get());
        ASSERT_TRUE(f.Sync());
        const auto canvas = f.Canvas();
        // The layer keeps its 64 x 48 canvas pixels whatever the source's size.
        EXPECT_EQ(CountOff(canvas, 640, 0, 0, 64, 48, step.bgr.b, step.bgr.g, step.bgr.r, 8), 0) << step.w;
        EXPECT_EQ(CountOff(canvas, 640, 64, 0, 140, 100, 0, 0, 0, 0), 0) << step.w;
        EXPECT_EQ(CountOff(canvas, 640, 0, 48, 64, 100, 0, 0, 0, 0), 0) << step.w;
    }
    EXPECT_EQ(node->layer->bottomUp, 0);
}

TEST(CameraLayer, FramesOfOtherFormatsLeaveThePreviousPicture) {
    SceneFixture f(640, 360);
    auto* camera = new CVideoDevice("odd source", nullptr, 0, 64, 48);
    ASSERT_NE(f.scene.AddLayer(kLayerDevice, camera->Name(), LayerOptions::Camera(camera)), nullptr);
    ImageBufferPtr upright = BlueAboveRedFrame();
    camera->DeliverFrame(upright.get());
    ASSERT_TRUE(f.Sync());
    ExpectBlueAbove(f.Canvas(), 0, kRed, 0);

    ImageBufferPtr rgba(CreateImageBuffer(64, 48, kFourccRV32));
    std::memset(rgba->planes[0], 0x7F, static_cast<size_t>(rgba->strides[0]) * 48);
    ImageBufferPtr bogus(CreateImageBuffer(64, 48, MakeFourcc('N', 'V', '1', '2')));
    std::memset(bogus->planes[0], 0x7F, static_cast<size_t>(bogus->strides[0]) * 48);
    for (const ImageBufferPtr* other : {&rgba, &bogus}) {
        camera->DeliverFrame(other->get());
        ASSERT_TRUE(f.Sync());
        ExpectBlueAbove(f.Canvas(), 0, kRed, 0);
    }
}

TEST(CameraRecords, ChromaAndCaptureSettingsAreStoredAndRestored) {
    CSceneBase stored;
    {
        SceneFixture f(640, 360);
        auto* camera = new CVideoDevice("Camera One", nullptr, 0, 320, 240);
        camera->deinterlace = 1;
        camera->frameRate = 29.97f;
        camera->fourcc = kFourccYUY2;
        const ChromaOptions chroma{1, 0x0000FF00, 450};
        LayerNode* node = f.scene.AddLayer(kLayerDevice, "Camera One", LayerOptions::Camera(camera, &chroma));
        ASSERT_NE(node, nullptr);
        node->layer->SetRect({10, 20, 330, 260});
        ASSERT_TRUE(f.Sync());
        ASSERT_TRUE(f.scene.ExportRecords(&stored));
    }
    ASSERT_EQ(stored.Records().size(), 1u);
    const SceneSource& record = *stored.Records()[0];
    EXPECT_EQ(record.type, kSourceDevice);
    EXPECT_EQ(record.SourceName, "Camera One");
    EXPECT_EQ(record.ChromaKey, 1);
    EXPECT_EQ(record.KeyColor, 0x0000FF00u);
    EXPECT_EQ(record.Similarity, 450u);
    EXPECT_EQ(record.DeInterlace, 1);
    EXPECT_EQ(record.Width, 320);
    EXPECT_EQ(record.Height, 240);
    EXPECT_FLOAT_EQ(record.FrameRate, 29.97f);
    EXPECT_EQ(record.Fourcc, kFourccYUY2);

    SceneFixture g(640, 360);
    auto* again = new CVideoDevice("Camera One", nullptr, 0, 320, 240);
    LayerNode* restored = g.scene.AddLayerFromRecord(kLayerDevice, record, LayerOptions::Camera(again));
    ASSERT_NE(restored, nullptr);
    auto* layer = static_cast<CDevLayer*>(restored->layer.get());
    EXPECT_EQ(layer->keyedImage, 1);
    EXPECT_EQ(layer->keyColor, 0x0000FF00u);
    EXPECT_EQ(layer->similarity, 450u);
    EXPECT_EQ(layer->GetRect(), (LayerRect{10, 20, 330, 260}));
    EXPECT_EQ(layer->Device(), again);
}

TEST(CameraEnumeration, FoldersWithoutCaptureNodesListNothing) {
    MediaDir dir;
    CVideoDeviceList cameras;
    EXPECT_TRUE(cameras.EnumerateVideoDevices(dir.Root()).empty());
    std::ofstream(dir.Path("video0")) << "not a device";
    EXPECT_TRUE(cameras.EnumerateVideoDevices(dir.Root()).empty());
    EXPECT_TRUE(cameras.DeviceNames().empty());
    // This machine's own nodes: whatever exists, each card once.
    const std::vector<std::string> names = cameras.EnumerateVideoDevices();
    EXPECT_EQ(cameras.DeviceNames(), names);
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), names.size());
}
