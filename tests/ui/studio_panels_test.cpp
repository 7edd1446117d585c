// The main window's pop-ups: the account's activities fetched through PortalLink from the fake web
// service become one button each that reports its position, a new list replaces the old buttons and a
// long one scrolls; the log-off button asks the main window to log off. Screenshots in both languages.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QCursor>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <chrono>
#include <string>
#include <vector>

#include "app/web_session.h"
#include "platform/queue_window_target.h"
#include "platform/window_messages.h"
#include "portallink/portallink.h"
#include "tests/ui/ui_test_support.h"
#include "tools/fake_portal/fake_portal_server.h"
#include "ui/activity_panel.h"
#include "ui/image_button.h"
#include "ui/img_txt_button.h"
#include "ui/logoff_panel.h"

namespace {

constexpr auto kAnswerDeadline = std::chrono::seconds(30);
const QPoint kPanelAt(100, 100);

std::vector<QString> Titles(const CActivePanel& panel) {
    std::vector<QString> titles;
    for (const CImgTxtButton* button : panel.Buttons()) titles.push_back(button->Text());
    return titles;
}

std::vector<int> Ids(const CActivePanel& panel) {
    std::vector<int> ids;
    for (const CImgTxtButton* button : panel.Buttons()) ids.push_back(button->Id());
    return ids;
}

// The message a click posted, or code 0 when none came.
ThreadMessage Posted(CQueueWindowTarget& target) {
    ThreadMessage message{};
    if (!target.Take(&message, std::chrono::milliseconds(0))) return ThreadMessage{};
    return message;
}

// A session logged on to the fake service as the operator's portal.
class ActivityPanel : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("no_proxy", "127.0.0.1,localhost", 1);
        ASSERT_TRUE(portal_.Start());
        DeploymentValues deployment;
        deployment.PortalAddress1 = portal_.Address();
        session_ = std::make_unique<CWebSession>(deployment);
        session_->SetServer(portal_.Address());
        // The pointer rests on the panel, so that its timer keeps it open.
        QCursor::setPos(kPanelAt + QPoint(20, 20));
    }
    void TearDown() override {
        session_.reset();
        portal_.Stop();
        ui_test::UseLanguage("en");
    }

    // Logs the account on and fetches its activities, as the main window does.
    const ActivityList* Fetch(const char* user, const char* digest) {
        CQueueWindowTarget session;
        session_->StartLogon(user, digest, &session);
        if (!session.WaitFor([](const ThreadMessage& m) { return m.code == WM_LOGON_RESULT && m.wParam == 1; },
                             kAnswerDeadline))
            return nullptr;
        session_->JoinWorker();
        session_->StartActivityList(user, &session);
        if (!session.WaitFor([](const ThreadMessage& m) { return m.code == WM_ACTIVITY_LIST && m.wParam == 0; },
                             kAnswerDeadline))
            return nullptr;
        session_->JoinWorker();
        return session_->Activities();
    }

    CFakePortal portal_;
    std::unique_ptr<CWebSession> session_;
    CQueueWindowTarget mainWindow_;
};

TEST_F(ActivityPanel, FetchedActivitiesBecomeButtonsThatPostTheirPositionAndANewListReplacesThem) {
    ui_test::UseLanguage("en");
    QWidget owner;
    CActiveOutPanel panel(&owner, &mainWindow_);
    panel.SetActivities(Fetch(fake_portal::kAnchorUser, fake_portal::kAnchorPasswordDigest));
    EXPECT_EQ(Ids(*panel.Panel()), (std::vector<int>{100, 101, 102}));
    EXPECT_EQ(Titles(*panel.Panel()),
              (std::vector<QString>{"Morning news", QString::fromUtf8("中文直播 😀"), "A&B <x>"}));
    panel.ShowAt(kPanelAt);
    // Stacked top to bottom, the panel no taller than its buttons.
    const auto& buttons = panel.Panel()->Buttons();
    EXPECT_LT(buttons[0]->geometry().bottom(), buttons[1]->geometry().top());
    EXPECT_LT(buttons[1]->geometry().bottom(), buttons[2]->geometry().top());
    EXPECT_LT(panel.height(), ui_test::SkinImage("activepanel_bg").height());

    QTest::mouseClick(buttons[1], Qt::LeftButton);
    const ThreadMessage chosen = Posted(mainWindow_);
    EXPECT_EQ(chosen.code, WM_ACTIVITY_SELECTED);
    EXPECT_EQ(chosen.wParam, 1u);
    EXPECT_FALSE(panel.isVisible()) << "the panel closes once an activity is chosen";

    panel.SetActivities(Fetch(fake_portal::kPresenterUser, fake_portal::kPresenterPasswordDigest));
    EXPECT_EQ(Ids(*panel.Panel()), (std::vector<int>{100, 101}));
    EXPECT_EQ(Titles(*panel.Panel()), (std::vector<QString>{"Evening show", "Studio talk"}));
    EXPECT_EQ(panel.Panel()->findChildren<CImgTxtButton*>().size(), 2) << "the old buttons are gone";
    panel.ShowAt(kPanelAt);
    QTest::mouseClick(panel.Panel()->Buttons()[0], Qt::LeftButton);
    EXPECT_EQ(Posted(mainWindow_).wParam, 0u);
}

