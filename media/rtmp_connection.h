// One publishing connection to an RTMP server, as the live engine uses it: opened on the main thread at the
// start of a live or on the send thread when it reconnects, used for sending by the send thread only, and cut
// short from the main thread (Abort) when a live stops while a connection attempt is still under way.
#pragma once

#include <librtmp/rtmp.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

constexpr int kRtmpTimeoutSeconds = 10;
constexpr int kRtmpOutChunkSize = 2048;

class IRtmpConnection {
public:
    virtual ~IRtmpConnection() = default;
    // Connects and opens the stream for publishing; > 0 when the stream is open. Every step is bounded by the
    // connection timeout.
    virtual int Open(const std::string& url) = 0;
    virtual bool IsConnected() = 0;
    // Sends one packet with queueing off; false when it could not be written.
    virtual bool Send(RTMPPacket* packet) = 0;
    // The message stream id the server gave the publishing stream (0 before Open succeeded).
    virtual int32_t StreamId() const = 0;
    // Any thread: ends a connection attempt or a blocked send at once; the connection then counts as lost and
    // cannot be opened again.
    virtual void Abort() = 0;
};

using RtmpConnectionFactory = std::function<std::unique_ptr<IRtmpConnection>()>;

// The librtmp connection. librtmp's own connect waits as long as the system lets a TCP connect wait (minutes
// for a host that does not answer), so the TCP connection is made here with the timeout as a deadline and
// handed to librtmp for the handshake; the same timeout bounds every later receive and send.
class CRtmpConnection : public IRtmpConnection {
public:
    CRtmpConnection();
    ~CRtmpConnection() override;
    CRtmpConnection(const CRtmpConnection&) = delete;
    CRtmpConnection& operator=(const CRtmpConnection&) = delete;

    int Open(const std::string& url) override;
    bool IsConnected() override;
    bool Send(RTMPPacket* packet) override;
    int32_t StreamId() const override { return streamId_; }
    void Abort() override;

    // The outgoing chunk size in force (128 until the server has been told 2048).
    int OutChunkSize() const;

private:
    struct RtmpCloser {
        void operator()(RTMP* r) const;
    };

    int ConnectSocket(const std::string& host, int port);
    bool AnnounceChunkSize();
    void CloseAbortHandle();

    // librtmp keeps pointers into the URL it parsed (and sends from them while closing), so the text is declared
    // first and outlives the connection.
    std::vector<char> url_;
    std::unique_ptr<RTMP, RtmpCloser> rtmp_;
    std::atomic<int32_t> streamId_{0};
    std::atomic<bool> aborted_{false};
    // A duplicate of the socket that only Abort uses: librtmp may close its own descriptor at any failure, and
    // a descriptor number closed elsewhere must never be shut down here (it may belong to someone else by then).
    std::mutex abortLock_;
    int abortFd_ = -1;
};

// The factory the engine uses unless a test gives another.
std::unique_ptr<IRtmpConnection> MakeRtmpConnection();

// A write on a connection the server has dropped must fail with an error instead of ending the process.
// Idempotent; keeps a handler someone else installed.
void IgnoreSigpipe();
