// Starts a private nginx with the RTMP module for tests and benchmarks: one process (no master), listening on
// 127.0.0.1 on a free port with application "live" (live streams, nothing recorded), its configuration and logs
// in a temporary folder. Stopped by its process id; it can be stopped and started again on the same port to
// play a server that goes away during a live.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>

class CNginxRtmp {
public:
    CNginxRtmp() = default;
    ~CNginxRtmp();
    CNginxRtmp(const CNginxRtmp&) = delete;
    CNginxRtmp& operator=(const CNginxRtmp&) = delete;

    // Picks a free port on the first start and keeps it afterwards. False when nginx cannot be started or does
    // not accept connections within ten seconds.
    bool Start();
    // TERM, then KILL when nginx does not end within two seconds (a graceful stop can hang while clients are
    // connected); the process is reaped.
    void Stop();
    bool Running() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }
    int Port() const { return port_; }
    // rtmp://127.0.0.1:PORT/live/STREAM
    std::string Url(const std::string& stream) const;
    // The server's error log (for diagnosing a failed test).
    std::string ErrorLog() const;
    // Waits until a player has asked for the stream; false on time-out.
    bool WaitForPlayer(const std::string& stream, std::chrono::milliseconds timeout) const;
    // Waits until someone publishes the stream; false on time-out.
    bool WaitForPublisher(const std::string& stream, std::chrono::milliseconds timeout) const;

    // Where nginx keeps its module.
    static constexpr const char* kModulePath = "/usr/lib/nginx/modules/ngx_rtmp_module.so";

private:
    bool WriteConfig();

    pid_t pid_ = -1;
    int port_ = 0;
    std::string dir_;
};

// A TCP port on 127.0.0.1 that nothing listens on at the moment of the call.
int FreeLocalPort();
