// Calls from several threads at once, as the program's worker threads might make them: the library keeps its
// SOAP exchanges one at a time and its results whole.
#include <pthread.h>

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/portallink/portal_test_support.h"

using PortalConcurrency = PortalTest;

TEST_F(PortalConcurrency, ExchangesNeverOverlap) {
    // Each answer takes 20 ms, so calls that were not serialised would be seen in flight together.
    ASSERT_TRUE(portal.SetMode(R"("mode":"slow","delay_ms":20)"));
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &failures] {
            pthread_setname_np(pthread_self(), ("portal-call-" + std::to_string(t)).c_str());
            for (int i = 0; i < 6; ++i) {
                switch ((t + i) % 4) {
                    case 0:
                        if (SP_Logon(fake_portal::kAnchorUser, fake_portal::kAnchorPasswordDigest, nullptr, nullptr) !=
                            0)
                            ++failures;
                        break;
                    case 1:
                        if (TakeString(SP_GetServerVersion()) != "V3.1.4-FAKE") ++failures;
                        break;
                    case 2:
                        if (SP_StartLive2(101, 1) != 0) ++failures;
                        break;
                    default:
                        if (SP_Prepare2(101, fake_portal::kAnchorUser, 1) == nullptr) ++failures;
                        break;
                }
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(portal.RequestCount(), 24);
    EXPECT_EQ(portal.MaxInflight(), 1);
}

TEST_F(PortalConcurrency, MessagesReadDuringCallsAreAlwaysWhole) {
    const std::set<std::string> valid = {"", kAnchorGreeting, "登录失败，账号不存在", "Prepare2成功"};
    std::atomic<bool> done{false};
    std::atomic<int> torn{0};
    std::thread reader([&] {
        pthread_setname_np(pthread_self(), "portal-reader");
        while (!done.load()) {
            if (!valid.count(ErrorMsg())) ++torn;
            const std::string portrait = Portrait();
            if (!portrait.empty() && portrait != "http://127.0.0.1/portraits/anchor01.png") ++torn;
        }
    });
    std::thread caller([&] {
        pthread_setname_np(pthread_self(), "portal-caller");
        for (int i = 0; i < 10; ++i) {
            SP_Logon(fake_portal::kAnchorUser, fake_portal::kAnchorPasswordDigest, nullptr, nullptr);
            SP_Logon("nobody", "x", nullptr, nullptr);
            SP_Prepare2(101, fake_portal::kAnchorUser, 1);
            SP_GetActivityList(fake_portal::kAnchorUser);
        }
        done = true;
    });
    caller.join();
    reader.join();
    EXPECT_EQ(torn.load(), 0);
}

TEST_F(PortalConcurrency, ListCallsFromTwoThreadsLeaveOneWholeList) {
    std::vector<std::thread> threads;
    for (const char* user : {fake_portal::kAnchorUser, fake_portal::kGuestUser}) {
        threads.emplace_back([user] {
            pthread_setname_np(pthread_self(), "portal-list");
            for (int i = 0; i < 10; ++i) SP_GetActivityList(user);
        });
    }
    for (std::thread& thread : threads) thread.join();
    const ActivityList* list = SP_GetActivityList(fake_portal::kGuestUser);
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->count, 1);
    EXPECT_STREQ(list->items[0]->title, "Guest talk");
}
