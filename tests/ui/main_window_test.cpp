// The main window as the presenter uses it, on a private X server: logged on to a stream server or the
// portal (the fake web service), sources added through their buttons and dialogs, lives started and
// stopped with the button against a local nginx-rtmp, the account's duration limit, refusals during a
// live, the notification area (Debian's trayer), the settings' frame size and recording folder, and the
// scene saved at quit and restored at the next start.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

#include "app/app_config.h"
#include "app/language_table.h"
#include "app/md5_checksum.h"
#include "app/web_session.h"
#include "media/audio_mixer.h"
#include "media/live_engine.h"
#include "platform/queue_window_target.h"
#include "platform/window_messages.h"
#include "scene/file_device_list.h"
#include "scene/scene.h"
#include "scene/video_device_list.h"
#include "tests/common/child_process.h"
#include "tests/ui/ui_test_support.h"
#include "tools/fake_portal/fake_portal_server.h"
#include "tools/peers/nginx_rtmp.h"
#include "ui/exit_dlg.h"
#include "ui/image_button.h"
#include "ui/list_button.h"
#include "ui/main_dialog.h"
#include "ui/msg_panel.h"
#include "ui/pic_setting_dlg.h"
#include "ui/scene_ctrl_panel.h"
#include "ui/skin_check_box.h"
#include "ui/sys_setting_dlg.h"
#include "ui/txt_setting_dlg.h"

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

// Runs handler on the next modal window of type T once it is shown (a window the code under test
// opens with exec()).
template <typename T>
void OnNextWindow(std::function<void(T*)> handler) {
    auto* timer = new QTimer;
    timer->setInterval(10);
    auto deadline = std::chrono::steady_clock::now() + 10s;
    QObject::connect(timer, &QTimer::timeout, [timer, handler, deadline] {
        if (auto* window = dynamic_cast<T*>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            handler(window);
        } else if (std::chrono::steady_clock::now() > deadline) {
            timer->stop();
            timer->deleteLater();
            ADD_FAILURE() << "no such window came";
        }
    });
    timer->start();
}

// The seconds of a live's time in the status area, or -1 when it shows another text.
int ShownSeconds(const QString& status) {
    const QStringList parts = status.split(':');
    if (parts.size() != 3) return -1;
    bool ok[3];
    const int h = parts[0].toInt(&ok[0]), m = parts[1].toInt(&ok[1]), s = parts[2].toInt(&ok[2]);
    return ok[0] && ok[1] && ok[2] ? h * 3600 + m * 60 + s : -1;
}

// Confirms the next message box and keeps its text.
void ConfirmNextMessage(QString* text) {
    OnNextWindow<CMsgPanel>([text](CMsgPanel* box) {
        if (text != nullptr) *text = box->Text();
        QTest::mouseClick(box->OkButton(), Qt::LeftButton);
    });
}

// The peers every test shares: an RTMP ingest, the web service with accounts whose ingest is that
// server, and a folder for the programs' files.
class MainWindowPeers : public ::testing::Environment {
public:
    void SetUp() override {
        char pattern[] = "/tmp/bv-mainwindow-XXXXXX";
        dir = mkdtemp(pattern);
        ASSERT_TRUE(nginx.Start());
        std::ofstream(dir + "/fixture.json") << R"({"version": "v3.1.4-fake", "client_version": "1.0.0",
          "ingest": {"protocol": "rtmp", "server": "127.0.0.1", "port": )"
                                             << nginx.Port() << R"(},
          "accounts": [
            {"userId": "presenter", "password_md5": ")"
                                             << CMD5Checksum::GetMD5("onair") << R"(", "msg": "hi",
             "maxStorage": 0, "duration": 7200, "portrait": "", "canRecord": 1, "storageUsed": 0,
             "activities": [{"id": 1, "title": "Studio live", "cloudRecord": 0},
                            {"id": 2, "title": "Evening news", "cloudRecord": 0}]},
            {"userId": "nolimit", "password_md5": ")"
                                             << CMD5Checksum::GetMD5("onair") << R"(", "msg": "hi",
             "maxStorage": 0, "duration": -1, "portrait": "", "canRecord": 1, "storageUsed": 0,
             "activities": [{"id": 3, "title": "Open end", "cloudRecord": 0}]}]})";
        ASSERT_TRUE(portal.Start(dir + "/fixture.json"));
        ASSERT_EQ(std::system(("ffmpeg -v error -y -f lavfi -i color=c=0xD03020:s=320x180 -frames:v 1 '" + dir +
                               "/picture.png'")
                                  .c_str()),
                  0);
    }
    void TearDown() override {
        portal.Stop();
        nginx.Stop();
        if (std::getenv("BV_KEEP_TEST_FILES") == nullptr) fs::remove_all(dir);
    }

    std::string dir;
    CNginxRtmp nginx;
    CFakePortal portal;
};

