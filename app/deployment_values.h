// The values that differ from one deployment of the program to another: where the operator's portal is,
// the version service, the registration host and the web site. Read once at start-up (main thread) from
// deployment.ini beside the program, or from the file BREVACAST_DEPLOYMENT names; read-only afterwards.
#pragma once

#include <string>
#include <string_view>

// Every value is empty unless the file sets it: an empty portal address matches no server address, an
// empty version service means no version check, an empty registration host means no registration page.
struct DeploymentValues {
    std::string PortalAddress1;
    std::string PortalAddress2;
    std::string VersionService;  // scheme, host and port, e.g. "http://127.0.0.1:8080"
    std::string RegistrationHost;
    std::string WebSite;
};

// The environment variable that names another file than <program folder>/deployment.ini.
inline constexpr const char* kDeploymentEnvVar = "BREVACAST_DEPLOYMENT";

// `key=value` lines; "#" and ";" lines are comments; blanks around keys and values do not count; lines
// without "=" and unknown keys are skipped (logged at debug level). A later line wins over an earlier one.
DeploymentValues ParseDeploymentText(std::string_view text);

// The file BREVACAST_DEPLOYMENT names when it is set and not empty, else deployment.ini in app_dir. A
// missing or unreadable file gives the built-in (empty) values.
DeploymentValues LoadDeploymentValues(const std::string& app_dir);

// The registration page of the operator: RegistrationHost followed by "/v2/register.jsp"; empty when
// RegistrationHost is.
std::string RegistrationPageUrl(const DeploymentValues& values);
