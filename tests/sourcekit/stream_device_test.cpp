// Network streams through SourceKit's exported functions, served on 127.0.0.1 by ffmpeg's one-shot
// HTTP server or a private nginx-rtmp fed by ffmpeg: presentation delay, pacing, streams without
// sound or with video the device cannot convert, reconnection, pause, and stopping while blocked.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/sourcekit/sk_test_support.h"

using namespace sktest;
using namespace std::chrono_literals;

namespace {

class StreamDevice {
public:
    StreamDevice() = default;
    ~StreamDevice() { Stop(); }
    StreamDevice(const StreamDevice&) = delete;
    StreamDevice& operator=(const StreamDevice&) = delete;

    bool Open(const std::string& url, Recorder* recorder) {
        int32_t width = 1280, height = 720, mask = 0;
        handle =
            brevacast_open_filedevice(url.c_str(), 2, 44100, &width, &height, &mask, &Recorder::Callback, recorder);
        return handle != nullptr;
    }
    void Start() {
        startMs = NowMs();
        brevacast_start_filedevice(handle);
    }
    // The time the stop call took, in milliseconds.
    int64_t Stop() {
        const int64_t before = NowMs();
        brevacast_stop_filedevice(handle);
        handle = nullptr;
        return NowMs() - before;
    }

    void* handle = nullptr;
    int64_t startMs = 0;
};

std::string MakeStreamClip(const MediaDir& dir, const std::string& name, double seconds, bool sound,
                           const std::string& pixelFormat = "yuv420p") {
    ClipSpec spec;
    spec.seconds = seconds;
    spec.pixelFormat = pixelFormat;
    spec.audioCodec = sound ? "aac" : "";
    spec.audioRate = 44100;
    return MakeClip(dir, name, spec);
}

// Spacing of consecutive video timestamps, sorted.
std::vector<int64_t> TimestampSteps(const std::vector<VideoEvent>& video, size_t from) {
    std::vector<int64_t> steps;
    for (size_t i = from + 1; i < video.size(); ++i) {
        steps.push_back(static_cast<int64_t>(video[i].timestamp) - static_cast<int64_t>(video[i - 1].timestamp));
    }
    std::sort(steps.begin(), steps.end());
    return steps;
}

class RtmpStream : public ::testing::Test {
protected:
    void SetUp() override {
        if (!NginxAvailable()) GTEST_SKIP() << "nginx with the RTMP module is not installed";
    }
};

}  // namespace

TEST(HttpStream, IsPresentedThreeSecondsBehindAtItsFrameRate) {
    MediaDir dir;
    const std::string clip = MakeStreamClip(dir, "http.flv", 2.0, true);
    ASSERT_FALSE(clip.empty());
    HttpFlvServer server;
    ASSERT_TRUE(server.Start(clip, FreeTcpPort()));

    Recorder recorder;
    recorder.keepPixels = false;
    StreamDevice device;
    ASSERT_TRUE(device.Open(server.Url(), &recorder));
    device.Start();
    ASSERT_TRUE(recorder.WaitFor([](const Recorder& r) { return r.video.size() >= 40; }, 15s));
    device.Stop();

    const std::vector<VideoEvent> video = recorder.Video();
    const int64_t firstDelay = video.front().arrivalMs - device.startMs;
    EXPECT_GE(firstDelay, 2900);
    EXPECT_LE(firstDelay, 6500);
    const std::vector<int64_t> steps = TimestampSteps(video, 0);
    EXPECT_NEAR(static_cast<double>(steps[steps.size() / 2]), 33.0, 2.0);
    for (const VideoEvent& e : video) EXPECT_GE(e.arrivalMs, static_cast<int64_t>(e.timestamp) - 1);
    EXPECT_EQ(video.front().fourcc, kFourccYUY2);
    EXPECT_EQ(video.front().width, 160);
    EXPECT_GT(recorder.PcmBytes(), 0);
    EXPECT_NEAR(ToneFrequency(recorder.Pcm(), 2, 0, 44100), 440.0, 8.0);
}

