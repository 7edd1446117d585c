// The conversions applied to the JSON inside the service's results: numbers written as text, fractions,
// values out of range, wrong types. The fake service answers each operation with the JSON of the test.
#include <string>

#include "tests/portallink/portal_test_support.h"

namespace {

class PortalJson : public PortalTest {
protected:
    const LiveInfo* PrepareWith(const std::string& json) {
        EXPECT_TRUE(portal.SetResult("Prepare", json));
        return SP_Prepare(1);
    }
    const LiveInfo* Prepare2With(const std::string& json, int recordingWanted = 1) {
        EXPECT_TRUE(portal.SetResult("Prepare2", json));
        return SP_Prepare2(1, "u", recordingWanted);
    }
    int32_t LogonWith(const std::string& json, int64_t* maxStorage = nullptr, int32_t* duration = nullptr) {
        EXPECT_TRUE(portal.SetResult("Logon", json));
        return SP_Logon("u", "p", maxStorage, duration);
    }
    const ActivityList* ListWith(const std::string& json) {
        EXPECT_TRUE(portal.SetResult("ActivityList", json));
        return SP_GetActivityList("u");
    }
};

}  // namespace

TEST_F(PortalJson, IntegersWrittenAsTextAreRead) {
    const LiveInfo* info = PrepareWith(R"({"succeed":true,"port":"1936","tube":" 12abc","liveId":"-5"})");
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->port, 1936);
    EXPECT_EQ(info->tube, 12) << "leading digits only";
    EXPECT_EQ(info->liveId, -5);
}

TEST_F(PortalJson, TextWithoutDigitsAndNullReadAsZero) {
    const LiveInfo* info = PrepareWith(R"({"succeed":true,"port":"abc","tube":null})");
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->port, 0);
    EXPECT_EQ(info->tube, 0);
}

TEST_F(PortalJson, FractionsAreCutTowardsZero) {
    const LiveInfo* info = PrepareWith(R"({"succeed":true,"port":1935.9,"tube":-2.7,"liveId":3e2})");
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->port, 1935);
    EXPECT_EQ(info->tube, -2);
    EXPECT_EQ(info->liveId, 300);
}

TEST_F(PortalJson, NumbersBeyondTheFieldRefuseTheAnswerAndKeepTheLiveInfo) {
    const LiveInfo* info = PrepareWith(R"({"succeed":true,"server":"kept","port":1935,"tube":7})");
    ASSERT_NE(info, nullptr);
    for (const char* json : {R"({"succeed":true,"server":"new","port":5000000000})",
                             R"({"succeed":true,"server":"new","tube":"99999999999"})",
                             R"({"succeed":true,"server":"new","liveId":-2147483649})",
                             R"({"succeed":true,"server":"new","port":1e300})"}) {
        EXPECT_EQ(PrepareWith(json), nullptr) << json;
        EXPECT_EQ(ErrorMsg(), "Json数据解析失败") << json;
        EXPECT_STREQ(info->server, "kept") << json;
        EXPECT_EQ(info->port, 1935) << json;
        EXPECT_EQ(info->tube, 7) << json;
    }
}

TEST_F(PortalJson, LimitsOfEachFieldAreAccepted) {
    const LiveInfo* info = Prepare2With(
        R"({"succeed":true,"port":2147483647,"tube":"-2147483648","storageUsed":"-9223372036854775808","canRecord":1})");
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->port, 2147483647);
    EXPECT_EQ(info->tube, -2147483647 - 1);
    EXPECT_EQ(info->storageUsed, INT64_MIN);
    int64_t maxStorage = 0;
    int32_t duration = 0;
    EXPECT_EQ(LogonWith(R"({"code":0,"maxStorage":"5000000000","duration":"3600"})", &maxStorage, &duration), 0);
    EXPECT_EQ(maxStorage, 5000000000LL);
    EXPECT_EQ(duration, 3600);
    EXPECT_EQ(LogonWith(R"({"code":0,"maxStorage":9223372036854775808})", &maxStorage, &duration), -11);
}

