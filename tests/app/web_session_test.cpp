#include "app/web_session.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "app/language_table.h"
#include "app/md5_checksum.h"
#include "platform/queue_window_target.h"
#include "platform/window_messages.h"
#include "tools/fake_portal/fake_portal_server.h"

namespace {

using fake_portal::kPresenterPasswordDigest;
using fake_portal::kPresenterUser;

constexpr auto kAnswerDeadline = std::chrono::seconds(30);

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        names.push_back(entry.path().filename().string());
    }
    return names;
}

// A session whose deployment names the fake service as the portal, with the portrait cache in a private
// folder, and the fake service's answers to its workers.
class WebSession : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("no_proxy", "127.0.0.1,localhost", 1);
        char pattern[] = "/tmp/bv-web-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        setenv("XDG_CACHE_HOME", dir_.c_str(), 1);
        std::filesystem::create_directories(dir_ + "/skin");
        std::ofstream(placeholder()) << "placeholder";
        ASSERT_TRUE(portal_.Start());
        DeploymentValues deployment;
        deployment.PortalAddress1 = portal_.Address();
        session_ = std::make_unique<CWebSession>(deployment);
        session_->SetPortraitPlaceholder(placeholder());
        session_->SetServer(portal_.Address());
    }
    void TearDown() override {
        session_.reset();
        portal_.Stop();
        SetLanguage("cn");
        unsetenv("XDG_CACHE_HOME");
        std::filesystem::remove_all(dir_);
    }

    std::string placeholder() const { return dir_ + "/skin/portrait.png"; }
    std::string cacheFolder() const { return dir_ + "/brevacast"; }

    // The worker's message as the receiving window sees it: waited for, then the worker joined.
    intptr_t Answer(uint32_t code) {
        ThreadMessage message{};
        if (!target_.WaitFor([code](const ThreadMessage& m) { return m.code == code; }, kAnswerDeadline, &message)) {
            ADD_FAILURE() << "no message " << code;
            return -100;
        }
        session_->JoinWorker();
        return static_cast<intptr_t>(message.wParam);
    }
    intptr_t LogOn(const std::string& user = kPresenterUser, const std::string& digest = kPresenterPasswordDigest) {
        session_->StartLogon(user, digest, &target_);
        return Answer(WM_LOGON_RESULT);
    }
    intptr_t FetchActivities(const std::string& user = kPresenterUser) {
        session_->StartActivityList(user, &target_);
        return Answer(WM_ACTIVITY_LIST);
    }
    // A logon answer that names this portrait path on the fake service.
    std::string LogonNaming(const std::string& portraitPath) {
        return R"({"code":0,"msg":"hi","maxStorage":5,"duration":60,"portrait":"http://127.0.0.1:)" +
               std::to_string(portal_.Port()) + portraitPath + "\"}";
    }

    std::string dir_;
    CFakePortal portal_;
    CQueueWindowTarget target_;
    std::unique_ptr<CWebSession> session_;
};

TEST_F(WebSession, LogonCodesGiveTheirMessagesInBothLanguages) {
    struct Case {
        const char* answer;  // the service's logon result; null: the service fails the call
        int32_t text;
    };
    const Case cases[] = {{R"({"code":-1})", kTextLoginNoAccount},
                          {R"({"code":-2})", kTextLoginWrongPassword},
                          {R"({"code":-9})", kTextLoginException},
                          {nullptr, kTextLoginServerUnreachable},
                          {"not json", kTextLoginParseFailed}};
    for (const char* language : {"en", "cn"}) {
        SetLanguage(language);
        for (const Case& c : cases) {
            if (c.answer != nullptr) {
                ASSERT_TRUE(portal_.SetResult("Logon", c.answer));
            } else {
                ASSERT_TRUE(portal_.SetMode(R"("mode":"fault")"));
            }
            EXPECT_EQ(LogOn(), 0) << c.text;
            EXPECT_EQ(session_->Message(), GetText(c.text)) << language << " " << c.text;
            EXPECT_EQ(session_->Duration(), -1);
            EXPECT_EQ(session_->MaxStorage(), -1);
            ASSERT_TRUE(portal_.Reset());
        }
    }
    EXPECT_EQ(session_->Message(), "登录失败，数据解析失败");
    EXPECT_EQ(session_->LoggedOnUser(), "");

    // The dialog's digest of the typed password is what the fixture account expects.
    SetLanguage("en");
    EXPECT_EQ(LogOn(kPresenterUser, LogonPasswordDigest(" onair ", "")), 1);
    EXPECT_EQ(session_->Message(), "Login Successful");
    EXPECT_EQ(session_->LoggedOnUser(), kPresenterUser);
    EXPECT_EQ(session_->Duration(), 3600);
    EXPECT_EQ(session_->MaxStorage(), 2000000000);

    // A code of no listed meaning fails and leaves the previous message.
    ASSERT_TRUE(portal_.SetResult("Logon", R"({"code":-3})"));
    EXPECT_EQ(LogOn(), 0);
    EXPECT_EQ(session_->Message(), "Login Successful");
    EXPECT_EQ(session_->PortraitAddress(), "");
    EXPECT_EQ(session_->PortraitPath(), placeholder());
}