TEST_F(ActivityPanel, ALongListScrollsInsideThePanelAndLongTitlesAreShortened) {
    ui_test::UseLanguage("en");
    const std::string longTitle(120, 'W');
    std::vector<ActivityRecord> records;
    for (int i = 0; i < 12; ++i)
        records.push_back({1000 + i, false, i == 3 ? longTitle.c_str() : "Weekly studio hour"});
    std::vector<const ActivityRecord*> items;
    for (const ActivityRecord& record : records) items.push_back(&record);
    const ActivityList list{static_cast<int32_t>(items.size()), items.data()};

    QWidget owner;
    CActiveOutPanel panel(&owner, &mainWindow_);
    panel.SetActivities(&list);
    panel.ShowAt(kPanelAt);
    EXPECT_EQ(panel.Panel()->Buttons().size(), 12u);
    EXPECT_EQ(panel.height(), ui_test::SkinImage("activepanel_bg").height());
    auto* scroll = panel.findChild<QScrollArea*>();
    ASSERT_NE(scroll, nullptr);
    // The scroll area lays its bar out once the shown panel's events have run.
    EXPECT_TRUE(QTest::qWaitFor([scroll] { return scroll->verticalScrollBar()->isVisible(); }, 5000));
    EXPECT_GE(scroll->viewport()->width(), panel.Panel()->width()) << "the bar does not squeeze the rows";
    EXPECT_GT(scroll->verticalScrollBar()->maximum(), 0);

    ui_test::SaveScreenshot(&panel, "activity_panel_scrolling_en");

    const CImgTxtButton* shortened = panel.Panel()->Buttons()[3];
    EXPECT_TRUE(shortened->Text().endsWith(QChar(0x2026)));
    EXPECT_EQ(shortened->toolTip(), QString::fromStdString(longTitle));

    // The last one, scrolled into view, reports its position.
    CImgTxtButton* last = panel.Panel()->Buttons().back();
    scroll->ensureWidgetVisible(last);
    QTest::mouseClick(last, Qt::LeftButton);
    EXPECT_EQ(Posted(mainWindow_).wParam, 11u);

    panel.SetActivities(nullptr);
    EXPECT_TRUE(panel.Panel()->Buttons().empty());
}

TEST_F(ActivityPanel, ScreenshotsWithThreeActivitiesAndTheLogoffPanelInBothLanguages) {
    const ActivityList* list = Fetch(fake_portal::kAnchorUser, fake_portal::kAnchorPasswordDigest);
    ASSERT_NE(list, nullptr);
    for (const std::string code : {"en", "cn"}) {
        ui_test::UseLanguage(code);
        const QString suffix = QString::fromStdString(code);
        QWidget owner;
        CActiveOutPanel activities(&owner, &mainWindow_);
        activities.SetActivities(list);
        activities.SetCurrent(0);
        activities.ShowAt(kPanelAt);
        ui_test::SaveScreenshot(&activities, "activity_panel_" + suffix);

        CLogoffPanel logoff(&owner, &mainWindow_);
        logoff.ShowAt(kPanelAt);
        ui_test::SaveScreenshot(&logoff, "logoff_panel_" + suffix);
        EXPECT_FALSE(QImage(ui_test::ScreenshotPath("logoff_panel_" + suffix)).isNull());
    }
}

TEST(LogoffPanel, ItsButtonAsksTheMainWindowToLogOffAndClosesThePanel) {
    ui_test::UseLanguage("en");
    CQueueWindowTarget mainWindow;
    QWidget owner;
    CLogoffPanel panel(&owner, &mainWindow);
    QCursor::setPos(kPanelAt + QPoint(10, 10));
    panel.ShowAt(kPanelAt);
    ASSERT_TRUE(panel.PointerTimer().isActive());
    QTest::mouseClick(panel.LogoffButton(), Qt::LeftButton);
    const ThreadMessage logoff = Posted(mainWindow);
    EXPECT_EQ(logoff.code, WM_LOGOFF);
    EXPECT_EQ(logoff.code, 0x52Du);
    EXPECT_EQ(logoff.wParam, 1u);
    EXPECT_FALSE(panel.isVisible());
    EXPECT_FALSE(panel.PointerTimer().isActive());
}

}  // namespace
