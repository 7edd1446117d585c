// Local media files through SourceKit's exported functions: what open reports, pacing, the picture
// and sound delivered, pause, rewind, loop and the end notifications. Every clip is made by ffmpeg
// from lavfi sources in a fresh folder; timings are real, with generous bounds.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>

#include "tests/sourcekit/sk_test_support.h"

using namespace sktest;
using namespace std::chrono_literals;

namespace {

// Stops the device when the test leaves, whatever happened; declared after the recorder it feeds.
class FileDevice {
public:
    FileDevice() = default;
    ~FileDevice() { Stop(); }
    FileDevice(const FileDevice&) = delete;
    FileDevice& operator=(const FileDevice&) = delete;

    bool Open(const std::string& path, Recorder* recorder, int32_t sampleRate = 44100, int32_t defaultWidth = 640,
              int32_t defaultHeight = 360) {
        width = defaultWidth;
        height = defaultHeight;
        handle = brevacast_open_filedevice(path.c_str(), 2, sampleRate, &width, &height, &mask, &Recorder::Callback,
                                           recorder);
        return handle != nullptr;
    }
    void Start() {
        startMs = NowMs();
        brevacast_start_filedevice(handle);
    }
    void Stop() {
        brevacast_stop_filedevice(handle);
        handle = nullptr;
    }

    void* handle = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    int32_t mask = -1;
    int64_t startMs = 0;
};

bool HasEnd(const Recorder& r, int32_t size, size_t count = 1) {
    return static_cast<size_t>(
               std::count_if(r.ends.begin(), r.ends.end(), [&](const EndEvent& e) { return e.size == size; })) >= count;
}

std::vector<int64_t> Sorted(std::vector<int64_t> values) {
    std::sort(values.begin(), values.end());
    return values;
}

}  // namespace

TEST(FileDeviceOpen, ReportsTheVideoSizeAndStreamMask) {
    MediaDir dir;
    ClipSpec both;
    both.width = 176;
    both.height = 144;
    const std::string withSound = MakeClip(dir, "both.mp4", both);
    ClipSpec videoOnly;
    videoOnly.audioCodec = "";
    const std::string silent = MakeClip(dir, "video.mkv", videoOnly);
    ClipSpec soundOnly;
    soundOnly.videoSource = "";
    const std::string music = MakeClip(dir, "sound.m4a", soundOnly);
    ASSERT_FALSE(withSound.empty() || silent.empty() || music.empty());

    Recorder recorder;
    {
        FileDevice device;
        ASSERT_TRUE(device.Open(withSound, &recorder));
        EXPECT_EQ(device.width, 176);
        EXPECT_EQ(device.height, 144);
        EXPECT_EQ(device.mask, 3);
    }
    {
        FileDevice device;
        ASSERT_TRUE(device.Open(silent, &recorder));
        EXPECT_EQ(device.width, 160);
        EXPECT_EQ(device.mask, 1);
    }
    {
        FileDevice device;
        ASSERT_TRUE(device.Open(music, &recorder));
        EXPECT_EQ(device.width, 100);
        EXPECT_EQ(device.height, 100);
        EXPECT_EQ(device.mask, 2);
    }
    // Opening alone plays nothing.
    EXPECT_EQ(recorder.VideoCount() + recorder.AudioCount() + recorder.Ends().size(), 0u);
}

TEST(FileDeviceOpen, RefusesVideoThatIsNotPlanar420) {
    MediaDir dir;
    ClipSpec spec;
    spec.pixelFormat = "yuv444p";
    const std::string clip = MakeClip(dir, "full-chroma.mp4", spec);
    ASSERT_FALSE(clip.empty());
    Recorder recorder;
    FileDevice device;
    EXPECT_FALSE(device.Open(clip, &recorder));
}

TEST(FileDeviceOpen, NetworkUrlsReportEightyPercentAndBothPayloadsWithoutConnecting) {
    Recorder recorder;
    FileDevice rtmp;
    ASSERT_TRUE(rtmp.Open("rtmp://127.0.0.1:9/live/none", &recorder, 44100, 1280, 720));
    EXPECT_EQ(rtmp.width, 1024);
    EXPECT_EQ(rtmp.height, 576);
    EXPECT_EQ(rtmp.mask, 3);
    FileDevice http;
    ASSERT_TRUE(http.Open("http://127.0.0.1:9/none.flv", &recorder, 44100, 1001, 333));
    EXPECT_EQ(http.width, 800);
    EXPECT_EQ(http.height, 266);
    EXPECT_EQ(http.mask, 3);
}

