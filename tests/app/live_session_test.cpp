// The one path every caller starts and stops a live through: the order in which the composition
// thread, the mixer, the web service and the engine hear of it, the failure text, and a start that
// does not hold its caller while an RTMP server stays silent.
#include "app/live_session.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <mutex>
#include <string>
#include <vector>

#include "app/app_config.h"
#include "app/language_table.h"
#include "media/live_engine.h"
#include "platform/queue_window_target.h"
#include "platform/window_messages.h"
#include "tests/media/live_test_support.h"

namespace {

// Everything the session and the engine do, in the order it happened.
class EventLog : public IWindowTarget {
public:
    bool Post(uint32_t code, uintptr_t wParam, intptr_t) override {
        if (code == WM_LIVE_STATUS) Add("engine " + std::to_string(wParam));
        return true;
    }
    void Add(const std::string& event) {
        std::lock_guard<std::mutex> guard(lock_);
        events_.push_back(event);
    }
    std::vector<std::string> Take() {
        std::lock_guard<std::mutex> guard(lock_);
        return std::exchange(events_, {});
    }

private:
    std::mutex lock_;
    std::vector<std::string> events_;
};

LiveProducers Recorded(EventLog* log) {
    LiveProducers producers;
    producers.attachScene = [log](ILiveFeed* engine, uint32_t) { log->Add(engine ? "scene on" : "scene off"); };
    producers.attachMixer = [log](IAudioFeed* engine, uint32_t) { log->Add(engine ? "mixer on" : "mixer off"); };
    return producers;
}

LiveSettings SmallRecording(const std::string& folder) {
    AppConfig config("", nullptr);
    config.FrameSizeCX = 160;
    config.FrameSizeCY = 96;
    config.Bitrate = 600;
    config.LocalSaveFolder = folder;
    return LiveSettings::From(config, kServerNone, 0, std::string(), false);
}

// A TCP port that takes connections (the kernel completes them) but never says a word: an RTMP
// handshake with it waits until the connection's time-out.
class SilentServer {
public:
    SilentServer() {
        fd_ = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        listen(fd_, 4);
        socklen_t length = sizeof(address);
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
    }
    ~SilentServer() { close(fd_); }
    std::string Url() const { return "rtmp://127.0.0.1:" + std::to_string(port_) + "/live/silent"; }

private:
    int fd_ = -1;
    int port_ = 0;
};

}  // namespace

TEST(LiveSessionOrder, StartAttachesSceneThenMixerBeforeGoingLiveAndStopDetachesBeforeTheEngineDrains) {
    live_test::TempDir dir;
    EventLog log;
    CLiveEngine engine(&log);
    LiveSession session(&engine, Recorded(&log));
    const LiveSettings settings = SmallRecording(dir.Path());
    EXPECT_TRUE(settings.recordEnabled) << "a live without a server records";
    EXPECT_FALSE(settings.publishEnabled);

    ASSERT_EQ(session.Start(settings), LiveStartResult::kLive);
    EXPECT_TRUE(session.IsLive());
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"engine 4", "engine 5", "scene on", "mixer on", "engine 1"}));

    EXPECT_TRUE(session.Stop([&] { log.Add("service told"); }));
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"scene off", "mixer off", "service told", "engine 8", "engine 0"}));
    EXPECT_FALSE(session.IsLive());
    EXPECT_FALSE(session.Stop([&] { log.Add("service told"); })) << "nothing runs: nothing is stopped or reported";
    EXPECT_TRUE(log.Take().empty());
}

TEST(LiveSessionStart, AFailedStartNamesItsReasonInTheInterfaceLanguageAndAttachesNothing) {
    EventLog log;
    CLiveEngine engine(&log);
    LiveSession session(&engine, Recorded(&log));
    const LiveSettings noFolder = SmallRecording("  ");
    std::string failure;
    SetLanguage("en");
    EXPECT_EQ(session.Start(noFolder, &failure), LiveStartResult::kFailed);
    EXPECT_EQ(failure, "Failed to start the live. Error:No recording folder is set. Choose one in the settings.");
    SetLanguage("cn");
    EXPECT_EQ(session.Start(noFolder, &failure), LiveStartResult::kFailed);
    EXPECT_EQ(failure, "启动直播失败，错误信息：本地录像保存路径为空，请至设置界面设置");
    EXPECT_EQ(log.Take(), (std::vector<std::string>{"engine 4", "engine 0", "engine 4", "engine 0"}));
    EXPECT_FALSE(session.IsLive());
}

TEST(LiveSessionStart, AStartAgainstASilentServerLeavesTheCallerFreeAndAStopCallsItOff) {
    live_test::TempDir dir;
    SilentServer silent;
    EventLog log;
    CQueueWindowTarget window;
    CLiveEngine engine(&log);
    LiveSession session(&engine, Recorded(&log));
    AppConfig config("", nullptr);
    config.FrameSizeCX = 160;
    config.FrameSizeCY = 96;
    config.LocalSaveFolder = dir.Path();
    const LiveSettings settings = LiveSettings::From(config, kServerDirectRtmp, 1, silent.Url(), false);
    ASSERT_TRUE(settings.publishEnabled);

    ASSERT_TRUE(session.BeginStart(settings, &window));
    // Back on the caller's thread while the engine still waits for the server's handshake.
    EXPECT_TRUE(session.StartPending());
    EXPECT_FALSE(session.BeginStart(settings, &window)) << "one start at a time";
    ASSERT_TRUE(live_test::WaitUntil([&] { return engine.State() == kEngineStarting; }));

    // Without the stop the attempt would end only at the connection's time-out, as a failure.
    EXPECT_FALSE(session.Stop());
    ThreadMessage done;
    ASSERT_TRUE(window.Take(&done, std::chrono::milliseconds(0))) << "the start has ended when Stop returns";
    EXPECT_EQ(done.code, WM_LIVE_START_DONE);
    EXPECT_EQ(done.wParam, static_cast<uintptr_t>(LiveStartResult::kCancelled));
    std::string failure = "unchanged";
    EXPECT_EQ(session.FinishStart(&failure), LiveStartResult::kCancelled);
    EXPECT_TRUE(failure.empty()) << "calling a start off is not a failure to show";
    EXPECT_EQ(engine.State(), kEngineIdle);
    for (const std::string& event : log.Take()) EXPECT_EQ(event.rfind("engine", 0), 0u) << event;

    // The session is ready for the next start.
    live_test::TempDir second;
    EXPECT_EQ(session.Start(SmallRecording(second.Path())), LiveStartResult::kLive);
    EXPECT_TRUE(session.Stop());
}
