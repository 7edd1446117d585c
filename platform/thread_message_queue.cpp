#include "platform/thread_message_queue.h"

void CThreadMessageQueue::Post(uint32_t code, uintptr_t wParam, intptr_t lParam) {
    std::lock_guard<std::mutex> guard(lock_);
    messages_.push_back(ThreadMessage{code, wParam, lParam});
}

bool CThreadMessageQueue::Take(ThreadMessage* out) {
    std::lock_guard<std::mutex> guard(lock_);
    if (messages_.empty()) return false;
    *out = messages_.front();
    messages_.pop_front();
    return true;
}

std::deque<ThreadMessage> CThreadMessageQueue::Drain() {
    std::lock_guard<std::mutex> guard(lock_);
    std::deque<ThreadMessage> all;
    all.swap(messages_);
    return all;
}

size_t CThreadMessageQueue::Size() const {
    std::lock_guard<std::mutex> guard(lock_);
    return messages_.size();
}
