// The logon dialog driven as a user drives it, against PortalLink and the fake web service: typing and
// pressing logon, the status while the service answers and after it failed, what the settings keep of a
// successful logon, the automatic logon of the first dialog only, the coupled toggles, offline use and the
// registration page. Screenshots of the dialog in both languages for a person to look at.
#include "ui/logon_dialog.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <QDesktopServices>
#include <QLineEdit>
#include <QTest>
#include <QTextBrowser>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "app/app_config.h"
#include "app/language_table.h"
#include "app/web_session.h"
#include "platform/queue_window_target.h"
#include "platform/window_messages.h"
#include "tests/ui/ui_test_support.h"
#include "tools/fake_portal/fake_portal_server.h"
#include "ui/image_button.h"
#include "ui/img_txt_button.h"

namespace {

using fake_portal::kAnchorPasswordDigest;
using fake_portal::kAnchorUser;
using fake_portal::kPresenterPasswordDigest;
using fake_portal::kPresenterUser;

constexpr int kAnswerDeadlineMs = 30000;
constexpr const char* kRegistrationHost = "http://join.brevacast.test";

// Takes the pages QDesktopServices would hand to the browser.
class CPageCatcher : public QTextBrowser {
public:
    QList<QUrl> pages;

protected:
    void doSetSource(const QUrl& name, QTextDocument::ResourceType) override { pages.append(name); }
};

// The studio's objects as the start-up makes them, with the fake service as the operator's portal, the
// settings and the portrait cache in a private folder.
class LogonDialog : public ::testing::Test {
protected:
    void SetUp() override {
        ui_test::UseLanguage("en");
        setenv("no_proxy", "127.0.0.1,localhost", 1);
        char pattern[] = "/tmp/bv-logon-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
        setenv("XDG_CACHE_HOME", dir_.c_str(), 1);
        ASSERT_TRUE(portal_.Start());
        context_.deployment.PortalAddress1 = portal_.Address();
        context_.deployment.RegistrationHost = kRegistrationHost;
        context_.versionText = "V1.4.2";
        config_ = std::make_unique<AppConfig>(ConfigPath());
        config_->ServerURL = portal_.Address();
        session_ = std::make_unique<CWebSession>(context_.deployment);
        session_->SetServer(config_->ServerURL);
        context_.config = config_.get();
        context_.session = session_.get();
    }
    void TearDown() override {
        session_.reset();
        portal_.Stop();
        unsetenv("XDG_CACHE_HOME");
        std::filesystem::remove_all(dir_);
        ui_test::UseLanguage("en");
    }

    std::string ConfigPath() const { return dir_ + "/Config.xml"; }

    // The password of every logon the service received, oldest first.
    std::vector<std::string> PasswordsSent() {
        std::vector<std::string> passwords;
        for (const std::string& request : portal_.Requests()) {
            if (request.find("<snp:Logon ") == std::string::npos) continue;
            const size_t from = request.find("<password>");
            const size_t to = request.find("</password>");
            if (from != std::string::npos && to != std::string::npos)
                passwords.push_back(request.substr(from + 10, to - from - 10));
        }
        return passwords;
    }

    static bool WaitClosed(CLogonDlg& dialog) {
        return QTest::qWaitFor([&dialog] { return !dialog.isVisible(); }, kAnswerDeadlineMs);
    }