MainWindowPeers* g_peers = nullptr;

// The process-wide objects of one run of the studio, with its own settings file.
class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ui_test::UseLanguage("en");
        folder_ = g_peers->dir + "/" + ::testing::UnitTest::GetInstance()->current_test_info()->name();
        fs::create_directories(folder_ + "/recordings");
        config_ = std::make_unique<AppConfig>(folder_ + "/Config.xml", nullptr);
        config_->Language = "en";
        config_->FrameSizeCX = 640;
        config_->FrameSizeCY = 360;
        config_->Bitrate = 800;
        config_->ShowCtrl = 1;
        config_->LocalSaveFolder = folder_ + "/recordings";
        config_->Scenes.clear();
        MakeObjects(DeploymentValues{});
    }
    void TearDown() override {
        window_.reset();
        cameras_.reset();
        media_.reset();
        mixer_.reset();
        session_.reset();
    }

    void MakeObjects(const DeploymentValues& deployment) {
        window_.reset();
        session_ = std::make_unique<CWebSession>(deployment);
        mixer_ = std::make_unique<CAudioMixer>(config_->SampleRate);
        media_ = std::make_unique<CFileDeviceList>(mixer_.get(), config_->SampleRate);
        cameras_ = std::make_unique<CVideoDeviceList>();
        context_.config = config_.get();
        context_.session = session_.get();
        context_.mixer = mixer_.get();
        context_.media = media_.get();
        context_.cameras = cameras_.get();
        context_.deployment = deployment;
    }
    // Logs the account on as the logon dialog would, before the main window opens.
    void LogOn(const std::string& server, const std::string& user) {
        session_->SetServer(server);
        CQueueWindowTarget results;
        session_->StartLogon(user, CMD5Checksum::GetMD5("onair"), &results);
        ThreadMessage m;
        ASSERT_TRUE(results.WaitFor([](const ThreadMessage& r) { return r.code == WM_LOGON_RESULT; }, 20s, &m));
        session_->JoinWorker();
        ASSERT_EQ(m.wParam, 1u) << session_->Message();
    }
    CBrevacastPCDlg* Open() {
        window_ = std::make_unique<CBrevacastPCDlg>(&context_);
        window_->show();
        return window_.get();
    }
    void AddText(const QString& text) {
        OnNextWindow<CTxtSettingDlg>([text](CTxtSettingDlg* dialog) {
            dialog->TextEdit()->setPlainText(text);
            QTest::mouseClick(dialog->OkButton(), Qt::LeftButton);
        });
        window_->OnAddText();
    }
    void AddPicture() {
        const QString path = QString::fromStdString(g_peers->dir + "/picture.png");
        OnNextWindow<CPicSettingDlg>([path](CPicSettingDlg* dialog) {
            QTest::keyClicks(dialog->PathEdit(), path);
            QTest::mouseClick(dialog->OkButton(), Qt::LeftButton);
        });
        window_->OnAddMedia();
    }
    bool WaitForState(int32_t state, std::chrono::milliseconds timeout = 20s) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (window_->EngineState() != state) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            QTest::qWait(20);
        }
        return true;
    }
    // The newest recording once it is finished (rewritten as an ordinary MP4 after the stop) and ffprobe
    // reads its streams: "codec,width,height" lines; empty when none comes.
    std::string FinishedRecordingStreams() {
        const auto deadline = std::chrono::steady_clock::now() + 20s;
        while (std::chrono::steady_clock::now() < deadline) {
            std::string newest;
            auto time = fs::file_time_type::min();
            std::error_code error;
            for (fs::recursive_directory_iterator it(folder_ + "/recordings", error), end; !error && it != end;
                 it.increment(error)) {
                const fs::file_time_type written = it->last_write_time(error);
                if (!error && it->path().extension() == ".mp4" && written >= time) {
                    time = written;
                    newest = it->path();
                }
            }
            if (!newest.empty() && !fs::exists(newest + ".part")) {
                const std::string streams = Capture(
                    "ffprobe -v error -show_entries stream=codec_name,width,height -of csv=p=0 '" + newest + "'");
                if (streams.find("h264") != std::string::npos) return streams;
            }
            QTest::qWait(100);
        }
        return {};
    }

    std::string folder_;
    std::unique_ptr<AppConfig> config_;
    std::unique_ptr<CWebSession> session_;
    std::unique_ptr<CAudioMixer> mixer_;
    std::unique_ptr<CFileDeviceList> media_;
    std::unique_ptr<CVideoDeviceList> cameras_;
    StudioContext context_;
    std::unique_ptr<CBrevacastPCDlg> window_;
};

}  // namespace

