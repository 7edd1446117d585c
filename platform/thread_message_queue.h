// A single-consumer FIFO of (code, wParam, lParam) messages posted to a worker thread by any
// thread. The consumer takes at most one message per turn of its loop, so the order in which
// changes were posted is the order in which they take effect.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>

struct ThreadMessage {
    uint32_t code = 0;
    uintptr_t wParam = 0;
    intptr_t lParam = 0;
};

class CThreadMessageQueue {
public:
    // Any thread. Never blocks for longer than the queue's lock.
    void Post(uint32_t code, uintptr_t wParam, intptr_t lParam);

    // Consumer thread: removes the first message into *out; false when the queue is empty.
    bool Take(ThreadMessage* out);

    // Removes every message still queued and returns them in order (used when the consumer
    // stops, so that the owner can release what the messages carry).
    std::deque<ThreadMessage> Drain();

    size_t Size() const;

private:
    mutable std::mutex lock_;
    std::deque<ThreadMessage> messages_;
};
