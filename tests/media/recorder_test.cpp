// The recorder on its own and inside a live: samples and their times, a recording cut short by a kill, and the
// disk or folder failing under a live that goes on publishing.
#include "media/recorder.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <x264.h>

#include "imaging/color_convert.h"
#include "media/faac_codec.h"
#include "media/live_engine.h"
#include "tests/media/live_test_support.h"
#include "tests/media/media_test_support.h"

using namespace live_test;

namespace {

constexpr int kWidth = 160;
constexpr int kHeight = 96;

struct X264Free {
    void operator()(x264_t* e) const { x264_encoder_close(e); }
};

// Real H.264 and AAC units with the blocks the engine would hand the recorder: libx264 is driven directly here
// so that pictures can be cut into several slices and key frames come often.
struct RecorderInput {
    CodecParams video{};
    CodecParams audio{};
    std::vector<Unit> videoUnits;  // in decoding order, every slice its own unit
    std::vector<Unit> audioUnits;
    int pictures = 0;

    RecorderInput(int frames, int slices, int keyint) {
        x264_param_t param;
        x264_param_default_preset(&param, "veryfast", nullptr);
        param.i_width = kWidth;
        param.i_height = kHeight;
        param.i_fps_num = 25;
        param.i_fps_den = 1;
        param.i_timebase_num = 1;
        param.i_timebase_den = 1000;
        param.i_keyint_max = keyint;
        param.i_slice_count = slices;
        param.b_repeat_headers = 0;
        param.i_threads = 1;
        param.i_log_level = X264_LOG_NONE;
        std::unique_ptr<x264_t, X264Free> encoder(x264_encoder_open(&param));
        if (!encoder) return;
        x264_nal_t* nals = nullptr;
        int count = 0;
        x264_encoder_headers(encoder.get(), &nals, &count);
        std::vector<uint8_t> sps, pps;
        for (int i = 0; i < count; ++i) {
            if (nals[i].i_type == 7) sps.assign(nals[i].p_payload, nals[i].p_payload + nals[i].i_payload);
            if (nals[i].i_type == 8) pps.assign(nals[i].p_payload, nals[i].p_payload + nals[i].i_payload);
        }
        // The engine's block: PPS first, then SPS.
        std::copy(pps.begin(), pps.end(), video.parameterSets);
        std::copy(sps.begin(), sps.end(), video.parameterSets + pps.size());
        video.parameterSetsLength = static_cast<int32_t>(pps.size() + sps.size());
        video.width = kWidth;
        video.height = kHeight;
        video.fps = 25;
        video.bitrate = 500000;

        x264_picture_t input, output;
        x264_picture_alloc(&input, X264_CSP_I420, kWidth, kHeight);
        for (int i = 0; i <= frames; ++i) {
            int got = 0;
            if (i < frames) {
                const std::vector<uint8_t> picture = MovingPatternYUY2(kWidth, kHeight, i);
                YUY2ToI420(picture.data(), kWidth * 2, input.img.plane[0], input.img.i_stride[0], input.img.plane[1],
                           input.img.i_stride[1], input.img.plane[2], input.img.i_stride[2], kWidth, kHeight);
                input.i_pts = i * 40;
                got = x264_encoder_encode(encoder.get(), &nals, &count, &input, &output);
                if (got > 0) Collect(nals, count, output);
                continue;
            }
            while (x264_encoder_delayed_frames(encoder.get()) > 0) {
                if (x264_encoder_encode(encoder.get(), &nals, &count, nullptr, &output) > 0)
                    Collect(nals, count, output);
            }
        }
        x264_picture_clean(&input);

        CLibfaacCodec aac;
        audio.bitrate = 64000;
        audio.channels = 2;
        audio.sampleRate = 44100;
        SinkCapture capture;
        capture.Attach(&audio);
        aac.Open(&audio);
        const uint8_t* config = nullptr;
        int32_t configLength = 0;
        aac.GetAudioSpecificConfig(&config, &configLength);
        std::copy(config, config + std::min(configLength, 4), audio.audioSpecificConfig);
        for (int k = 0; k < frames + 2; ++k) {
            const std::vector<int16_t> block = ToneBlock(k);
            audio.inputData = reinterpret_cast<const uint8_t*>(block.data());
            audio.inputBytes = static_cast<int32_t>(block.size() * 2);
            audio.audioTimestamp = static_cast<uint32_t>(k * 40);
            aac.Encode(&audio);
        }
        audio.inputData = nullptr;
        for (const CapturedUnit& c : capture.units) {
            Unit u;
            u.bytes = c.bytes;
            u.packet.mediaKind = MEDIA_AUDIO;
            u.packet.durationMs = c.durationMs;
            u.packet.pts = c.pts;
            u.packet.dts = c.dts;
            u.Fix();
            audioUnits.push_back(std::move(u));
        }
    }