TEST(FileDevicePlayback, FramesArriveAtTheirPresentationTimes) {
    MediaDir dir;
    ClipSpec spec;
    spec.seconds = 2.0;
    // B-frames hold the last pictures back in the decoder until the end of the input.
    spec.extra = {"-bf", "2"};
    const std::string clip = MakeClip(dir, "paced.mp4", spec);
    ASSERT_FALSE(clip.empty());

    Recorder recorder;
    recorder.keepPixels = false;
    FileDevice device;
    ASSERT_TRUE(device.Open(clip, &recorder));
    device.Start();
    ASSERT_TRUE(recorder.WaitFor([](const Recorder& r) { return HasEnd(r, 1); }, 10s));
    device.Stop();

    const std::vector<VideoEvent> video = recorder.Video();
    ASSERT_EQ(video.size(), 60u) << "every frame of the file, the decoder's last ones included";
    std::vector<int64_t> lateness;
    for (size_t i = 0; i < video.size(); ++i) {
        EXPECT_EQ(static_cast<int32_t>(video[i].timestamp), video[i].infoTimestamp);
        lateness.push_back(video[i].arrivalMs - static_cast<int64_t>(video[i].timestamp));
        if (i > 0) {
            const int64_t step = static_cast<int64_t>(video[i].timestamp - video[i - 1].timestamp);
            EXPECT_NEAR(step, 33, 1) << "frame " << i;
        }
    }
    // Never shown before its time; typically within a few milliseconds of it.
    const std::vector<int64_t> sorted = Sorted(lateness);
    EXPECT_GE(sorted.front(), -1);
    EXPECT_LE(sorted[sorted.size() / 2], 30);
    // The first frame is due when playback starts, the others follow at the file's rate.
    EXPECT_NEAR(static_cast<double>(static_cast<int64_t>(video.front().timestamp) - device.startMs), 0.0, 150.0);
    const double spacing =
        static_cast<double>(video.back().arrivalMs - video.front().arrivalMs) / static_cast<double>(video.size() - 1);
    EXPECT_NEAR(spacing, 33.3, 5.0);
}

TEST(FileDevicePlayback, DeliversThePictureAsYuy2InOneReusedImage) {
    MediaDir dir;
    ClipSpec spec;
    spec.videoSource = "color=c=red";
    spec.audioCodec = "";
    spec.seconds = 0.5;
    const std::string clip = MakeClip(dir, "red.mkv", spec);
    ASSERT_FALSE(clip.empty());

    Recorder recorder;
    FileDevice device;
    ASSERT_TRUE(device.Open(clip, &recorder));
    device.Start();
    ASSERT_TRUE(recorder.WaitFor([](const Recorder& r) { return HasEnd(r, 1); }, 10s));
    device.Stop();

    const std::vector<VideoEvent> video = recorder.Video();
    ASSERT_EQ(video.size(), 15u);
    int y = 0, u = 0, v = 0;
    ExpectedYuv(255, 0, 0, &y, &u, &v);
    for (const VideoEvent& e : video) {
        EXPECT_EQ(e.image, video.front().image) << "the same ImageBuffer for every delivery";
        EXPECT_EQ(e.width, 160);
        EXPECT_EQ(e.height, 120);
        EXPECT_EQ(e.stride, 320);
        EXPECT_EQ(e.fourcc, kFourccYUY2);
        EXPECT_EQ(e.fixed[0], -1);
        EXPECT_EQ(e.fixed[1], 1);
        EXPECT_EQ(e.fixed[2], 1);
    }
    const std::vector<uint8_t>& pixels = video.back().pixels;
    int wrong = 0;
    for (size_t i = 0; i + 3 < pixels.size(); i += 4) {
        wrong += std::abs(pixels[i] - y) > 3 || std::abs(pixels[i + 1] - u) > 3 || std::abs(pixels[i + 2] - y) > 3 ||
                 std::abs(pixels[i + 3] - v) > 3;
    }
    EXPECT_EQ(wrong, 0) << "Y U Y V expected " << y << " " << u << " " << v;
}

