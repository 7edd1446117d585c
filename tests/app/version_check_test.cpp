#include "app/version_check.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "tools/fake_portal/fake_portal_server.h"

namespace {

TEST(VersionComparison, ComparesNumberByNumberWithTheOldRulesQuirksIncluded) {
    EXPECT_FALSE(IsServerVersionNewer("1.2.10", "1.2.9"));
    EXPECT_TRUE(IsServerVersionNewer("1.2.10", "1.3.0"));
    EXPECT_TRUE(IsServerVersionNewer("1.2.10", "1.2.11"));
    EXPECT_TRUE(IsServerVersionNewer("9", "10"));
    EXPECT_FALSE(IsServerVersionNewer("1.2.10", "1.2.10"));
    // Anything but digits and dots on either side means no update.
    EXPECT_FALSE(IsServerVersionNewer("1.2.10", "1.2.10b"));
    EXPECT_FALSE(IsServerVersionNewer("v1.0", "2.0"));
    EXPECT_FALSE(IsServerVersionNewer("1.0", "2.0 "));
    EXPECT_FALSE(IsServerVersionNewer("", "1.0"));
    EXPECT_FALSE(IsServerVersionNewer("1.0", ""));
    // Once one side runs out of dots only the next number counts.
    EXPECT_FALSE(IsServerVersionNewer("1.0.3", "1.0.3.1"));
    EXPECT_TRUE(IsServerVersionNewer("1.0.3", "1.0.4.1"));
    EXPECT_FALSE(IsServerVersionNewer("1.02", "1.1"));
    // Numbers past any integer type neither crash nor wrap: 2^32 would wrap to 0, 2^31 would saturate.
    EXPECT_FALSE(IsServerVersionNewer("4294967296.0", "1.0"));
    EXPECT_TRUE(IsServerVersionNewer("2147483647.0", "2147483648.0"));
    EXPECT_TRUE(IsServerVersionNewer("1.99999999999999999999999", "1.100000000000000000000000"));
    EXPECT_FALSE(IsServerVersionNewer("1.000000000000000000000000000002", "1.1"));

    // The program's own version must be one the rule can read, or no update would ever be offered.
    const std::string own = ProgramVersion();
    ASSERT_FALSE(own.empty());
    EXPECT_EQ(own.find_first_not_of("0123456789."), std::string::npos) << own;
    EXPECT_TRUE(IsServerVersionNewer(own, "999999." + own));
    EXPECT_EQ(GetFileVersionString("FileVersion"), own);
    EXPECT_EQ(GetFileVersionString("CompanyName"), "");
}

class VersionService : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("no_proxy", "127.0.0.1,localhost", 1);
        ASSERT_TRUE(portal_.Start());
        service_ = "http://127.0.0.1:" + std::to_string(portal_.Port());
    }
    void TearDown() override { portal_.Stop(); }

    std::string Fetch(std::chrono::milliseconds overall = std::chrono::seconds(15)) {
        return FetchServerVersion(service_, overall);
    }

    CFakePortal portal_;
    std::string service_;
};

TEST_F(VersionService, NamesItsVersionForTheClientQuery) {
    EXPECT_EQ(FetchServerVersion(""), "");
    EXPECT_EQ(portal_.RequestCount(), 0);

    ASSERT_TRUE(portal_.SetVersionAnswer(R"("version":"2.5.1")"));
    EXPECT_EQ(Fetch(), "2.5.1");
    EXPECT_EQ(FetchServerVersion(service_ + "/"), "2.5.1");
    const std::vector<std::string> requests = portal_.Requests();
    ASSERT_EQ(requests.size(), 2u);
    for (const std::string& request : requests) {
        EXPECT_EQ(request.substr(0, request.find("\r\n")), "GET /pages/version/getVersion.jsp?type=st_client HTTP/1.1");
    }

    // The answer is refused from 102,400 bytes on; one byte less still counts.
    ASSERT_TRUE(portal_.SetVersionAnswer(R"("version":"2.6","size":102399)"));
    EXPECT_EQ(Fetch(), "2.6");
    ASSERT_TRUE(portal_.SetVersionAnswer(R"("version":"2.6","size":102400)"));
    EXPECT_EQ(Fetch(), "");
}

TEST_F(VersionService, EveryFailureGivesAnEmptyVersion) {
    for (const char* answer :
         {R"("status":404)", R"("status":302)", R"("body":"version=2.0")", R"("body":"{\"version\": 2}")",
          R"("body":"[\"version\", \"2.0\"]")", R"("body":"{\"other\": \"2.0\"}")", R"("body":"")"}) {
        ASSERT_TRUE(portal_.SetVersionAnswer(answer));
        EXPECT_EQ(Fetch(), "") << answer;
    }
    // Nested deeper than the JSON reader allows: refused, not thrown.
    ASSERT_TRUE(portal_.SetVersionAnswer("\"body\":\"" + std::string(5000, '[') + "\""));
    EXPECT_EQ(Fetch(), "");

    // A port where nobody listens (bound, never listening, so no one else can take it meanwhile).
    const int holder = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    socklen_t length = sizeof(address);
    getsockname(holder, reinterpret_cast<sockaddr*>(&address), &length);
    EXPECT_EQ(FetchServerVersion("http://127.0.0.1:" + std::to_string(ntohs(address.sin_port))), "");
    close(holder);
    EXPECT_EQ(FetchServerVersion("file:///etc"), "");
}

TEST_F(VersionService, ASlowAnswerCountsOnlyWithinTheOverallTimeOut) {
    // Twenty bytes, one every 15 ms.
    ASSERT_TRUE(portal_.SetVersionAnswer(R"("version":"3.0.0","drip_ms":15)"));
    EXPECT_EQ(Fetch(), "3.0.0");
    ASSERT_TRUE(portal_.SetVersionAnswer(R"("version":"3.0.0","delay_ms":4000)"));
    EXPECT_EQ(Fetch(std::chrono::milliseconds(300)), "");
}

}  // namespace
