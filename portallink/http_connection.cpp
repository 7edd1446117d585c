#include "portallink/http_connection.h"

#include <curl/curl.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>

namespace {

constexpr size_t kSendBlock = 4096;

}  // namespace

bool HttpGlobalInit() { return curl_global_init(CURL_GLOBAL_NOTHING) == CURLE_OK; }

void HttpGlobalCleanup() { curl_global_cleanup(); }

CHttpConnection::~CHttpConnection() {
    if (curl_) curl_easy_cleanup(static_cast<CURL*>(curl_));
}

bool CHttpConnection::Connect(const ServiceTarget& target, std::string& error) {
    CURL* curl = curl_easy_init();
    if (!curl) {
        error = "cannot create a connection handle";
        return false;
    }
    curl_ = curl;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now()).count();
    const long connectMs = std::max<long>(1, std::min<long>(timeoutMs_, static_cast<long>(left)));
    const std::string url = "http://" + target.host + ":" + std::to_string(target.port) + "/";
    char errorText[CURL_ERROR_SIZE] = {};
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_CONNECT_ONLY, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, connectMs);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    // The service is always reached directly, whatever proxy the environment names.
    curl_easy_setopt(curl, CURLOPT_PROXY, "");
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorText);
    const CURLcode rc = curl_easy_perform(curl);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, nullptr);
    if (rc != CURLE_OK) {
        error = "cannot connect to " + target.host + " port " + std::to_string(target.port) + ": " +
                (errorText[0] ? errorText : curl_easy_strerror(rc));
        return false;
    }
    curl_socket_t socket = CURL_SOCKET_BAD;
    if (curl_easy_getinfo(curl, CURLINFO_ACTIVESOCKET, &socket) != CURLE_OK || socket == CURL_SOCKET_BAD) {
        error = "connected, but the socket is not available";
        return false;
    }
    socket_ = socket;
    return true;
}

bool CHttpConnection::WaitForSocket(bool forWrite, std::string& error) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now()).count();
    if (left <= 0) {
        error = "the exchange took longer than its time limit";
        return false;
    }
    const int waitMs = static_cast<int>(std::min<long long>(timeoutMs_, left));
    pollfd p{socket_, static_cast<short>(forWrite ? POLLOUT : POLLIN), 0};
    for (;;) {
        const int ready = poll(&p, 1, waitMs);
        if (ready > 0) return true;
        if (ready < 0 && errno == EINTR) continue;
        if (ready == 0) {
            error = waitMs < timeoutMs_ ? "the exchange took longer than its time limit"
                                        : "no " + std::string(forWrite ? "progress sending" : "answer data") + " for " +
                                              std::to_string(timeoutMs_) + " ms";
        } else {
            error = "waiting on the socket failed";
        }
        return false;
    }
}

bool CHttpConnection::SendAll(std::string_view data, std::string& error) {
    auto* curl = static_cast<CURL*>(curl_);
    while (!data.empty()) {
        const size_t block = std::min(kSendBlock, data.size());
        size_t sent = 0;
        const CURLcode rc = curl_easy_send(curl, data.data(), block, &sent);
        if (rc == CURLE_AGAIN) {
            if (!WaitForSocket(true, error)) return false;
            continue;
        }
        if (rc != CURLE_OK) {
            error = std::string("sending the request failed: ") + curl_easy_strerror(rc);
            return false;
        }
        data.remove_prefix(sent);
    }
    return true;
}

long CHttpConnection::Read(char* buf, size_t size, std::string& error) {
    auto* curl = static_cast<CURL*>(curl_);
    for (;;) {
        size_t got = 0;
        const CURLcode rc = curl_easy_recv(curl, buf, size, &got);
        if (rc == CURLE_OK) return static_cast<long>(got);
        if (rc == CURLE_AGAIN) {
            if (!WaitForSocket(false, error)) return -1;
            continue;
        }
        error = std::string("reading the answer failed: ") + curl_easy_strerror(rc);
        return -1;
    }
}
