#include "platform/queue_window_target.h"

bool CQueueWindowTarget::Post(uint32_t code, uintptr_t wParam, intptr_t lParam) {
    {
        std::lock_guard<std::mutex> guard(lock_);
        messages_.push_back(ThreadMessage{code, wParam, lParam});
    }
    arrived_.notify_all();
    return true;
}

bool CQueueWindowTarget::Take(ThreadMessage* out, std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> guard(lock_);
    if (!arrived_.wait_for(guard, timeout, [this] { return !messages_.empty(); })) return false;
    if (out) *out = messages_.front();
    messages_.pop_front();
    return true;
}

bool CQueueWindowTarget::WaitFor(const std::function<bool(const ThreadMessage&)>& match,
                                 std::chrono::milliseconds timeout, ThreadMessage* out) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::unique_lock<std::mutex> guard(lock_);
    for (;;) {
        while (!messages_.empty()) {
            ThreadMessage m = messages_.front();
            messages_.pop_front();
            if (match(m)) {
                if (out) *out = m;
                return true;
            }
        }
        if (arrived_.wait_until(guard, deadline) == std::cv_status::timeout && messages_.empty()) return false;
    }
}

std::deque<ThreadMessage> CQueueWindowTarget::TakeAll() {
    std::lock_guard<std::mutex> guard(lock_);
    std::deque<ThreadMessage> all;
    all.swap(messages_);
    return all;
}
