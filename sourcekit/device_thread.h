// What every SourceKit device thread shares: the millisecond clock it paces by and the started
// event its starter waits on. Internal to the library.
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
