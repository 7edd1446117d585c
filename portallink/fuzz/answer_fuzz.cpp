// libFuzzer target over everything that reads what the service sends back: the HTTP answer (status line,
// headers, chunked or sized body), the SOAP response or fault, the JSON in the result string and the
// records filled from it. No socket: the answer comes from the input.
//
// Input: byte 0 picks the operation (low nibble) and, with its top bit set, feeds the rest directly as the
// JSON result; byte 1 holds the flags (recording wanted, caller wants the logon limits) and the read size.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "portallink/http_answer.h"
#include "portallink/service_payloads.h"
#include "portallink/service_url.h"
#include "portallink/soap_envelope.h"
#include "portallink/soap_proxy.h"

namespace {

// Hands the input out in pieces of a chosen size, as a socket would.
class CMemorySource : public IByteSource {
public:
    CMemorySource(const uint8_t* data, size_t size, size_t piece) : data_(data), size_(size), piece_(piece) {}
    long Read(char* buf, size_t size, std::string&) override {
        const size_t n = std::min({size, piece_, size_ - pos_});
        std::memcpy(buf, data_ + pos_, n);
        pos_ += n;
        return static_cast<long>(n);
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t piece_;
    size_t pos_ = 0;
};

const SoapOperation* const kOperations[] = {
    &soap_ops::kLogon,      &soap_ops::kVersion,  &soap_ops::kActivityList,
    &soap_ops::kPrepare,    &soap_ops::kPrepare2, &soap_ops::kStartLive,
    &soap_ops::kStartLive2, &soap_ops::kStopLive, &soap_ops::kSetLiveInfo,
};

void InterpretResult(const SoapOperation& op, const std::string& result, uint8_t flags) {
    const bool recordingWanted = flags & 1;
    if (&op == &soap_ops::kLogon) {
        const LogonOutcome outcome = InterpretLogon(result, flags & 2);
        // A refused answer is always -11 with the JSON message (the service may send any code itself).
        if (!outcome.diagnostic.empty() && (outcome.code != kLogonBadAnswerCode || !outcome.message)) __builtin_trap();
    } else if (&op == &soap_ops::kVersion) {
        std::string version, diagnostic;
        InterpretVersion(result, version, diagnostic);
    } else if (&op == &soap_ops::kActivityList) {
        std::vector<ActivityData> list;
        std::string diagnostic;
        if (!InterpretActivityList(result, list, diagnostic) && !list.empty()) __builtin_trap();
    } else if (&op == &soap_ops::kPrepare || &op == &soap_ops::kPrepare2) {
        LiveInfoData info;
        info.canRecord = true;
        info.storageUsed = 77;
        const LiveInfoData before = info;
        const PrepareOutcome outcome = InterpretPrepare(result, &op == &soap_ops::kPrepare2, recordingWanted, info);
        // A refused answer must leave the live info exactly as it was.
        if (outcome.kind != PrepareKind::kSucceeded &&
            (info.canRecord != before.canRecord || info.storageUsed != before.storageUsed || !info.server.empty()))
            __builtin_trap();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    const uint8_t selector = data[0];
    const uint8_t flags = data[1];
    const SoapOperation& op = *kOperations[(selector & 0x0F) % (sizeof(kOperations) / sizeof(kOperations[0]))];
    data += 2;
    size -= 2;

    if (selector & 0x80) {
        InterpretResult(op, std::string(reinterpret_cast<const char*>(data), size), flags);
        // The same bytes as a parameter value must escape to pure printable ASCII.
        const std::string escaped = EscapeSoapText(std::string_view(reinterpret_cast<const char*>(data), size));
        for (char c : escaped) {
            if (c < 0x20 || c > 0x7E) __builtin_trap();
        }
        return 0;
    }

    const size_t piece = 1 + (static_cast<size_t>(flags >> 2) * 131) % kAnswerBlockSize;
    CMemorySource source(data, size, piece);
    CHttpAnswerReader reader(source, 1u << 20);
    HttpAnswer answer;
    std::string error;
    if (!reader.ReadHead(answer, error)) return 0;
    if (answer.status >= 300 && answer.status < 400) {
        if (const std::string* location = answer.Header("Location")) {
            ServiceTarget base;
            base.host = "127.0.0.1";
            base.path = "/services/BrevacastPlusService";
            base.query = "?wsdl";
            if (auto next = ResolveLocation(base, *location, &error)) {
                // Whatever the Location says, the request keeps its eight lines: nothing can be injected.
                const std::string request = BuildHttpRequest(*next, "x");
                if (std::count(request.begin(), request.end(), '\n') != 8) __builtin_trap();
            }
        }
        return 0;
    }
    if ((answer.status == 200 || answer.status == 500) && !reader.ReadBody(answer, error)) return 0;
    std::string result;
    if (InterpretSoapAnswer(answer, op, result, error) < 0) return 0;
    InterpretResult(op, result, flags);
    return 0;
}
