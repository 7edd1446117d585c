// The capture devices through SourceKit's exported functions. No camera or sound card exists on
// these machines, so the same reading threads run on FFmpeg's lavfi sources, chosen through
// SOURCEKIT_VIDEO_INPUT / SOURCEKIT_AUDIO_INPUT; the device name is then the filter graph.
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

#include "tests/sourcekit/sk_test_support.h"

using namespace sktest;
using namespace std::chrono_literals;

namespace {

constexpr uint32_t kRV24 = MakeFourcc('R', 'V', '2', '4');

// Top-left 4 x 4 red, everything else black, 25 frames per second of stream time (delivered as
// fast as they are read: nothing paces a lavfi source).
constexpr const char* kRedCornerBgr = "color=red:4x4,pad=8:8:0:0,format=bgr24";
constexpr const char* kRedCornerYuyv = "color=red:4x4,pad=8:8:0:0,format=yuyv422";

class CaptureDevices : public ::testing::Test {
protected:
    // Set while no device thread runs, so nothing reads the environment concurrently.
    void SetUp() override {
        setenv("SOURCEKIT_VIDEO_INPUT", "lavfi", 1);
        setenv("SOURCEKIT_AUDIO_INPUT", "lavfi", 1);
    }
    void TearDown() override {
        unsetenv("SOURCEKIT_VIDEO_INPUT");
        unsetenv("SOURCEKIT_AUDIO_INPUT");
    }
};

class VideoCapture {
public:
    ~VideoCapture() { Stop(); }
    bool Open(const char* name, int width, int height, uint32_t fourcc, Recorder* recorder) {
        handle = brevacast_open_videodevice(name, width, height, 30.0f, fourcc, -1, -1, &Recorder::Callback, recorder);
        return handle != nullptr;
    }
    void Stop() {
        brevacast_stop_videodevice(handle);
        handle = nullptr;
    }
    void* handle = nullptr;
};

const uint8_t* Pixel(const VideoEvent& e, int x, int y, int bytesPerPixel) {
    return e.pixels.data() + static_cast<size_t>(y) * e.stride + static_cast<size_t>(x) * bytesPerPixel;
}

}  // namespace

TEST_F(CaptureDevices, Rv24ImagesAreBottomUpBgrRows) {
    Recorder recorder;
    VideoCapture device;
    ASSERT_TRUE(device.Open(kRedCornerBgr, 8, 8, kRV24, &recorder));
    brevacast_start_videodevice(device.handle);
    ASSERT_TRUE(recorder.WaitFor([](const Recorder& r) { return r.video.size() >= 3; }, 5s));
    device.Stop();

    const VideoEvent e = recorder.Video().front();
    EXPECT_EQ(e.fourcc, kRV24);
    EXPECT_EQ(e.stride, 24);
    // The source's top row is the image's last row.
    const uint8_t* topLeft = Pixel(e, 0, 7, 3);
    EXPECT_EQ(topLeft[0], 0);
    EXPECT_EQ(topLeft[1], 0);
    EXPECT_EQ(topLeft[2], 255);
    EXPECT_EQ(Pixel(e, 4, 7, 3)[2], 0);
    EXPECT_EQ(Pixel(e, 0, 0, 3)[2], 0) << "the source's bottom row comes first";
    EXPECT_EQ(Pixel(e, 0, 4, 3)[2], 255);
    EXPECT_EQ(Pixel(e, 0, 3, 3)[2], 0);
}

TEST_F(CaptureDevices, Yuy2ImagesStayTopDown) {
    Recorder recorder;
    VideoCapture device;
    ASSERT_TRUE(device.Open(kRedCornerYuyv, 8, 8, kFourccYUY2, &recorder));
    brevacast_start_videodevice(device.handle);
    ASSERT_TRUE(recorder.WaitFor([](const Recorder& r) { return r.video.size() >= 3; }, 5s));
    device.Stop();

    const VideoEvent e = recorder.Video().front();
    EXPECT_EQ(e.fourcc, kFourccYUY2);
    EXPECT_EQ(e.stride, 16);
    int y = 0, u = 0, v = 0;
    ExpectedYuv(255, 0, 0, &y, &u, &v);
    EXPECT_NEAR(Pixel(e, 0, 0, 2)[0], y, 2);
    EXPECT_NEAR(Pixel(e, 0, 0, 2)[3], v, 2);
    EXPECT_NEAR(Pixel(e, 0, 7, 2)[0], 16, 2);
}