    void Collect(const x264_nal_t* nals, int count, const x264_picture_t& output) {
        ++pictures;
        for (int i = 0; i < count; ++i) {
            if (nals[i].i_type != 1 && nals[i].i_type != 5) continue;
            Unit u;
            u.bytes.assign(nals[i].p_payload, nals[i].p_payload + nals[i].i_payload);
            u.packet.prefixLength = u.bytes[2] == 1 ? 3 : 4;
            u.packet.mediaKind = MEDIA_VIDEO;
            u.packet.frameType = output.i_type == X264_TYPE_IDR ? 1 : 2;
            u.packet.pts = output.i_pts;
            u.packet.dts = output.i_dts;
            u.Fix();
            videoUnits.push_back(std::move(u));
        }
    }

    // Hands the recorder the units of the first `pictures` pictures and the sound up to them, in time order.
    void Feed(CRecorder& recorder, int upTo = -1) {
        size_t a = 0;
        int fed = 0;
        int64_t lastDts = INT64_MIN;
        for (Unit& v : videoUnits) {
            if (v.packet.dts != lastDts && upTo >= 0 && fed == upTo) break;
            if (v.packet.dts != lastDts) ++fed;
            lastDts = v.packet.dts;
            while (a < audioUnits.size() && audioUnits[a].packet.dts <= v.packet.dts + 40) {
                audioUnits[a].Fix();
                recorder.AddAudio(&audioUnits[a++].packet);
            }
            v.Fix();
            recorder.AddVideo(&v.packet);
        }
    }
};

void Record(CRecorder& recorder, RecorderInput& input, const std::string& path) {
    recorder.SetParams(&input.video, &input.audio);
    recorder.SetPath(path);
    recorder.OpenRecording();
}

}  // namespace

TEST(RecorderSamples, SlicesOfOnePictureBecomeOneSampleThatDecodes) {
    TempDir dir;
    RecorderInput input(30, 3, 250);
    ASSERT_EQ(input.pictures, 30);
    ASSERT_EQ(input.videoUnits.size(), 90u);
    const std::string path = dir.Path() + "/sliced.mp4";
    {
        CRecorder recorder;
        Record(recorder, input, path);
        input.Feed(recorder);
        recorder.Stop();
        recorder.WaitFinished();
    }
    const Probe probe(path);
    ASSERT_TRUE(probe.ok);
    EXPECT_EQ(probe.Packets("video").size(), 30u);
    const Decoded decoded(path);
    EXPECT_EQ(decoded.videoFrames, 30);
    EXPECT_TRUE(decoded.clean);
}

