// How answers are received: bodies delimited three ways, redirects, statuses other than 200, refused and
// slow connections. The fake service delivers each answer the way the test asks.
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <string>

#include "tests/portallink/portal_test_support.h"

namespace {

// A port on 127.0.0.1 that nobody listens on.
int ClosedPort() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = 0;
    bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr));
    socklen_t len = sizeof(addr);
    getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
    close(s);
    return ntohs(addr.sin_port);
}

using PortalTransport = PortalTest;

}  // namespace

TEST_F(PortalTransport, ChunkedAnswerWithExtensionAndTrailerIsReassembled) {
    ASSERT_TRUE(portal.SetMode(R"("mode":"chunked","chunk":5,"trailer":true)"));
    EXPECT_EQ(ServerVersion(), "V3.1.4-FAKE");
}

TEST_F(PortalTransport, AnswerDelimitedByClosingTheConnectionIsRead) {
    ASSERT_TRUE(portal.SetMode(R"("mode":"eof")"));
    const ActivityList* list = SP_GetActivityList(fake_portal::kAnchorUser);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->count, 3);
}

TEST_F(PortalTransport, RedirectIsFollowedWithTheSameRequest) {
    for (int status : {301, 302, 303, 307, 308}) {
        ASSERT_TRUE(portal.Reset());
        ASSERT_TRUE(portal.SetMode(R"("mode":"redirect","hops":1,"status":)" + std::to_string(status)));
        EXPECT_EQ(ServerVersion(), "V3.1.4-FAKE") << status;
        const std::vector<std::string> requests = portal.Requests();
        ASSERT_EQ(requests.size(), 2u) << status;
        EXPECT_EQ(requests[1].rfind("POST /moved/services/BrevacastPlusService?wsdl HTTP/1.1\r\n", 0), 0u);
        EXPECT_NE(HeadOf(requests[1]).find("\r\nHost: 127.0.0.1\r\n"), std::string::npos);
        EXPECT_EQ(BodyOf(requests[1]), BodyOf(requests[0]));
    }
}

TEST_F(PortalTransport, AbsoluteRedirectsAreFollowedHopByHop) {
    ASSERT_TRUE(portal.SetMode(R"("mode":"redirect","hops":3,"absolute":true)"));
    LogOnAnchor();
    const std::vector<std::string> requests = portal.Requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[3].rfind("POST /moved/moved/moved/services/BrevacastPlusService?wsdl HTTP/1.1\r\n", 0), 0u);
}

TEST_F(PortalTransport, EndlessRedirectsEndInAFailure) {
    ASSERT_TRUE(portal.SetMode(R"("mode":"redirect_loop")"));
    EXPECT_EQ(SP_StartLive(101), SP_STATUS_SERVER_ERROR);
    EXPECT_EQ(portal.RequestCount(), 6) << "one request and five redirects";
}

TEST_F(PortalTransport, Answer202GivesAnEmptyResultThatIsNotJson) {
    ASSERT_TRUE(portal.SetMode(R"("mode":"status","status":202,"reason":"Accepted")"));
    int64_t maxStorage = -1;
    int32_t duration = -1;
    EXPECT_EQ(SP_Logon(fake_portal::kAnchorUser, fake_portal::kAnchorPasswordDigest, &maxStorage, &duration),
              SP_LOGON_BAD_ANSWER);
    EXPECT_EQ(ErrorMsg(), "Json数据解析失败");
    EXPECT_EQ(maxStorage, -1);
    EXPECT_EQ(SP_Prepare(101), nullptr);
    EXPECT_EQ(ErrorMsg(), "Json数据解析失败");
    EXPECT_EQ(SP_StartLive(101), 0) << "the start does not read the result";
}

TEST_F(PortalTransport, FaultIsAFailedCallForEveryExport) {
    ASSERT_TRUE(portal.SetMode(R"("mode":"fault","faultstring":"database down")"));
    EXPECT_EQ(SP_Logon(fake_portal::kAnchorUser, fake_portal::kAnchorPasswordDigest, nullptr, nullptr),
              SP_LOGON_CALL_FAILED);
    EXPECT_EQ(ErrorMsg(), "调用Web Service失败");
    EXPECT_EQ(SP_GetActivityList(fake_portal::kAnchorUser), nullptr);
    EXPECT_EQ(ErrorMsg(), "调用web service接口发生异常");
    EXPECT_EQ(SP_Prepare(101), nullptr);
    EXPECT_EQ(ErrorMsg(), "调用服务器Prepare接口异常");
    EXPECT_EQ(SP_Prepare2(101, fake_portal::kAnchorUser, 1), nullptr);
    EXPECT_EQ(ErrorMsg(), "调用服务器Prepare2接口异常");
    EXPECT_EQ(ServerVersion(), "");
    EXPECT_EQ(SP_StartLive(101), SP_STATUS_SOAP_FAULT);
    EXPECT_EQ(SP_StartLive2(101, 0), SP_STATUS_SOAP_FAULT);
    EXPECT_EQ(SP_StopLive(101), SP_STATUS_SOAP_FAULT);
    EXPECT_EQ(SP_RedexSetLiveInfo(101, "t", "a", "d"), SP_STATUS_SOAP_FAULT);
    EXPECT_EQ(ErrorMsg(), "调用服务器Prepare2接口异常") << "the live calls leave the message alone";
}

