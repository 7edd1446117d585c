// Every export against the fake service: success paths, codes, messages, ownership of what is returned, and
// the values when the library has no service context.
#include <cstdlib>
#include <string>

#include "tests/portallink/portal_test_support.h"

using PortalLogon = PortalTest;
using PortalVersion = PortalTest;
using PortalActivityList = PortalTest;
using PortalPrepare = PortalTest;
using PortalLive = PortalTest;
using PortalStrings = PortalTest;

TEST_F(PortalLogon, SucceedsWithLimitsPortraitAndGreeting) {
    int64_t maxStorage = -1;
    int32_t duration = -1;
    EXPECT_EQ(SP_Logon(fake_portal::kAnchorUser, fake_portal::kAnchorPasswordDigest, &maxStorage, &duration), 0);
    EXPECT_EQ(maxStorage, 5000000000LL) << "beyond 32 bits, whole";
    EXPECT_EQ(duration, 7200);
    EXPECT_EQ(Portrait(), "http://127.0.0.1/portraits/anchor01.png");
    EXPECT_EQ(ErrorMsg(), kAnchorGreeting);
}

TEST_F(PortalLogon, MissingLimitPlaceFillsNeitherButSetsThePortrait) {
    int64_t maxStorage = -1;
    int32_t duration = -1;
    EXPECT_EQ(SP_Logon(fake_portal::kAnchorUser, fake_portal::kAnchorPasswordDigest, &maxStorage, nullptr), 0);
    EXPECT_EQ(maxStorage, -1);
    EXPECT_EQ(SP_Logon(fake_portal::kAnchorUser, fake_portal::kAnchorPasswordDigest, nullptr, &duration), 0);
    EXPECT_EQ(duration, -1);
    EXPECT_EQ(Portrait(), "http://127.0.0.1/portraits/anchor01.png");
}

TEST_F(PortalLogon, UnknownAccountIsMinusOne) {
    int64_t maxStorage = -1;
    int32_t duration = -1;
    EXPECT_EQ(SP_Logon("nobody", fake_portal::kAnchorPasswordDigest, &maxStorage, &duration), -1);
    EXPECT_EQ(ErrorMsg(), "登录失败，账号不存在");
    EXPECT_EQ(maxStorage, -1);
    EXPECT_EQ(duration, -1);
}

TEST_F(PortalLogon, WrongPasswordIsMinusTwo) {
    EXPECT_EQ(SP_Logon(fake_portal::kAnchorUser, fake_portal::kGuestPasswordDigest, nullptr, nullptr), -2);
    EXPECT_EQ(ErrorMsg(), "登录失败，账号和密码不匹配");
}

TEST_F(PortalLogon, ServiceExceptionIsMinusNine) {
    ASSERT_TRUE(portal.SetResult("Logon", R"({"code":-9})"));
    EXPECT_EQ(SP_Logon(fake_portal::kAnchorUser, fake_portal::kAnchorPasswordDigest, nullptr, nullptr), -9);
    EXPECT_EQ(ErrorMsg(), "登录失败，发生异常");
}

TEST_F(PortalLogon, UnlistedCodeIsReturnedAndKeepsThePreviousMessage) {
    EXPECT_EQ(SP_Logon("nobody", "x", nullptr, nullptr), -1);
    ASSERT_TRUE(portal.SetResult("Logon", R"({"code":-3,"msg":"not this one"})"));
    EXPECT_EQ(SP_Logon(fake_portal::kAnchorUser, fake_portal::kAnchorPasswordDigest, nullptr, nullptr), -3);
    EXPECT_EQ(ErrorMsg(), "登录失败，账号不存在");
}

TEST_F(PortalLogon, CodeAsTextCountsLikeTheNumber) {
    ASSERT_TRUE(portal.SetResult("Logon", R"({"code":"-2"})"));
    EXPECT_EQ(SP_Logon(fake_portal::kAnchorUser, fake_portal::kAnchorPasswordDigest, nullptr, nullptr), -2);
    EXPECT_EQ(ErrorMsg(), "登录失败，账号和密码不匹配");
}

