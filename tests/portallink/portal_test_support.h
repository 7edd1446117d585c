// Shared by the PortalLink tests: a fixture that runs the fake broadcaster service on a free port and points
// the library at it, and helpers that read what went over the wire. The tests reach the library only
// through its exported functions, as the program does.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "portallink/portallink.h"
#include "tools/fake_portal/fake_portal_server.h"

// Copies a string returned by the library and releases it with the library's own release function.
inline std::string TakeString(char* text) {
    std::string out = text ? text : "";
    SP_FreeString(text);
    return out;
}

inline std::string ErrorMsg() { return TakeString(SP_GetErrorMsg()); }
inline std::string Portrait() { return TakeString(SP_GetPortrait()); }
inline std::string ServerVersion() { return TakeString(SP_GetServerVersion()); }

// The body of a raw HTTP request (after the empty line).
inline std::string BodyOf(const std::string& request) {
    const size_t end = request.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : request.substr(end + 4);
}

// The request line and headers of a raw HTTP request, up to and including the empty line.
inline std::string HeadOf(const std::string& request) {
    const size_t end = request.find("\r\n\r\n");
    return end == std::string::npos ? request : request.substr(0, end + 4);
}

// The text between <name> and </name> in a request body, or "<absent>".
inline std::string ParamOf(const std::string& request, const std::string& name) {
    const std::string body = BodyOf(request);
    const std::string open = "<" + name + ">";
    const size_t begin = body.find(open);
    const size_t end = body.find("</" + name + ">");
    if (begin == std::string::npos || end == std::string::npos || end < begin) return "<absent>";
    return body.substr(begin + open.size(), end - begin - open.size());
}

// Shortens the library's socket time-out for the current test, so that time-out cases take milliseconds.
class ScopedSocketTimeout {
public:
    explicit ScopedSocketTimeout(int ms) { setenv("PORTALLINK_TEST_TIMEOUT_MS", std::to_string(ms).c_str(), 1); }
    ~ScopedSocketTimeout() { unsetenv("PORTALLINK_TEST_TIMEOUT_MS"); }
};

class PortalTest : public ::testing::Test {
protected:
    void SetUp() override {
        unsetenv("PORTALLINK_TEST_TIMEOUT_MS");
        ASSERT_TRUE(portal.Start()) << "the fake service did not start";
        SP_InitWebService(portal.Address().c_str());
    }
    void TearDown() override { portal.Stop(); }

    std::string LastRequest() {
        const std::vector<std::string> all = portal.Requests();
        return all.empty() ? std::string() : all.back();
    }

    // Logs on as the default fixture's anchor account; the message becomes the account's greeting.
    void LogOnAnchor() {
        int64_t maxStorage = 0;
        int32_t duration = 0;
        ASSERT_EQ(SP_Logon(fake_portal::kAnchorUser, fake_portal::kAnchorPasswordDigest, &maxStorage, &duration), 0);
    }

    CFakePortal portal;
};

inline constexpr const char* kAnchorGreeting = "欢迎回来，anchor01";
