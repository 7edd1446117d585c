// What goes on the wire: the request line, the headers in their order, the envelope and the escaping of
// parameter values, as recorded byte for byte by the fake service.
#include <string>

#include "tests/portallink/portal_test_support.h"

namespace {

const std::string kEnvelopeOpen =
    "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
    "xmlns:soapenc=\"http://schemas.xmlsoap.org/soap/encoding/\">"
    "<soap:Body soap:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\">";
const std::string kEnvelopeClose = "</soap:Body></soap:Envelope>";
const std::string kServiceNs = "http://webservice.brevacast.example/BrevacastPlusService";

std::string ExpectedRequest(const std::string& target, const std::string& body) {
    return "POST " + target + " HTTP/1.1\r\n" + "Content-Length: " + std::to_string(body.size()) + "\r\n" +
           "Content-Type: text/xml; charset=utf-8\r\n" + "SOAPAction: \"\"\r\n" + "Accept: text/xml\r\n" +
           "Host: 127.0.0.1\r\n" + "User-Agent: Microsoft-ATL-Native/12.00\r\n" + "\r\n" + body;
}

// Sends text as the title of a SetLiveInfo call and returns how it travelled.
class PortalEscaping : public PortalTest {
protected:
    std::string TitleOnTheWire(const std::string& title) {
        // The service may refuse what it cannot decode (a lone surrogate); what was sent is the point here.
        SP_RedexSetLiveInfo(5, title.c_str(), "", "");
        return ParamOf(LastRequest(), "title");
    }
};

}  // namespace

TEST_F(PortalTest, LogonRequestIsWrittenByteForByte) {
    LogOnAnchor();
    const std::string body = kEnvelopeOpen + "<snp:Logon xmlns:snp=\"" + kServiceNs + "\">" +
                             "<userId>anchor01</userId><password>5ebe2294ecd0e0f08eab7690d2a6ee69</password>" +
                             "</snp:Logon>" + kEnvelopeClose;
    const std::vector<std::string> requests = portal.Requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_EQ(requests[0], ExpectedRequest("/services/BrevacastPlusService?wsdl", body));
}

TEST_F(PortalTest, VersionRequestHasAnEmptyOperationElement) {
    EXPECT_FALSE(ServerVersion().empty());
    const std::string body =
        kEnvelopeOpen + "<snp:Version xmlns:snp=\"" + kServiceNs + "\"></snp:Version>" + kEnvelopeClose;
    EXPECT_EQ(LastRequest(), ExpectedRequest("/services/BrevacastPlusService?wsdl", body));
}

TEST_F(PortalTest, HostHeaderNamesTheHostWithoutThePort) {
    SP_InitWebService(("http://localhost:" + std::to_string(portal.Port())).c_str());
    EXPECT_EQ(SP_StartLive(101), 0);
    const std::string head = HeadOf(LastRequest());
    EXPECT_NE(head.find("\r\nHost: localhost\r\n"), std::string::npos) << head;
    EXPECT_EQ(head.find(":" + std::to_string(portal.Port())), std::string::npos) << head;
}

TEST_F(PortalTest, Prepare2WritesItsParametersInOrderWithTheFlagsLowByte) {
    SP_Prepare2(101, "anchor01", 0x100);  // only the low byte counts: not wanted
    EXPECT_NE(BodyOf(LastRequest())
                  .find("<snp:Prepare2 xmlns:snp=\"" + kServiceNs +
                        "\"><activityId>101</activityId><userId>anchor01</userId>"
                        "<cloudRecord>0</cloudRecord></snp:Prepare2>"),
              std::string::npos);
    SP_Prepare2(101, "anchor01", 0x301);
    EXPECT_EQ(ParamOf(LastRequest(), "cloudRecord"), "1");
}

TEST_F(PortalTest, ActivityIdsTravelAsSignedDecimalText) {
    EXPECT_EQ(SP_StopLive(-7), 0);
    EXPECT_EQ(ParamOf(LastRequest(), "activityId"), "-7");
    EXPECT_EQ(SP_StartLive2(2147483647, 1), 0);
    EXPECT_EQ(ParamOf(LastRequest(), "activityId"), "2147483647");
    EXPECT_EQ(ParamOf(LastRequest(), "cloudRecord"), "1");
}

TEST_F(PortalTest, NullParameterIsWrittenAsNil) {
    SP_Logon(nullptr, "digest", nullptr, nullptr);
    EXPECT_NE(BodyOf(LastRequest()).find("<userId xsi:nil=\"1\"/><password>digest</password>"), std::string::npos)
        << BodyOf(LastRequest());
}

TEST_F(PortalEscaping, MarkupCharactersBecomeEntities) { EXPECT_EQ(TitleOnTheWire("A&B <x>"), "A&amp;B &lt;x&gt;"); }

TEST_F(PortalEscaping, ChineseCharacterTravelsAsFourDigitReference) {
    EXPECT_EQ(TitleOnTheWire("\xE4\xB8\xAD"), "&#x4E2D;");  // U+4E2D
}

TEST_F(PortalEscaping, EmojiTravelsAsOneSixDigitReference) {
    EXPECT_EQ(TitleOnTheWire("\xF0\x9F\x98\x80"), "&#x01F600;");  // U+1F600, a surrogate pair in UTF-16
}

TEST_F(PortalEscaping, ControlCharactersAndDeleteAreReferencesQuotesStay) {
    EXPECT_EQ(TitleOnTheWire("a\tb\r\n\x7F\"q'"), "a&#x0009;b&#x000D;&#x000A;&#x007F;\"q'");
}