TEST_F(PortalLogon, PlaceholderPortraitInOtherLetterCaseLeavesThePortraitEmpty) {
    LogOnAnchor();
    ASSERT_FALSE(Portrait().empty());
    // The guest account's portrait is the operator's placeholder written in capitals.
    EXPECT_EQ(SP_Logon(fake_portal::kGuestUser, fake_portal::kGuestPasswordDigest, nullptr, nullptr), 0);
    EXPECT_EQ(Portrait(), "");
}

TEST_F(PortalLogon, AnswerWithoutPortraitKeepsTheEarlierOne) {
    LogOnAnchor();
    ASSERT_TRUE(portal.SetResult("Logon", R"({"code":0,"msg":"hi"})"));
    EXPECT_EQ(SP_Logon(fake_portal::kAnchorUser, fake_portal::kAnchorPasswordDigest, nullptr, nullptr), 0);
    EXPECT_EQ(Portrait(), "http://127.0.0.1/portraits/anchor01.png");
    EXPECT_EQ(ErrorMsg(), "hi");
}

TEST_F(PortalLogon, SuccessWithoutMsgLeavesAnEmptyMessage) {
    EXPECT_EQ(SP_Logon("nobody", "x", nullptr, nullptr), -1);
    ASSERT_TRUE(portal.SetResult("Logon", R"({"code":0})"));
    EXPECT_EQ(SP_Logon("u", "p", nullptr, nullptr), 0);
    EXPECT_EQ(ErrorMsg(), "");
}

TEST_F(PortalLogon, ResultThatIsNotJsonIsMinusEleven) {
    ASSERT_TRUE(portal.SetResult("Logon", "<html>maintenance</html>"));
    int64_t maxStorage = -1;
    int32_t duration = -1;
    EXPECT_EQ(SP_Logon(fake_portal::kAnchorUser, fake_portal::kAnchorPasswordDigest, &maxStorage, &duration), -11);
    EXPECT_EQ(ErrorMsg(), "Json数据解析失败");
    EXPECT_EQ(maxStorage, -1);
}

TEST_F(PortalLogon, AnswerWithoutCodeIsNotASuccessfulLogon) {
    ASSERT_TRUE(portal.SetResult("Logon", R"({"msg":"hello","portrait":"http://x/p.png"})"));
    EXPECT_EQ(SP_Logon("u", "p", nullptr, nullptr), -11);
    EXPECT_EQ(ErrorMsg(), "Json数据解析失败");
    EXPECT_NE(Portrait(), "http://x/p.png");
}

TEST_F(PortalVersion, IsTheServiceVersionUpperCased) { EXPECT_EQ(ServerVersion(), "V3.1.4-FAKE"); }

TEST_F(PortalVersion, IsEmptyOnAnyFailure) {
    ASSERT_EQ(ServerVersion(), "V3.1.4-FAKE");
    ASSERT_TRUE(portal.SetResult("Version", "not json"));
    EXPECT_EQ(ServerVersion(), "");
    ASSERT_TRUE(portal.SetMode(R"("mode":"close")"));
    EXPECT_EQ(ServerVersion(), "");
}

TEST_F(PortalActivityList, ListsTheActivitiesInTheServicesOrder) {
    const ActivityList* list = SP_GetActivityList(fake_portal::kAnchorUser);
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->count, 3);
    EXPECT_EQ(list->items[0]->id, 101);
    EXPECT_STREQ(list->items[0]->title, "Morning news");
    EXPECT_TRUE(list->items[0]->cloudRecord);
    EXPECT_EQ(list->items[1]->id, 102);
    EXPECT_STREQ(list->items[1]->title, "中文直播 😀");
    EXPECT_FALSE(list->items[1]->cloudRecord) << "no cloudRecord key";
    EXPECT_EQ(list->items[2]->id, 103);
    EXPECT_FALSE(list->items[2]->cloudRecord);
    EXPECT_EQ(ParamOf(LastRequest(), "userId"), fake_portal::kAnchorUser);
}

TEST_F(PortalActivityList, SuccessLeavesTheEarlierMessage) {
    LogOnAnchor();
    ASSERT_NE(SP_GetActivityList(fake_portal::kAnchorUser), nullptr);
    EXPECT_EQ(ErrorMsg(), kAnchorGreeting);
}

TEST_F(PortalActivityList, SecondCallReplacesTheContentBehindTheSamePointer) {
    const ActivityList* first = SP_GetActivityList(fake_portal::kAnchorUser);
    ASSERT_NE(first, nullptr);
    ASSERT_EQ(first->count, 3);
    const ActivityList* second = SP_GetActivityList(fake_portal::kGuestUser);
    EXPECT_EQ(second, first);
    ASSERT_EQ(first->count, 1);
    EXPECT_EQ(first->items[0]->id, 201);
    EXPECT_STREQ(first->items[0]->title, "Guest talk");
}

TEST_F(PortalActivityList, RecordsStayValidWhileOtherExportsRun) {
    const ActivityList* list = SP_GetActivityList(fake_portal::kAnchorUser);
    ASSERT_NE(list, nullptr);
    const ActivityRecord* record = list->items[1];
    LogOnAnchor();
    ASSERT_NE(SP_Prepare2(101, fake_portal::kAnchorUser, 1), nullptr);
    EXPECT_EQ(SP_StartLive2(101, 1), 0);
    EXPECT_FALSE(ServerVersion().empty());
    EXPECT_EQ(record->id, 102);
    EXPECT_STREQ(record->title, "中文直播 😀");
}

TEST_F(PortalActivityList, MissingOrNullActivitiesIsAnEmptyList) {
    ASSERT_TRUE(portal.SetResult("ActivityList", R"({"total":0})"));
    const ActivityList* list = SP_GetActivityList(fake_portal::kAnchorUser);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->count, 0);
    ASSERT_TRUE(portal.SetResult("ActivityList", R"({"activities":null})"));
    list = SP_GetActivityList(fake_portal::kAnchorUser);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->count, 0);
    EXPECT_EQ(list->items, nullptr);
}

