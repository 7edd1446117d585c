#include "ui/window_bridge.h"

#include <QCoreApplication>

QEvent::Type CWindowMessageEvent::EventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

bool CWindowBridge::Post(uint32_t code, uintptr_t wParam, intptr_t lParam) {
    std::lock_guard<std::mutex> guard(lock_);
    if (receiver_ == nullptr) return false;
    // postEvent takes the event and is safe from any thread; events still queued for a receiver that
    // is destroyed are dropped by Qt.
    QCoreApplication::postEvent(receiver_, new CWindowMessageEvent(code, wParam, lParam));
    return true;
}

void CWindowBridge::Detach() {
    std::lock_guard<std::mutex> guard(lock_);
    receiver_ = nullptr;
}
