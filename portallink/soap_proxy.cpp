#include "portallink/soap_proxy.h"

#include <chrono>

#include "portallink/http_connection.h"
#include "portallink/soap_response.h"

namespace {

// The whole exchange may last a few socket time-outs (connect, send, first answer byte), never longer.
constexpr int kExchangeTimeouts = 3;

bool IsRedirect(int status) {
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

}  // namespace

std::string BuildHttpRequest(const ServiceTarget& target, std::string_view body) {
    std::string request;
    request.reserve(body.size() + 256);
    request += "POST ";
    request += target.RequestTarget();
    request += " HTTP/1.1\r\n";
    if (!body.empty()) request += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    request += "Content-Type: text/xml; charset=utf-8\r\n";
    request += "SOAPAction: \"\"\r\n";
    request += "Accept: text/xml\r\n";
    // The service's front end routes on the bare host name: the port is never added.
    request += "Host: " + target.host + "\r\n";
    request += "User-Agent: Microsoft-ATL-Native/12.00\r\n";
    request += "\r\n";
    request += body;
    return request;
}

int32_t InterpretSoapAnswer(const HttpAnswer& answer, const SoapOperation& op, std::string& result,
                            std::string& error) {
    result.clear();
    switch (answer.status) {
        case 200: {
            std::optional<std::string> value;
            if (!ParseSoapResponse(answer.body, op, value, error)) return kSoapParseFailed;
            if (value) result = std::move(*value);
            return kSoapOk;
        }
        case 202:
            return kSoapOk;
        case 500: {
            SoapFault fault;
            std::string why;
            if (ParseSoapFault(answer.body, fault, why)) {
                error = "the service answered with a fault: " + fault.code + ": " + fault.text;
            } else {
                error = "the service answered HTTP 500 (" + why + ")";
            }
            return kSoapFaultStatus;
        }
        default:
            error = "the service answered HTTP " + std::to_string(answer.status);
            return kSoapServerError;
    }
}

bool CSoapProxy::SetTargetUrl(std::string_view url, std::string* error) {
    std::string why;
    target_ = ParseServiceUrl(url, &why);
    if (!target_) targetError_ = "unusable service address \"" + std::string(url.substr(0, 200)) + "\": " + why;
    if (error) *error = target_ ? std::string() : targetError_;
    return target_.has_value();
}

int32_t CSoapProxy::Invoke(const SoapOperation& op, const std::vector<std::optional<std::string>>& values,
                           std::string* result) {
    error_.clear();
    if (!result) return Fail(kSoapInvalidPointer, "no place for the result");
    result->clear();
    if (values.size() != op.params.size()) return Fail(kSoapGenerateFailed, "wrong number of parameters");
    const std::string body = BuildEnvelope(op, values);
    if (!target_) return Fail(kSoapSendFailed, targetError_);

    const int timeoutMs = socketTimeoutMs_ > 0 ? socketTimeoutMs_ : kDefaultSocketTimeoutMs;
    const auto deadline = CHttpConnection::Clock::now() + std::chrono::milliseconds(timeoutMs) * kExchangeTimeouts;
    ServiceTarget target = *target_;
    for (int hop = 0;; ++hop) {
        std::string error;
        CHttpConnection connection(timeoutMs, deadline);
        if (!connection.Connect(target, error)) return Fail(kSoapSendFailed, error);
        if (!connection.SendAll(BuildHttpRequest(target, body), error)) return Fail(kSoapSendFailed, error);
        CHttpAnswerReader reader(connection, kMaxAnswerBody);
        HttpAnswer answer;
        if (!reader.ReadHead(answer, error)) return Fail(kSoapSendFailed, error);
        if (IsRedirect(answer.status)) {
            const std::string* location = answer.Header("Location");
            if (!location) return Fail(kSoapServerError, "redirect without a Location");
            if (hop >= kMaxRedirects) return Fail(kSoapServerError, "too many redirects");
            std::optional<ServiceTarget> next = ResolveLocation(target, *location, &error);
            if (!next) return Fail(kSoapServerError, "cannot follow the redirect: " + error);
            target = std::move(*next);
            continue;
        }
        // Only the answers whose body is read need it; every other status ends the call here.
        if ((answer.status == 200 || answer.status == 500) && !reader.ReadBody(answer, error)) {
            return Fail(kSoapReadFailed, error);
        }
        const int32_t status = InterpretSoapAnswer(answer, op, *result, error);
        if (status < 0) return Fail(status, error);
        return kSoapOk;
    }
}
