#include "portallink/soap_response.h"

#include <expat.h>

#include <cstdint>
#include <map>
#include <memory>

namespace {

constexpr char kNsSeparator = '\x01';
constexpr int kMaxDepth = 64;
constexpr size_t kMaxReferences = 1024;
constexpr std::string_view kXsiNamespace = "http://www.w3.org/2001/XMLSchema-instance";

struct ParserDeleter {
    void operator()(XML_ParserStruct* p) const { XML_ParserFree(p); }
};
using ParserPtr = std::unique_ptr<XML_ParserStruct, ParserDeleter>;

struct QName {
    std::string_view uri;
    std::string_view local;
};

QName SplitName(const XML_Char* name) {
    const std::string_view full(name);
    const size_t sep = full.find(kNsSeparator);
    if (sep == std::string_view::npos) return {{}, full};
    return {full.substr(0, sep), full.substr(sep + 1)};
}

const XML_Char* FindAttribute(const XML_Char** atts, std::string_view uri, std::string_view local) {
    for (size_t i = 0; atts[i]; i += 2) {
        const QName q = SplitName(atts[i]);
        if (q.uri == uri && q.local == local) return atts[i + 1];
    }
    return nullptr;
}

// Walks one SOAP document; what it collects depends on whether an operation's response or a fault is read.
class CSoapReader {
public:
    CSoapReader(const SoapOperation* op) : op_(op) {
        if (op_) responseName_ = std::string(op_->name) + "Response";
    }

    bool Parse(std::string_view body, std::string& error) {
        ParserPtr parser(XML_ParserCreateNS(nullptr, kNsSeparator));
        if (!parser) {
            error = "cannot create the XML parser";
            return false;
        }
        parser_ = parser.get();
        XML_SetUserData(parser_, this);
        XML_SetElementHandler(parser_, &CSoapReader::OnStart, &CSoapReader::OnEnd);
        XML_SetCharacterDataHandler(parser_, &CSoapReader::OnText);
        XML_SetStartDoctypeDeclHandler(parser_, &CSoapReader::OnDoctype);
        XML_SetParamEntityParsing(parser_, XML_PARAM_ENTITY_PARSING_NEVER);
        if (body.size() > static_cast<size_t>(INT32_MAX)) {
            error = "answer too large";
            return false;
        }
        const XML_Status status = XML_Parse(parser_, body.data(), static_cast<int>(body.size()), XML_TRUE);
        if (!stopReason_.empty()) {
            error = stopReason_;
            return false;
        }
        if (status != XML_STATUS_OK) {
            error = std::string("malformed XML at line ") + std::to_string(XML_GetCurrentLineNumber(parser_)) + ": " +
                    XML_ErrorString(XML_GetErrorCode(parser_));
            return false;
        }
        if (!sawBody_) {
            error = "the SOAP answer has no Body";
            return false;
        }
        return true;
    }

    // Response mode results.
    bool sawResponse = false;
    bool sawReturn = false;
    bool returnNil = false;
    std::string returnHref;
    std::string returnText;
    std::map<std::string, std::string> references;
    // Fault mode results.
    bool sawFault = false;
    SoapFault fault;

private:
    void Stop(std::string reason) {
        if (stopReason_.empty()) stopReason_ = std::move(reason);
        XML_StopParser(parser_, XML_FALSE);
    }

    static void XMLCALL OnDoctype(void* self, const XML_Char*, const XML_Char*, const XML_Char*, int) {
        static_cast<CSoapReader*>(self)->Stop("document type declarations are not accepted in SOAP answers");
    }

    static void XMLCALL OnStart(void* self, const XML_Char* name, const XML_Char** atts) {
        static_cast<CSoapReader*>(self)->Start(SplitName(name), atts);
    }

    static void XMLCALL OnEnd(void* self, const XML_Char*) { static_cast<CSoapReader*>(self)->End(); }

    static void XMLCALL OnText(void* self, const XML_Char* text, int len) {
        auto* reader = static_cast<CSoapReader*>(self);
        if (reader->capture_) reader->capture_->append(text, static_cast<size_t>(len));
    }