TEST(HttpStream, StopWhileTheServerNeverAnswersReturnsPromptly) {
    // A socket that listens but never accepts: the connection completes in the kernel and the
    // request then waits for an answer forever.
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ASSERT_EQ(listen(listener, 4), 0);
    ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    const std::string port = std::to_string(ntohs(address.sin_port));

    for (const std::string& url : {"http://127.0.0.1:" + port + "/never.flv", "rtmp://127.0.0.1:" + port + "/live/x"}) {
        Recorder recorder;
        StreamDevice device;
        ASSERT_TRUE(device.Open(url, &recorder));
        device.Start();
        std::this_thread::sleep_for(300ms);  // the reader is now blocked on the silent server
        EXPECT_LT(device.Stop(), 3000) << url;
        EXPECT_EQ(recorder.VideoCount() + recorder.AudioCount(), 0u);
    }
    close(listener);
}

TEST(HttpStream, UnreachableServerDeliversNothingAndStops) {
    Recorder recorder;
    StreamDevice device;
    ASSERT_TRUE(device.Open("http://127.0.0.1:" + std::to_string(FreeTcpPort()) + "/none.flv", &recorder));
    device.Start();
    std::this_thread::sleep_for(500ms);
    EXPECT_LT(device.Stop(), 3000);
    EXPECT_EQ(recorder.VideoCount() + recorder.AudioCount(), 0u);
}

TEST_F(RtmpStream, IsPresentedOneSecondBehindAndReconnectsOnlyOnSeekZero) {
    MediaDir dir;
    const std::string clip = MakeStreamClip(dir, "rtmp.flv", 2.0, true);
    ASSERT_FALSE(clip.empty());
    NginxRtmp nginx(dir);
    ASSERT_TRUE(nginx.StartServer(FreeTcpPort()));
    ASSERT_TRUE(nginx.Publish(clip));
    std::this_thread::sleep_for(500ms);  // the publisher is up before the player asks for the stream

    Recorder recorder;
    recorder.keepPixels = false;
    StreamDevice device;
    ASSERT_TRUE(device.Open(nginx.Url(), &recorder));
    device.Start();
    ASSERT_TRUE(recorder.WaitFor([](const Recorder& r) { return r.video.size() >= 20; }, 10s));
    const int64_t firstDelay = recorder.Video().front().arrivalMs - device.startMs;
    EXPECT_GE(firstDelay, 900);
    EXPECT_LE(firstDelay, 4000);

    const size_t beforeSeek = recorder.VideoCount();
    brevacast_seek_filedevice(device.handle, 5);
    ASSERT_TRUE(recorder.WaitFor([&](const Recorder& r) { return r.video.size() >= beforeSeek + 20; }, 5s));
    std::vector<VideoEvent> video = recorder.Video();
    for (size_t i = beforeSeek; i < video.size(); ++i) {
        EXPECT_LT(video[i].arrivalMs - video[i - 1].arrivalMs, 300) << "a seek elsewhere than 0 does not interrupt";
    }
    EXPECT_GT(recorder.PcmBytes(), 0);

    // Seek(0) reconnects from scratch: nothing until the new connection's delay has passed.
    const int64_t restartAt = NowMs();
    brevacast_seek_filedevice(device.handle, 0);
    const size_t beforeRestart = recorder.VideoCount();
    ASSERT_TRUE(recorder.WaitFor([&](const Recorder& r) { return r.video.size() >= beforeRestart + 5; }, 10s));
    device.Stop();
    video = recorder.Video();
    EXPECT_GE(video[beforeRestart].arrivalMs - restartAt, 900);
}

TEST_F(RtmpStream, WithoutSoundTheVideoIsStillPresented) {
    MediaDir dir;
    const std::string clip = MakeStreamClip(dir, "silent.flv", 2.0, false);
    ASSERT_FALSE(clip.empty());
    NginxRtmp nginx(dir);
    ASSERT_TRUE(nginx.StartServer(FreeTcpPort()));
    ASSERT_TRUE(nginx.Publish(clip));
    std::this_thread::sleep_for(500ms);

    Recorder recorder;
    recorder.keepPixels = false;
    StreamDevice device;
    ASSERT_TRUE(device.Open(nginx.Url(), &recorder));
    device.Start();
    ASSERT_TRUE(recorder.WaitFor([](const Recorder& r) { return r.video.size() >= 45; }, 10s));
    device.Stop();

    const std::vector<VideoEvent> video = recorder.Video();
    const std::vector<int64_t> steps = TimestampSteps(video, 0);
    EXPECT_NEAR(static_cast<double>(steps[steps.size() / 2]), 33.0, 2.0);
    const double spacing = static_cast<double>(video.back().arrivalMs - video[5].arrivalMs) / (video.size() - 6);
    EXPECT_NEAR(spacing, 33.3, 8.0);
}

