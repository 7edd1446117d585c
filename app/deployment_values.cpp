#include "app/deployment_values.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/text_trim.h"
#include "platform/log.h"

namespace {

constexpr const char* kModule = "deploy";
// Far above any real deployment file.
constexpr size_t kMaxDeploymentBytes = 64 * 1024;

std::string* FieldOf(DeploymentValues& values, std::string_view key) {
    if (key == "PortalAddress1") return &values.PortalAddress1;
    if (key == "PortalAddress2") return &values.PortalAddress2;
    if (key == "VersionService") return &values.VersionService;
    if (key == "RegistrationHost") return &values.RegistrationHost;
    if (key == "WebSite") return &values.WebSite;
    return nullptr;
}

}  // namespace

DeploymentValues ParseDeploymentText(std::string_view text) {
    DeploymentValues values;
    // A UTF-8 byte order mark from an editor would otherwise glue itself to the first key.
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    int line_number = 0;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string_view line = TrimBlanks(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++line_number;
        if (line.empty() || line.front() == '#' || line.front() == ';') continue;
        const size_t equals = line.find('=');
        if (equals == std::string_view::npos) {
            Log(LogLevel::kDebug, kModule, "line %d is not key=value; skipped", line_number);
            continue;
        }
        const std::string_view key = TrimBlanks(line.substr(0, equals));
        std::string* field = FieldOf(values, key);
        if (field == nullptr) {
            Log(LogLevel::kDebug, kModule, "unknown key \"%.*s\" on line %d; skipped", static_cast<int>(key.size()),
                key.data(), line_number);
            continue;
        }
        *field = std::string(TrimBlanks(line.substr(equals + 1)));
    }
    return values;
}

DeploymentValues LoadDeploymentValues(const std::string& app_dir) {
    const char* named = std::getenv(kDeploymentEnvVar);
    std::string path;
    if (named != nullptr && *named != '\0') {
        path = named;
    } else {
        path = (app_dir.empty() ? std::string(".") : app_dir) + "/deployment.ini";
    }
    // A handful of short lines: anything but a small regular file (a pipe, a device, a huge file
    // named by mistake) would hold the start-up.
    std::error_code error;
    const auto status = std::filesystem::status(path, error);
    if (error || !std::filesystem::is_regular_file(status)) {
        Log(LogLevel::kDebug, kModule, "%s is no file; built-in values in use", path.c_str());
        return {};
    }
    const auto size = std::filesystem::file_size(path, error);
    if (error || size > kMaxDeploymentBytes) {
        Log(LogLevel::kWarning, kModule, "%s is larger than %zu bytes; built-in values in use", path.c_str(),
            kMaxDeploymentBytes);
        return {};
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        Log(LogLevel::kDebug, kModule, "%s not readable; built-in values in use", path.c_str());
        return {};
    }
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) {
        Log(LogLevel::kWarning, kModule, "%s could not be read; built-in values in use", path.c_str());
        return {};
    }
    return ParseDeploymentText(text.str());
}

std::string RegistrationPageUrl(const DeploymentValues& values) {
    std::string_view host = TrimBlanks(values.RegistrationHost);
    while (host.ends_with('/')) host.remove_suffix(1);
    if (host.empty()) return {};
    return std::string(host) + "/v2/register.jsp";
}
