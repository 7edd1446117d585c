// The window-message bridge: worker threads, the composition thread and the engine post
// (code, wParam, lParam) to a window through IWindowTarget; the bridge turns each post into a Qt
// event queued for the window's thread, where the window's dispatch function handles it. Posting is
// thread-safe and never waits. The window owns its bridge and detaches it before it goes, so a late
// post is dropped instead of reaching a destroyed window.
#pragma once

#include <QEvent>
#include <QObject>
#include <cstdint>
#include <mutex>

#include "platform/window_target.h"

// The event a posted window message travels in.
class CWindowMessageEvent : public QEvent {
public:
    static QEvent::Type EventType();
    CWindowMessageEvent(uint32_t code, uintptr_t wParam, intptr_t lParam)
        : QEvent(EventType()), code(code), wParam(wParam), lParam(lParam) {}

    const uint32_t code;
    const uintptr_t wParam;
    const intptr_t lParam;
};

class CWindowBridge : public IWindowTarget {
public:
    explicit CWindowBridge(QObject* receiver) : receiver_(receiver) {}
    ~CWindowBridge() override { Detach(); }
    CWindowBridge(const CWindowBridge&) = delete;
    CWindowBridge& operator=(const CWindowBridge&) = delete;

    // Any thread. False once detached.
    bool Post(uint32_t code, uintptr_t wParam, intptr_t lParam) override;
    // The receiver's thread, before the receiver goes: later posts are dropped.
    void Detach();

private:
    std::mutex lock_;
    QObject* receiver_;
};