TEST_F(CaptureDevices, TimestampsAreMillisecondsInImageAndInfo) {
    Recorder recorder;
    VideoCapture device;
    ASSERT_TRUE(device.Open(kRedCornerBgr, 8, 8, kRV24, &recorder));
    brevacast_start_videodevice(device.handle);
    ASSERT_TRUE(recorder.WaitFor([](const Recorder& r) { return r.video.size() >= 10; }, 5s));
    device.Stop();

    const std::vector<VideoEvent> video = recorder.Video();
    for (size_t i = 0; i < video.size(); ++i) {
        EXPECT_EQ(static_cast<int32_t>(video[i].timestamp), video[i].infoTimestamp);
        if (i > 0) {
            EXPECT_EQ(video[i].timestamp - video[i - 1].timestamp, 40u) << "25 frames per second";
        }
    }
}

TEST_F(CaptureDevices, RowsLongerThanTheStrideAreCut) {
    Recorder recorder;
    VideoCapture device;
    // The source rows carry 8 pixels; the image asked for 4.
    ASSERT_TRUE(device.Open(kRedCornerBgr, 4, 8, kRV24, &recorder));
    brevacast_start_videodevice(device.handle);
    ASSERT_TRUE(recorder.WaitFor([](const Recorder& r) { return r.video.size() >= 3; }, 5s));
    device.Stop();

    const VideoEvent e = recorder.Video().front();
    EXPECT_EQ(e.stride, 12);
    for (int x = 0; x < 4; ++x) EXPECT_EQ(Pixel(e, x, 7, 3)[2], 255) << "source row 0, pixel " << x;
    EXPECT_EQ(Pixel(e, 0, 3, 3)[2], 0);
}

TEST_F(CaptureDevices, PacketsSmallerThanTheImageAreNotShown) {
    Recorder recorder;
    VideoCapture device;
    ASSERT_TRUE(device.Open(kRedCornerBgr, 16, 8, kRV24, &recorder));
    brevacast_start_videodevice(device.handle);
    std::this_thread::sleep_for(300ms);  // thousands of packets are read meanwhile
    device.Stop();
    EXPECT_EQ(recorder.VideoCount(), 0u);
}

TEST_F(CaptureDevices, InfoBlockCarriesTheSizeAndMarkers) {
    Recorder recorder;
    VideoCapture device;
    ASSERT_TRUE(device.Open(kRedCornerBgr, 8, 8, kRV24, &recorder));
    brevacast_start_videodevice(device.handle);
    ASSERT_TRUE(recorder.WaitFor([](const Recorder& r) { return r.video.size() >= 2; }, 5s));
    device.Stop();

    const FrameInfo info = recorder.Video()[1].info;
    EXPECT_EQ(info.slots[0], 8);
    EXPECT_EQ(info.slots[1], 8);
    EXPECT_EQ(info.slots[2], 0);
    EXPECT_EQ(info.slots[3], SK_INFO_UNUSED);
    EXPECT_EQ(info.slots[4], 40);
    EXPECT_EQ(info.slots[5], SK_INFO_UNUSED);
}

TEST_F(CaptureDevices, NoDeliveryFollowsStop) {
    Recorder recorder;
    VideoCapture device;
    ASSERT_TRUE(device.Open(kRedCornerBgr, 8, 8, kRV24, &recorder));
    brevacast_start_videodevice(device.handle);
    ASSERT_TRUE(recorder.WaitFor([](const Recorder& r) { return r.videoDelivered >= 50; }, 5s));
    device.Stop();
    recorder.Close();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(recorder.AfterClose(), 0);
}

