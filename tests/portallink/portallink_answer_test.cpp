// Reading the SOAP answer: the result string in its different written forms, and every kind of malformed or
// hostile answer ending in a failed call with the library's message, never a crash or a hang.
#include <string>

#include "tests/portallink/portal_test_support.h"

namespace {

const std::string kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>";
const std::string kEnvelopeStart =
    "<soapenv:Envelope xmlns:soapenv=\"http://schemas.xmlsoap.org/soap/envelope/\" "
    "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"><soapenv:Body>";
const std::string kEnvelopeOpen = kDeclaration + kEnvelopeStart;
const std::string kEnvelopeClose = "</soapenv:Body></soapenv:Envelope>";

std::string Envelope(const std::string& bodyContent) { return kEnvelopeOpen + bodyContent + kEnvelopeClose; }

// The logon answer without an XML declaration, so that a test can put its own in front.
std::string BareLogonAnswer(const std::string& inner) {
    return kEnvelopeStart + "<ns1:LogonResponse xmlns:ns1=\"urn:portal\">" + inner + "</ns1:LogonResponse>" +
           kEnvelopeClose;
}

std::string LogonAnswer(const std::string& inner) { return kDeclaration + BareLogonAnswer(inner); }

const std::string kGoodReturn = "<LogonReturn>{&quot;code&quot;:0,&quot;msg&quot;:&quot;ok&quot;}</LogonReturn>";

std::string BillionLaughs() {
    std::string dtd = "<!DOCTYPE soapenv:Envelope [<!ENTITY lol0 \"lol\">";
    for (int i = 1; i < 10; ++i) {
        dtd += "<!ENTITY lol" + std::to_string(i) + " \"";
        for (int k = 0; k < 10; ++k) dtd += "&lol" + std::to_string(i - 1) + ";";
        dtd += "\">";
    }
    dtd += "]>";
    return "<?xml version=\"1.0\"?>" + dtd +
           "<soapenv:Envelope xmlns:soapenv=\"http://schemas.xmlsoap.org/soap/envelope/\"><soapenv:Body>"
           "<ns1:LogonResponse xmlns:ns1=\"urn:portal\"><LogonReturn>&lol9;</LogonReturn></ns1:LogonResponse>" +
           kEnvelopeClose;
}

struct BadAnswer {
    const char* what;
    std::string body;
};

std::vector<BadAnswer> BadAnswers() {
    std::string deep;
    for (int i = 0; i < 100000; ++i) deep += "<a>";
    return {
        {"not XML", "this is not xml {\"code\":0}"},
        {"empty body", ""},
        {"truncated", LogonAnswer(kGoodReturn).substr(0, 200)},
        {"entity expansion", BillionLaughs()},
        {"external entity", "<?xml version=\"1.0\"?><!DOCTYPE x [<!ENTITY e SYSTEM \"file:///etc/passwd\">]>" +
                                BareLogonAnswer("<LogonReturn>&e;</LogonReturn>")},
        {"deep nesting", kEnvelopeOpen + deep},
        {"bytes that are not UTF-8", LogonAnswer("<LogonReturn>\xFF\xFE{}</LogonReturn>")},
        {"unknown encoding", "<?xml version=\"1.0\" encoding=\"X-NO-SUCH\"?>" + BareLogonAnswer(kGoodReturn)},
        {"undefined entity", LogonAnswer("<LogonReturn>&nbsp;</LogonReturn>")},
        {"reference to character zero", LogonAnswer("<LogonReturn>&#0;</LogonReturn>")},
        {"wrong envelope namespace",
         "<soapenv:Envelope xmlns:soapenv=\"http://www.w3.org/2003/05/soap-envelope\"><soapenv:Body>"
         "<ns1:LogonResponse xmlns:ns1=\"urn:portal\">" +
             kGoodReturn + "</ns1:LogonResponse>" + kEnvelopeClose},
        {"no Body",
         "<soapenv:Envelope xmlns:soapenv=\"http://schemas.xmlsoap.org/soap/envelope/\"></soapenv:Envelope>"},
        {"fault in a 200 answer",
         Envelope("<soapenv:Fault><faultcode>soapenv:Server</faultcode><faultstring>x</faultstring></soapenv:Fault>")},
        {"answer of another operation",
         Envelope("<ns1:VersionResponse xmlns:ns1=\"urn:portal\"><VersionReturn>{}</VersionReturn>"
                  "</ns1:VersionResponse>")},
        {"no return element", LogonAnswer("")},
        {"reference to a missing value", LogonAnswer("<LogonReturn href=\"#id9\"/>")},
        {"element inside the return value", LogonAnswer("<LogonReturn>{<b>}</b></LogonReturn>")},
        {"two documents", LogonAnswer(kGoodReturn) + LogonAnswer(kGoodReturn)},
    };
}

using PortalAnswer = PortalTest;

}  // namespace

