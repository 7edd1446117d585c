// The start-up version check: the program's own version, the version the operator's version service
// names, and whether that one is newer. Called on the main thread before any window exists; the fetch
// blocks for at most its overall time-out.
#pragma once

#include <chrono>
#include <string>
#include <string_view>

// A version service answer this long or longer is refused.
inline constexpr size_t kVersionBodyLimit = 102400;

// The version compiled in from the project's version.
std::string ProgramVersion();
// A value of the program's version information by name: "FileVersion" and "ProductVersion" give
// ProgramVersion(); any other name gives "".
std::string GetFileVersionString(std::string_view name = "FileVersion");

// "<versionService>/pages/version/getVersion.jsp?type=st_client" (one "/" at the end of the service is
// tolerated and dropped).
std::string VersionQueryUrl(std::string_view versionService);

// The member "version" of the service's JSON answer; "" on every failure, and without any request when
// versionService is empty. overallTimeout bounds the whole exchange.
std::string FetchServerVersion(std::string_view versionService,
                               std::chrono::milliseconds overallTimeout = std::chrono::seconds(15));

// Whether the server's version is newer than the local one, compared number by number from the left. Both
// must consist of digits and "." only, otherwise the answer is no. Once either side runs out of "."
// separated parts, only the next number of each counts, so 1.0.3 and 1.0.3.1 compare as equal. Numbers of
// any length compare by value.
bool IsServerVersionNewer(std::string_view local, std::string_view server);