TEST(MainWindowTexts, TheDurationLimitIsAnnouncedInHoursAndMinutesMinutesOrSeconds) {
    EXPECT_EQ(CBrevacastPCDlg::DurationLimitText(5400), "您的账号单次直播时长受限，时长1小时30分钟，到时会自动停止！");
    EXPECT_EQ(CBrevacastPCDlg::DurationLimitText(90), "您的账号单次直播时长受限，时长1分钟，到时会自动停止！");
    EXPECT_EQ(CBrevacastPCDlg::DurationLimitText(45), "您的账号单次直播时长受限，时长45秒，到时会自动停止！");
}

TEST_F(MainWindowTest, AStreamServerLiveShowsItsStatusesThenTheTimeAndPublishesPictureAndSound) {
    LogOn(g_peers->portal.Address(), "presenter");
    ASSERT_EQ(session_->Kind(), kServerStream);
    CBrevacastPCDlg* window = Open();
    EXPECT_EQ(window->LogonState(), kLogonDone);
    ui_test::SaveScreenshot(window, "main_empty_en");

    window->OnAddScreen();
    AddText("Studio caption");
    AddPicture();
    ASSERT_EQ(window->SourcesPanel()->RowCount(), 3);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->Scene()->LayersTopFirst().size() == size_t{3}; }, 5000))
        << "window->Scene()->LayersTopFirst().size()";
    ui_test::SaveScreenshot(window, "main_idle_en");

    QTest::mouseClick(window->StartButton(), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return ShownSeconds(window->StatusText()) >= 3; }, 20000));
    ui_test::SaveScreenshot(window, "main_live_en");
    const QStringList& seen = window->StatusHistory();
    EXPECT_TRUE(seen.contains(UiText(kTextGetConfiguration))) << seen.join(", ").toStdString();
    EXPECT_TRUE(seen.contains(UiText(kTextReady))) << seen.join(", ").toStdString();
    EXPECT_EQ(window->EngineState(), kEngineLivePublishing);
    EXPECT_FALSE(window->Button(kIdSettings)->isEnabled()) << "no settings during a live";
    EXPECT_EQ(g_peers->portal.LiveState("11"), "started") << "the service heard of the start";

    // A player reads the stream from the server: H.264 and AAC.
    const std::string streams = Capture(
        "ffprobe -v error -rw_timeout 10000000 -show_entries stream=codec_name "
        "-of csv=p=0 '" +
        g_peers->nginx.Url("1") + "' 2>/dev/null");
    EXPECT_NE(streams.find("h264"), std::string::npos) << streams;
    EXPECT_NE(streams.find("aac"), std::string::npos) << streams;

    QTest::mouseClick(window->StartButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitForState(kEngineIdle));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->StatusText() == UiText(kTextStopped); }, 5000))
        << "window->StatusText()";
    EXPECT_EQ(g_peers->portal.LiveState("11"), "stopped");
    EXPECT_TRUE(window->Button(kIdSettings)->isEnabled());
}

TEST_F(MainWindowTest, ThePortalsDurationLimitStopsAtItsSecondWhilePublishingOnly) {
    DeploymentValues deployment;
    deployment.PortalAddress1 = g_peers->portal.Address();
    MakeObjects(deployment);
    LogOn(g_peers->portal.Address(), "presenter");
    ASSERT_EQ(session_->Kind(), kServerPortal);
    CBrevacastPCDlg* window = Open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->ActivityLabel() == QString("Studio live"); }, 10000))
        << "window->ActivityLabel()";

    QString announced;
    ConfirmNextMessage(&announced);
    window->OnStartStop();
    EXPECT_EQ(announced.toStdString(), CBrevacastPCDlg::DurationLimitText(7200));
    ASSERT_TRUE(WaitForState(kEngineLivePublishing));

    // Reports short of the limit, and recording-only reports, leave the live running.
    IWindowTarget* target = window->Target();
    PostWindowMessage(target, WM_LIVE_STATUS, kEngineLivePublishing, 7200 * 1000 - 1);
    PostWindowMessage(target, WM_LIVE_STATUS, kEngineLiveRecording, 99'000'000);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->StatusText() == QString("27:30:00"); }, 5000))
        << "window->StatusText()";
    EXPECT_NE(window->EngineState(), kEngineIdle);
    PostWindowMessage(target, WM_LIVE_STATUS, kEngineLivePublishing, 7200 * 1000);
    ASSERT_TRUE(WaitForState(kEngineIdle, 10s)) << "the limit stops the live at once";
    EXPECT_EQ(g_peers->portal.LiveState("1"), "stopped");
}

