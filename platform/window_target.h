// Where worker threads post window messages: the main window in the user interface, a queue in
// headless runs and tests. Posting is thread-safe and never waits for the receiver.
#pragma once

#include <cstdint>

class IWindowTarget {
public:
    virtual ~IWindowTarget() = default;
    // Any thread. Returns false when the message could not be queued.
    virtual bool Post(uint32_t code, uintptr_t wParam, intptr_t lParam) = 0;
};

// Posts to target; a null target swallows the message (a window that does not exist yet).
inline bool PostWindowMessage(IWindowTarget* target, uint32_t code, uintptr_t wParam, intptr_t lParam) {
    return target != nullptr && target->Post(code, wParam, lParam);
}