TEST_F(CaptureDevices, NamesTooLongForTheSpecifierAreRefused) {
    Recorder recorder;
    // "video=" + name + terminator must fit 50 bytes: 43 bytes of name at most.
    const std::string fits = "color=red:4x4,pad=8:8:0:0,format=bgr24,null";
    ASSERT_EQ(fits.size(), 43u);
    VideoCapture accepted;
    EXPECT_TRUE(accepted.Open(fits.c_str(), 8, 8, kRV24, &recorder));
    VideoCapture refused;
    EXPECT_FALSE(refused.Open((fits + ",null").c_str(), 8, 8, kRV24, &recorder));
}

TEST_F(CaptureDevices, SoundArrivesAsPcmWithMillisecondTimes) {
    Recorder recorder;
    void* handle = brevacast_open_audiodevice("sine=f=440:r=44100,aformat=sample_fmts=s16:channel_layouts=stereo", 2,
                                              44100, &Recorder::Callback, &recorder);
    ASSERT_NE(handle, nullptr);
    brevacast_start_audiodevice(handle);
    ASSERT_TRUE(recorder.WaitFor([](const Recorder& r) { return r.pcmBytes >= 44100 * 4; }, 5s));
    brevacast_stop_audiodevice(handle);

    const std::vector<AudioEvent> audio = recorder.Audio();
    ASSERT_GE(audio.size(), 2u);
    for (const AudioEvent& e : audio) {
        EXPECT_EQ(e.info.slots[0], 2);
        EXPECT_EQ(e.info.slots[1], 44100);
        EXPECT_EQ(e.info.slots[5], SK_INFO_UNUSED);
    }
    // Each packet's time follows the previous one by that packet's length in milliseconds.
    for (size_t i = 1; i < audio.size(); ++i) {
        const int32_t samples = audio[i - 1].size / 4;
        EXPECT_NEAR(audio[i].info.slots[3] - audio[i - 1].info.slots[3], samples * 1000.0 / 44100, 1.0);
    }
    EXPECT_NEAR(ToneFrequency(recorder.Pcm(), 2, 0, 44100), 440.0, 3.0);
}

TEST(CaptureDeviceOpen, UnknownCameraFailsWithTheDiagnosticLine) {
    Recorder recorder;
    testing::internal::CaptureStdout();
    void* handle = brevacast_open_videodevice("No Such Camera", 640, 480, 30.0f, kFourccYUY2, -1, -1,
                                              &Recorder::Callback, &recorder);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(out, "Couldn't open input stream.\n");
    brevacast_stop_videodevice(handle);
}

TEST(SourceKitLibrary, ExportsOnlyTheTwelveFunctions) {
    FILE* pipe = popen("nm -D --defined-only " SOURCEKIT_LIBRARY_PATH, "r");
    ASSERT_NE(pipe, nullptr);
    std::set<std::string> symbols;
    char line[512];
    while (fgets(line, sizeof(line), pipe) != nullptr) {
        std::string text(line);
        const size_t name = text.find_last_of(' ');
        if (name == std::string::npos) continue;
        std::string symbol = text.substr(name + 1);
        while (!symbol.empty() && (symbol.back() == '\n' || symbol.back() == '\r')) symbol.pop_back();
        symbols.insert(symbol);
    }
    ASSERT_EQ(pclose(pipe), 0);
    const std::set<std::string> expected = {
        "brevacast_open_videodevice", "brevacast_start_videodevice", "brevacast_stop_videodevice",
        "brevacast_open_audiodevice", "brevacast_start_audiodevice", "brevacast_stop_audiodevice",
        "brevacast_open_filedevice",  "brevacast_start_filedevice",  "brevacast_stop_filedevice",
        "brevacast_pause_filedevice", "brevacast_seek_filedevice",   "brevacast_loop_filedevice"};
    EXPECT_EQ(symbols, expected);
}