    void Start(QName name, const XML_Char** atts) {
        ++depth_;
        if (depth_ > kMaxDepth) return Stop("the SOAP answer is nested too deeply");
        if (capture_ && captureDepth_ == depth_ - 1 && captureIsReturn_) {
            return Stop("unexpected element inside " + std::string(op_->returnElement));
        }
        if (depth_ == 1) {
            if (name.uri != kSoapEnvelopeNamespace || name.local != "Envelope") return Stop("not a SOAP envelope");
            return;
        }
        if (depth_ == 2) {
            inBody_ = name.uri == kSoapEnvelopeNamespace && name.local == "Body";
            if (inBody_) sawBody_ = true;
            return;
        }
        if (!inBody_) return;
        if (depth_ == 3) return StartBodyChild(name, atts);
        if (depth_ == 4) return StartResponseChild(name, atts);
    }

    void StartBodyChild(QName name, const XML_Char** atts) {
        inResponse_ = false;
        inFault_ = false;
        if (name.uri == kSoapEnvelopeNamespace && name.local == "Fault") {
            if (op_) return Stop("the service answered with a SOAP fault");
            inFault_ = sawFault = true;
            return;
        }
        if (!op_) return;
        if (name.local == responseName_ && !sawResponse) {
            inResponse_ = sawResponse = true;
            return;
        }
        // rpc/encoded values referenced by an "href" stand beside the response element.
        if (const XML_Char* id = FindAttribute(atts, {}, "id")) {
            if (references.size() >= kMaxReferences) return Stop("too many referenced values");
            capture_ = &references[id];
            capture_->clear();
            captureDepth_ = depth_;
            captureIsReturn_ = false;
        }
    }

    void StartResponseChild(QName name, const XML_Char** atts) {
        if (inFault_) {
            std::string* field = name.local == "faultcode"     ? &fault.code
                                 : name.local == "faultstring" ? &fault.text
                                 : name.local == "faultactor"  ? &fault.actor
                                 : name.local == "detail"      ? &fault.detail
                                                               : nullptr;
            if (field) {
                capture_ = field;
                captureDepth_ = depth_;
                captureIsReturn_ = false;
            }
            return;
        }
        if (!inResponse_ || op_->returnElement.empty() || name.local != op_->returnElement || sawReturn) return;
        sawReturn = true;
        if (const XML_Char* href = FindAttribute(atts, {}, "href")) {
            std::string_view ref(href);
            if (ref.empty() || ref.front() != '#') return Stop("unsupported reference \"" + std::string(ref) + "\"");
            returnHref = std::string(ref.substr(1));
            return;
        }
        if (const XML_Char* nil = FindAttribute(atts, kXsiNamespace, "nil")) {
            const std::string_view v(nil);
            if (v == "true" || v == "1") {
                returnNil = true;
                return;
            }
        }
        capture_ = &returnText;
        captureDepth_ = depth_;
        captureIsReturn_ = true;
    }

    void End() {
        if (capture_ && depth_ == captureDepth_) capture_ = nullptr;
        if (depth_ == 3) {
            inResponse_ = false;
            inFault_ = false;
        }
        if (depth_ == 2) inBody_ = false;
        --depth_;
    }

    const SoapOperation* op_;
    std::string responseName_;
    XML_Parser parser_ = nullptr;
    std::string stopReason_;
    int depth_ = 0;
    bool inBody_ = false;
    bool sawBody_ = false;
    bool inResponse_ = false;
    bool inFault_ = false;
    std::string* capture_ = nullptr;
    int captureDepth_ = 0;
    bool captureIsReturn_ = false;
};

}  // namespace

bool ParseSoapResponse(std::string_view body, const SoapOperation& op, std::optional<std::string>& result,
                       std::string& error) {
    result.reset();
    CSoapReader reader(&op);
    if (!reader.Parse(body, error)) return false;
    if (!reader.sawResponse) {
        error = "the SOAP answer has no " + std::string(op.name) + "Response";
        return false;
    }
    if (op.returnElement.empty()) return true;
    if (!reader.sawReturn) {
        error = "the SOAP answer has no " + std::string(op.returnElement);
        return false;
    }
    if (reader.returnNil) return true;
    if (!reader.returnHref.empty()) {
        const auto it = reader.references.find(reader.returnHref);
        if (it == reader.references.end()) {
            error = "the SOAP answer refers to a missing value \"#" + reader.returnHref + "\"";
            return false;
        }
        result = std::move(it->second);
        return true;
    }
    result = std::move(reader.returnText);
    return true;
}

bool ParseSoapFault(std::string_view body, SoapFault& fault, std::string& error) {
    CSoapReader reader(nullptr);
    if (!reader.Parse(body, error)) return false;
    if (!reader.sawFault) {
        error = "the SOAP answer has no Fault";
        return false;
    }
    fault = std::move(reader.fault);
    return true;
}