TEST_F(MainWindowTest, AnAccountWithoutLimitAndTheListsEndSelectNothingAndNeverStop) {
    DeploymentValues deployment;
    deployment.PortalAddress1 = g_peers->portal.Address();
    MakeObjects(deployment);
    LogOn(g_peers->portal.Address(), "nolimit");
    CBrevacastPCDlg* window = Open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->ActivityLabel() == QString("Open end"); }, 10000))
        << "window->ActivityLabel()";

    PostWindowMessage(window->Target(), WM_ACTIVITY_SELECTED, 5, 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->ActivityLabel() == UiText(kTextActivitiesList); }, 5000))
        << "window->ActivityLabel()";
    EXPECT_EQ(window->SelectedActivity(), -1);
    PostWindowMessage(window->Target(), WM_ACTIVITY_SELECTED, 0, 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->SelectedActivity() == 3; }, 5000)) << "window->SelectedActivity()";

    window->OnStartStop();
    ASSERT_TRUE(WaitForState(kEngineLivePublishing));
    PostWindowMessage(window->Target(), WM_LIVE_STATUS, kEngineLivePublishing, 99'000'000);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->StatusText() == QString("27:30:00"); }, 5000))
        << "window->StatusText()";
    EXPECT_EQ(window->EngineState(), kEngineLivePublishing) << "a limit of -1 never stops";
    window->OnStartStop();
    ASSERT_TRUE(WaitForState(kEngineIdle));
}

TEST_F(MainWindowTest, LogOffAndQuitDuringALiveAreRefusedWithText58AndChangeNothing) {
    // No server: the live records.
    CBrevacastPCDlg* window = Open();
    EXPECT_EQ(window->LogonState(), kLogonNone);
    window->OnStartStop();
    ASSERT_TRUE(WaitForState(kEngineLiveRecording));
    ASSERT_TRUE(QTest::qWaitFor([&] { return ShownSeconds(window->StatusText()) >= 2; }, 20000));

    QString said;
    ConfirmNextMessage(&said);
    PostWindowMessage(window->Target(), WM_LOGOFF, 1, 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return said == UiText(kTextLiveInProgress); }, 10000)) << "said";
    said.clear();
    OnNextWindow<CExitDlg>([&said](CExitDlg* exit) {
        QTest::mouseClick(exit->QuitButton(), Qt::LeftButton);
        ConfirmNextMessage(&said);
        QTest::mouseClick(exit->OkButton(), Qt::LeftButton);
    });
    window->OnClose();
    EXPECT_EQ(said, UiText(kTextLiveInProgress));
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->EngineState(), kEngineLiveRecording) << "the live goes on";

    window->OnStartStop();
    ASSERT_TRUE(WaitForState(kEngineIdle));
    EXPECT_NE(FinishedRecordingStreams(), "") << "the live's recording plays";
}

TEST_F(MainWindowTest, SettingsResizeTheSceneAndTheNextRecordingButKeepAFolderThatDoesNotExist) {
    CBrevacastPCDlg* window = Open();
    const int heightBefore = window->height();
    const std::string folderBefore = config_->LocalSaveFolder;
    OnNextWindow<CSysSettingDlg>([](CSysSettingDlg* dialog) {
        CListButton* sizes = dialog->FrameSizeList();
        sizes->Choose(static_cast<int>(sizes->Items().indexOf(sizes->Items().filter("1280").value(0))));
        dialog->ShowPage(CSysSettingDlg::kOtherPage);
        dialog->FolderEdit()->setText("/no/such/folder");
        QTest::mouseClick(dialog->OkButton(), Qt::LeftButton);
    });
    window->OnSettings();
    EXPECT_EQ(config_->FrameSizeCX, 1280);
    EXPECT_EQ(config_->FrameSizeCY, 720);
    EXPECT_EQ(config_->LocalSaveFolder, folderBefore);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->Scene()->CanvasWidth() == 1280; }, 5000))
        << "window->Scene()->CanvasWidth()";
    EXPECT_EQ(window->height(), heightBefore) << "640x360 and 1280x720 share the proportions";

    window->OnStartStop();
    ASSERT_TRUE(WaitForState(kEngineLiveRecording));
    ASSERT_TRUE(QTest::qWaitFor([&] { return ShownSeconds(window->StatusText()) >= 2; }, 20000));
    window->OnStartStop();
    ASSERT_TRUE(WaitForState(kEngineIdle));
    const std::string streams = FinishedRecordingStreams();
    EXPECT_NE(streams.find("h264,1280,720"), std::string::npos) << streams;
}

