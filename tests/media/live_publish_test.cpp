// A live published to a real RTMP server (nginx with its RTMP module): composed frames from the composition thread
// and a tone, through the real encoders, read back by ffmpeg as a player would; the server going away and coming
// back during the live; a server that is down when the live starts.
#include <gtest/gtest.h>

#include "media/live_engine.h"
#include "media/live_texts.h"
#include "tests/media/live_test_support.h"
#include "tests/scene/scene_test_support.h"
#include "tools/peers/nginx_rtmp.h"

using namespace live_test;

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 180;

class LivePublish : public testing::Test {
protected:
    static void SetUpTestSuite() {
        nginx_ = new CNginxRtmp;
        if (!nginx_->Start()) {
            delete nginx_;
            nginx_ = nullptr;
        }
    }
    static void TearDownTestSuite() {
        delete nginx_;
        nginx_ = nullptr;
    }
    void SetUp() override { ASSERT_NE(nginx_, nullptr) << "nginx with the RTMP module did not start"; }

    static CNginxRtmp* nginx_;
};

CNginxRtmp* LivePublish::nginx_ = nullptr;

// The program's road of a live: a composed scene and a sound producer feeding the engine from go-live on.
struct Live {
    SceneFixture scene{kWidth, kHeight, 25};
    StatusLog status;
    CLiveEngine engine{&status.window};
    std::unique_ptr<SoundFeeder> sound;

    Live(const std::string& url, const std::string& recordFolder = "") {
        scene.scene.AdoptLayer(7, SolidLayer(kWidth / 2, kHeight / 2, 40, 160, 230), true);
        engine.width = kWidth;
        engine.height = kHeight;
        engine.fps = 25;
        engine.videoBitrate = 800000;
        engine.audioBitrate = 96000;
        engine.sampleRate = 44100;
        engine.channels = 2;
        engine.publishEnabled = true;
        engine.publishUrl = url;
        engine.recordEnabled = !recordFolder.empty();
        engine.recordFolder = recordFolder;
    }
    ~Live() { Stop(); }

    bool Start() {
        if (engine.StartLive() != 1) return false;
        const int64_t timeBase = GetMediaTimeMs();
        scene.scene.PostThreadMessage(WM_SCENE_SET_ENGINE,
                                      reinterpret_cast<uintptr_t>(static_cast<ILiveFeed*>(&engine)),
                                      static_cast<intptr_t>(static_cast<uint32_t>(timeBase)));
        sound = std::make_unique<SoundFeeder>(&engine, timeBase);
        return engine.GoLive() == 1;
    }
    // Detaches both producers, then stops the engine, as the main window does.
    void Stop() {
        scene.scene.PostThreadMessage(WM_SCENE_SET_ENGINE, 0, 0);
        scene.Sync();
        if (sound) sound->Stop();
        engine.StopLive();
    }
};

// A player that records `seconds` of the stream into an FLV file.
std::string PlayerCommand(const std::string& url, const std::string& out, int seconds) {
    return "ffmpeg -nostdin -v error -y -rw_timeout 20000000 -i '" + url + "' -t " + std::to_string(seconds) +
           " -c copy -f flv '" + out + "'";
}

}  // namespace

