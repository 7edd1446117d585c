// The live engine against a stand-in server: what goes on the wire in which order, the queue limits, losing and
// regaining the connection, starting and stopping, and the recordings it writes through the real encoders.
#include "media/live_engine.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <ctime>

#include "media/live_texts.h"
#include "tests/media/live_test_support.h"
#include "tests/media/media_test_support.h"

using namespace live_test;

// libx264 0.164 keeps the strings of a parameter set it refused to open (the refused-size test); that leak is the
// library's.
extern "C" const char* __lsan_default_suppressions() { return "leak:libx264.so\n"; }

namespace {

constexpr int kWidth = 160;
constexpr int kHeight = 96;

// An engine publishing to a stand-in server (and recording when a folder is given), with a tick the test moves.
struct EngineFixture {
    std::shared_ptr<FakeServer> server = std::make_shared<FakeServer>();
    StatusLog status;
    CLiveEngine engine{&status.window};
    std::atomic<uint32_t> tick{100000};

    explicit EngineFixture(int fps = 25, const std::string& recordFolder = "") {
        engine.width = kWidth;
        engine.height = kHeight;
        engine.fps = fps;
        engine.videoBitrate = 500000;
        engine.audioBitrate = 64000;
        engine.sampleRate = 44100;
        engine.channels = 2;
        engine.publishEnabled = true;
        engine.publishUrl = "rtmp://stand-in/live/test";
        engine.recordEnabled = !recordFolder.empty();
        engine.recordFolder = recordFolder;
        engine.SetConnectionFactory(server->Factory());
        engine.SetTickSource([this] { return tick.load(); });
    }

    bool Start() { return engine.StartLive() == 1 && engine.GoLive() == 1; }
};

std::vector<SentMessage> Media(const std::vector<SentMessage>& sent) {
    std::vector<SentMessage> out;
    for (const auto& m : sent)
        if (m.IsAacFrame() || m.IsAvcNal()) out.push_back(m);
    return out;
}

// Encodes `frames` pictures of the moving pattern and their sound through the engine, stamped 40 ms apart as the
// composition thread and the mixer would, without waiting for a clock.
void EncodeClip(CLiveEngine& engine, int frames, int firstFrame = 0) {
    for (int i = firstFrame; i < firstFrame + frames; ++i) {
        const std::vector<uint8_t> picture = MovingPatternYUY2(kWidth, kHeight, i);
        engine.EncodeVideo(picture.data(), static_cast<uint32_t>(i * 40));
        const std::vector<int16_t> sound = ToneBlock(i);
        engine.EncodeAudio(reinterpret_cast<const uint8_t*>(sound.data()), static_cast<int32_t>(sound.size() * 2),
                           static_cast<uint32_t>(i * 40));
    }
}

}  // namespace

TEST(LiveEngineQueues, AudioOnlyIsSentOnlyWhileFortyMessagesWait) {
    EngineFixture f;
    ASSERT_TRUE(f.Start());
    // The sequence header and 38 frames: 39 messages wait, none goes.
    for (int i = 0; i < 38; ++i) Unit::Audio(i * 23).SendTo(&f.engine);
    ASSERT_TRUE(WaitForSendPasses(f.engine));
    EXPECT_EQ(f.server->Count(), 0u);
    EXPECT_EQ(f.engine.QueuedAudio(), 39u);

    Unit::Audio(38 * 23).SendTo(&f.engine);
    ASSERT_TRUE(f.server->WaitForCount(1));
    ASSERT_TRUE(WaitForSendPasses(f.engine));
    const auto sent = f.server->Sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_TRUE(sent[0].IsAacHeader());
    EXPECT_EQ(f.engine.QueuedAudio(), 39u);
    EXPECT_TRUE(f.status.WaitFor(kEngineLivePublishing));
}

TEST(LiveEngineQueues, VideoOnlyIsSentOnlyWhileFpsMessagesWait) {
    EngineFixture f(10);
    ASSERT_TRUE(f.Start());
    // A key frame brings its sequence header: 2 + 7 = 9 messages for 10 fps.
    Unit::Video(0, 0, true).SendTo(&f.engine);
    for (int i = 1; i < 8; ++i) Unit::Video(i * 100, i * 100, false).SendTo(&f.engine);
    ASSERT_TRUE(WaitForSendPasses(f.engine));
    EXPECT_EQ(f.server->Count(), 0u);

    Unit::Video(800, 800, false).SendTo(&f.engine);
    ASSERT_TRUE(f.server->WaitForCount(1));
    ASSERT_TRUE(WaitForSendPasses(f.engine));
    const auto sent = f.server->Sent();
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_TRUE(sent[0].IsAvcHeader());
    EXPECT_EQ(f.engine.QueuedVideo(), 9u);
}

