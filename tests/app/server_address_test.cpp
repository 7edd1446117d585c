#include "app/server_address.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

TEST(ServerKindOfAddress, PortalAddressesAreRecognisedCaseSensitively) {
    EXPECT_EQ(ClassifyServerAddress("http://portal.brevacast.example/PortalService.asmx").kind, kServerPortal);
    EXPECT_EQ(ClassifyServerAddress("  https://portal.brevacast.example/PortalService.asmx\t").kind, kServerPortal);
    // Another spelling is no longer the portal, just another web service.
    EXPECT_EQ(ClassifyServerAddress("HTTP://portal.brevacast.example/PortalService.asmx").kind, kServerStream);
    // The portal's name inside a longer host name is someone else's server.
    EXPECT_EQ(ClassifyServerAddress("http://portal.brevacast.example.net/PortalService.asmx").kind, kServerStream);
}

TEST(ServerKindOfAddress, PortalAddressesCanBeGivenForATestService) {
    const ServerAddressInfo info =
        ClassifyServerAddress("http://127.0.0.1:18080/PortalService.asmx", {"http://127.0.0.1:18080/"});
    EXPECT_EQ(info.kind, kServerPortal);
    EXPECT_EQ(
        ClassifyServerAddress("http://portal.brevacast.example/PortalService.asmx", {"http://127.0.0.1:18080/"}).kind,
        kServerStream);
}

TEST(ServerKindOfAddress, HttpAndRtspAddressesAreStreamServersWithNothingStored) {
    for (const char* address : {"http://host/x", "http://192.168.1.20:8080/RMS/service", "rtsp://10.0.0.5:554/live/12",
                                "RTSP://media.example.org"}) {
        const ServerAddressInfo info = ClassifyServerAddress(address);
        EXPECT_EQ(info.kind, kServerStream) << address;
        EXPECT_EQ(info.publishToUrl, 0) << address;
        EXPECT_EQ(info.publishUrl, "") << address;
        EXPECT_EQ(info.host, "") << address;
        EXPECT_EQ(info.port, 0) << address;
        EXPECT_EQ(info.error, "") << address;
    }
}

TEST(ServerKindOfAddress, RtmpAddressIsPublishedToAsTyped) {
    const ServerAddressInfo info = ClassifyServerAddress("rtmp://host:1936/live/77");
    EXPECT_EQ(info.kind, kServerDirectRtmp);
    EXPECT_EQ(info.publishToUrl, 1);
    EXPECT_EQ(info.publishUrl, "rtmp://host:1936/live/77");
    EXPECT_EQ(info.host, "host");
    EXPECT_EQ(info.port, 1936);
    EXPECT_EQ(info.tube, 77);
}

TEST(ServerKindOfAddress, RtmpAddressIsTrimmedAndItsSchemeMayBeUpperCase) {
    const ServerAddressInfo info = ClassifyServerAddress(" \tRTMP://127.0.0.1/live/stream\r\n");
    EXPECT_EQ(info.kind, kServerDirectRtmp);
    EXPECT_EQ(info.publishUrl, "RTMP://127.0.0.1/live/stream");
    EXPECT_EQ(info.host, "127.0.0.1");
    EXPECT_EQ(info.port, 1935);
    EXPECT_EQ(info.tube, 428);
}

TEST(ServerKindOfAddress, EmptyAddressMeansOfflineWithoutComplaint) {
    for (const char* address : {"", "   ", "\t\r\n"}) {
        const ServerAddressInfo info = ClassifyServerAddress(address);
        EXPECT_EQ(info.kind, kServerNone);
        EXPECT_EQ(info.error, "");
        EXPECT_EQ(info.publishToUrl, 0);
    }
}

TEST(ServerKindOfAddress, UnusableAddressesAreNoneAndSayWhy) {
    for (const char* address : {"ftp://host", "host/live/77", "rtmp:/host/live", "https://other.example/x", "rtmp://",
                                "rtmp://:1935/live", "rtmp://host:99999/live/1", "rtmp://host:port/live"}) {
        const ServerAddressInfo info = ClassifyServerAddress(address);
        EXPECT_EQ(info.kind, kServerNone) << address;
        EXPECT_NE(info.error, "") << address;
        EXPECT_EQ(info.publishToUrl, 0) << address;
        EXPECT_EQ(info.publishUrl, "") << address;
    }
}

