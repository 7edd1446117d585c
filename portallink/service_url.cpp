#include "portallink/service_url.h"

#include <cctype>
#include <cstring>

namespace {

bool IsUnsafeUrlByte(unsigned char c) { return c <= 0x20 || c >= 0x7F || std::strchr("\"<>\\^`{|}#", c) != nullptr; }

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

bool IsHostNameChar(char c) { return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' || c == '_'; }

bool IsIpv6LiteralChar(char c) { return std::isxdigit(static_cast<unsigned char>(c)) || c == ':' || c == '.'; }

// Splits "path?query" into its two parts; an empty path becomes "/".
void SplitPathAndQuery(std::string_view tail, ServiceTarget& target) {
    const size_t q = tail.find('?');
    target.path = std::string(tail.substr(0, q));
    target.query = q == std::string_view::npos ? std::string() : std::string(tail.substr(q));
    if (target.path.empty() || target.path.front() != '/') target.path.insert(0, "/");
}

std::string_view WithoutFragment(std::string_view url) { return url.substr(0, url.find('#')); }

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
    return text;
}

bool SetError(std::string* error, std::string text) {
    if (error) *error = std::move(text);
    return false;
}

bool ParseAuthority(std::string_view authority, ServiceTarget& target, std::string* error) {
    const size_t at = authority.rfind('@');
    if (at != std::string_view::npos) authority.remove_prefix(at + 1);  // no authentication is ever sent
    std::string_view portText;
    if (!authority.empty() && authority.front() == '[') {
        const size_t close = authority.find(']');
        if (close == std::string_view::npos) return SetError(error, "unterminated IPv6 address");
        const std::string_view inner = authority.substr(1, close - 1);
        if (inner.empty()) return SetError(error, "empty host");
        for (char c : inner) {
            if (!IsIpv6LiteralChar(c)) return SetError(error, "invalid IPv6 address");
        }
        target.host = std::string(authority.substr(0, close + 1));
        const std::string_view after = authority.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':') return SetError(error, "text after the IPv6 address");
            portText = after.substr(1);
        }
    } else {
        const size_t colon = authority.find(':');
        const std::string_view host = authority.substr(0, colon);
        if (host.empty()) return SetError(error, "empty host");
        for (char c : host) {
            if (!IsHostNameChar(c)) return SetError(error, "invalid character in the host name");
        }
        target.host = std::string(host);
        if (colon != std::string_view::npos) portText = authority.substr(colon + 1);
    }
    target.port = 80;
    if (!portText.empty()) {
        if (portText.size() > 5) return SetError(error, "invalid port");
        int port = 0;
        for (char c : portText) {
            if (!std::isdigit(static_cast<unsigned char>(c))) return SetError(error, "invalid port");
            port = port * 10 + (c - '0');
        }
        if (port < 1 || port > 65535) return SetError(error, "port out of range");
        target.port = port;
    }
    return true;
}

}  // namespace

std::string EscapeUrl(std::string_view url) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(url.size());
    for (char ch : url) {
        const auto c = static_cast<unsigned char>(ch);
        if (IsUnsafeUrlByte(c)) {
            out += '%';
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        } else {
            out += ch;
        }
    }
    return out;
}

std::optional<ServiceTarget> ParseServiceUrl(std::string_view url, std::string* error) {
    const std::string escaped = EscapeUrl(url);
    if (escaped.size() > kMaxServiceUrlLength) {
        SetError(error, "the service address is longer than " + std::to_string(kMaxServiceUrlLength) + " characters");
        return std::nullopt;
    }
    const size_t sep = escaped.find("://");
    if (sep == std::string::npos || sep == 0) {
        SetError(error, "the service address names no scheme");
        return std::nullopt;
    }
    const std::string scheme = Lower(std::string_view(escaped).substr(0, sep));
    if (scheme == "https") {
        SetError(error, "https is not supported; refusing to send the request unencrypted");
        return std::nullopt;
    }
    if (scheme != "http") {
        SetError(error, "unsupported scheme \"" + scheme + "\"");
        return std::nullopt;
    }
    const std::string_view rest = std::string_view(escaped).substr(sep + 3);
    const size_t authorityEnd = rest.find_first_of("/?");
    ServiceTarget target;
    if (!ParseAuthority(rest.substr(0, authorityEnd), target, error)) return std::nullopt;
    SplitPathAndQuery(authorityEnd == std::string_view::npos ? std::string_view() : rest.substr(authorityEnd), target);
    return target;
}

std::optional<ServiceTarget> ResolveLocation(const ServiceTarget& base, std::string_view location, std::string* error) {
    location = Trimmed(WithoutFragment(location));
    if (location.empty()) {
        SetError(error, "empty redirect location");
        return std::nullopt;
    }
    const size_t sep = location.find("://");
    if (sep != std::string_view::npos && location.find_first_of("/?") > sep) {
        return ParseServiceUrl(location, error);
    }
    if (location.substr(0, 2) == "//") return ParseServiceUrl("http:" + std::string(location), error);
    const std::string escaped = EscapeUrl(location);
    ServiceTarget target = base;
    if (escaped.front() == '/') {
        SplitPathAndQuery(escaped, target);
    } else if (escaped.front() == '?') {
        target.query = escaped;
    } else {
        const std::string directory = base.path.substr(0, base.path.rfind('/') + 1);
        SplitPathAndQuery(directory + escaped, target);
    }
    return target;
}