TEST(LiveEngineQueues, SequenceHeadersAtTimeZeroGoBeforeLaterMessagesOfTheOtherStream) {
    EngineFixture f;
    ASSERT_TRUE(f.Start());
    Unit::Audio(1000).SendTo(&f.engine);
    Unit::Audio(1023).SendTo(&f.engine);
    Unit::Audio(1046).SendTo(&f.engine);
    Unit::Video(1120, 1040, true).SendTo(&f.engine);
    ASSERT_TRUE(f.server->WaitForCount(5));
    ASSERT_TRUE(WaitForSendPasses(f.engine));
    const auto sent = f.server->Sent();
    ASSERT_EQ(sent.size(), 5u);
    EXPECT_TRUE(sent[0].IsAacHeader());
    EXPECT_TRUE(sent[1].IsAvcHeader());
    EXPECT_TRUE(sent[2].IsAacFrame() && sent[2].timestamp == 1000);
    EXPECT_TRUE(sent[3].IsAacFrame() && sent[3].timestamp == 1023);
    EXPECT_TRUE(sent[4].IsAvcNal() && sent[4].timestamp == 1040);
    // Composition offset 80 ms and the key flag.
    EXPECT_EQ(sent[4].body[0], 0x17);
    EXPECT_EQ(sent[4].body[4], 80);
    for (const auto& m : sent) EXPECT_EQ(m.streamId, FakeServer::StreamIdOf(1));
    // The audio frame at 1046 waits alone for company.
    EXPECT_EQ(f.engine.QueuedAudio(), 1u);
}

TEST(LiveEngineQueues, AVideoSequenceHeaderIsRepeatedOnlyAfterFiveMinutes) {
    EngineFixture f(1);
    ASSERT_TRUE(f.Start());
    Unit::Video(0, 0, true).SendTo(&f.engine);
    f.tick += 300000;
    Unit::Video(40, 40, true).SendTo(&f.engine);
    f.tick += 1;
    Unit::Video(80, 80, true).SendTo(&f.engine);
    ASSERT_TRUE(f.server->WaitForCount(5));
    ASSERT_TRUE(WaitForSendPasses(f.engine));
    const auto sent = f.server->Sent();
    ASSERT_EQ(sent.size(), 5u);
    EXPECT_TRUE(sent[0].IsAvcHeader());
    EXPECT_TRUE(sent[1].IsAvcNal() && sent[1].timestamp == 0);
    EXPECT_TRUE(sent[2].IsAvcNal() && sent[2].timestamp == 40);
    EXPECT_TRUE(sent[3].IsAvcHeader());
    EXPECT_TRUE(sent[4].IsAvcNal() && sent[4].timestamp == 80);
}

