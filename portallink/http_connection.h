// One TCP connection of a SOAP call, opened through libcurl (name resolution and connecting with a
// time-out) and then driven by hand, so that the request goes out exactly as the proxy wrote it.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <string_view>

#include "portallink/http_answer.h"
#include "portallink/service_url.h"

class CHttpConnection : public IByteSource {
public:
    using Clock = std::chrono::steady_clock;

    // timeoutMs bounds connecting and every wait for the socket; deadline bounds the whole call, so that a
    // server that drips one byte at a time cannot hold the caller forever.
    CHttpConnection(int timeoutMs, Clock::time_point deadline) : timeoutMs_(timeoutMs), deadline_(deadline) {}
    ~CHttpConnection() override;
    CHttpConnection(const CHttpConnection&) = delete;
    CHttpConnection& operator=(const CHttpConnection&) = delete;

    bool Connect(const ServiceTarget& target, std::string& error);
    // Sends data in blocks of 4096 bytes.
    bool SendAll(std::string_view data, std::string& error);
    long Read(char* buf, size_t size, std::string& error) override;

private:
    bool WaitForSocket(bool forWrite, std::string& error);

    int timeoutMs_;
    Clock::time_point deadline_;
    void* curl_ = nullptr;  // CURL*, owned; closed (with its socket) by the destructor
    int socket_ = -1;
};

// Process-wide libcurl set-up, done once when the library is loaded.
bool HttpGlobalInit();
void HttpGlobalCleanup();
