// Media-file layers with ffmpeg-made clips played by the real SourceKit: what the canvas shows,
// sharing of one device among layers, the play flags, network stream sizes, the sound queue that
// feeds the mixer, and the stored records.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>

#include "device_test_media.h"
#include "media/audio_mixer.h"
#include "platform/media_clock.h"
#include "platform/queue_window_target.h"
#include "scene/file_device_list.h"
#include "scene/file_layer.h"
#include "scene_test_support.h"

using namespace devtest;
using namespace std::chrono_literals;

namespace {

constexpr int kRate = 44100;

void DeleteLayer(SceneFixture* f, LayerNode* node) {
    f->scene.PostThreadMessage(WM_SCENE_DELETE, reinterpret_cast<uintptr_t>(node), 0);
}

// A live engine as far as the file registry and the mixer see it: a state the test sets, and the
// loudest sample of every block the mixer delivers.
class AudioFeed : public IAudioFeed {
public:
    int32_t State() const override { return state; }
    bool HasAudioEncoder() const override { return true; }
    void EncodeAudio(const uint8_t* pcm, int32_t bytes, uint32_t) override {
        int peak = 0;
        for (int32_t i = 0; i + 1 < bytes; i += 2) {
            int16_t v;
            std::memcpy(&v, pcm + i, sizeof(v));
            peak = std::max(peak, std::abs(static_cast<int>(v)));
        }
        std::lock_guard<std::mutex> guard(lock_);
        peaks_.push_back(peak);
    }
    std::vector<int> Peaks() const {
        std::lock_guard<std::mutex> guard(lock_);
        return peaks_;
    }

    std::atomic<int32_t> state{kEngineIdle};

private:
    mutable std::mutex lock_;
    std::vector<int> peaks_;
};

// Sound as SourceKit hands it over: size bytes of value fill, stamped stampMs on the 32-bit clock.
void AddSound(CFileDevice* device, int32_t size, uint8_t fill, uint32_t stampMs) {
    std::vector<uint8_t> bytes(static_cast<size_t>(std::max(size, 1)), fill);
    FrameInfo info{};
    info.slots[3] = static_cast<int32_t>(stampMs);
    device->AddSound(bytes.data(), size, &info);
}

}  // namespace

TEST(MediaLayer, ASolidRedFileShowsRedWhereTheLayerIsAndBlackElsewhere) {
    MediaDir dir;
    const std::string clip = MakeClip(dir, "red.mp4", "color=c=red:s=160x120:r=25:d=10");
    ASSERT_FALSE(clip.empty());
    CFileDeviceList files(nullptr, kRate);
    SceneFixture f(640, 360);
    CFileDevice* device = files.OpenFileDevice(clip, 640, 360, 50, 0);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->width, 160);
    EXPECT_EQ(device->height, 120);
    LayerNode* node = f.scene.AddLayer(kLayerFile, clip, LayerOptions::Media(device));
    ASSERT_NE(node, nullptr);
    // Sized from the file at the canvas scale (640 / 720): 160 x 120 canvas pixels.
    EXPECT_EQ(node->layer->GetRect(), (LayerRect{0, 0, 180, 135}));
    node->layer->SetRect({90, 45, 270, 180});  // canvas (80, 40) to (240, 160)

    ASSERT_TRUE(WaitUntil([&] { return Near(CanvasPixel(f.Canvas(), 640, 160, 100), 0, 0, 255, 12); }, 10s));
    ASSERT_TRUE(f.Sync());
    const auto canvas = f.Canvas();
    EXPECT_EQ(CountOff(canvas, 640, 81, 41, 239, 159, 0, 0, 255, 12), 0);
    EXPECT_EQ(CountOff(canvas, 640, 0, 0, 640, 38, 0, 0, 0, 0), 0);
    EXPECT_EQ(CountOff(canvas, 640, 0, 162, 640, 360, 0, 0, 0, 0), 0);
    EXPECT_EQ(CountOff(canvas, 640, 0, 40, 78, 160, 0, 0, 0, 0), 0);
    EXPECT_EQ(CountOff(canvas, 640, 242, 40, 640, 160, 0, 0, 0, 0), 0);
    // Frames from SourceKit's files are YUY2, top-down.
    EXPECT_EQ(node->layer->bottomUp, 0);
}