TEST(LiveEngineQueues, AServerAwayForLongKeepsOnlyTheNewestMessages) {
    const int fps = 10;
    EngineFixture f(fps);
    ASSERT_TRUE(f.Start());
    for (int i = 0; i < 40; ++i) Unit::Audio(i * 23).SendTo(&f.engine);
    ASSERT_TRUE(f.status.WaitFor(kEngineLivePublishing));
    f.server->Refuse(true);
    f.server->DropConnection();

    // Header + 599 more frames in the audio queue; header + 120 slices in the video queue.
    for (int i = 40; i < 640; ++i) Unit::Audio(i * 23).SendTo(&f.engine);
    Unit::Video(0, 0, true).SendTo(&f.engine);
    for (int i = 1; i < 120; ++i) Unit::Video(i * 100, i * 100, false).SendTo(&f.engine);
    ASSERT_TRUE(WaitForSendPasses(f.engine));
    EXPECT_EQ(f.engine.QueuedAudio(), 500u);
    EXPECT_EQ(f.engine.QueuedVideo(), static_cast<size_t>(fps * 10));
    EXPECT_EQ(f.engine.State(), kEngineReconnectFailed);

    f.server->Refuse(false);
    f.tick += 1000;
    ASSERT_TRUE(f.status.WaitFor(kEngineLivePublishing));
    ASSERT_TRUE(WaitUntil([&] { return f.engine.QueuedVideo() < static_cast<size_t>(fps); }));
    const auto sent = f.server->Sent();
    std::vector<SentMessage> later;
    for (const auto& m : sent)
        if (m.connection > 1) later.push_back(m);
    ASSERT_GE(later.size(), 3u);
    // The new connection starts with both codec headers, then the oldest messages that survived.
    EXPECT_TRUE(later[0].IsAvcHeader());
    EXPECT_TRUE(later[1].IsAacHeader());
    const auto media = Media(later);
    const auto firstAudio = std::find_if(media.begin(), media.end(), [](const SentMessage& m) { return m.type == 8; });
    const auto firstVideo = std::find_if(media.begin(), media.end(), [](const SentMessage& m) { return m.type == 9; });
    ASSERT_NE(firstAudio, media.end());
    ASSERT_NE(firstVideo, media.end());
    EXPECT_EQ(firstAudio->timestamp, 140u * 23u);  // 500 of the 639 waiting frames are kept
    EXPECT_EQ(firstVideo->timestamp, 2000u);       // the header and 20 slices were dropped
    for (const auto& m : later) EXPECT_EQ(m.streamId, FakeServer::StreamIdOf(3));
}

TEST(LiveEngineReconnect, StatusesGoReconnectingThenBackToPublishing) {
    EngineFixture f;
    ASSERT_TRUE(f.Start());
    for (int i = 0; i < 40; ++i) Unit::Audio(i * 23).SendTo(&f.engine);
    ASSERT_TRUE(f.status.WaitFor(kEngineLivePublishing));
    f.server->Refuse(true);
    f.server->DropConnection();
    Unit::Audio(40 * 23).SendTo(&f.engine);
    ASSERT_TRUE(WaitUntil([&] { return f.engine.State() == kEngineReconnectFailed; }));
    f.server->Refuse(false);
    f.tick += 1000;
    ASSERT_TRUE(f.status.WaitFor(kEngineLivePublishing));
    const std::vector<int32_t> seen = f.status.Drain();
    const std::vector<int32_t> expected = {kEngineStarting,       kEngineReady,        kEnginePublishStarting,
                                           kEngineLivePublishing, kEngineReconnecting, kEngineReconnecting,
                                           kEngineLivePublishing};
    EXPECT_EQ(seen, expected);
}

TEST(LiveEngineReconnect, TheMessageThatFoundTheConnectionLostGoesOutOnTheNextOne) {
    EngineFixture f;
    ASSERT_TRUE(f.Start());
    // The header and 39 frames: the header goes, 39 frames wait.
    for (int i = 0; i < 39; ++i) Unit::Audio(i * 23).SendTo(&f.engine);
    ASSERT_TRUE(f.server->WaitForCount(1));
    f.server->DropConnection();
    Unit::Audio(39 * 23).SendTo(&f.engine);
    ASSERT_TRUE(f.server->WaitForCount(4));
    const auto sent = f.server->Sent();
    ASSERT_EQ(sent.size(), 4u);
    EXPECT_TRUE(sent[0].IsAacHeader());
    EXPECT_EQ(sent[0].connection, 1);
    // The new connection: headers first, then the frame that could not go before, exactly once, with the new
    // connection's stream id although it was queued under the old one.
    EXPECT_TRUE(sent[1].IsAvcHeader());
    EXPECT_TRUE(sent[2].IsAacHeader());
    EXPECT_TRUE(sent[3].IsAacFrame());
    EXPECT_EQ(sent[3].timestamp, 0u);
    for (size_t i = 1; i < sent.size(); ++i) {
        EXPECT_EQ(sent[i].connection, 2);
        EXPECT_EQ(sent[i].streamId, FakeServer::StreamIdOf(2));
    }
}