TEST_F(PortalJson, ObjectsAndArraysWhereValuesBelongRefuseTheAnswer) {
    EXPECT_EQ(LogonWith(R"({"code":[0]})"), -11);
    EXPECT_EQ(LogonWith(R"({"code":0,"portrait":{"url":"x"}})"), -11);
    EXPECT_EQ(PrepareWith(R"({"succeed":true,"title":{"zh":"x"}})"), nullptr);
    EXPECT_EQ(PrepareWith(R"({"succeed":{}})"), nullptr);
    EXPECT_EQ(ListWith(R"({"activities":[{"id":{},"title":"x"}]})"), nullptr);
    EXPECT_EQ(ListWith(R"({"activities":[1,2,3]})"), nullptr);
    EXPECT_EQ(ListWith(R"({"activities":{"id":1}})"), nullptr);
    EXPECT_EQ(ErrorMsg(), "Json数据解析失败");
}

TEST_F(PortalJson, RootThatIsNotAnObjectRefusesTheAnswer) {
    for (const char* json : {"[1,2]", "42", "\"text\"", "null", "true"}) {
        EXPECT_EQ(LogonWith(json), -11) << json;
        EXPECT_EQ(ListWith(json), nullptr) << json;
        EXPECT_EQ(PrepareWith(json), nullptr) << json;
        EXPECT_EQ(ErrorMsg(), "Json数据解析失败") << json;
    }
}

TEST_F(PortalJson, ScalarsWhereTextBelongsAreTakenAsText) {
    const LiveInfo* info = PrepareWith(R"({"succeed":true,"title":42,"server":true})");
    ASSERT_NE(info, nullptr);
    EXPECT_STREQ(info->title, "42");
    EXPECT_STREQ(info->server, "true");
}

TEST_F(PortalJson, BooleanFlagsCountAsTheirTruth) {
    const ActivityList* list = ListWith(R"({"activities":[{"id":1,"cloudRecord":true},{"id":2,"cloudRecord":false},
                                        {"id":3,"cloudRecord":"1"},{"id":4,"cloudRecord":0}]})");
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->count, 4);
    EXPECT_TRUE(list->items[0]->cloudRecord);
    EXPECT_FALSE(list->items[1]->cloudRecord);
    EXPECT_TRUE(list->items[2]->cloudRecord);
    EXPECT_FALSE(list->items[3]->cloudRecord);
}

TEST_F(PortalJson, CommentsAreAllowed) {
    EXPECT_EQ(LogonWith("/* maintenance banner */ {\"code\": 0, // greeting\n \"msg\": \"hi\"}"), 0);
    EXPECT_EQ(ErrorMsg(), "hi");
}

TEST_F(PortalJson, StorageUsedHoldingNullIsPresentAndReadsAsZero) {
    ASSERT_NE(Prepare2With(R"({"succeed":true,"storageUsed":55,"canRecord":1})"), nullptr);
    const LiveInfo* info = Prepare2With(R"({"succeed":true,"storageUsed":null})");
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->storageUsed, 0);
    EXPECT_TRUE(info->canRecord) << "absent canRecord is kept";
}

TEST_F(PortalJson, CanRecordDifferingFromTheWishGivesTheServicesMessage) {
    const LiveInfo* info = Prepare2With(R"({"succeed":true,"canRecord":"0","message":"quota used up"})", 1);
    ASSERT_NE(info, nullptr);
    EXPECT_FALSE(info->canRecord);
    EXPECT_EQ(ErrorMsg(), "quota used up");
    ASSERT_NE(Prepare2With(R"({"succeed":true,"canRecord":0,"message":"unused"})", 0), nullptr);
    EXPECT_EQ(ErrorMsg(), "Prepare2成功");
}

TEST_F(PortalJson, DeeplyNestedJsonIsRefused) {
    std::string deep = "{\"code\":0,\"x\":";
    for (int i = 0; i < 100000; ++i) deep += '[';
    EXPECT_EQ(LogonWith(deep), -11);
    EXPECT_EQ(ErrorMsg(), "Json数据解析失败");
}

TEST_F(PortalJson, TextAfterTheDocumentIsIgnored) { EXPECT_EQ(LogonWith(R"({"code":-1} trailing words)"), -1); }

TEST_F(PortalJson, EmbeddedNulInTextDoesNotCrash) {
    EXPECT_EQ(LogonWith(R"({"code":0,"msg":"be\u0000fore"})"), 0);
    EXPECT_EQ(ErrorMsg(), "be");
}
