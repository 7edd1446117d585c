#include "portallink/soap_envelope.h"

#include <cstdint>

namespace {

constexpr char16_t kReplacement = 0xFFFD;

// UTF-8 to UTF-16 units, keeping lone surrogates (three-byte forms ED A0..BF xx) as the units they name.
std::u16string ToUtf16Units(std::string_view in) {
    std::u16string out;
    out.reserve(in.size());
    size_t i = 0;
    const size_t n = in.size();
    auto cont = [&](size_t k) { return k < n && (static_cast<unsigned char>(in[k]) & 0xC0) == 0x80; };
    while (i < n) {
        const auto b0 = static_cast<unsigned char>(in[i]);
        if (b0 < 0x80) {
            out += static_cast<char16_t>(b0);
            i += 1;
        } else if (b0 >= 0xC2 && b0 <= 0xDF && cont(i + 1)) {
            out += static_cast<char16_t>(((b0 & 0x1F) << 6) | (static_cast<unsigned char>(in[i + 1]) & 0x3F));
            i += 2;
        } else if (b0 >= 0xE0 && b0 <= 0xEF && cont(i + 1) && cont(i + 2)) {
            const uint32_t cp = ((b0 & 0x0F) << 12) | ((static_cast<unsigned char>(in[i + 1]) & 0x3F) << 6) |
                                (static_cast<unsigned char>(in[i + 2]) & 0x3F);
            if (cp < 0x800) {  // overlong
                out += kReplacement;
                i += 1;
                continue;
            }
            out += static_cast<char16_t>(cp);
            i += 3;
        } else if (b0 >= 0xF0 && b0 <= 0xF4 && cont(i + 1) && cont(i + 2) && cont(i + 3)) {
            const uint32_t cp = ((b0 & 0x07) << 18) | ((static_cast<unsigned char>(in[i + 1]) & 0x3F) << 12) |
                                ((static_cast<unsigned char>(in[i + 2]) & 0x3F) << 6) |
                                (static_cast<unsigned char>(in[i + 3]) & 0x3F);
            if (cp < 0x10000 || cp > 0x10FFFF) {
                out += kReplacement;
                i += 1;
                continue;
            }
            const uint32_t v = cp - 0x10000;
            out += static_cast<char16_t>(0xD800 + (v >> 10));
            out += static_cast<char16_t>(0xDC00 + (v & 0x3FF));
            i += 4;
        } else {
            out += kReplacement;
            i += 1;
        }
    }
    return out;
}

bool IsHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// "&#x" + digits upper-case hex digits + ";" (what "&#x%04X;" and "&#x%06X;" print).
void AppendReference(std::string& out, unsigned value, int digits) {
    static const char kHex[] = "0123456789ABCDEF";
    out += "&#x";
    for (int shift = (digits - 1) * 4; shift >= 0; shift -= 4) out += kHex[(value >> shift) & 0x0F];
    out += ';';
}

}  // namespace

std::string EscapeSoapText(std::string_view utf8) {
    const std::u16string units = ToUtf16Units(utf8);
    std::string out;
    out.reserve(units.size() + units.size() / 4);
    for (size_t i = 0; i < units.size(); ++i) {
        const char16_t u = units[i];
        if (u == u'&') {
            out += "&amp;";
        } else if (u == u'<') {
            out += "&lt;";
        } else if (u == u'>') {
            out += "&gt;";
        } else if (IsHighSurrogate(u) && i + 1 < units.size() && IsLowSurrogate(units[i + 1])) {
            const unsigned cp = 0x10000 + ((static_cast<unsigned>(u) - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            AppendReference(out, cp, 6);
            ++i;
        } else if (u < 0x20 || u > 0x7E) {
            AppendReference(out, u, 4);
        } else {
            out += static_cast<char>(u);
        }
    }
    return out;
}

std::string BuildEnvelope(const SoapOperation& op, const std::vector<std::optional<std::string>>& values) {
    std::string body;
    body.reserve(512);
    body +=
        "<soap:Envelope xmlns:soap=\"http://schemas.xmlsoap.org/soap/envelope/\" "
        "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
        "xmlns:soapenc=\"http://schemas.xmlsoap.org/soap/encoding/\">";
    body += "<soap:Body soap:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\">";
    body += "<snp:";
    body += op.name;
    body += " xmlns:snp=\"";
    body += kServiceNamespace;
    body += "\">";
    for (size_t i = 0; i < op.params.size(); ++i) {
        const std::string_view name = op.params[i];
        const std::optional<std::string>* value = i < values.size() ? &values[i] : nullptr;
        body += '<';
        body += name;
        if (!value || !value->has_value()) {
            body += " xsi:nil=\"1\"/>";
            continue;
        }
        body += '>';
        body += EscapeSoapText(**value);
        body += "</";
        body += name;
        body += '>';
    }
    body += "</snp:";
    body += op.name;
    body += '>';
    body += "</soap:Body>";
    body += "</soap:Envelope>";
    return body;
}
