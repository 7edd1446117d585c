// One connection to the sound server with its own event thread. libpulse runs every callback on
// that thread; callers on other threads hold the connection's lock (CPulseLock) around every call
// into libpulse and wait for answers with a deadline, so a server that hangs or dies costs a
// failed call, never a hung caller. The program shares one connection among its listings and
// record streams (libpulse's internal caches are shared by all connections of a process and are
// only kept consistent by each connection's lock).
#pragma once

#include <pulse/pulseaudio.h>

#include <chrono>
#include <functional>
#include <memory>

using PulseDeadline = std::chrono::steady_clock::time_point;

class CPulseConnection {
public:
    // Connects to the server the environment names (PULSE_SERVER, or the user's default one) without
    // ever starting one. Null when no server answers before the deadline. threadName names the event
    // thread (at most 15 characters are kept).
    static std::unique_ptr<CPulseConnection> Open(const char* threadName, PulseDeadline deadline);
    ~CPulseConnection();
    CPulseConnection(const CPulseConnection&) = delete;
    CPulseConnection& operator=(const CPulseConnection&) = delete;

    pa_threaded_mainloop* Loop() const { return loop_; }
    pa_context* Context() const { return context_; }
    // False once the server has gone away (takes the lock).
    bool IsAlive() const;

    // The rest needs the lock held.

    // Waits until done() holds, the deadline passes or the connection breaks; returns done().
    bool WaitUntil(const std::function<bool()>& done, PulseDeadline deadline);
    // Waits for an operation to finish and releases it; false on timeout or a broken connection.
    bool Finish(pa_operation* operation, PulseDeadline deadline);
    bool Alive() const;
    // Wakes every WaitUntil; callbacks on the event thread call it when something they wait for changed.
    void Signal();

private:
    CPulseConnection() = default;

    pa_threaded_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
};

// Holds a connection's lock for a scope. Not for the event thread itself (its callbacks already hold it).
class CPulseLock {
public:
    explicit CPulseLock(const CPulseConnection& connection) : loop_(connection.Loop()) {
        pa_threaded_mainloop_lock(loop_);
    }
    ~CPulseLock() { pa_threaded_mainloop_unlock(loop_); }
    CPulseLock(const CPulseLock&) = delete;
    CPulseLock& operator=(const CPulseLock&) = delete;

private:
    pa_threaded_mainloop* loop_;
};

// The deadline of every short exchange with the server (a listing, opening a stream).
inline PulseDeadline PulseDeadlineIn(std::chrono::milliseconds timeout) {
    return std::chrono::steady_clock::now() + timeout;
}