TEST(MediaDevices, TwoLayersOfOneFileShareItsDeviceUntilBothAreGone) {
    MediaDir dir;
    const std::string clip = MakeClip(dir, "shared.mp4", "color=c=blue:s=64x48:r=25:d=10");
    ASSERT_FALSE(clip.empty());
    CFileDeviceList files(nullptr, kRate);
    SceneFixture f(640, 360);
    CFileDevice* first = files.OpenFileDevice(clip, 640, 360, 50, 0);
    CFileDevice* second = files.OpenFileDevice(clip, 640, 360, 80, kPlayLoop);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(second, first);
    EXPECT_EQ(first->references, 2);
    EXPECT_EQ(files.Count(), 1u);
    EXPECT_EQ(first->PlayFlags(), 0u) << "the first opening's options stay";
    LayerNode* a = f.scene.AddLayer(kLayerFile, clip, LayerOptions::Media(first));
    LayerNode* b = f.scene.AddLayer(kLayerFile, clip, LayerOptions::Media(second));
    ASSERT_TRUE(a != nullptr && b != nullptr);
    b->layer->SetRect({360, 0, 432, 54});
    ASSERT_TRUE(WaitForFrameAfter(first, std::nullopt, 10s));

    DeleteLayer(&f, a);
    ASSERT_TRUE(f.Sync());
    EXPECT_EQ(first->references, 1);
    EXPECT_EQ(files.Count(), 1u);
    ASSERT_TRUE(WaitForFrameAfter(first, NewestTimestamp(first), 5s)) << "the remaining layer's file plays on";
    ASSERT_TRUE(f.Sync());
    EXPECT_TRUE(Near(CanvasPixel(f.Canvas(), 640, 352, 20), 255, 0, 0, 12));
    EXPECT_TRUE(Near(CanvasPixel(f.Canvas(), 640, 30, 20), 0, 0, 0, 0));

    DeleteLayer(&f, b);
    ASSERT_TRUE(f.Sync());
    EXPECT_EQ(files.Count(), 0u);
    EXPECT_TRUE(f.scene.LayersTopFirst().empty());
}

// A clip played in a media layer with the given play flags, in a scene that is the process's scene
// and tells a queue of its notifications. The registry outlives the scene, whose layer holds the device.
class MediaPlayFlags : public ::testing::Test {
protected:
    // Makes the clip from the lavfi graph and puts its layer into the scene; null on failure.
    LayerNode* Play(const std::string& name, const std::string& graph, uint32_t flags) {
        f.scene.SetNotificationWindow(&window);
        files.SetFileEndedHandler([this](const CFileDevice* ended) { f.scene.NotifyFileEnded(ended); });
        const std::string clip = MakeClip(dir, name, graph);
        if (clip.empty()) return nullptr;
        device = files.OpenFileDevice(clip, 640, 360, 50, flags);
        if (device == nullptr) return nullptr;
        return f.scene.AddLayer(kLayerFile, clip, LayerOptions::Media(device));
    }
    // The scene goes before the registry: nothing may reach it once it is gone.
    void TearDown() override { files.SetFileEndedHandler(nullptr); }
    bool WaitForEnd(std::chrono::milliseconds timeout, ThreadMessage* ended = nullptr) {
        return window.WaitFor([](const ThreadMessage& m) { return m.code == WM_SCENE_FILE_ENDED; }, timeout, ended);
    }

    MediaDir dir;
    CQueueWindowTarget window;
    CFileDeviceList files{nullptr, kRate};
    SceneFixture f{640, 360};
    CFileDevice* device = nullptr;
};