TEST(FileDeviceSound, IsResampledToStereoAtTheRequestedRate) {
    MediaDir dir;
    ClipSpec spec;
    spec.seconds = 2.0;
    spec.audioRate = 48000;
    const std::string clip = MakeClip(dir, "tone.mp4", spec);
    ASSERT_FALSE(clip.empty());

    Recorder recorder;
    FileDevice device;
    ASSERT_TRUE(device.Open(clip, &recorder, 22050));
    device.Start();
    ASSERT_TRUE(recorder.WaitFor([](const Recorder& r) { return HasEnd(r, 1); }, 10s));
    device.Stop();

    const std::vector<AudioEvent> audio = recorder.Audio();
    ASSERT_GT(audio.size(), 10u);
    for (const AudioEvent& e : audio) {
        EXPECT_GT(e.size, 0);
        EXPECT_EQ(e.info.slots[0], 2);
        EXPECT_EQ(e.info.slots[1], 22050);
    }
    // AAC frames of 1024 samples, in the mp4 track's 1/48000 time base.
    EXPECT_EQ(audio[audio.size() / 2].info.slots[4], 1024);
    for (size_t i = 1; i < audio.size(); ++i) EXPECT_GT(audio[i].info.slots[3], audio[i - 1].info.slots[3]);
    // Sound and picture share the device's timeline.
    const std::vector<VideoEvent> video = recorder.Video();
    ASSERT_FALSE(video.empty());
    EXPECT_NEAR(audio.front().info.slots[3], static_cast<int32_t>(video.front().timestamp), 50);

    EXPECT_NEAR(static_cast<double>(recorder.PcmBytes()), 2.0 * 22050 * 4, 0.05 * 2.0 * 22050 * 4);
    const std::vector<int16_t> pcm = recorder.Pcm();
    EXPECT_NEAR(ToneFrequency(pcm, 2, 0, 22050), 440.0, 5.0);
    EXPECT_NEAR(ToneFrequency(pcm, 2, 1, 22050), 440.0, 5.0);
}

TEST(FileDeviceSound, SixteenBitPcmFilePlaysItsVideoWithoutSound) {
    MediaDir dir;
    ClipSpec spec;
    spec.audioCodec = "pcm_s16le";
    const std::string clip = MakeClip(dir, "pcm.mkv", spec);
    ASSERT_FALSE(clip.empty());

    Recorder recorder;
    FileDevice device;
    ASSERT_TRUE(device.Open(clip, &recorder));
    EXPECT_EQ(device.mask, 3);
    device.Start();
    ASSERT_TRUE(recorder.WaitFor([](const Recorder& r) { return HasEnd(r, 1); }, 10s));
    device.Stop();
    EXPECT_EQ(recorder.VideoCount(), 30u);
    EXPECT_EQ(recorder.AudioCount(), 0u);
}

TEST(FileDeviceSound, HugeFramesAtAnOddRateNeverOverflowTheBuffer) {
    MediaDir dir;
    ClipSpec spec;
    spec.videoSource = "";
    spec.audioCodec = "pcm_f32le";
    spec.audioRate = 11025;
    spec.samplesPerFrame = 32768;
    spec.seconds = 3.0;
    const std::string clip = MakeClip(dir, "huge-frames.mkv", spec);
    ASSERT_FALSE(clip.empty());

    Recorder recorder;
    FileDevice device;
    // 32768 samples at 11025 Hz become about 570,000 stereo samples at 192 kHz: more than 1 MiB.
    ASSERT_TRUE(device.Open(clip, &recorder, 192000));
    device.Start();
    ASSERT_TRUE(recorder.WaitFor([](const Recorder& r) { return HasEnd(r, 1); }, 15s));
    device.Stop();

    const std::vector<AudioEvent> audio = recorder.Audio();
    ASSERT_FALSE(audio.empty());
    for (const AudioEvent& e : audio) EXPECT_LE(e.size, 1 << 20);
    EXPECT_NEAR(static_cast<double>(recorder.PcmBytes()), 3.0 * 192000 * 4, 0.03 * 3.0 * 192000 * 4);
    EXPECT_NEAR(ToneFrequency(recorder.Pcm(), 2, 0, 192000), 440.0, 5.0);
    // The pieces of one frame follow each other on the timeline.
    for (size_t i = 1; i < audio.size(); ++i) EXPECT_GT(audio[i].info.slots[3], audio[i - 1].info.slots[3]);
}