TEST_F(PortalActivityList, FailedCallEmptiesTheListAndExplains) {
    const ActivityList* list = SP_GetActivityList(fake_portal::kAnchorUser);
    ASSERT_NE(list, nullptr);
    ASSERT_TRUE(portal.SetMode(R"("mode":"fault")"));
    EXPECT_EQ(SP_GetActivityList(fake_portal::kAnchorUser), nullptr);
    EXPECT_EQ(ErrorMsg(), "调用web service接口发生异常");
    EXPECT_EQ(list->count, 0) << "the list is emptied before the call";
}

TEST_F(PortalActivityList, ResultThatIsNotJsonGivesTheJsonMessage) {
    ASSERT_TRUE(portal.SetResult("ActivityList", R"({"activities":[{"id":1,)"));
    EXPECT_EQ(SP_GetActivityList(fake_portal::kAnchorUser), nullptr);
    EXPECT_EQ(ErrorMsg(), "Json数据解析失败");
}

TEST_F(PortalPrepare, FillsTheLiveInfo) {
    const LiveInfo* info = SP_Prepare(101);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->isRtmp, 1);
    EXPECT_STREQ(info->server, "127.0.0.1");
    EXPECT_EQ(info->port, 1935);
    EXPECT_EQ(info->tube, 101);
    EXPECT_EQ(info->liveId, 1011);
    EXPECT_STREQ(info->title, "Morning news");
    EXPECT_EQ(ErrorMsg(), "Prepare成功");
}

TEST_F(PortalPrepare, NullLiveIdAndTitleGiveMinusOneAndEmpty) {
    ASSERT_TRUE(
        portal.SetResult("Prepare", R"({"succeed":true,"server":"s","port":1,"tube":2,"liveId":null,"title":null})"));
    const LiveInfo* info = SP_Prepare(5);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->liveId, -1);
    EXPECT_STREQ(info->title, "");
    ASSERT_TRUE(portal.SetResult("Prepare", R"({"succeed":true})"));
    info = SP_Prepare(5);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->liveId, -1) << "absent";
    EXPECT_STREQ(info->server, "");
}

TEST_F(PortalPrepare, RefusalCarriesTheServicesMessage) {
    EXPECT_EQ(SP_Prepare(999), nullptr);
    EXPECT_EQ(ErrorMsg(), "活动不存在");
}

TEST_F(PortalPrepare, RefusalWithoutMessageIsUnknownReason) {
    ASSERT_TRUE(portal.SetResult("Prepare", R"({"succeed":false})"));
    EXPECT_EQ(SP_Prepare(1), nullptr);
    EXPECT_EQ(ErrorMsg(), "未知原因");
    ASSERT_TRUE(portal.SetResult("Prepare", R"({"succeed":false,"msg":null})"));
    EXPECT_EQ(SP_Prepare(1), nullptr);
    EXPECT_EQ(ErrorMsg(), "未知原因");
}