TEST_F(PortalAnswer, CharacterReferencesInTheResultAreResolved) {
    ASSERT_TRUE(portal.SetMode(R"("mode":"normal","form":"charrefs")"));
    const ActivityList* list = SP_GetActivityList(fake_portal::kAnchorUser);
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(list->count, 3);
    EXPECT_STREQ(list->items[1]->title, "中文直播 😀");
    EXPECT_STREQ(list->items[2]->title, "A&B <x>");
    EXPECT_NE(portal.Requests().size(), 0u);
}

TEST_F(PortalAnswer, ReturnHoldingAReferenceYieldsTheCharacter) {
    ASSERT_TRUE(portal.SetAnswerBody(
        Envelope("<ns1:VersionResponse xmlns:ns1=\"urn:portal\"><VersionReturn>{\"version\":\"v&#x4E2D;1\"}"
                 "</VersionReturn></ns1:VersionResponse>")));
    EXPECT_EQ(ServerVersion(),
              "V\xE4\xB8\xAD"
              "1");
}

TEST_F(PortalAnswer, ReferencedValueIsFollowed) {
    ASSERT_TRUE(portal.SetMode(R"("mode":"normal","form":"href")"));
    EXPECT_EQ(ServerVersion(), "V3.1.4-FAKE");
}

TEST_F(PortalAnswer, SoapHeaderIsSkipped) {
    ASSERT_TRUE(portal.SetMode(R"("mode":"normal","form":"header")"));
    LogOnAnchor();
    EXPECT_EQ(ErrorMsg(), kAnchorGreeting);
}

TEST_F(PortalAnswer, NilResultIsAnEmptyResultThatIsNotJson) {
    ASSERT_TRUE(portal.SetMode(R"("mode":"normal","form":"nil")"));
    EXPECT_EQ(SP_Logon(fake_portal::kAnchorUser, fake_portal::kAnchorPasswordDigest, nullptr, nullptr),
              SP_LOGON_BAD_ANSWER);
    EXPECT_EQ(ErrorMsg(), "Json数据解析失败");
    EXPECT_EQ(SP_StartLive(101), 0);
}

TEST_F(PortalAnswer, StopLiveNeedsNoReturnElement) {
    EXPECT_EQ(SP_StopLive(101), 0);
    EXPECT_EQ(portal.LiveState("101"), "stopped");
}

TEST_F(PortalAnswer, LatinOneAnswerIsConverted) {
    ASSERT_TRUE(portal.SetAnswerBody("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>" +
                                     BareLogonAnswer("<LogonReturn>{\"code\":0,\"msg\":\"caf\xE9\"}</LogonReturn>")));
    EXPECT_EQ(SP_Logon("u", "p", nullptr, nullptr), 0);
    EXPECT_EQ(ErrorMsg(), "caf\xC3\xA9");
}

TEST_F(PortalAnswer, MalformedAnswersFailCleanly) {
    for (const BadAnswer& bad : BadAnswers()) {
        SCOPED_TRACE(bad.what);
        ASSERT_TRUE(portal.SetAnswerBody(bad.body));
        EXPECT_EQ(SP_Logon(fake_portal::kAnchorUser, fake_portal::kAnchorPasswordDigest, nullptr, nullptr),
                  SP_LOGON_CALL_FAILED);
        EXPECT_EQ(ErrorMsg(), "调用Web Service失败");
        EXPECT_EQ(SP_StartLive(101), SP_STATUS_PARSE_FAILED);
    }
    ASSERT_TRUE(portal.SetAnswerBody(LogonAnswer(kGoodReturn)));
    EXPECT_EQ(SP_Logon("u", "p", nullptr, nullptr), 0) << "a well-formed answer is still read afterwards";
    EXPECT_EQ(ErrorMsg(), "ok");
}
