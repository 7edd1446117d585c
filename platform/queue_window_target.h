// A window-message target backed by a queue: what headless runs and tests use in place of the
// main window. Any thread posts; one thread reads, optionally waiting with a deadline.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>

#include "platform/thread_message_queue.h"
#include "platform/window_target.h"

class CQueueWindowTarget : public IWindowTarget {
public:
    bool Post(uint32_t code, uintptr_t wParam, intptr_t lParam) override;

    // Removes the first message, waiting up to timeout for one; false when none came.
    bool Take(ThreadMessage* out, std::chrono::milliseconds timeout);

    // Waits up to timeout for the first message that satisfies match, removing it and every
    // message before it. False when none came in time.
    bool WaitFor(const std::function<bool(const ThreadMessage&)>& match, std::chrono::milliseconds timeout,
                 ThreadMessage* out = nullptr);

    std::deque<ThreadMessage> TakeAll();

private:
    std::mutex lock_;
    std::condition_variable arrived_;
    std::deque<ThreadMessage> messages_;
};