TEST(FileDevicePause, PausingTwiceResumesShiftedByTheFirstPause) {
    MediaDir dir;
    ClipSpec spec;
    spec.seconds = 3.0;
    const std::string clip = MakeClip(dir, "pause.mp4", spec);
    ASSERT_FALSE(clip.empty());

    Recorder recorder;
    recorder.keepPixels = false;
    FileDevice device;
    ASSERT_TRUE(device.Open(clip, &recorder));
    device.Start();
    ASSERT_TRUE(recorder.WaitFor([](const Recorder& r) { return r.video.size() >= 10; }, 5s));
    brevacast_pause_filedevice(device.handle, 1);
    const int64_t pausedAt = NowMs();
    const size_t beforePause = recorder.VideoCount();
    std::this_thread::sleep_for(1000ms);
    brevacast_pause_filedevice(device.handle, 1);  // already paused: must not restart the pause
    std::this_thread::sleep_for(1000ms);
    EXPECT_LE(recorder.VideoCount(), beforePause + 1) << "nothing is shown while paused";
    const size_t resumeIndex = recorder.VideoCount();
    brevacast_pause_filedevice(device.handle, 0);
    const int64_t resumedAt = NowMs();
    ASSERT_TRUE(recorder.WaitFor([&](const Recorder& r) { return r.video.size() >= resumeIndex + 5; }, 5s));
    device.Stop();

    const std::vector<VideoEvent> video = recorder.Video();
    const int64_t jump =
        static_cast<int64_t>(video[resumeIndex].timestamp) - static_cast<int64_t>(video[resumeIndex - 1].timestamp);
    // One frame step plus the whole time paused, counted from the first pause.
    EXPECT_NEAR(static_cast<double>(jump), static_cast<double>(resumedAt - pausedAt + 33), 80.0);
    EXPECT_GE(video[resumeIndex].arrivalMs, resumedAt - 1);
}

TEST(FileDeviceEnd, ReportsTheEndOnceAndRestartsFiftyMsAfterSeekZero) {
    MediaDir dir;
    ClipSpec spec;
    const std::string clip = MakeClip(dir, "end.mp4", spec);
    ASSERT_FALSE(clip.empty());

    Recorder recorder;
    recorder.keepPixels = false;
    FileDevice device;
    ASSERT_TRUE(device.Open(clip, &recorder));
    device.Start();
    ASSERT_TRUE(recorder.WaitFor([](const Recorder& r) { return HasEnd(r, 1); }, 10s));
    // The device idles at its end; the end is reported only once however long it waits.
    std::this_thread::sleep_for(300ms);
    std::vector<EndEvent> ends = recorder.Ends();
    ASSERT_EQ(ends.size(), 1u);
    EXPECT_TRUE(ends[0].nullData);
    EXPECT_TRUE(ends[0].nullInfo);
    const size_t firstPass = recorder.VideoCount();
    EXPECT_EQ(firstPass, 30u);

    brevacast_seek_filedevice(device.handle, 0);
    ASSERT_TRUE(recorder.WaitFor([](const Recorder& r) { return HasEnd(r, 0); }, 5s));
    ASSERT_TRUE(recorder.WaitFor([&](const Recorder& r) { return HasEnd(r, 1, 2); }, 10s));
    device.Stop();

    ends = recorder.Ends();
    ASSERT_EQ(ends.size(), 3u);
    EXPECT_EQ(ends[1].size, 0);
    EXPECT_TRUE(ends[1].nullData && ends[1].nullInfo);
    const std::vector<VideoEvent> video = recorder.Video();
    ASSERT_EQ(video.size(), 2 * firstPass) << "the whole file plays again";
    const int64_t lead = static_cast<int64_t>(video[firstPass].timestamp) - ends[1].arrivalMs;
    EXPECT_GE(lead, 45);
    EXPECT_LE(lead, 60);
    EXPECT_GE(video[firstPass].arrivalMs, static_cast<int64_t>(video[firstPass].timestamp) - 1);
}

