// Starts a private X server (Xvfb) for tests and benchmarks and stops it by its process id.
// The server picks a free display itself and reports it once it accepts connections, so nobody
// has to guess a number or wait for a socket to appear.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>

class CXvfbServer {
public:
    CXvfbServer() = default;
    ~CXvfbServer() { Stop(); }
    CXvfbServer(const CXvfbServer&) = delete;
    CXvfbServer& operator=(const CXvfbServer&) = delete;

    // False when Xvfb cannot be started or does not report ready within ten seconds.
    bool Start(int width, int height);
    // Kills the server (TERM, then KILL) and reaps it.
    void Stop();
    bool Running() const { return pid_ > 0; }
    const std::string& Display() const { return display_; }
    pid_t Pid() const { return pid_; }

private:
    pid_t pid_ = -1;
    std::string display_;
};

// Waits for a child process to end (through a process file descriptor) and reaps it; false when it is
// still running after timeout.
bool WaitForProcessExit(pid_t pid, std::chrono::milliseconds timeout);

// Runs a shell command with DISPLAY set to display; returns its exit status (-1 if it could not run).
int RunWithDisplay(const std::string& display, const std::string& command);
