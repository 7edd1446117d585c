#include "media/rtmp_connection.h"

#include <fcntl.h>
#include <librtmp/log.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

#include "media/flv_packet.h"

namespace {

constexpr int kDefaultRtmpPort = 1935;
// How often a connect in progress looks at the abort flag.
constexpr int kAbortPollMs = 50;

void PrepareLibrary() {
    static std::once_flag once;
    std::call_once(once, [] {
        // librtmp writes a line to stderr for every failed read or write, once per reconnection attempt while a
        // server is down; the engine reports the losses and recoveries itself.
        RTMP_LogSetLevel(RTMP_LOGCRIT);
    });
    IgnoreSigpipe();
}

void SetTimeout(int fd, int option, int seconds) {
    timeval tv{};
    tv.tv_sec = seconds;
    setsockopt(fd, SOL_SOCKET, option, &tv, sizeof(tv));
}

}  // namespace

void IgnoreSigpipe() {
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction current {};
        if (sigaction(SIGPIPE, nullptr, &current) != 0) return;
        if ((current.sa_flags & SA_SIGINFO) != 0 || current.sa_handler != SIG_DFL) return;
        struct sigaction ignore {};
        ignore.sa_handler = SIG_IGN;
        sigemptyset(&ignore.sa_mask);
        sigaction(SIGPIPE, &ignore, nullptr);
    });
}

void CRtmpConnection::RtmpCloser::operator()(RTMP* r) const {
    RTMP_Close(r);
    RTMP_Free(r);
}

CRtmpConnection::CRtmpConnection() = default;

CRtmpConnection::~CRtmpConnection() {
    rtmp_.reset();
    CloseAbortHandle();
}

int CRtmpConnection::Open(const std::string& url) {
    PrepareLibrary();
    if (aborted_) return 0;
    rtmp_.reset(RTMP_Alloc());
    if (!rtmp_) return 0;
    RTMP* r = rtmp_.get();
    RTMP_Init(r);
    r->Link.timeout = kRtmpTimeoutSeconds;
    url_.assign(url.begin(), url.end());
    url_.push_back('\0');
    if (!RTMP_SetupURL(r, url_.data())) return 0;
    RTMP_EnableWrite(r);

    if (r->Link.socksport != 0) {
        // A SOCKS proxy is negotiated inside librtmp's own connect; only that path knows how.
        RTMP_Connect(r, nullptr);
    } else {
        const std::string host(r->Link.hostname.av_val, static_cast<size_t>(r->Link.hostname.av_len));
        const int fd = ConnectSocket(host, r->Link.port != 0 ? r->Link.port : kDefaultRtmpPort);
        if (fd < 0) return 0;
        // What librtmp's connect would have set up around its own socket before the handshake.
        r->m_sb.sb_socket = fd;
        r->m_sb.sb_timedout = 0;
        r->m_pausing = 0;
        r->m_fDuration = 0.0;
        r->m_bSendCounter = 1;
        {
            std::lock_guard<std::mutex> guard(abortLock_);
            abortFd_ = fcntl(fd, F_DUPFD_CLOEXEC, 0);
            if (aborted_ && abortFd_ >= 0) shutdown(abortFd_, SHUT_RDWR);
        }
        if (aborted_ || !RTMP_Connect1(r, nullptr)) return 0;
    }
    if (!RTMP_IsConnected(r) || !AnnounceChunkSize()) return 0;
    const int result = RTMP_ConnectStream(r, 0);
    if (result > 0) streamId_ = r->m_stream_id;
    return result;
}

int CRtmpConnection::ConnectSocket(const std::string& host, int port) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    if (host.empty() || getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &list) != 0) return -1;
    std::unique_ptr<addrinfo, void (*)(addrinfo*)> addresses(list, freeaddrinfo);

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kRtmpTimeoutSeconds);
    for (const addrinfo* ai = list; ai != nullptr && !aborted_; ai = ai->ai_next) {
        const int fd = socket(ai->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0) continue;
        bool connected = connect(fd, ai->ai_addr, ai->ai_addrlen) == 0;
        if (!connected && errno == EINPROGRESS) {
            for (;;) {
                const auto left =
                    std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                        .count();
                if (left <= 0 || aborted_) break;
                pollfd p{fd, POLLOUT, 0};
                const int ready = poll(&p, 1, static_cast<int>(std::min<long long>(left, kAbortPollMs)));
                if (ready < 0 && errno != EINTR) break;
                if (ready > 0) {
                    int error = 0;
                    socklen_t length = sizeof(error);
                    connected = getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
                    break;
                }
            }
        }
        if (!connected || aborted_) {
            close(fd);
            continue;
        }
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        SetTimeout(fd, SO_RCVTIMEO, kRtmpTimeoutSeconds);
        // A send into a full buffer towards a host that stopped answering would otherwise wait for the system's
        // retransmission limit, and the send thread (and a StopLive waiting for it) with it.
        SetTimeout(fd, SO_SNDTIMEO, kRtmpTimeoutSeconds);
        const int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof(on));
        return fd;
    }
    return -1;
}

bool CRtmpConnection::AnnounceChunkSize() {
    // librtmp chunks what it sends at m_outChunkSize but never tells the server; a server still reading
    // 128-byte chunks drops the publisher at the first large message.
    QueuedPacketPtr packet = BuildSetChunkSize(kRtmpOutChunkSize);
    if (!packet || !RTMP_SendPacket(rtmp_.get(), packet.get(), 0)) return false;
    rtmp_->m_outChunkSize = kRtmpOutChunkSize;
    return true;
}

bool CRtmpConnection::IsConnected() { return rtmp_ && RTMP_IsConnected(rtmp_.get()); }

bool CRtmpConnection::Send(RTMPPacket* packet) {
    return rtmp_ && packet != nullptr && RTMP_SendPacket(rtmp_.get(), packet, 0) != 0;
}

void CRtmpConnection::Abort() {
    aborted_ = true;
    std::lock_guard<std::mutex> guard(abortLock_);
    if (abortFd_ >= 0) shutdown(abortFd_, SHUT_RDWR);
}

int CRtmpConnection::OutChunkSize() const { return rtmp_ ? rtmp_->m_outChunkSize : 0; }

void CRtmpConnection::CloseAbortHandle() {
    std::lock_guard<std::mutex> guard(abortLock_);
    if (abortFd_ >= 0) close(abortFd_);
    abortFd_ = -1;
}

std::unique_ptr<IRtmpConnection> MakeRtmpConnection() { return std::make_unique<CRtmpConnection>(); }