TEST(StreamAddressParts, DefaultsStandWhereTheAddressSaysNothing) {
    const StreamAddress rtsp = ParseStreamAddress("rtsp://host");
    ASSERT_TRUE(rtsp.ok) << rtsp.error;
    EXPECT_EQ(rtsp.protocol, "rtsp");
    EXPECT_EQ(rtsp.host, "host");
    EXPECT_EQ(rtsp.port, 554);
    EXPECT_EQ(rtsp.tube, 428);

    const StreamAddress rtmp = ParseStreamAddress("rtmp://host/live/77");
    ASSERT_TRUE(rtmp.ok) << rtmp.error;
    EXPECT_EQ(rtmp.port, 1935);
    EXPECT_EQ(rtmp.tube, 77);
    EXPECT_EQ(rtmp.streamName, "77");

    // Only the last path part can be a tube: a single part is the application, not a stream.
    EXPECT_EQ(ParseStreamAddress("rtmp://host/77").tube, 428);
}

TEST(StreamAddressParts, HttpIsNotTakenApart) {
    const StreamAddress http = ParseStreamAddress("HTTP://server.example:8080/RMS/5");
    ASSERT_TRUE(http.ok) << http.error;
    EXPECT_EQ(http.protocol, "http");
    EXPECT_EQ(http.host, "");
    EXPECT_EQ(http.port, 554);
    EXPECT_EQ(http.tube, 428);
}

TEST(StreamAddressParts, SchemeIsKeptAsWritten) {
    EXPECT_EQ(ParseStreamAddress("RtMp://h/a/1").protocol, "RtMp");
    EXPECT_EQ(ParseStreamAddress("RTSP://h").protocol, "RTSP");
}

TEST(StreamAddressParts, PortsFromOneTo65535AreTaken) {
    EXPECT_EQ(ParseStreamAddress("rtmp://host:1936").port, 1936);
    EXPECT_EQ(ParseStreamAddress("rtmp://host:1").port, 1);
    EXPECT_EQ(ParseStreamAddress("rtsp://host:65535/a/3").port, 65535);
    EXPECT_EQ(ParseStreamAddress("rtmp://host:01936/live/2").port, 1936);
    const StreamAddress with_tube = ParseStreamAddress("rtmp://h:1936/77");
    EXPECT_EQ(with_tube.port, 1936);
    EXPECT_EQ(with_tube.tube, 77);
}

TEST(StreamAddressParts, EmptyPortLeavesTheSchemePort) {
    EXPECT_EQ(ParseStreamAddress("rtmp://host:/live/5").port, 1935);
    EXPECT_EQ(ParseStreamAddress("rtsp://host:").port, 554);
}

TEST(StreamAddressParts, PortsThatAreNoPortAreRefused) {
    for (const char* address : {"rtmp://host:0/live", "rtmp://host:65536/live", "rtmp://host:-1/live",
                                "rtmp://host:+80/live", "rtmp://host:1936abc/live", "rtmp://host:abc",
                                "rtmp://host:99999999999999999999999999/live", "rtmp://host:1:2/live"}) {
        const StreamAddress parsed = ParseStreamAddress(address);
        EXPECT_FALSE(parsed.ok) << address;
        EXPECT_NE(parsed.error.find("port"), std::string::npos) << address << ": " << parsed.error;
        EXPECT_EQ(parsed.host, "") << address;
    }
}

TEST(StreamAddressParts, ClosingSlashNamesNothing) {
    EXPECT_EQ(ParseStreamAddress("rtmp://host:1936/live/77/").tube, 77);
    EXPECT_EQ(ParseStreamAddress("rtmp://host/live/77/").tube, 77);
    const StreamAddress port_only = ParseStreamAddress("rtmp://host:1936/");
    EXPECT_EQ(port_only.port, 1936);
    EXPECT_EQ(port_only.tube, 428);
}

TEST(StreamAddressParts, NamedStreamsKeepTheDefaultTube) {
    const StreamAddress named = ParseStreamAddress("rtmp://127.0.0.1:19350/live/test");
    ASSERT_TRUE(named.ok) << named.error;
    EXPECT_EQ(named.streamName, "test");
    EXPECT_EQ(named.tube, 428);
    EXPECT_EQ(ParseStreamAddress("rtmp://h/live/77abc").tube, 428);
    EXPECT_EQ(ParseStreamAddress("rtmp://h/live/99999999999").tube, 428);
    EXPECT_EQ(ParseStreamAddress("rtmp://h/live/2147483647").tube, 2147483647);
}