TEST(RecorderTimestamps, EachStreamAcceptsOnlyIncreasingDtsNotAfterItsPts) {
    TempDir dir;
    RecorderInput input(1, 1, 250);
    CRecorder recorder;
    Record(recorder, input, dir.Path() + "/times.mp4");
    Unit audio0 = Unit::Audio(0);
    Unit audio0Again = Unit::Audio(0);
    Unit audioLate = Unit::Audio(23);
    audioLate.packet.pts = 20;                        // dts after pts
    EXPECT_EQ(recorder.AddAudio(&audio0.packet), 0);  // 0 > -1
    EXPECT_EQ(recorder.AddAudio(&audio0Again.packet), -1);
    EXPECT_EQ(recorder.AddAudio(&audioLate.packet), -1);
    Unit first = Unit::Video(0, -80, true);
    Unit backwards = Unit::Video(40, -120, false);
    EXPECT_EQ(recorder.AddVideo(&first.packet), 0);  // a negative first dts is fine
    EXPECT_EQ(recorder.AddVideo(&backwards.packet), -1);
    recorder.Stop();
    Unit afterStop = Unit::Audio(46);
    EXPECT_EQ(recorder.AddAudio(&afterStop.packet), -1);
}

TEST(RecorderStop, VideoWaitingForSoundIsStillWrittenAtStop) {
    TempDir dir;
    RecorderInput input(10, 1, 250);
    const std::string path = dir.Path() + "/video-only.mp4";
    {
        CRecorder recorder;
        Record(recorder, input, path);
        for (Unit& v : input.videoUnits) {
            v.Fix();
            recorder.AddVideo(&v.packet);
        }
        EXPECT_EQ(recorder.PacketsWritten(), 0u);  // nothing can be interleaved without sound
        recorder.Stop();
        EXPECT_EQ(recorder.VideoPacketsWritten(), 10u);
    }
    const Decoded decoded(path);
    EXPECT_EQ(decoded.videoFrames, 10);
    EXPECT_TRUE(decoded.clean);
}

TEST(RecorderCrash, AKilledRecordingPlaysUpToItsLastKeyFrame) {
    TempDir dir;
    const std::string path = dir.Path() + "/killed.mp4";
    RecorderInput input(60, 1, 25);  // key frames at 0, 25 and 50
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(ready[0]);
        CRecorder recorder;
        Record(recorder, input, path);
        input.Feed(recorder);
        // Once the key frame at 50 and what follows it are written, the pictures before it have gone to the disk
        // as a fragment; the last fragment is still in memory when the process dies.
        WaitUntil([&] { return recorder.VideoPacketsWritten() >= 59; }, 20s);
        const char signal = 'R';
        if (write(ready[1], &signal, 1) != 1) _exit(1);
        for (;;) pause();
    }
    close(ready[1]);
    pollfd p{ready[0], POLLIN, 0};
    const bool signalled = poll(&p, 1, 30000) == 1;
    char byte = 0;
    const bool read1 = signalled && read(ready[0], &byte, 1) == 1;
    close(ready[0]);
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(read1);

    EXPECT_TRUE(FileContains(path, "moof"));
    const Decoded decoded(path);
    ASSERT_TRUE(decoded.ok);
    EXPECT_GE(decoded.videoFrames, 50);
    EXPECT_LT(decoded.videoFrames, 60);
    EXPECT_GE(decoded.audioSeconds, 1.9);
}

TEST(RecorderFailure, AFileThatCannotBeCreatedIsReportedAndItsUnitsDropped) {
    TempDir dir;
    RecorderInput input(1, 1, 250);
    CRecorder recorder;
    testing::internal::CaptureStderr();
    Record(recorder, input, dir.Path() + "/missing/folder/x.mp4");
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(recorder.Failed());
    EXPECT_NE(said.find("[recorder] recording stopped"), std::string::npos) << said;
    Unit audio = Unit::Audio(0);
    EXPECT_EQ(recorder.AddAudio(&audio.packet), -1);
    recorder.Stop();
}

namespace {

struct LiveToFolder {
    std::shared_ptr<FakeServer> server = std::make_shared<FakeServer>();
    StatusLog status;
    CLiveEngine engine{&status.window};
    int frames = 0;

