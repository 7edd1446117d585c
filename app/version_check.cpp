#include "app/version_check.h"

#include <json/json.h>

#include <algorithm>
#include <exception>
#include <memory>

#include "app/http_fetch.h"
#include "platform/log.h"

#ifndef BV_PROGRAM_VERSION
#error "BV_PROGRAM_VERSION comes from the project's version in CMake"
#endif

namespace {

bool OnlyDigitsAndDots(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
}

// The leading decimal digits of text, without leading zeros ("" stands for 0).
std::string_view LeadingNumber(std::string_view text) {
    const size_t end = std::min(text.find_first_not_of("0123456789"), text.size());
    text = text.substr(0, end);
    while (!text.empty() && text.front() == '0') text.remove_prefix(1);
    return text;
}

// <0, 0, >0 as the leading number of a is smaller, equal or larger than that of b; by value, however
// many digits they have.
int CompareNumbers(std::string_view a, std::string_view b) {
    const std::string_view x = LeadingNumber(a);
    const std::string_view y = LeadingNumber(b);
    if (x.size() != y.size()) return x.size() < y.size() ? -1 : 1;
    return x.compare(y);
}

}  // namespace

std::string ProgramVersion() { return BV_PROGRAM_VERSION; }

std::string GetFileVersionString(std::string_view name) {
    if (name == "FileVersion" || name == "ProductVersion") return ProgramVersion();
    return {};
}

std::string VersionQueryUrl(std::string_view versionService) {
    if (versionService.ends_with('/')) versionService.remove_suffix(1);
    return std::string(versionService) + "/pages/version/getVersion.jsp?type=st_client";
}

std::string FetchServerVersion(std::string_view versionService, std::chrono::milliseconds overallTimeout) {
    if (versionService.empty()) return {};
    HttpFetchOptions options;
    options.overallTimeout = overallTimeout;
    options.maxBodyBytes = kVersionBodyLimit - 1;
    std::string body;
    if (!HttpGetToMemory(VersionQueryUrl(versionService), options, &body).ok()) return {};

    Json::CharReaderBuilder builder;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value root;
    std::string errors;
    bool parsed = false;
    try {
        parsed = reader->parse(body.data(), body.data() + body.size(), &root, &errors);
    } catch (const std::exception& e) {
        // jsoncpp throws, rather than fails, on nesting deeper than it allows.
        errors = e.what();
    }
    if (!parsed) {
        std::replace(errors.begin(), errors.end(), '\n', ' ');
        Log(LogLevel::kInfo, "version", "the version service's answer is not JSON: %s", errors.c_str());
        return {};
    }
    if (!root.isObject() || !root["version"].isString()) {
        Log(LogLevel::kInfo, "version", "the version service's answer names no version");
        return {};
    }
    return root["version"].asString();
}

bool IsServerVersionNewer(std::string_view local, std::string_view server) {
    if (local.empty() || server.empty() || !OnlyDigitsAndDots(local) || !OnlyDigitsAndDots(server)) return false;
    size_t p = local.find('.');
    size_t q = server.find('.');
    while (p != std::string_view::npos && p > 0 && q != std::string_view::npos && q > 0) {
        const int order = CompareNumbers(server.substr(0, q), local.substr(0, p));
        if (order != 0) return order > 0;
        local.remove_prefix(p + 1);
        server.remove_prefix(q + 1);
        p = local.find('.');
        q = server.find('.');
    }
    return !local.empty() && !server.empty() && CompareNumbers(server, local) > 0;
}
