// The nine operations of the broadcaster's service and the request envelope that carries one of them.
// Built by the proxy for every call; everything here is pure text work.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct SoapOperation {
    std::string_view name;
    std::vector<std::string_view> params;  // in the order they are written
    std::string_view returnElement;        // empty when the operation returns nothing
};

namespace soap_ops {
inline const SoapOperation kLogon{"Logon", {"userId", "password"}, "LogonReturn"};
inline const SoapOperation kVersion{"Version", {}, "VersionReturn"};
inline const SoapOperation kActivityList{"ActivityList", {"userId"}, "ActivityListReturn"};
inline const SoapOperation kPrepare{"Prepare", {"activityId"}, "PrepareReturn"};
inline const SoapOperation kPrepare2{"Prepare2", {"activityId", "userId", "cloudRecord"}, "Prepare2Return"};
inline const SoapOperation kStartLive{"StartLive", {"activityId"}, "StartLiveReturn"};
inline const SoapOperation kStartLive2{"StartLive2", {"activityId", "cloudRecord"}, "StartLive2Return"};
inline const SoapOperation kStopLive{"StopLive", {"activityId"}, ""};
inline const SoapOperation kSetLiveInfo{"SetLiveInfo", {"activityId", "title", "author", "desc"}, "SetLiveInfoReturn"};
}  // namespace soap_ops

// The service's namespace URI, written on the operation element.
inline constexpr std::string_view kServiceNamespace = "http://webservice.brevacast.example/BrevacastPlusService";
inline constexpr std::string_view kSoapEnvelopeNamespace = "http://schemas.xmlsoap.org/soap/envelope/";

// Escapes one parameter value for the envelope. The service expects pure ASCII: everything outside printable
// ASCII travels as a numeric character reference of its UTF-16 unit ("&#x4E2D;"), a surrogate pair as one
// six-digit reference of the combined code point ("&#x01F600;"). The input is UTF-8; surrogates encoded on
// their own (as a UTF-16 string converted unit by unit would give) are treated as those units, and any other
// byte that is not UTF-8 becomes U+FFFD.
std::string EscapeSoapText(std::string_view utf8);

// The whole request body for op with the given parameter values (null: the parameter is written as nil).
// values must have one entry per op.params.
std::string BuildEnvelope(const SoapOperation& op, const std::vector<std::optional<std::string>>& values);