TEST(LiveEngineReconnect, ARefusingServerIsTriedOncePerSecondNotOncePerPass) {
    EngineFixture f;
    ASSERT_TRUE(f.Start());
    for (int i = 0; i < 40; ++i) Unit::Audio(i * 23).SendTo(&f.engine);
    ASSERT_TRUE(f.server->WaitForCount(1));
    f.server->Refuse(true);
    f.server->DropConnection();
    Unit::Audio(40 * 23).SendTo(&f.engine);
    ASSERT_TRUE(WaitUntil([&] { return f.server->Opens() == 2; }));
    ASSERT_TRUE(WaitForSendPasses(f.engine, 50));
    EXPECT_EQ(f.server->Opens(), 2);
    f.tick += 999;
    ASSERT_TRUE(WaitForSendPasses(f.engine, 50));
    EXPECT_EQ(f.server->Opens(), 2);
    f.tick += 1;
    ASSERT_TRUE(WaitUntil([&] { return f.server->Opens() == 3; }));

    // Without the pause every pass of the send thread tries again.
    f.engine.SetReconnectIntervalMs(0);
    ASSERT_TRUE(WaitUntil([&] { return f.server->Opens() >= 20; }));
}

TEST(LiveEngineStates, StopOutsideALiveReturnsZeroAndChangesNothing) {
    StatusLog status;
    CLiveEngine engine(&status.window);
    EXPECT_EQ(engine.StopLive(), 0);
    engine.width = kWidth;
    engine.height = kHeight;
    engine.videoBitrate = 500000;
    engine.audioBitrate = 64000;
    ASSERT_EQ(engine.StartLive(), 1);
    EXPECT_EQ(engine.StopLive(), 0);
    EXPECT_EQ(engine.State(), kEngineReady);
    EXPECT_EQ(status.Drain(), std::vector<int32_t>({kEngineStarting, kEngineReady}));
    EXPECT_EQ(engine.GoLive(), 1);
    EXPECT_EQ(engine.GoLive(), 0);
    // Nothing published: recording-only state, and the send thread finds no connection to use.
    EXPECT_EQ(engine.State(), kEngineLiveRecording);
    ASSERT_TRUE(WaitForSendPasses(engine));
    EXPECT_EQ(engine.PacketsSent(), 0u);
    EXPECT_EQ(engine.StopLive(), 1);
    EXPECT_EQ(engine.StopLive(), 0);
    EXPECT_EQ(status.Drain(), std::vector<int32_t>(
                                  {kEngineStarting, kEngineReady, kEngineLiveRecording, kEngineStopping, kEngineIdle}));
}

TEST(LiveEngineStart, AnEmptyRecordingFolderIsRefusedWithItsText) {
    EngineFixture f(25, " \t ");
    EXPECT_EQ(f.engine.StartLive(), 0);
    EXPECT_EQ(f.engine.ErrorText(), kTextRecordFolderEmpty);
    EXPECT_EQ(f.engine.State(), kEngineIdle);
    EXPECT_EQ(f.status.Drain(), std::vector<int32_t>({kEngineStarting, kEngineIdle}));
    EXPECT_EQ(f.server->Opens(), 0);
}

TEST(LiveEngineStart, AFolderThatCannotBeCreatedIsRefusedWithItsText) {
    TempDir dir;
    const std::string file = dir.Path() + "/plain-file";
    std::ofstream(file) << "x";
    EngineFixture f(25, file + "/recordings");
    EXPECT_EQ(f.engine.StartLive(), 0);
    EXPECT_EQ(f.engine.ErrorText(), kTextRecordFolderInvalid);
    EXPECT_EQ(f.engine.State(), kEngineIdle);
}

TEST(LiveEngineStart, AMissingFolderIsCreatedOneLevelDeep) {
    TempDir dir;
    EngineFixture f(25, "  " + dir.Path() + "/new  ");
    ASSERT_EQ(f.engine.StartLive(), 1);
    struct stat info {};
    EXPECT_EQ(stat((dir.Path() + "/new").c_str(), &info), 0);
    EXPECT_EQ(f.engine.RecordPath().rfind(dir.Path() + "/new/", 0), 0u);
}

TEST(LiveEngineStart, ARefusedConnectionGivesTheConnectionTextAndIdle) {
    EngineFixture f;
    f.server->Refuse(true);
    EXPECT_EQ(f.engine.StartLive(), 0);
    EXPECT_EQ(f.engine.ErrorText(), kTextConnectFailed);
    EXPECT_EQ(f.engine.State(), kEngineIdle);
    EXPECT_EQ(f.engine.GoLive(), 0);
}