TEST_F(LivePublish, PlayersDecodeTheComposedPictureAndTheToneStartingTogether) {
    TempDir dir;
    const std::string url = nginx_->Url("first");
    const std::string played = dir.Path() + "/played.flv";
    Background player(PlayerCommand(url, played, 3));
    // The player is there from the first message on.
    ASSERT_TRUE(nginx_->WaitForPlayer("first", 20s));
    Live live(url, dir.Path() + "/rec");
    ASSERT_TRUE(live.Start()) << live.engine.ErrorText() << "\n" << nginx_->ErrorLog();
    int status = -1;
    ASSERT_TRUE(player.Wait(40s, &status));
    EXPECT_EQ(status, 0);
    EXPECT_TRUE(live.status.WaitFor(kEngineLivePublishing, 1s));
    live.Stop();

    const Probe probe(played);
    ASSERT_TRUE(probe.ok);
    ASSERT_NE(probe.Stream("video"), nullptr);
    ASSERT_NE(probe.Stream("audio"), nullptr);
    EXPECT_EQ(probe.Stream("video")->codec, "h264");
    EXPECT_EQ(probe.Stream("audio")->codec, "aac");
    const auto video = probe.Packets("video");
    const auto audio = probe.Packets("audio");
    ASSERT_GE(video.size(), 25u);
    ASSERT_GE(audio.size(), 40u);
    for (size_t i = 1; i < video.size(); ++i) EXPECT_GE(video[i].dts, video[i - 1].dts) << i;
    for (size_t i = 1; i < audio.size(); ++i) EXPECT_GT(audio[i].dts, audio[i - 1].dts) << i;
    // Both streams' messages start at the go-live moment. (The first pictures are shown up to 80 ms after their
    // message time: FLV has no negative decoding times, so the B-frame delay goes into their offsets.)
    EXPECT_NEAR(audio.front().dts, video.front().dts, 0.1);
    EXPECT_NEAR(audio.front().pts, video.front().pts, 0.15);
    const Decoded decoded(played);
    EXPECT_GE(decoded.videoFrames, 50);
    EXPECT_GE(decoded.audioSeconds, 2.5);
    EXPECT_TRUE(decoded.clean);

    // The recording of the same live holds every picture that was encoded, drained at the stop.
    live.engine.Recorder().WaitFinished();
    const auto files = Recordings(dir.Path() + "/rec");
    ASSERT_EQ(files.size(), 1u);
    const Probe recording(files[0]);
    EXPECT_EQ(recording.Packets("video").size(), live.scene.scene.ComposeThread().FramesEncoded());
    EXPECT_TRUE(Decoded(files[0]).clean);
}

TEST_F(LivePublish, AfterTheServerRestartsThePublicationResumesForNewPlayers) {
    TempDir dir;
    const std::string url = nginx_->Url("second");
    Live live(url);
    ASSERT_TRUE(live.Start()) << live.engine.ErrorText();
    ASSERT_TRUE(live.status.WaitFor(kEngineLivePublishing));
    // Well into the live: the codec headers went to the server that is about to go away.
    ASSERT_TRUE(WaitUntil([&] { return live.engine.PacketsSent() >= 150; }, 20s));

    nginx_->Stop();
    ASSERT_TRUE(live.status.WaitFor(kEngineReconnecting));
    // A write on the dropped connection did not end the process.
    ASSERT_TRUE(nginx_->Start());
    ASSERT_TRUE(live.status.WaitFor(kEngineLivePublishing, 20s));
    const std::vector<int32_t> seen = live.status.Drain();
    EXPECT_EQ(std::count(seen.begin(), seen.end(), kEngineReconnectFailed), 0);

    const std::string played = dir.Path() + "/after-restart.flv";
    // Long enough to reach the next key frame, where a joining player's picture begins.
    Background player(PlayerCommand(url, played, 4));
    int status = -1;
    ASSERT_TRUE(player.Wait(40s, &status));
    EXPECT_EQ(status, 0);
    live.Stop();
    const Probe probe(played);
    ASSERT_TRUE(probe.ok);
    ASSERT_NE(probe.Stream("video"), nullptr);
    ASSERT_NE(probe.Stream("audio"), nullptr);
    EXPECT_EQ(probe.Stream("video")->codec, "h264");
    const Decoded decoded(played);
    EXPECT_GE(decoded.videoFrames, 10);
    EXPECT_GE(decoded.audioSeconds, 2.0);
    EXPECT_TRUE(decoded.clean);
}

TEST_F(LivePublish, AServerDownAtTheStartGivesTheConnectionTextAndIdle) {
    Live live("rtmp://127.0.0.1:" + std::to_string(FreeLocalPort()) + "/live/nobody");
    EXPECT_EQ(live.engine.StartLive(), 0);
    EXPECT_EQ(live.engine.ErrorText(), kTextConnectFailed);
    EXPECT_EQ(live.engine.State(), kEngineIdle);
    EXPECT_EQ(live.status.Drain(), std::vector<int32_t>({kEngineStarting, kEngineIdle}));
}