TEST(FileDeviceEnd, LoopingRestartsWithOnlySizeZeroNotifications) {
    MediaDir dir;
    ClipSpec spec;
    spec.seconds = 0.5;
    const std::string clip = MakeClip(dir, "loop.mp4", spec);
    ASSERT_FALSE(clip.empty());

    Recorder recorder;
    recorder.keepPixels = false;
    FileDevice device;
    ASSERT_TRUE(device.Open(clip, &recorder));
    brevacast_loop_filedevice(device.handle, 1);
    device.Start();
    ASSERT_TRUE(recorder.WaitFor([](const Recorder& r) { return HasEnd(r, 0, 2); }, 10s));
    EXPECT_FALSE(recorder.Read<bool>([](const Recorder& r) { return HasEnd(r, 1); }))
        << "a looping file never reports its end";
    EXPECT_GE(recorder.VideoCount(), 30u);

    brevacast_loop_filedevice(device.handle, 0);
    ASSERT_TRUE(recorder.WaitFor([](const Recorder& r) { return HasEnd(r, 1); }, 10s));
    device.Stop();
}

TEST(FileDeviceSeek, PositionsOtherThanZeroChangeNothing) {
    MediaDir dir;
    ClipSpec spec;
    spec.seconds = 2.0;
    const std::string clip = MakeClip(dir, "seek.mp4", spec);
    ASSERT_FALSE(clip.empty());

    Recorder recorder;
    recorder.keepPixels = false;
    FileDevice device;
    ASSERT_TRUE(device.Open(clip, &recorder));
    device.Start();
    ASSERT_TRUE(recorder.WaitFor([](const Recorder& r) { return r.video.size() >= 10; }, 5s));
    brevacast_seek_filedevice(device.handle, 500);
    brevacast_seek_filedevice(device.handle, -1);
    ASSERT_TRUE(recorder.WaitFor([](const Recorder& r) { return HasEnd(r, 1); }, 10s));
    device.Stop();

    const std::vector<VideoEvent> video = recorder.Video();
    EXPECT_EQ(video.size(), 60u);
    for (size_t i = 1; i < video.size(); ++i) {
        EXPECT_NEAR(static_cast<double>(video[i].timestamp - video[i - 1].timestamp), 33.0, 1.0);
    }
    EXPECT_EQ(recorder.Ends().size(), 1u);
}

TEST(FileDeviceTimestamps, FramesWithoutATimeAreDropped) {
    MediaDir dir;
    // A raw H.264 stream carries no timestamps at all.
    ClipSpec spec;
    spec.audioCodec = "";
    spec.extra = {"-f", "h264"};
    const std::string clip = MakeClip(dir, "raw.h264", spec);
    ASSERT_FALSE(clip.empty());

    Recorder recorder;
    FileDevice device;
    ASSERT_TRUE(device.Open(clip, &recorder));
    EXPECT_EQ(device.mask, 1);
    device.Start();
    ASSERT_TRUE(recorder.WaitFor([](const Recorder& r) { return HasEnd(r, 1); }, 10s));
    device.Stop();
    EXPECT_EQ(recorder.VideoCount(), 0u);
}

TEST(FileDeviceStop, NoDeliveryFollowsStop) {
    MediaDir dir;
    ClipSpec spec;
    spec.seconds = 3.0;
    const std::string clip = MakeClip(dir, "stop.mp4", spec);
    ASSERT_FALSE(clip.empty());

    Recorder recorder;
    FileDevice device;
    ASSERT_TRUE(device.Open(clip, &recorder));
    device.Start();
    ASSERT_TRUE(recorder.WaitFor([](const Recorder& r) { return r.video.size() >= 5 && r.audio.size() >= 5; }, 5s));
    device.Stop();
    recorder.Close();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(recorder.AfterClose(), 0);
    EXPECT_TRUE(recorder.Ends().empty());
}

TEST(FileDeviceHandles, EveryFunctionIgnoresANullHandle) {
    brevacast_start_filedevice(nullptr);
    brevacast_pause_filedevice(nullptr, 1);
    brevacast_seek_filedevice(nullptr, 0);
    brevacast_loop_filedevice(nullptr, 1);
    brevacast_stop_filedevice(nullptr);
    brevacast_start_videodevice(nullptr);
    brevacast_stop_videodevice(nullptr);
    brevacast_start_audiodevice(nullptr);
    brevacast_stop_audiodevice(nullptr);
    Recorder recorder;
    EXPECT_EQ(brevacast_open_filedevice(nullptr, 2, 44100, nullptr, nullptr, nullptr, &Recorder::Callback, &recorder),
              nullptr);
}