TEST_F(WebSession, PortraitIsCachedAndAFailedDownloadNeverLeavesHalfAPicture) {
    // A missing picture: the logon still succeeds, nothing is stored, the placeholder shows.
    ASSERT_TRUE(portal_.SetResult("Logon", LogonNaming("/portraits/missing.png")));
    EXPECT_EQ(LogOn(), 1);
    EXPECT_EQ(session_->PortraitAddress(), "");
    EXPECT_EQ(session_->PortraitPath(), placeholder());
    EXPECT_EQ(FolderEntries(cacheFolder()), std::vector<std::string>{});

    // The fixture account's own portrait, served by the fake.
    ASSERT_TRUE(portal_.ClearResult("Logon"));
    EXPECT_EQ(LogOn(), 1);
    const std::string cached = cacheFolder() + "/portrait.png";
    EXPECT_EQ(session_->PortraitAddress(), portal_.Address() + "portraits/presenter.png");
    EXPECT_EQ(session_->PortraitPath(), cached);
    const std::string picture = ReadFile(cached);
    EXPECT_EQ(picture.substr(0, 8), "\x89PNG\r\n\x1a\n");
    EXPECT_EQ(picture.substr(12, 4), "IHDR");
    EXPECT_EQ(picture.substr(picture.size() - 8, 4), "IEND");
    EXPECT_EQ(ReadFile(placeholder()), "placeholder");

    // Too large: cut off, no part left behind, the older picture untouched but no longer shown.
    ASSERT_TRUE(portal_.SetResult("Logon", LogonNaming("/portraits/huge.png")));
    EXPECT_EQ(LogOn(), 1);
    EXPECT_EQ(session_->PortraitAddress(), "");
    EXPECT_EQ(session_->PortraitPath(), placeholder());
    EXPECT_EQ(ReadFile(cached), picture);
    EXPECT_EQ(FolderEntries(cacheFolder()), std::vector<std::string>{"portrait.png"});

    // An address of another kind than http is never fetched.
    EXPECT_FALSE(session_->DownloadPortrait("file://" + placeholder(), dir_ + "/copy.png"));
    EXPECT_FALSE(std::filesystem::exists(dir_ + "/copy.png"));
}

TEST_F(WebSession, ActivitiesAreListedForAPortalOnly) {
    SetLanguage("en");
    // A worker started while another runs waits for it: both answers arrive, in order.
    ASSERT_TRUE(portal_.SetMode(R"("mode":"slow","delay_ms":200)"));
    session_->StartLogon(kPresenterUser, kPresenterPasswordDigest, &target_);
    session_->StartActivityList(kPresenterUser, &target_);
    ThreadMessage first{}, second{};
    ASSERT_TRUE(target_.Take(&first, kAnswerDeadline));
    ASSERT_TRUE(target_.Take(&second, kAnswerDeadline));
    session_->JoinWorker();
    EXPECT_EQ(first.code, WM_LOGON_RESULT);
    EXPECT_EQ(first.wParam, 1u);
    EXPECT_EQ(second.code, WM_ACTIVITY_LIST);
    EXPECT_EQ(static_cast<intptr_t>(second.wParam), 0);
    const ActivityList* list = session_->Activities();
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->count, 2);
    EXPECT_EQ(list->items[0]->id * 1000 + list->items[1]->id, 301302);

    // While a new fetch rebuilds the list it is not handed out; a window that goes meanwhile (it
    // forgets itself first) hears nothing, and the list is there once the worker is joined.
    ASSERT_TRUE(portal_.SetMode(R"("mode":"slow","delay_ms":300)"));
    session_->StartActivityList(kPresenterUser, &target_);
    EXPECT_EQ(session_->Activities(), nullptr);
    session_->ForgetTarget(&target_);
    session_->JoinWorker();
    ThreadMessage late{};
    EXPECT_FALSE(target_.Take(&late, std::chrono::milliseconds(0))) << "a message to a window that has gone";
    ASSERT_NE(session_->Activities(), nullptr);
    EXPECT_EQ(session_->Activities()->count, 2);
    ASSERT_TRUE(portal_.Reset());

    // A failed fetch is answered too, with the library's reason.
    ASSERT_TRUE(portal_.SetMode(R"("mode":"fault")"));
    EXPECT_EQ(FetchActivities(), -1);
    EXPECT_EQ(session_->Activities(), nullptr);
    EXPECT_EQ(session_->Message(), "调用web service接口发生异常");
    ASSERT_TRUE(portal_.Reset());

    session_->SetServer("http://127.0.0.1:1/StreamService");
    EXPECT_EQ(session_->Kind(), kServerStream);
    EXPECT_EQ(FetchActivities(), -1);
    EXPECT_EQ(session_->Message(), "The current server dose not support this interface.");
}