TEST_F(PortalEscaping, LatinLettersAboveAsciiAreReferencesToo) {
    EXPECT_EQ(TitleOnTheWire("caf\xC3\xA9 \xC2\xA0!"), "caf&#x00E9; &#x00A0;!");
}

TEST_F(PortalEscaping, LoneSurrogateTravelsAsItsOwnReference) {
    // A high surrogate without its partner, as a UTF-16 title converted unit by unit would carry it.
    EXPECT_EQ(TitleOnTheWire("\xED\xA0\xBDx"), "&#xD83D;x");
    // Both halves encoded separately still make one character.
    EXPECT_EQ(TitleOnTheWire("\xED\xA0\xBD\xED\xB8\x80"), "&#x01F600;");
}

TEST_F(PortalEscaping, BytesThatAreNotUtf8BecomeReplacementCharacters) {
    EXPECT_EQ(TitleOnTheWire("a\xFF"
                             "b\xC0\xAF"),
              "a&#xFFFD;b&#xFFFD;&#xFFFD;");
}

TEST_F(PortalEscaping, BodyIsPureAsciiAndTheServiceReadsBackTheOriginalText) {
    const std::string title = "直播 \xF0\x9F\x98\x80 A&B <x> \"q\"";
    const std::string author = "Zo\xC3\xAB";
    const std::string desc = "line1\nline2\ttab";
    ASSERT_EQ(SP_RedexSetLiveInfo(9, title.c_str(), author.c_str(), desc.c_str()), 0);
    for (unsigned char c : LastRequest()) EXPECT_LT(c, 0x80);
    EXPECT_EQ(portal.LiveInfoText("9", "title"), title);
    EXPECT_EQ(portal.LiveInfoText("9", "author"), author);
    EXPECT_EQ(portal.LiveInfoText("9", "desc"), desc);
}

TEST_F(PortalTest, AddressEndingInSlashGetsOnlyTheEndpointPath) {
    SP_InitWebService(("http://127.0.0.1:" + std::to_string(portal.Port()) + "/portal/").c_str());
    EXPECT_EQ(SP_StartLive(1), 0);
    EXPECT_EQ(LastRequest().rfind("POST /portal/services/BrevacastPlusService?wsdl HTTP/1.1\r\n", 0), 0u);
}

TEST_F(PortalTest, AddressWithoutSlashGetsOneInserted) {
    SP_InitWebService(("http://127.0.0.1:" + std::to_string(portal.Port()) + "/portal").c_str());
    EXPECT_EQ(SP_StartLive(1), 0);
    EXPECT_EQ(LastRequest().rfind("POST /portal/services/BrevacastPlusService?wsdl HTTP/1.1\r\n", 0), 0u);
}

TEST_F(PortalTest, SpacesAndNonAsciiInTheAddressAreEscaped) {
    SP_InitWebService(("http://127.0.0.1:" + std::to_string(portal.Port()) + "/my portal/\xE4\xB8\xAD").c_str());
    EXPECT_EQ(SP_StartLive(1), 0);
    EXPECT_EQ(LastRequest().rfind("POST /my%20portal/%E4%B8%AD/services/BrevacastPlusService?wsdl HTTP/1.1\r\n", 0),
              0u);
}

TEST_F(PortalTest, EmptyAddressFailsWithoutAnyTraffic) {
    SP_InitWebService("");
    EXPECT_EQ(SP_Logon(fake_portal::kAnchorUser, fake_portal::kAnchorPasswordDigest, nullptr, nullptr),
              SP_LOGON_CALL_FAILED);
    EXPECT_EQ(ErrorMsg(), "调用Web Service失败");
    EXPECT_EQ(SP_StartLive(1), SP_STATUS_SEND_FAILED);
    EXPECT_EQ(InitWebService(), 0);
    EXPECT_EQ(portal.RequestCount(), 0);
}

TEST_F(PortalTest, HttpsAddressIsRefusedRatherThanSentInTheClear) {
    SP_InitWebService(("https://127.0.0.1:" + std::to_string(portal.Port()) + "/").c_str());
    EXPECT_EQ(InitWebService(), 0);
    EXPECT_EQ(SP_Logon(fake_portal::kAnchorUser, fake_portal::kAnchorPasswordDigest, nullptr, nullptr),
              SP_LOGON_CALL_FAILED);
    EXPECT_EQ(portal.RequestCount(), 0) << "the password digest went out unencrypted";
}

TEST_F(PortalTest, OverlongAddressIsRefused) {
    SP_InitWebService((portal.Address() + std::string(2100, 'p')).c_str());
    EXPECT_EQ(InitWebService(), 0);
    EXPECT_EQ(SP_StartLive(1), SP_STATUS_SEND_FAILED);
    EXPECT_EQ(portal.RequestCount(), 0);
}

TEST_F(PortalTest, AddressesThatCannotCarryAHeaderAreRefused) {
    for (const char* address : {"ftp://127.0.0.1/", "http:///x", "http://:80/", "http://host:0/", "http://host:99999/",
                                "http://ho\r\nX-Injected: 1/", "no scheme at all"}) {
        SP_InitWebService(address);
        EXPECT_EQ(InitWebService(), 0) << address;
    }
    SP_InitWebService(portal.Address().c_str());
    EXPECT_NE(InitWebService(), 0);
    EXPECT_EQ(portal.RequestCount(), 0) << "the binding check contacts nobody";
}
