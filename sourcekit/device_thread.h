// What every SourceKit device thread shares: the millisecond clock it paces by, the started
// event its starter waits on, a named thread that never lets an exception escape, and the
// library's diagnostics. Internal to the library.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <utility>

#include "platform/media_clock.h"
#include "platform/thread_util.h"

// The clock every device paces by: the program's media clock, so that delivered timestamps compare
// directly with the program's own.
inline int64_t SkNowMs() { return GetMediaTimeMs(); }

// The device threads' wait between polls.
void SkSleep1ms();

// "[sourcekit] ..." on standard error.
void SkLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A manual-reset event that is never reset: the starter waits until the new thread has set it.
class CStartedEvent {
public:
    void Set() {
        std::lock_guard<std::mutex> lock(mutex_);
        set_ = true;
        signal_.notify_all();
    }
    void Wait() {
        std::unique_lock<std::mutex> lock(mutex_);
        signal_.wait(lock, [this] { return set_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable signal_;
    bool set_ = false;
};

// Starts body on a new thread named name. An exception leaving body is logged and ends the thread.
// Throws std::system_error when no thread can be made (the exported functions catch it).
template <typename Body>
std::thread StartDeviceThread(const char* name, Body body) {
    return std::thread([name, body = std::move(body)]() mutable {
        SetCurrentThreadName(name);
        try {
            body();
        } catch (const std::exception& e) {
            SkLog("%s thread ended: %s", name, e.what());
        } catch (...) {
            SkLog("%s thread ended by an unknown exception", name);
        }
    });
}