    explicit LiveToFolder(const std::string& folder) {
        engine.width = kWidth;
        engine.height = kHeight;
        engine.videoBitrate = 500000;
        engine.audioBitrate = 64000;
        engine.publishEnabled = true;
        engine.publishUrl = "rtmp://stand-in/live/test";
        engine.recordEnabled = true;
        engine.recordFolder = folder;
        engine.SetConnectionFactory(server->Factory());
    }
    void Encode(int count) {
        for (int i = frames; i < frames + count; ++i) {
            const std::vector<uint8_t> picture = MovingPatternYUY2(kWidth, kHeight, i);
            engine.EncodeVideo(picture.data(), static_cast<uint32_t>(i * 40));
            const std::vector<int16_t> sound = ToneBlock(i);
            engine.EncodeAudio(reinterpret_cast<const uint8_t*>(sound.data()), static_cast<int32_t>(sound.size() * 2),
                               static_cast<uint32_t>(i * 40));
        }
        frames += count;
    }
    int SlicesSent() {
        int n = 0;
        for (const auto& m : server->Sent()) n += m.IsAvcNal() ? 1 : 0;
        return n;
    }
    bool OnlyLiveStatuses() {
        for (int32_t s : status.Drain())
            if (!(s == kEngineStarting || s == kEngineReady || s == kEnginePublishStarting ||
                  s == kEngineLivePublishing || s == kEngineStopping || s == kEngineIdle))
                return false;
        return true;
    }
};

}  // namespace

TEST(RecorderFailure, AFullDiskEndsTheRecordingButNotThePublishing) {
    TempDir dir;
    const std::string disk = dir.Path() + "/small-disk";
    std::filesystem::create_directories(disk);
    if (mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=96k") != 0) GTEST_SKIP() << "cannot mount a small tmpfs here";
    {
        LiveToFolder live(disk);
        testing::internal::CaptureStderr();
        ASSERT_EQ(live.engine.StartLive(), 1);
        ASSERT_EQ(live.engine.GoLive(), 1);
        for (int round = 0; round < 40 && !live.engine.Recorder().Failed(); ++round) {
            live.Encode(25);
            WaitUntil([&] { return live.engine.QueuedVideo() == 0 || live.engine.Recorder().Failed(); }, 2s);
        }
        EXPECT_TRUE(live.engine.Recorder().Failed());
        live.Encode(50);  // the live goes on after the failure
        EXPECT_EQ(live.engine.StopLive(), 1);
        const std::string said = testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find("[recorder] recording stopped"), std::string::npos) << said;
        EXPECT_EQ(live.SlicesSent(), live.frames);
        EXPECT_TRUE(live.OnlyLiveStatuses());
        live.engine.Recorder().WaitFinished();
        const auto files = Recordings(disk);
        ASSERT_EQ(files.size(), 1u);
        const Decoded decoded(files[0]);
        EXPECT_GT(decoded.videoFrames, 0);
        EXPECT_LT(decoded.videoFrames, live.frames);
    }
    umount2(disk.c_str(), MNT_DETACH);
}

TEST(RecorderFailure, ARemovedRecordingFolderEndsTheRecordingButNotThePublishing) {
    TempDir dir;
    const std::string folder = dir.Path() + "/recordings";
    LiveToFolder live(folder);
    testing::internal::CaptureStderr();
    ASSERT_EQ(live.engine.StartLive(), 1);
    ASSERT_EQ(live.engine.GoLive(), 1);
    live.Encode(25);
    std::filesystem::remove_all(folder);
    // Frames keep coming at the live's pace until the recorder notices.
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!live.engine.Recorder().Failed() && std::chrono::steady_clock::now() < deadline) {
        live.Encode(1);
        std::this_thread::sleep_for(40ms);
    }
    EXPECT_TRUE(live.engine.Recorder().Failed());
    live.Encode(25);
    EXPECT_EQ(live.engine.StopLive(), 1);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("[recorder] recording stopped"), std::string::npos) << said;
    EXPECT_EQ(live.SlicesSent(), live.frames);
    EXPECT_TRUE(live.OnlyLiveStatuses());
    EXPECT_FALSE(std::filesystem::exists(folder));
}