TEST_F(WebSession, PortalLiveIsPreparedStartedAndStoppedOnTheService) {
    ASSERT_EQ(LogOn(), 1);
    ASSERT_EQ(FetchActivities(), 0);

    EXPECT_EQ(session_->Prepare(302), 1);
    EXPECT_EQ(session_->PublishToUrl(), 1);
    EXPECT_EQ(session_->PublishUrl(), "rtmp://127.0.0.1:1935/live/302");
    EXPECT_EQ(session_->Host(), "127.0.0.1");
    EXPECT_EQ(session_->Port(), 1935);
    EXPECT_EQ(session_->Tube(), 302);
    EXPECT_FALSE(session_->CanRecord());
    session_->StartOnService();
    EXPECT_TRUE(session_->StartedOnService());
    EXPECT_EQ(portal_.LiveState("302"), "started");
    session_->StopOnService();
    EXPECT_EQ(portal_.LiveState("302"), "stopped");

    // The activity asks for recording, which this account may not do: ready, but the service says why not.
    EXPECT_EQ(session_->Prepare(301), -1);
    EXPECT_FALSE(session_->StartedOnService());
    EXPECT_EQ(session_->Message(), "当前账号不允许云端录制");
    EXPECT_EQ(session_->PublishUrl(), "rtmp://127.0.0.1:1935/live/301");

    // Not in the list (no reason to give: the logon's message must not stand as one), or the service
    // failing: not ready.
    EXPECT_EQ(session_->Prepare(999), 0);
    EXPECT_EQ(session_->Message(), "");
    ASSERT_TRUE(portal_.SetMode(R"("mode":"fault")"));
    EXPECT_EQ(session_->Prepare(302), 0);
    EXPECT_EQ(session_->Message(), "调用服务器Prepare2接口异常");
}

TEST_F(WebSession, StreamServerDirectRtmpAndNoServerPrepareByTheirKind) {
    // Without the deployment's portal the same service is a stream server.
    session_ = std::make_unique<CWebSession>(DeploymentValues{});
    session_->SetServer("rtmp://127.0.0.1:1936/live/77");
    EXPECT_EQ(session_->Kind(), kServerDirectRtmp);
    EXPECT_EQ(session_->Prepare(5), 1);
    EXPECT_EQ(session_->PublishToUrl(), 1);
    EXPECT_EQ(session_->PublishUrl(), "rtmp://127.0.0.1:1936/live/77");
    session_->StartOnService();
    EXPECT_TRUE(session_->StartedOnService());
    EXPECT_EQ(portal_.RequestCount(), 0);

    session_->SetServer(portal_.Address());
    EXPECT_EQ(session_->Kind(), kServerStream);
    // Nothing of the previous server's live is left to publish to.
    EXPECT_EQ(session_->PublishUrl(), "");
    EXPECT_EQ(session_->PublishToUrl(), 0);
    ASSERT_EQ(LogOn(), 1);
    const std::string logonMessage = session_->Message();
    EXPECT_EQ(session_->Prepare(1), 0);
    EXPECT_EQ(session_->StreamServerLiveId(), std::nullopt);
    // The library's reason, not the logon's success.
    EXPECT_NE(session_->Message(), logonMessage);
    EXPECT_FALSE(session_->Message().empty());
    EXPECT_EQ(session_->Prepare(302), 1);
    EXPECT_EQ(session_->PublishToUrl(), 1);
    EXPECT_EQ(session_->Host(), "127.0.0.1");
    EXPECT_EQ(session_->Tube(), 302);
    // The ingest's host, port and stream number make the publishing address.
    EXPECT_EQ(session_->PublishUrl(), "rtmp://127.0.0.1:1935/live/302");
    EXPECT_EQ(session_->StreamServerLiveId(), 3021);
    session_->StartOnService();
    EXPECT_TRUE(session_->StartedOnService());
    EXPECT_EQ(portal_.LiveState("3021"), "started");
    session_->StopOnService();
    EXPECT_EQ(portal_.LiveState("3021"), "stopped");

    session_->SetServer("");
    EXPECT_EQ(session_->Kind(), kServerNone);
    EXPECT_EQ(session_->Prepare(0), 1);
    EXPECT_EQ(session_->PublishToUrl(), 0);
    session_->StartOnService();
    EXPECT_TRUE(session_->StartedOnService());
    EXPECT_EQ(session_->RegistrationPage(), "");
}

}  // namespace
