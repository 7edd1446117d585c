// Starts a private PulseAudio daemon for tests and benchmarks and stops it by its process id. It
// lives in a temporary folder of its own (home, runtime and state paths, its socket) with a null
// sink "bvnull" ("BvNull") as its output, plus whatever modules the caller adds, such as a
// module-pipe-source fed through a FIFO as a microphone.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

class CPulseServer {
public:
    CPulseServer() = default;
    ~CPulseServer() { Stop(); }
    CPulseServer(const CPulseServer&) = delete;
    CPulseServer& operator=(const CPulseServer&) = delete;

    // extraLines are appended to the daemon's script ("load-module ...", "set-default-source ...");
    // DIR in them stands for the server's folder. False when the daemon does not accept
    // connections within ten seconds (its log is printed then).
    bool Start(const std::vector<std::string>& extraLines = {});
    // Asks the daemon to end (TERM, then KILL), reaps it and removes its folder.
    void Stop();
    // Kills the daemon at once, as a crash would; the folder stays until Stop.
    void Kill();
    bool Running() const { return pid_ > 0; }
    pid_t Pid() const { return pid_; }

    const std::string& Dir() const { return dir_; }
    // "unix:DIR/native", for PULSE_SERVER.
    std::string Address() const { return "unix:" + dir_ + "/native"; }
    // Points this process's sound clients (and the children it starts) at this server.
    void ExportToEnvironment() const;

    // Starts paplay on the file into the sink; returns its pid (or -1). Reap it with WaitChild.
    pid_t Play(const std::string& path, const std::string& sink) const;
    // Runs pactl with the arguments; returns its exit status (-1 if it could not run).
    int Pactl(const std::vector<std::string>& args) const;

private:
    pid_t pid_ = -1;
    std::string dir_;
};

// Waits for a child to end, up to timeoutMs; kills it first when kill is set. True once reaped, with
// its exit status in *exitStatus (-1 when a signal ended it).
bool WaitChild(pid_t pid, int timeoutMs, bool kill = false, int* exitStatus = nullptr);