TEST(LiveEngineStart, AVideoSizeTheEncoderRefusesGivesTheEncoderText) {
    EngineFixture f;
    f.engine.width = 641;
    EXPECT_EQ(f.engine.StartLive(), 0);
    EXPECT_EQ(f.engine.ErrorText(), kTextHardwareUnsupported);
    EXPECT_EQ(f.engine.State(), kEngineIdle);
    EXPECT_FALSE(f.engine.HasVideoEncoder());
}

TEST(LiveEngineStart, HardwareEncodingWithoutHardwareGivesTheEncoderText) {
    EngineFixture f;
    f.engine.useHardwareEncoder = true;
    EXPECT_EQ(f.engine.StartLive(), 0);
    EXPECT_EQ(f.engine.ErrorText(), kTextHardwareUnsupported);
}

TEST(LiveEngineStart, BitRatesAreCappedFor128KbitsAndTwentyMegabits) {
    EngineFixture f;
    f.engine.audioBitrate = 256000;
    f.engine.videoBitrate = 30000000;
    ASSERT_EQ(f.engine.StartLive(), 1);
    EXPECT_EQ(f.engine.audioBitrate, 128000u);
    EXPECT_EQ(f.engine.AudioParams().bitrate, 128000);
    EXPECT_EQ(f.engine.VideoParams().bitrate, 20971520);
}

TEST(LiveEngineStart, SigpipeIsIgnoredOnceAConnectionWasMade) {
    IgnoreSigpipe();
    struct sigaction current {};
    ASSERT_EQ(sigaction(SIGPIPE, nullptr, &current), 0);
    EXPECT_EQ(current.sa_handler, SIG_IGN);
}