TEST_F(MediaPlayFlags, RestartWhenShownStartsTheFileOver) {
    // Red for 0.8 seconds, blue to the end.
    LayerNode* node = Play("red-then-blue.mp4",
                           "color=c=red:s=64x48:r=25:d=6,drawbox=x=0:y=0:w=iw:h=ih:c=blue:t=fill:enable='gte(t,0.8)'",
                           kPlayRestartWhenShown);
    ASSERT_NE(node, nullptr);
    ASSERT_TRUE(WaitUntil([&] { return Near(CanvasPixel(f.Canvas(), 640, 30, 20), 255, 0, 0, 12); }, 10s));

    ASSERT_TRUE(f.scene.SetLayerVisible(node, false));
    ASSERT_TRUE(f.scene.SetLayerVisible(node, true));
    // Only a file that started over can show red again.
    EXPECT_TRUE(WaitUntil([&] { return Near(CanvasPixel(f.Canvas(), 640, 30, 20), 0, 0, 255, 12); }, 5s));
}

TEST_F(MediaPlayFlags, PauseWhenHiddenHoldsTheFileUntilShown) {
    LayerNode* node = Play("long.mp4", "color=c=red:s=64x48:r=25:d=20", kPlayPauseWhenHidden);
    ASSERT_NE(node, nullptr);
    ASSERT_TRUE(f.Sync());
    ASSERT_TRUE(WaitForFrameAfter(device, std::nullopt, 10s));

    ASSERT_TRUE(f.scene.SetLayerVisible(node, false));
    // A frame that was being delivered as the pause came may still land.
    const std::optional<uint32_t> atPause = NewestTimestamp(device);
    WaitForFrameAfter(device, atPause, 200ms);
    const std::optional<uint32_t> held = NewestTimestamp(device);
    // At 25 frames a second a playing file would have shown about fifteen new frames.
    EXPECT_FALSE(WaitForFrameAfter(device, held, 600ms));

    ASSERT_TRUE(f.scene.SetLayerVisible(node, true));
    EXPECT_TRUE(WaitForFrameAfter(device, held, 5s));
}

TEST_F(MediaPlayFlags, HideAtEndTellsTheNotificationWindowWhichLayerEnded) {
    LayerNode* node = Play("short.mp4", "color=c=red:s=64x48:r=25:d=1.5", kPlayHideAtEnd);
    ASSERT_NE(node, nullptr);
    ThreadMessage ended;
    ASSERT_TRUE(WaitForEnd(10s, &ended));
    EXPECT_EQ(ended.wParam, reinterpret_cast<uintptr_t>(node));
}

TEST_F(MediaPlayFlags, ALoopingFileNeverEndsAndKeepsDeliveringFrames) {
    ASSERT_NE(Play("loop.mp4", "color=c=red:s=64x48:r=25:d=0.5", kPlayLoop | kPlayHideAtEnd), nullptr);
    ASSERT_TRUE(WaitForFrameAfter(device, std::nullopt, 10s));
    // Twice the clip's length: a file that ended would have said so by now.
    EXPECT_FALSE(WaitForEnd(1000ms));
    EXPECT_TRUE(WaitForFrameAfter(device, NewestTimestamp(device), 5s));
}

TEST(MediaSeek, SeekingDropsTheLastFrameSoThatItIsNotShownAgain) {
    auto* device = new CFileDevice("fed.mp4", nullptr, 1, 0, 64, 48, 100, 0);
    ImageBufferPtr frame = SolidYuy2Frame(64, 48, kYuvRed.y, kYuvRed.u, kYuvRed.v);
    device->DeliverFrame(frame.get());
    EXPECT_TRUE(device->HasFrame());
    device->Seek(0);
    EXPECT_FALSE(device->HasFrame());
    ImageBuffer* copy = nullptr;
    EXPECT_EQ(device->CopyLatestFrame(&copy), -1);
    EXPECT_EQ(copy, nullptr);
    device->Release();
}

TEST(MediaStreams, ANetworkStreamTakesEightyPercentOfTheDefaultSize) {
    CFileDeviceList files(nullptr, kRate);
    SceneFixture f(1280, 720);
    const std::string url = "rtmp://127.0.0.1:" + std::to_string(ClosedLocalPort()) + "/live/none";
    CFileDevice* device = files.OpenFileDevice(url, 1280, 720, 50, 0);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->width, 1024);
    EXPECT_EQ(device->height, 576);
    LayerNode* node = f.scene.AddLayer(kLayerFile, url, LayerOptions::Media(device));
    ASSERT_NE(node, nullptr);
    // 1024 x 576 canvas pixels at the scale 1280 / 720.
    EXPECT_EQ(node->layer->GetRect(), (LayerRect{0, 0, 576, 324}));
}