TEST_F(RtmpStream, VideoThatIsNotPlanar420IsNeverDeliveredButSoundIs) {
    MediaDir dir;
    const std::string clip = MakeStreamClip(dir, "full-chroma.flv", 2.0, true, "yuv444p");
    ASSERT_FALSE(clip.empty());
    NginxRtmp nginx(dir);
    ASSERT_TRUE(nginx.StartServer(FreeTcpPort()));
    ASSERT_TRUE(nginx.Publish(clip));
    std::this_thread::sleep_for(500ms);

    Recorder recorder;
    StreamDevice device;
    ASSERT_TRUE(device.Open(nginx.Url(), &recorder));
    device.Start();
    ASSERT_TRUE(recorder.WaitFor([](const Recorder& r) { return r.pcmBytes >= 44100 * 4; }, 10s));
    device.Stop();
    EXPECT_EQ(recorder.VideoCount(), 0u);
}

TEST_F(RtmpStream, PauseConsumesOnTimeWithoutDelivering) {
    MediaDir dir;
    const std::string clip = MakeStreamClip(dir, "pause.flv", 2.0, true);
    ASSERT_FALSE(clip.empty());
    NginxRtmp nginx(dir);
    ASSERT_TRUE(nginx.StartServer(FreeTcpPort()));
    ASSERT_TRUE(nginx.Publish(clip));
    std::this_thread::sleep_for(500ms);

    Recorder recorder;
    recorder.keepPixels = false;
    StreamDevice device;
    ASSERT_TRUE(device.Open(nginx.Url(), &recorder));
    device.Start();
    ASSERT_TRUE(recorder.WaitFor([](const Recorder& r) { return r.video.size() >= 10; }, 10s));
    brevacast_pause_filedevice(device.handle, 1);
    const size_t atPause = recorder.VideoCount();
    std::this_thread::sleep_for(1000ms);
    EXPECT_LE(recorder.VideoCount(), atPause + 1);
    const size_t atResume = recorder.VideoCount();
    brevacast_pause_filedevice(device.handle, 0);
    ASSERT_TRUE(recorder.WaitFor([&](const Recorder& r) { return r.video.size() >= atResume + 5; }, 5s));
    device.Stop();

    // The frames due while paused were consumed: delivery resumes with what is due now, on time.
    const std::vector<VideoEvent> video = recorder.Video();
    const int64_t skipped =
        static_cast<int64_t>(video[atResume].timestamp) - static_cast<int64_t>(video[atResume - 1].timestamp);
    EXPECT_GE(skipped, 800);
    EXPECT_LE(video[atResume].arrivalMs - static_cast<int64_t>(video[atResume].timestamp), 100);
}

TEST_F(RtmpStream, ReconnectsAfterTheServerRestartsOnceTheBufferIsShown) {
    MediaDir dir;
    const std::string clip = MakeStreamClip(dir, "restart.flv", 2.0, true);
    ASSERT_FALSE(clip.empty());
    const int port = FreeTcpPort();
    auto nginx = std::make_unique<NginxRtmp>(dir);
    ASSERT_TRUE(nginx->StartServer(port));
    ASSERT_TRUE(nginx->Publish(clip));
    std::this_thread::sleep_for(500ms);

    Recorder recorder;
    recorder.keepPixels = false;
    StreamDevice device;
    ASSERT_TRUE(device.Open(nginx->Url(), &recorder));
    device.Start();
    ASSERT_TRUE(recorder.WaitFor([](const Recorder& r) { return r.video.size() >= 30; }, 10s));

    // The connection breaks (a read error, not an end of stream); a new server takes the port.
    nginx->StopAll();
    const int64_t brokenAt = NowMs();
    nginx = std::make_unique<NginxRtmp>(dir);
    ASSERT_TRUE(nginx->StartServer(port));
    ASSERT_TRUE(nginx->Publish(clip));

    ASSERT_TRUE(recorder.WaitFor(
        [&](const Recorder& r) { return !r.video.empty() && r.video.back().arrivalMs > brokenAt + 2500; }, 15s))
        << "frames from the new connection";
    device.Stop();

    const std::vector<VideoEvent> video = recorder.Video();
    const auto buffered = std::count_if(video.begin(), video.end(), [&](const VideoEvent& e) {
        return e.arrivalMs > brokenAt + 50 && e.arrivalMs < brokenAt + 600;
    });
    EXPECT_GE(buffered, 5) << "the frames already buffered are still shown before reconnecting";
}