TEST_F(PortalPrepare, SucceedIsTrueInAnyLetterCaseAndNothingElse) {
    ASSERT_TRUE(portal.SetResult("Prepare", R"({"succeed":"TRUE","server":"a"})"));
    EXPECT_NE(SP_Prepare(1), nullptr);
    ASSERT_TRUE(portal.SetResult("Prepare", R"({"succeed":"yes","server":"b","msg":"no"})"));
    EXPECT_EQ(SP_Prepare(1), nullptr);
    EXPECT_EQ(ErrorMsg(), "no");
    ASSERT_TRUE(portal.SetResult("Prepare", R"({"succeed":1,"server":"c"})"));
    EXPECT_EQ(SP_Prepare(1), nullptr);
}

TEST_F(PortalPrepare, RtmpIsRecognisedInAnyCaseAndStaysSet) {
    ASSERT_TRUE(portal.SetResult("Prepare", R"({"succeed":true,"protocol":"RtMp"})"));
    const LiveInfo* info = SP_Prepare(1);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->isRtmp, 1);
    ASSERT_TRUE(portal.SetResult("Prepare", R"({"succeed":true,"protocol":"hls"})"));
    ASSERT_NE(SP_Prepare(1), nullptr);
    EXPECT_EQ(info->isRtmp, 1);
}

TEST_F(PortalPrepare, Prepare2FillsTheRecordingFields) {
    const LiveInfo* info = SP_Prepare2(101, fake_portal::kAnchorUser, 1);
    ASSERT_NE(info, nullptr);
    EXPECT_STREQ(info->rtmpURL, "rtmp://127.0.0.1:1935/live/101");
    EXPECT_TRUE(info->canRecord);
    EXPECT_EQ(info->storageUsed, 123456789);
    EXPECT_EQ(ErrorMsg(), "Prepare2成功");
    EXPECT_EQ(SP_Prepare(102), info) << "both prepares fill the same live info";
}

TEST_F(PortalPrepare, RefusedRecordingStillGivesTheLiveInfoWithTheServicesReason) {
    const LiveInfo* info = SP_Prepare2(201, fake_portal::kGuestUser, 1);
    ASSERT_NE(info, nullptr);
    EXPECT_FALSE(info->canRecord);
    EXPECT_EQ(info->tube, 201);
    EXPECT_EQ(ErrorMsg(), "当前账号不允许云端录制");
}

TEST_F(PortalPrepare, AbsentRecordingFieldsKeepTheirEarlierValues) {
    ASSERT_NE(SP_Prepare2(101, fake_portal::kAnchorUser, 1), nullptr);
    ASSERT_TRUE(portal.SetResult("Prepare2", R"({"succeed":true,"server":"x","port":2,"tube":3})"));
    const LiveInfo* info = SP_Prepare2(101, fake_portal::kAnchorUser, 1);
    ASSERT_NE(info, nullptr);
    EXPECT_TRUE(info->canRecord);
    EXPECT_EQ(info->storageUsed, 123456789);
    EXPECT_STREQ(info->rtmpURL, "") << "rtmpURL is not kept: absent means empty";
    EXPECT_EQ(ErrorMsg(), "Prepare2成功");
}

TEST_F(PortalPrepare, PrepareLeavesThePrepare2FieldsAlone) {
    ASSERT_NE(SP_Prepare2(101, fake_portal::kAnchorUser, 1), nullptr);
    const LiveInfo* info = SP_Prepare(102);
    ASSERT_NE(info, nullptr);
    EXPECT_STREQ(info->rtmpURL, "rtmp://127.0.0.1:1935/live/101");
    EXPECT_TRUE(info->canRecord);
    EXPECT_EQ(info->storageUsed, 123456789);
    EXPECT_EQ(info->tube, 102);
}

