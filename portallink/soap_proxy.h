// The SOAP client of one service call: bound to the service URL, invoked once, then destroyed by the service
// context. Writes the request exactly as the service expects it and reads the answer (redirects followed,
// chunked, sized or connection-delimited bodies, 200/202/500 and every other status).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "portallink/http_answer.h"
#include "portallink/portallink.h"
#include "portallink/service_url.h"
#include "portallink/soap_envelope.h"

// Statuses of Invoke: the public SP_STATUS_ values, which callers of the exports see unchanged.
enum SoapStatus : int32_t {
    kSoapOk = SP_STATUS_OK,
    kSoapInitFailed = SP_STATUS_INIT_FAILED,
    kSoapGenerateFailed = SP_STATUS_GENERATE_FAILED,
    kSoapSendFailed = SP_STATUS_SEND_FAILED,
    kSoapServerError = SP_STATUS_SERVER_ERROR,
    kSoapFaultStatus = SP_STATUS_SOAP_FAULT,
    kSoapReadFailed = SP_STATUS_READ_FAILED,
    kSoapParseFailed = SP_STATUS_PARSE_FAILED,
    kSoapInvalidPointer = SP_STATUS_INVALID_POINTER,
};

inline constexpr int kDefaultSocketTimeoutMs = 10000;
inline constexpr int kMaxRedirects = 5;

class CSoapProxy {
public:
    // False when the URL gives no usable target; the proxy then fails every call without connecting.
    bool SetTargetUrl(std::string_view url, std::string* error);
    // 0 selects the default of 10000 ms.
    void SetSocketTimeoutMs(int ms) { socketTimeoutMs_ = ms; }

    // Performs op. On success *result holds the return string (empty when the answer carried none).
    int32_t Invoke(const SoapOperation& op, const std::vector<std::optional<std::string>>& values, std::string* result);
    // Why the last Invoke failed, for the log.
    const std::string& LastError() const { return error_; }

private:
    int32_t Fail(int32_t status, std::string error) {
        error_ = std::move(error);
        return status;
    }

    std::optional<ServiceTarget> target_;
    std::string targetError_ = "no service address was set";
    int socketTimeoutMs_ = 0;
    std::string error_;
};

// The request as it goes on the wire: request line, headers in the service's order, empty line, body.
std::string BuildHttpRequest(const ServiceTarget& target, std::string_view body);

// What a status-200 or status-500 answer means for op, shared by the proxy and the fuzzer.
int32_t InterpretSoapAnswer(const HttpAnswer& answer, const SoapOperation& op, std::string& result, std::string& error);