TEST_F(PortalTransport, OtherStatusesAreServerErrors) {
    for (int status : {201, 204, 400, 401, 404, 503}) {
        ASSERT_TRUE(portal.SetMode(R"("mode":"status","status":)" + std::to_string(status)));
        EXPECT_EQ(SP_StartLive(101), SP_STATUS_SERVER_ERROR) << status;
    }
    ASSERT_TRUE(portal.SetMode(R"("mode":"status","status":302)"));
    EXPECT_EQ(SP_StartLive(101), SP_STATUS_SERVER_ERROR) << "a redirect without a Location";
}

TEST_F(PortalTransport, ConnectionRefusedFailsWithoutWaitingForTheTimeOut) {
    // With a two-minute time-out, only a call that gives up at once finishes within the deadline below.
    ScopedSocketTimeout timeout(120000);
    SP_InitWebService(("http://127.0.0.1:" + std::to_string(ClosedPort()) + "/").c_str());
    auto call = std::async(std::launch::async, [] {
        return SP_Logon(fake_portal::kAnchorUser, fake_portal::kAnchorPasswordDigest, nullptr, nullptr);
    });
    ASSERT_EQ(call.wait_for(std::chrono::seconds(20)), std::future_status::ready);
    EXPECT_EQ(call.get(), SP_LOGON_CALL_FAILED);
    EXPECT_EQ(ErrorMsg(), "调用Web Service失败");
}

TEST_F(PortalTransport, SlowAnswerPastTheTimeOutFails) {
    ScopedSocketTimeout timeout(300);
    ASSERT_TRUE(portal.SetMode(R"("mode":"slow","delay_ms":3000)"));
    // A valid answer arrives after three seconds: only a respected time-out turns it into a failure.
    EXPECT_EQ(SP_Logon(fake_portal::kAnchorUser, fake_portal::kAnchorPasswordDigest, nullptr, nullptr),
              SP_LOGON_CALL_FAILED);
    EXPECT_EQ(ErrorMsg(), "调用Web Service失败");
}

TEST_F(PortalTransport, AnswerWithinTheTimeOutIsTaken) {
    ScopedSocketTimeout timeout(5000);
    ASSERT_TRUE(portal.SetMode(R"("mode":"slow","delay_ms":200)"));
    EXPECT_EQ(ServerVersion(), "V3.1.4-FAKE");
}

// The one test that waits for the real default of ten seconds.
TEST_F(PortalTransport, DefaultTimeOutIsTenSeconds) {
    ASSERT_TRUE(portal.SetMode(R"("mode":"slow","delay_ms":12000)"));
    EXPECT_EQ(SP_StartLive(101), SP_STATUS_SEND_FAILED);
}

TEST_F(PortalTransport, DrippingAnswerIsCutOff) {
    // One byte every 50 ms never trips a 200 ms wait, but the exchange as a whole has a limit.
    ScopedSocketTimeout timeout(200);
    ASSERT_TRUE(portal.SetMode(R"("mode":"drip","interval_ms":50)"));
    auto call = std::async(std::launch::async, [] { return SP_StartLive(101); });
    ASSERT_EQ(call.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_EQ(call.get(), SP_STATUS_READ_FAILED);
}

TEST_F(PortalTransport, ClosedConnectionIsAFailedSend) {
    ASSERT_TRUE(portal.SetMode(R"("mode":"close")"));
    EXPECT_EQ(SP_StartLive(101), SP_STATUS_SEND_FAILED);
    EXPECT_EQ(SP_Logon(fake_portal::kAnchorUser, fake_portal::kAnchorPasswordDigest, nullptr, nullptr),
              SP_LOGON_CALL_FAILED);
}

TEST_F(PortalTransport, AnswerThatIsNotHttpIsAFailedSend) {
    ASSERT_TRUE(portal.SetMode(R"("mode":"garbage")"));
    EXPECT_EQ(SP_StartLive(101), SP_STATUS_SEND_FAILED);
}

TEST_F(PortalTransport, BodyShorterThanAnnouncedIsAFailedRead) {
    ASSERT_TRUE(portal.SetMode(R"("mode":"body","body":"<soapenv:Envelope","length":500)"));
    EXPECT_EQ(SP_StartLive(101), SP_STATUS_READ_FAILED);
}

TEST_F(PortalTransport, EnormousBodyIsRefused) {
    ASSERT_TRUE(portal.SetMode(R"("mode":"huge","size":67108864)"));
    EXPECT_EQ(SP_StartLive(101), SP_STATUS_READ_FAILED);
    EXPECT_EQ(SP_Logon(fake_portal::kAnchorUser, fake_portal::kAnchorPasswordDigest, nullptr, nullptr),
              SP_LOGON_CALL_FAILED);
    ASSERT_TRUE(portal.SetMode(R"("mode":"normal")"));
    EXPECT_EQ(SP_StartLive(101), 0) << "the next call works again";
}