TEST_F(PortalPrepare, FailedCallsExplainWhichPrepareFailed) {
    ASSERT_TRUE(portal.SetMode(R"("mode":"close")"));
    EXPECT_EQ(SP_Prepare(101), nullptr);
    EXPECT_EQ(ErrorMsg(), "调用服务器Prepare接口异常");
    EXPECT_EQ(SP_Prepare2(101, "u", 0), nullptr);
    EXPECT_EQ(ErrorMsg(), "调用服务器Prepare2接口异常");
}

TEST_F(PortalLive, StartAndStopReachTheService) {
    EXPECT_EQ(SP_StartLive2(101, 1), 0);
    EXPECT_EQ(portal.LiveState("101"), "started");
    EXPECT_EQ(SP_StopLive(101), 0);
    EXPECT_EQ(portal.LiveState("101"), "stopped");
    EXPECT_EQ(SP_StartLive(102), 0);
    EXPECT_EQ(portal.LiveState("102"), "started");
}

TEST_F(PortalLive, LiveCallsIgnoreTheirResultAndTheMessage) {
    LogOnAnchor();
    ASSERT_TRUE(portal.SetResult("StartLive", "not json at all"));
    EXPECT_EQ(SP_StartLive(101), 0);
    EXPECT_EQ(SP_RedexSetLiveInfo(101, "t", "a", "d"), 0);
    EXPECT_EQ(ErrorMsg(), kAnchorGreeting);
}

TEST_F(PortalStrings, EveryCallHandsOutItsOwnCopy) {
    LogOnAnchor();
    char* first = SP_GetErrorMsg();
    char* second = SP_GetErrorMsg();
    ASSERT_NE(first, second);
    SP_FreeString(first);
    EXPECT_STREQ(second, kAnchorGreeting);
    SP_FreeString(second);
    SP_FreeString(nullptr);
}

TEST_F(PortalStrings, CopiesOutliveLaterCalls) {
    LogOnAnchor();
    char* portrait = SP_GetPortrait();
    char* message = SP_GetErrorMsg();
    EXPECT_EQ(SP_Logon(fake_portal::kGuestUser, fake_portal::kGuestPasswordDigest, nullptr, nullptr), 0);
    EXPECT_STREQ(portrait, "http://127.0.0.1/portraits/anchor01.png");
    EXPECT_STREQ(message, kAnchorGreeting);
    SP_FreeString(portrait);
    SP_FreeString(message);
}

// Without a service context (it could not be created when the library was loaded) every export answers its
// "not ready" value. The library decides that at load time, so the check runs in a fresh process.
TEST(PortalNotReady, ExportsAnswerTheirNotReadyValues) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    setenv("PORTALLINK_TEST_NO_CONTEXT", "1", 1);
    EXPECT_EXIT(
        {
            int failures = 0;
            auto check = [&failures](bool ok, const char* what) {
                if (!ok) {
                    std::fprintf(stderr, "not-ready check failed: %s\n", what);
                    ++failures;
                }
            };
            SP_InitWebService("http://127.0.0.1:1/");
            int64_t maxStorage = 7;
            int32_t duration = 7;
            check(SP_Logon("u", "p", &maxStorage, &duration) == -9, "SP_Logon");
            check(maxStorage == 7 && duration == 7, "limits untouched");
            char* version = SP_GetServerVersion();
            char* message = SP_GetErrorMsg();
            char* portrait = SP_GetPortrait();
            check(version && *version == '\0', "SP_GetServerVersion");
            check(message && *message == '\0', "SP_GetErrorMsg");
            check(portrait && *portrait == '\0', "SP_GetPortrait");
            SP_FreeString(version);  // the static empty string: releasing it must be harmless
            SP_FreeString(message);
            SP_FreeString(portrait);
            check(SP_GetActivityList("u") == nullptr, "SP_GetActivityList");
            check(SP_Prepare(1) == nullptr, "SP_Prepare");
            check(SP_Prepare2(1, "u", 1) == nullptr, "SP_Prepare2");
            check(SP_StartLive(1) == 1, "SP_StartLive");
            check(SP_StartLive2(1, 1) == 1, "SP_StartLive2");
            check(SP_StopLive(1) == 1, "SP_StopLive");
            check(SP_RedexSetLiveInfo(1, "t", "a", "d") == 1, "SP_RedexSetLiveInfo");
            check(InitWebService() == 0, "InitWebService");
            std::exit(failures == 0 ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    unsetenv("PORTALLINK_TEST_NO_CONTEXT");
}