TEST(RecordPath, DailyFolderAndTimeOfDayName) {
    TempDir dir;
    CLiveEngine engine(nullptr);
    engine.recordFolder = dir.Path() + "/";
    const std::time_t before = std::time(nullptr);
    const std::string path = engine.MakeRecordPath();
    const std::time_t after = std::time(nullptr);
    bool matched = false;
    for (std::time_t t = before; t <= after; ++t) {
        std::tm local{};
        localtime_r(&t, &local);
        char expected[64];
        std::snprintf(expected, sizeof(expected), "/%d-%.2d-%.2d/BV%.2d%.2d%.2d.mp4", local.tm_year + 1900,
                      local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
        matched = matched || path == dir.Path() + expected;
    }
    EXPECT_TRUE(matched) << path;
    struct stat info {};
    EXPECT_EQ(stat(std::filesystem::path(path).parent_path().c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
}

TEST(RecordPath, ANameAlreadyTakenGetsASuffixInsteadOfBeingOverwritten) {
    TempDir dir;
    CLiveEngine engine(nullptr);
    engine.recordFolder = dir.Path();
    // Earlier recordings under every name the next seconds could produce, so the clock moving on cannot dodge
    // the collision.
    const std::time_t now = std::time(nullptr);
    for (std::time_t t = now - 1; t <= now + 5; ++t) {
        std::tm local{};
        localtime_r(&t, &local);
        char day[32], name[32];
        std::snprintf(day, sizeof(day), "/%d-%.2d-%.2d", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday);
        std::snprintf(name, sizeof(name), "/BV%.2d%.2d%.2d.mp4", local.tm_hour, local.tm_min, local.tm_sec);
        std::filesystem::create_directories(dir.Path() + day);
        std::ofstream(dir.Path() + day + name) << "earlier live";
    }
    const std::string path = engine.MakeRecordPath();
    ASSERT_GT(path.size(), 6u);
    EXPECT_EQ(path.substr(path.size() - 6), "_2.mp4");
    std::ifstream earlier(path.substr(0, path.size() - 6) + ".mp4");
    std::string text;
    std::getline(earlier, text);
    EXPECT_EQ(text, "earlier live");
    std::ofstream(path) << "second live";
    const std::string third = engine.MakeRecordPath();
    EXPECT_NE(third, path);
    EXPECT_FALSE(std::filesystem::exists(third));
}

TEST(LiveEngineStop, TheFramesTheEncodersHoldReachTheStreamAndTheRecording) {
    TempDir dir;
    EngineFixture f(25, dir.Path());
    ASSERT_TRUE(f.Start());
    const int frames = 30;
    EncodeClip(f.engine, frames);
    ASSERT_EQ(f.engine.StopLive(), 1);
    f.engine.Recorder().WaitFinished();

    // libx264 holds most of these in its lookahead until it is closed.
    EXPECT_GT(f.engine.DrainedVideoUnits(), 10u);
    EXPECT_GT(f.engine.DrainedAudioUnits(), 0u);
    int slices = 0;
    for (const auto& m : f.server->Sent()) slices += m.IsAvcNal() ? 1 : 0;
    EXPECT_EQ(slices, frames);

    const auto files = Recordings(dir.Path());
    ASSERT_EQ(files.size(), 1u);
    const Probe probe(files[0]);
    ASSERT_TRUE(probe.ok);
    EXPECT_EQ(probe.Packets("video").size(), static_cast<size_t>(frames));
    const Decoded decoded(files[0]);
    EXPECT_EQ(decoded.videoFrames, frames);
    // The sound up to the last block fed (1.2 s) is in the file, not cut at the encoder's delay.
    EXPECT_GE(decoded.audioSeconds, frames * 0.040 - 0.001);
    EXPECT_TRUE(decoded.clean);
    EXPECT_EQ(f.status.Drain().back(), kEngineIdle);
}

TEST(LiveEngineRecording, OneSamplePerPictureInDecodingOrderKeyOnIdrAsAnOrdinaryMp4) {
    TempDir dir;
    EngineFixture f(25, dir.Path());
    f.engine.publishEnabled = false;
    ASSERT_TRUE(f.Start());
    EncodeClip(f.engine, 100);
    ASSERT_EQ(f.engine.StopLive(), 1);
    f.engine.Recorder().WaitFinished();
    const auto files = Recordings(dir.Path());
    ASSERT_EQ(files.size(), 1u);
    const Probe probe(files[0]);
    ASSERT_TRUE(probe.ok);
    ASSERT_NE(probe.Stream("video"), nullptr);
    ASSERT_NE(probe.Stream("audio"), nullptr);
    EXPECT_EQ(probe.Stream("video")->codec, "h264");
    EXPECT_EQ(probe.Stream("audio")->codec, "aac");
    // Picture and sound were fed from the same instant; the AAC encoder's own frame of delay is all that parts them.
    EXPECT_NEAR(probe.Stream("video")->startTime, probe.Stream("audio")->startTime, 0.03);
    const auto video = probe.Packets("video");
    ASSERT_EQ(video.size(), 100u);
    for (size_t i = 1; i < video.size(); ++i) EXPECT_GT(video[i].dts, video[i - 1].dts) << i;
    EXPECT_TRUE(video[0].key);
    const Decoded decoded(files[0]);
    int keys = 0;
    for (const auto& p : video) keys += p.key ? 1 : 0;
    EXPECT_EQ(keys, decoded.keyFrames);
    EXPECT_GE(keys, 2);  // at least every three seconds
    EXPECT_TRUE(decoded.clean);
    // Rewritten without fragments once finished.
    EXPECT_FALSE(FileContains(files[0], "moof"));
}

TEST(LiveEngineRecording, ANewFileStartsAtTheFirstKeyFrameAfterTheSplitInterval) {
    TempDir dir;
    EngineFixture f(25, dir.Path());
    f.engine.publishEnabled = false;
    f.engine.SetSplitIntervalMs(2000);
    ASSERT_TRUE(f.Start());
    const int frames = 130;
    EncodeClip(f.engine, frames);
    ASSERT_EQ(f.engine.StopLive(), 1);
    f.engine.Recorder().WaitFinished();

    const auto files = Recordings(dir.Path());
    ASSERT_EQ(files.size(), 2u);
    // Both in today's folder; the second name carries a suffix when the split fell in the same second.
    EXPECT_EQ(std::filesystem::path(files[0]).parent_path(), std::filesystem::path(files[1]).parent_path());
    const Probe first(files[0]), second(files[1]);
    ASSERT_TRUE(first.ok && second.ok);
    const auto a = first.Packets("video"), b = second.Packets("video");
    EXPECT_EQ(a.size() + b.size(), static_cast<size_t>(frames));
    ASSERT_FALSE(b.empty());
    EXPECT_TRUE(b[0].key);
    EXPECT_GE(a.size() * 40, 2000u);
    // The second file plays from its own start, not eight hours (or here two seconds) in.
    EXPECT_LT(second.Stream("video")->startTime, 0.2);
    EXPECT_TRUE(Decoded(files[0]).clean);
    EXPECT_TRUE(Decoded(files[1]).clean);
}
