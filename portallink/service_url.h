// The target of one SOAP call: the configured service URL escaped and split into its parts. Used by the
// proxy when it is bound and when it follows a redirect.
#pragma once

#include <optional>
#include <string>
#include <string_view>

struct ServiceTarget {
    std::string host;  // as written in the URL, without the port; IPv6 literals keep their brackets
    int port = 80;
    std::string path;   // begins with "/"
    std::string query;  // empty or begins with "?"

    // What the request line names: path followed by query.
    std::string RequestTarget() const { return path + query; }
};

// Longest escaped URL that is accepted, as the text buffer of the original binding step allowed.
inline constexpr size_t kMaxServiceUrlLength = 2083;

// Escapes the characters that cannot travel in a request line or a Host header (controls, space, bytes
// outside ASCII and a few unsafe signs) as %XX. An already escaped "%XX" is kept.
std::string EscapeUrl(std::string_view url);

// Escapes and parses an absolute "http" URL. Empty when the URL is too long, names another scheme (no TLS:
// an "https" target is refused rather than sent in the clear), or has no usable host or port. error tells
// why.
std::optional<ServiceTarget> ParseServiceUrl(std::string_view url, std::string* error);

// Resolves a redirect's Location (absolute, or relative to base) into a new target.
std::optional<ServiceTarget> ResolveLocation(const ServiceTarget& base, std::string_view location, std::string* error);
