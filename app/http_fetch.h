// The program's one HTTP GET (the version check, the account's portrait), over libcurl. Callable from
// any thread; each call has its own handle, so calls on different threads do not share anything.
//
// Only status 200 counts, redirects are not followed, only http and https are spoken, the proxy comes
// from the environment as libcurl reads it, and the body is capped. A connection that cannot be made is
// tried once more; a server that drips its answer is cut off by the overall time-out.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

struct HttpFetchOptions {
    std::chrono::milliseconds connectTimeout{2000};
    // The whole exchange, so that a slow or dripping server cannot hold a thread for ever.
    std::chrono::milliseconds overallTimeout{15000};
    // The largest body accepted; a longer one fails the fetch.
    uint64_t maxBodyBytes = 1 << 20;
};

enum class HttpFetchStatus {
    kOk,
    kBadAddress,  // not an http or https address libcurl accepts
    kConnectFailed,
    kNotOk,  // answered with another status than 200 (redirects included)
    kTooLarge,
    kTimedOut,
    kTransferFailed,  // cut short, malformed answer, ...
    kFileFailed,      // the file sink could not write, sync or rename
    kEmptyBody,       // the file sink got nothing to store
};

struct HttpFetchResult {
    HttpFetchStatus status = HttpFetchStatus::kTransferFailed;
    long httpStatus = 0;  // 0 when no answer came
    uint64_t bodyBytes = 0;
    bool ok() const { return status == HttpFetchStatus::kOk; }
};

// The body goes to *body (cleared first; left empty unless the fetch succeeds).
HttpFetchResult HttpGetToMemory(const std::string& url, const HttpFetchOptions& options, std::string* body);

// The body goes in 10,240-byte chunks to a temporary file beside path, which is synced and renamed onto
// path only once the whole body is in. Any failure (an empty body included) removes the temporary file
// and leaves whatever was at path untouched.
HttpFetchResult HttpGetToFile(const std::string& url, const HttpFetchOptions& options, const std::string& path);

const char* HttpFetchStatusName(HttpFetchStatus status);