TEST(StreamAddressParts, ColonInThePathIsNotAPort) {
    const StreamAddress parsed = ParseStreamAddress("rtmp://ingest.example/live?token=a:b");
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_EQ(parsed.host, "ingest.example");
    EXPECT_EQ(parsed.port, 1935);
    const ServerAddressInfo info = ClassifyServerAddress("rtmp://ingest.example:1940/live/key:9");
    EXPECT_EQ(info.kind, kServerDirectRtmp);
    EXPECT_EQ(info.host, "ingest.example");
    EXPECT_EQ(info.port, 1940);
}

TEST(StreamAddressParts, AddressesWithoutAHostAreRefused) {
    for (const char* address :
         {"rtmp://", "rtsp://   ", "http://", "rtmp:///live/1", "rtmp://:1935/live/1", "rtmp://:"}) {
        const StreamAddress parsed = ParseStreamAddress(address);
        EXPECT_FALSE(parsed.ok) << address;
        EXPECT_NE(parsed.error, "") << address;
    }
}

TEST(StreamAddressParts, SpacesAndControlCharactersInsideAreRefused) {
    const std::string with_nul("rtmp://host\0evil/live/1", 23);
    for (const std::string& address : {with_nul, std::string("rtmp://my host/live/1"),
                                       std::string("rtmp://host/li\tve/1"), std::string("rtmp://host/live/1\x7f")}) {
        EXPECT_FALSE(ParseStreamAddress(address).ok);
        const ServerAddressInfo info = ClassifyServerAddress(address);
        EXPECT_EQ(info.kind, kServerNone);
        EXPECT_NE(info.error, "");
    }
    // A NUL after a portal prefix must not pass for the portal either.
    EXPECT_EQ(ClassifyServerAddress(std::string("http://portal.brevacast.example/\0x", 34)).kind, kServerNone);
}

TEST(StreamAddressParts, VeryLongAddressesAreRefusedWhole) {
    std::string longest = "rtmp://host/live/";
    longest.append(kMaxServerAddressLength - longest.size(), '7');
    EXPECT_TRUE(ParseStreamAddress("  " + longest + "  ").ok);

    const std::string too_long = longest + "7";
    const StreamAddress parsed = ParseStreamAddress(too_long);
    EXPECT_FALSE(parsed.ok);
    EXPECT_NE(parsed.error, "");
    EXPECT_EQ(ClassifyServerAddress(std::string(1 << 20, 'h')).kind, kServerNone);
    EXPECT_EQ(ClassifyServerAddress("rtmp://" + std::string(1 << 20, 'h') + "/live/1").kind, kServerNone);
}

TEST(StreamAddressParts, IPv6LiteralsAreRefusedRatherThanMisread) {
    const ServerAddressInfo info = ClassifyServerAddress("rtmp://[::1]:1935/live/1");
    EXPECT_EQ(info.kind, kServerNone);
    EXPECT_NE(info.error, "");
}

// Whatever is typed into the settings, the answer is consistent: a usable stream address always has a
// host and a real port, and a refusal always says why.
TEST(StreamAddressParts, ArbitraryInputGivesConsistentAnswers) {
    const std::string pieces[] = {"rtmp", "rtsp", "http", "RTMP",        "://",   ":",  "/",
                                  "//",   "host", "1935", "0",           "65536", "77", "-",
                                  " ",    "\t",   "?",    "a:b",         "[",     "]",  std::string(1, '\0'),
                                  "live", "x",    "ftp",  "999999999999"};
    std::mt19937 random(20240305);
    std::uniform_int_distribution<size_t> pick(0, std::size(pieces) - 1);
    std::uniform_int_distribution<int> length(0, 9);
    for (int round = 0; round < 20000; ++round) {
        std::string address;
        for (int n = length(random); n > 0; --n) address += pieces[pick(random)];
        const StreamAddress parsed = ParseStreamAddress(address);
        EXPECT_EQ(parsed.ok, parsed.error.empty()) << address;
        if (parsed.ok && parsed.protocol != "http") {
            EXPECT_FALSE(parsed.host.empty()) << address;
            EXPECT_GE(parsed.port, 1) << address;
            EXPECT_LE(parsed.port, 65535) << address;
            EXPECT_GE(parsed.tube, 0) << address;
        }
        const ServerAddressInfo info = ClassifyServerAddress(address);
        ASSERT_GE(info.kind, kServerPortal);
        ASSERT_LE(info.kind, kServerNone);
        EXPECT_EQ(info.publishToUrl == 1, info.kind == kServerDirectRtmp) << address;
        if (info.kind == kServerDirectRtmp) {
            EXPECT_FALSE(info.publishUrl.empty()) << address;
        }
    }
}

}  // namespace
