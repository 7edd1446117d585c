// Reads the SOAP answer of one operation with a SAX parser (expat): the single string that the operation
// returns, or the fault that the service sent with HTTP 500. Document type declarations are refused, so
// no entity can be declared and expanded, and nesting is bounded.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "portallink/soap_envelope.h"

// On success result holds the return element's text with character references resolved, or nothing when
// the element is nil (or the operation returns nothing). False with error for anything else.
bool ParseSoapResponse(std::string_view body, const SoapOperation& op, std::optional<std::string>& result,
                       std::string& error);

struct SoapFault {
    std::string code;
    std::string text;
    std::string actor;
    std::string detail;
};

bool ParseSoapFault(std::string_view body, SoapFault& fault, std::string& error);
