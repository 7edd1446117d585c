// Naming, prioritising, starting and joining the program's threads. Names show in debuggers and
// `top -H`; priorities are best effort (refused without privileges, then the thread runs at normal
// priority). Every thread has one owner that starts it with StartNamedThread and joins it.
#pragma once

#include <exception>
#include <thread>
#include <utility>

#include "platform/log.h"

enum class ThreadPriority { kNormal, kHighest, kTimeCritical };

// Names the calling thread (at most 15 characters are kept).
void SetCurrentThreadName(const char* name);

// Raises the calling thread's priority where the system permits; silently keeps it otherwise.
void SetCurrentThreadPriority(ThreadPriority priority);

// Starts body on a new thread named name (a string literal) at priority. An exception leaving body is
// logged and ends the thread instead of the process. Throws std::system_error when no thread can be made.
template <typename Body>
std::thread StartNamedThread(const char* name, ThreadPriority priority, Body body) {
    return std::thread([name, priority, body = std::move(body)]() mutable {
        SetCurrentThreadName(name);
        SetCurrentThreadPriority(priority);
        try {
            body();
        } catch (const std::exception& e) {
            Log(LogLevel::kError, name, "thread ended: %s", e.what());
        } catch (...) {
            Log(LogLevel::kError, name, "thread ended by an unknown exception");
        }
    });
}

// Waits for the thread when it runs (or has run) and was not joined yet; never from the thread itself.
inline void JoinThread(std::thread& thread) {
    if (thread.joinable() && thread.get_id() != std::this_thread::get_id()) thread.join();
}