    std::string dir_;
    CFakePortal portal_;
    std::unique_ptr<AppConfig> config_;
    std::unique_ptr<CWebSession> session_;
    StudioContext context_;
};

TEST_F(LogonDialog, TypedCredentialsLogOnAndTheSettingsKeepWhatRememberPasswordSays) {
    config_->AutoPWD = 1;
    {
        CLogonDlg dialog(&context_, false);
        dialog.show();
        EXPECT_TRUE(dialog.AccountBox()->text().isEmpty());
        EXPECT_TRUE(dialog.PasswordBox()->text().isEmpty());
        EXPECT_TRUE(dialog.RememberBox()->Selected());
        EXPECT_FALSE(dialog.AutoLogonBox()->Selected());

        QTest::keyClicks(dialog.AccountBox(), kAnchorUser);
        QTest::keyClicks(dialog.PasswordBox(), "  secret ");
        QTest::keyClick(dialog.PasswordBox(), Qt::Key_Return);
        EXPECT_EQ(dialog.StatusText(), UiText(kTextPleaseWait));
        EXPECT_FALSE(dialog.Idle());
        QTest::mouseClick(dialog.LogonButton(), Qt::LeftButton);  // while waiting: no second logon

        ASSERT_TRUE(WaitClosed(dialog));
        EXPECT_EQ(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(dialog.StatusText(), UiText(kTextLoginWelcome));
        // The blanks around the typed password are not part of it.
        EXPECT_EQ(PasswordsSent(), std::vector<std::string>{kAnchorPasswordDigest});
        EXPECT_EQ(session_->LoggedOnUser(), kAnchorUser);
        const AppConfig stored(ConfigPath());
        EXPECT_EQ(stored.Account, kAnchorUser);
        EXPECT_EQ(stored.EncPassword, kAnchorPasswordDigest);
    }

    // The next dialog of the run shows the stored digest, which goes out unchanged. Without remember
    // password the digest is not kept.
    CLogonDlg dialog(&context_, false);
    dialog.show();
    EXPECT_EQ(dialog.AccountBox()->text().toStdString(), kAnchorUser);
    EXPECT_EQ(dialog.PasswordBox()->text().toStdString(), kAnchorPasswordDigest);
    QTest::mouseClick(dialog.RememberBox(), Qt::LeftButton);
    QTest::mouseClick(dialog.LogonButton(), Qt::LeftButton);
    ASSERT_TRUE(WaitClosed(dialog));
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(PasswordsSent(), (std::vector<std::string>{kAnchorPasswordDigest, kAnchorPasswordDigest}));
    const AppConfig stored(ConfigPath());
    EXPECT_EQ(stored.Account, kAnchorUser);
    EXPECT_EQ(stored.EncPassword, "");
    EXPECT_EQ(stored.AutoPWD, 0);
}

TEST_F(LogonDialog, EmptyFieldsAndFailedLogonsKeepTheDialogOpenWithTheirStatusInBothLanguages) {
    for (const std::string code : {"en", "cn"}) {
        ui_test::UseLanguage(code);
        const QString suffix = QString::fromStdString(code);
        CLogonDlg dialog(&context_, false);
        dialog.show();
        ui_test::SaveScreenshot(&dialog, "logon_idle_" + suffix);
        const size_t sentBefore = PasswordsSent().size();

        // Blanks only are no password: nothing is sent.
        QTest::keyClicks(dialog.AccountBox(), kAnchorUser);
        QTest::keyClicks(dialog.PasswordBox(), "   ");
        QTest::mouseClick(dialog.LogonButton(), Qt::LeftButton);
        EXPECT_EQ(dialog.StatusText(), UiText(kTextCredentialsEmpty));
        EXPECT_TRUE(dialog.Idle());

        dialog.PasswordBox()->clear();
        QTest::keyClicks(dialog.PasswordBox(), "not-the-password");
        QTest::mouseClick(dialog.LogonButton(), Qt::LeftButton);
        EXPECT_EQ(dialog.StatusText(), UiText(kTextPleaseWait));
        ui_test::SaveScreenshot(&dialog, "logon_waiting_" + suffix);

        ASSERT_TRUE(QTest::qWaitFor([&dialog] { return dialog.Idle(); }, kAnswerDeadlineMs));
        // English sentences are parted by a blank, Chinese ones are not.
        EXPECT_EQ(dialog.StatusText(),
                  UiText(kTextLoginWrongPassword) + (code == "en" ? " " : "") + UiText(kTextCheckAndRetry));
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_NE(dialog.result(), QDialog::Accepted);
        EXPECT_EQ(PasswordsSent().size(), sentBefore + 1) << "only the logon with a password was sent";
        ui_test::SaveScreenshot(&dialog, "logon_failed_" + suffix);
    }
    const AppConfig stored(ConfigPath());
    EXPECT_EQ(stored.LastLoadResult(), AppConfig::LoadResult::kMissing) << "a failed logon stores nothing";
}

TEST_F(LogonDialog, OnlyTheFirstDialogOfTheRunLogsOnByItself) {
    config_->Account = kPresenterUser;
    config_->EncPassword = kPresenterPasswordDigest;
    config_->AutoPWD = 1;
    config_->AutoLogon = 1;
    {
        CLogonDlg later(&context_, false);
        later.show();
        QCoreApplication::processEvents();
        EXPECT_TRUE(later.RememberBox()->Selected());
        EXPECT_TRUE(later.AutoLogonBox()->Selected());
        EXPECT_TRUE(later.Idle());
        EXPECT_TRUE(later.StatusText().isEmpty());
        // Typing over the stored digest starts a new password, wherever the caret was; deleting from it
        // deletes it.
        later.PasswordBox()->setCursorPosition(5);
        QTest::keyClicks(later.PasswordBox(), "n");
        EXPECT_EQ(later.PasswordBox()->text(), "n");
        CLogonDlg another(&context_, false);
        QTest::keyClick(another.PasswordBox(), Qt::Key_Backspace);
        EXPECT_TRUE(another.PasswordBox()->text().isEmpty());
        QTest::mouseClick(later.CloseButton(), Qt::LeftButton);
        EXPECT_FALSE(later.isVisible());
        EXPECT_EQ(later.result(), QDialog::Rejected);
    }
    EXPECT_TRUE(PasswordsSent().empty());

    CLogonDlg first(&context_, true);
    first.show();
    EXPECT_EQ(first.StatusText(), UiText(kTextPleaseWait));
    ASSERT_TRUE(WaitClosed(first));
    EXPECT_EQ(first.result(), QDialog::Accepted);
    EXPECT_EQ(PasswordsSent(), std::vector<std::string>{kPresenterPasswordDigest});
    EXPECT_EQ(session_->LoggedOnUser(), kPresenterUser);
}

TEST_F(LogonDialog, TogglesAreCoupledAndOfflineAndTheRegistrationPageLeaveTheService) {
    CLogonDlg dialog(&context_, false);
    dialog.show();
    const auto toggles = [&] {
        EXPECT_EQ(dialog.RememberBox()->Selected(), config_->AutoPWD != 0);
        EXPECT_EQ(dialog.AutoLogonBox()->Selected(), config_->AutoLogon != 0);
        return std::make_pair(config_->AutoPWD != 0, config_->AutoLogon != 0);
    };
    EXPECT_EQ(toggles(), std::make_pair(false, false));
    QTest::mouseClick(dialog.AutoLogonBox(), Qt::LeftButton);
    EXPECT_EQ(toggles(), std::make_pair(true, true)) << "logging on by itself needs the password remembered";
    QTest::mouseClick(dialog.RememberBox(), Qt::LeftButton);
    EXPECT_EQ(toggles(), std::make_pair(false, false)) << "without the password there is no automatic logon";
    QTest::mouseClick(dialog.RememberBox(), Qt::LeftButton);
    EXPECT_EQ(toggles(), std::make_pair(true, false));
    QTest::mouseClick(dialog.AutoLogonBox(), Qt::LeftButton);
    QTest::mouseClick(dialog.AutoLogonBox(), Qt::LeftButton);
    EXPECT_EQ(toggles(), std::make_pair(true, false));

    CPageCatcher browser;
    QDesktopServices::setUrlHandler("http", &browser, "setSource");
    ASSERT_TRUE(dialog.SignButton()->isVisible());
    QTest::mouseClick(dialog.SignButton(), Qt::LeftButton);
    QDesktopServices::unsetUrlHandler("http");
    EXPECT_EQ(browser.pages, QList<QUrl>{QUrl(QString(kRegistrationHost) + "/v2/register.jsp")});

    QTest::mouseClick(dialog.MinimizeButton(), Qt::LeftButton);
    EXPECT_TRUE(dialog.isMinimized());
    dialog.showNormal();

    // Offline after an account had logged on: no server, and no account left over from it.
    CQueueWindowTarget target;
    session_->StartLogon(kPresenterUser, kPresenterPasswordDigest, &target);
    ASSERT_TRUE(target.WaitFor([](const ThreadMessage& m) { return m.code == WM_LOGON_RESULT && m.wParam == 1; },
                               std::chrono::milliseconds(kAnswerDeadlineMs)));
    session_->JoinWorker();
    QTest::mouseClick(dialog.OfflineButton(), Qt::LeftButton);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(session_->Kind(), kServerNone);
    EXPECT_EQ(session_->ServerAddress(), "");
    EXPECT_EQ(session_->LoggedOnUser(), "");

    // The next dialog returns to the configured server; a deployment without a registration host shows no link.
    context_.deployment.RegistrationHost.clear();
    CLogonDlg next(&context_, false);
    EXPECT_EQ(session_->Kind(), kServerPortal);
    EXPECT_TRUE(next.SignButton()->isHidden());
}

}  // namespace