TEST(MediaSound, TheQueueKeepsTheNewest39PacketsAndIgnoresEmptyOnes) {
    CFileDevice device("sound.m4a", nullptr, 2, 0, 100, 100, 100, 0);
    const int64_t now = GetMediaTimeMs();
    const auto base = static_cast<uint32_t>(now);  // SourceKit stamps with the clock's low 32 bits
    for (uint32_t i = 0; i < 40; ++i) AddSound(&device, 64, static_cast<uint8_t>(i), base + i * 10);
    EXPECT_EQ(device.QueuedSound(), 39u);
    AddSound(&device, 0, 0xEE, base + 1000);
    AddSound(&device, -1, 0xEE, base + 1000);
    EXPECT_EQ(device.QueuedSound(), 39u);

    const uint8_t* data = nullptr;
    uint32_t bytes = 0;
    uint64_t timestamp = 0;
    ASSERT_EQ(device.GetBuffer(&data, &bytes, &timestamp), 1);
    EXPECT_EQ(bytes, 64u);
    EXPECT_EQ(data[0], 1) << "the oldest packet went";
    EXPECT_EQ(timestamp, static_cast<uint64_t>(now + 10) * 10000) << "100-ns units of the full clock";
    // Every packet comes out in order, and then nothing.
    for (int i = 1; i < 40; ++i) {
        ASSERT_EQ(device.GetBuffer(&data, &bytes, &timestamp), 1);
        EXPECT_EQ(data[0], i);
        device.ReleaseBuffer();
    }
    EXPECT_EQ(device.GetBuffer(&data, &bytes, &timestamp), -1);
}

TEST(MediaSound, ALentPacketStaysValidWhileMoreSoundArrives) {
    CFileDevice device("sound.m4a", nullptr, 2, 0, 100, 100, 100, 0);
    const int64_t now = GetMediaTimeMs();
    const auto base = static_cast<uint32_t>(now);
    for (uint32_t i = 0; i < 5; ++i) AddSound(&device, 4096, static_cast<uint8_t>(0x10 + i), base + i);
    const uint8_t* lent = nullptr;
    uint32_t bytes = 0;
    uint64_t timestamp = 0;
    ASSERT_EQ(device.GetBuffer(&lent, &bytes, &timestamp), 1);
    for (uint32_t i = 0; i < 40; ++i) AddSound(&device, 4096, 0x80, base + 100 + i);
    EXPECT_EQ(device.QueuedSound(), 39u);
    // The mixer still reads the packet it was lent; asked again, it gets the same one.
    EXPECT_TRUE(std::all_of(lent, lent + bytes, [](uint8_t v) { return v == 0x10; }));
    const uint8_t* again = nullptr;
    ASSERT_EQ(device.GetBuffer(&again, &bytes, &timestamp), 1);
    EXPECT_EQ(again, lent);
    EXPECT_EQ(device.ReleaseBuffer(), 0);
    ASSERT_EQ(device.GetBuffer(&again, &bytes, &timestamp), 1);
    EXPECT_EQ(again[0], 0x80);
    EXPECT_EQ(timestamp, static_cast<uint64_t>(now + 101) * 10000) << "the newest 39 of the second burst";
}