TEST_F(MainWindowTest, TheNotificationAreaHidesTheWindowAndAClickBringsItBack) {
    CBrevacastPCDlg* window = Open();
    // Without a notification area the window is iconified, never hidden where nobody could find it.
    if (!QSystemTrayIcon::isSystemTrayAvailable()) {
        window->MinimiseToTray();
        ASSERT_TRUE(QTest::qWaitFor([&] { return window->isMinimized(); }, 5000));
        EXPECT_TRUE(window->isVisible());
        window->showNormal();
    }
    CChildProcess trayer({"trayer", "--edge", "bottom", "--align", "right", "--widthtype", "pixel", "--width", "64",
                          "--height", "32", "--SetDockType", "true"},
                         {});
    ASSERT_TRUE(QTest::qWaitFor([&] { return QSystemTrayIcon::isSystemTrayAvailable(); }, 10000));
    window->MinimiseToTray();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window->isVisible(); }, 5000));
    // Embedded in trayer's panel at the bottom right of the screen.
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return window->TrayIcon()->geometry().center().y() > screen.center().y(); }, 10000));
    EXPECT_EQ(window->TrayIcon()->toolTip(), QString::fromStdString(GetAppTitle()));
    const QPoint icon = window->TrayIcon()->geometry().center();
    ASSERT_EQ(
        std::system(
            ("xdotool mousemove " + std::to_string(icon.x()) + " " + std::to_string(icon.y()) + " click 1").c_str()),
        0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->isVisible(); }, 10000));
    EXPECT_FALSE(window->TrayIcon()->isVisible());
    trayer.Signal(SIGTERM);
}

TEST_F(MainWindowTest, QuittingSavesTheSceneAndTheNextStartRestoresItInOrder) {
    CBrevacastPCDlg* window = Open();
    AddPicture();
    AddText("Top caption");
    ASSERT_EQ(window->SourcesPanel()->RowCount(), 2);
    std::vector<QString> rows;
    for (LayerNode* node : window->SourcesPanel()->Order()) rows.push_back(window->SourcesPanel()->Row(node)->Name());
    EXPECT_EQ(rows, (std::vector<QString>{"Top caption", "picture.png"}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->Scene()->LayersTopFirst().size() == size_t{2}; }, 5000))
        << "window->Scene()->LayersTopFirst().size()";
    window_.reset();  // the window closes: scene and settings saved

    AppConfig reloaded(folder_ + "/Config.xml", nullptr);
    ASSERT_EQ(reloaded.Scenes.size(), 1u);
    ASSERT_EQ(reloaded.Scenes.front()->Records().size(), 2u);
    config_ = std::make_unique<AppConfig>(folder_ + "/Config.xml", nullptr);
    MakeObjects(DeploymentValues{});
    window = Open();
    std::vector<QString> restored;
    for (LayerNode* node : window->SourcesPanel()->Order())
        restored.push_back(window->SourcesPanel()->Row(node)->Name());
    EXPECT_EQ(restored, rows);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->Scene()->LayersTopFirst().size() == size_t{2}; }, 5000))
        << "window->Scene()->LayersTopFirst().size()";
    EXPECT_EQ(window->Scene()->LayersTopFirst().front().first, kLayerText);
}

TEST_F(MainWindowTest, ScreenshotsInChinese) {
    ui_test::UseLanguage("cn");
    config_->Language = "cn";
    CBrevacastPCDlg* window = Open();
    AddText(QString::fromUtf8("今晚八点直播"));
    window->OnAddScreen();
    ui_test::SaveScreenshot(window, "main_idle_cn");
    window->OnStartStop();
    ASSERT_TRUE(WaitForState(kEngineLiveRecording));
    ASSERT_TRUE(QTest::qWaitFor([&] { return ShownSeconds(window->StatusText()) >= 1; }, 20000));
    ui_test::SaveScreenshot(window, "main_live_cn");
    window->OnStartStop();
    ASSERT_TRUE(WaitForState(kEngineIdle));
    ui_test::UseLanguage("en");
}

// The peers start once for the whole binary, after the X server of its main.
const auto* const kPeersRegistered = ::testing::AddGlobalTestEnvironment(g_peers = new MainWindowPeers);
