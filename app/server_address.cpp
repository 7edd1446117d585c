#include "app/server_address.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <limits>
#include <utility>

#include "app/deployment_values.h"
#include "app/text_trim.h"

namespace {

// The checks every address must pass before anything reads it. The text would otherwise be cut short
// at a NUL by the C libraries it is handed to, or name a host with a space in it.
std::string CheckAddressText(std::string_view trimmed) {
    if (trimmed.size() > kMaxServerAddressLength) {
        return "address longer than " + std::to_string(kMaxServerAddressLength) + " characters";
    }
    const bool bad = std::any_of(trimmed.begin(), trimmed.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u <= 0x20 || u == 0x7F;
    });
    if (bad) return "address contains white space or control characters";
    return {};
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// Only plain decimal digits count: "1936abc" or "+5" are not numbers here.
bool ParseDecimal(std::string_view text, int64_t max, int64_t* value) {
    if (text.empty() || text.size() > 18) return false;
    if (!std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) return false;
    int64_t v = 0;
    std::from_chars(text.data(), text.data() + text.size(), v);
    if (v > max) return false;
    *value = v;
    return true;
}

// A refused address leaves nothing half-filled behind.
StreamAddress Refuse(std::string why) {
    StreamAddress result;
    result.error = std::move(why);
    return result;
}

}  // namespace

StreamAddress ParseStreamAddress(std::string_view address) {
    StreamAddress result;
    const std::string_view text = TrimBlanks(address);
    if (text.empty()) return Refuse("empty address");
    if (std::string why = CheckAddressText(text); !why.empty()) return Refuse(std::move(why));

    const size_t marker = text.find("://");
    if (marker == std::string_view::npos) return Refuse("no \"://\" in the address");
    const std::string_view scheme = text.substr(0, marker);
    std::string_view rest = text.substr(marker + 3);
    if (rest.empty()) return Refuse("nothing after \"://\"");

    if (EqualsNoCase(scheme, "rtsp")) {
        result.port = 554;
    } else if (EqualsNoCase(scheme, "rtmp")) {
        result.port = 1935;
    } else if (EqualsNoCase(scheme, "http")) {
        // An http address names a web service; its parts are never needed.
        result.protocol = "http";
        result.ok = true;
        return result;
    } else {
        return Refuse("unsupported scheme \"" + std::string(scheme) + "\"");
    }

    // A ":" only separates a port when it comes before the path: "rtmp://h/live?k=a:b" has no port.
    const size_t first_slash = rest.find('/');
    const size_t colon = rest.substr(0, first_slash).find(':');
    const bool has_port = colon != std::string_view::npos;
    const size_t separator = has_port ? colon : first_slash;

    if (separator == std::string_view::npos) {
        result.host = std::string(rest);
        result.protocol = std::string(scheme);
        result.ok = true;
        return result;
    }
    result.host = std::string(rest.substr(0, separator));
    if (result.host.empty()) return Refuse("no host name in the address");
    rest = rest.substr(separator + 1);

    // A closing "/" names nothing, with or without a port: "h/live/77/" is tube 77 like "h:1935/live/77/".
    if (!rest.empty() && rest.back() == '/') rest.remove_suffix(1);
    if (has_port) {
        const size_t slash = rest.find('/');
        const std::string_view port_text = rest.substr(0, slash);
        // "host:" and "host:/path" leave the scheme's port, as URL syntax has it.
        if (!port_text.empty()) {
            int64_t port = 0;
            if (!ParseDecimal(port_text, 65535, &port) || port == 0) {
                return Refuse("port \"" + std::string(port_text) + "\" is not a number from 1 to 65535");
            }
            result.port = static_cast<int32_t>(port);
        }
    }

    const size_t last_slash = rest.rfind('/');
    if (last_slash != std::string_view::npos && last_slash > 0) {
        result.streamName = std::string(rest.substr(last_slash + 1));
        int64_t tube = 0;
        if (ParseDecimal(result.streamName, std::numeric_limits<int32_t>::max(), &tube)) {
            result.tube = static_cast<int32_t>(tube);
        }
    }
    result.protocol = std::string(scheme);
    result.ok = true;
    return result;
}

ServerAddressInfo ClassifyServerAddress(std::string_view address) {
    return ClassifyServerAddress(address, {kPortalAddressHttp, kPortalAddressHttps});
}

ServerAddressInfo ClassifyServerAddress(std::string_view address, const DeploymentValues& deployment) {
    return ClassifyServerAddress(address, {deployment.PortalAddress1, deployment.PortalAddress2});
}

ServerAddressInfo ClassifyServerAddress(std::string_view address, std::initializer_list<std::string_view> portals) {
    ServerAddressInfo info;
    const std::string_view text = TrimBlanks(address);
    if (text.empty()) return info;
    if (std::string why = CheckAddressText(text); !why.empty()) {
        info.error = std::move(why);
        return info;
    }
    for (std::string_view portal : portals) {
        if (!portal.empty() && text.starts_with(portal)) {
            info.kind = kServerPortal;
            return info;
        }
    }
    StreamAddress stream = ParseStreamAddress(text);
    if (!stream.ok) {
        info.error = std::move(stream.error);
        return info;
    }
    if (!EqualsNoCase(stream.protocol, "rtmp")) {
        info.kind = kServerStream;
        return info;
    }
    info.kind = kServerDirectRtmp;
    info.publishToUrl = 1;
    info.publishUrl = std::string(text);
    info.host = std::move(stream.host);
    info.port = stream.port;
    info.tube = stream.tube;
    return info;
}