TEST(MediaSound, FileSoundIsQueuedOnlyWhileALiveRuns) {
    MediaDir dir;
    const std::string clip = MakeClip(dir, "with-sound.mp4", "color=c=red:s=64x48:r=25:d=10", 10);
    ASSERT_FALSE(clip.empty());
    AudioFeed engine;
    CFileDeviceList files(nullptr, kRate);
    files.SetLiveEngine(&engine);
    CFileDevice* device = files.OpenFileDevice(clip, 640, 360, 50, 0);
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->StreamMask(), 3);
    ASSERT_TRUE(WaitForFrameAfter(device, std::nullopt, 10s));
    const uint32_t first = *NewestTimestamp(device);
    // Half a second of the file has played: its sound came with it, and was not kept.
    ASSERT_TRUE(WaitUntil([&] { return NewestTimestamp(device).value_or(first) - first >= 500; }, 10s));
    EXPECT_EQ(device->QueuedSound(), 0u);

    engine.state = kEngineLiveRecording;
    ASSERT_TRUE(WaitUntil([&] { return device->QueuedSound() > 0; }, 5s));
    const uint8_t* data = nullptr;
    uint32_t bytes = 0;
    uint64_t timestamp = 0;
    ASSERT_EQ(device->GetBuffer(&data, &bytes, &timestamp), 1);
    EXPECT_EQ(bytes % 4, 0u) << "16-bit stereo";
    const int64_t ageMs = GetMediaTimeMs() - static_cast<int64_t>(timestamp / 10000);
    EXPECT_GT(ageMs, -2000);
    EXPECT_LT(ageMs, 10000);
    device->ReleaseBuffer();
    device->Release();
    EXPECT_EQ(files.Count(), 0u);
    files.SetLiveEngine(nullptr);
}

TEST(MediaSound, AFileWithSoundIsMixedUntilItsLastRelease) {
    MediaDir dir;
    const std::string clip = MakeClip(dir, "tone.m4a", "", 10);
    ASSERT_FALSE(clip.empty());
    AudioFeed engine;
    engine.state = kEngineLiveRecording;
    CAudioMixer mixer(kRate);
    mixer.AttachEngine(&engine, static_cast<uint32_t>(GetMediaTimeMs()));
    {
        CFileDeviceList files(&mixer, kRate);
        files.SetLiveEngine(&engine);
        CFileDevice* device = files.OpenFileDevice(clip, 640, 360, 100, 0);
        ASSERT_NE(device, nullptr);
        EXPECT_EQ(device->StreamMask(), 2);
        CFileDevice* again = files.OpenFileDevice(clip, 640, 360, 100, 0);
        ASSERT_EQ(again, device);
        // The sine is at an eighth of full scale.
        ASSERT_TRUE(WaitUntil(
            [&] {
                const auto peaks = engine.Peaks();
                return std::any_of(peaks.begin(), peaks.end(), [](int p) { return p > 2000; });
            },
            10s));
        again->Release();
        const size_t beforeLast = engine.Peaks().size();
        device->Release();
        EXPECT_EQ(files.Count(), 0u);
        // Once what was mixed before has left the ring, the blocks are silent for good.
        const auto silentRun = [&] {
            const auto peaks = engine.Peaks();
            return peaks.size() >= beforeLast + 30 &&
                   std::all_of(peaks.end() - 10, peaks.end(), [](int p) { return p == 0; });
        };
        EXPECT_TRUE(WaitUntil(silentRun, 10s));
        files.SetLiveEngine(nullptr);
    }
    mixer.AttachEngine(nullptr, 0);
}

TEST(MediaRecords, VolumeIsStoredRoundedWithThePlayFlags) {
    SceneFixture f(640, 360);
    const int32_t volumes[] = {53, 29, 57, 58};
    const uint32_t flags[] = {kPlayLoop | kPlayHideAtEnd, kPlayRestartWhenShown, kPlayPauseWhenHidden, 0};
    for (int i = 0; i < 4; ++i) {
        const std::string name = "clip" + std::to_string(i) + ".mp4";
        auto* device = new CFileDevice(name, nullptr, 3, static_cast<uint32_t>(i), 64, 48, volumes[i], flags[i]);
        ASSERT_NE(f.scene.AddLayer(kLayerFile, name, LayerOptions::Media(device)), nullptr);
    }
    ASSERT_TRUE(f.Sync());
    CSceneBase stored;
    ASSERT_TRUE(f.scene.ExportRecords(&stored));
    ASSERT_EQ(stored.Records().size(), 4u);
    for (int i = 0; i < 4; ++i) {
        const SceneSource& record = *stored.Records()[3 - i];  // top first
        EXPECT_EQ(record.type, kSourceMedia);
        EXPECT_EQ(record.SourceName, "clip" + std::to_string(i) + ".mp4");
        EXPECT_EQ(record.Volume, volumes[i]);
        EXPECT_EQ(record.PlayFlag, static_cast<int32_t>(flags[i]));
    }
}
