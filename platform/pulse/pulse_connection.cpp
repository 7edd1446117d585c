#include "platform/pulse/pulse_connection.h"

#include <cstdio>

#include "platform/log.h"

namespace {

void WakeWaiters(pa_threaded_mainloop* loop) { pa_threaded_mainloop_signal(loop, 0); }

void OnContextState(pa_context*, void* loop) { WakeWaiters(static_cast<pa_threaded_mainloop*>(loop)); }

void OnOperationState(pa_operation*, void* loop) { WakeWaiters(static_cast<pa_threaded_mainloop*>(loop)); }

struct WaitTimer {
    pa_threaded_mainloop* loop;
    bool expired = false;
};

void OnWaitTimer(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* userdata) {
    auto* timer = static_cast<WaitTimer*>(userdata);
    timer->expired = true;
    WakeWaiters(timer->loop);
}

}  // namespace

std::unique_ptr<CPulseConnection> CPulseConnection::Open(const char* threadName, PulseDeadline deadline) {
    std::unique_ptr<CPulseConnection> connection(new CPulseConnection);
    connection->loop_ = pa_threaded_mainloop_new();
    if (connection->loop_ == nullptr) {
        Log(LogLevel::kWarning, "audio", "no event loop for the sound server");
        return nullptr;
    }
    pa_threaded_mainloop_set_name(connection->loop_, threadName);
    connection->context_ = pa_context_new(pa_threaded_mainloop_get_api(connection->loop_), "BrevacastPC");
    if (connection->context_ == nullptr) {
        Log(LogLevel::kWarning, "audio", "no sound server context");
        return nullptr;
    }
    pa_context_set_state_callback(connection->context_, &OnContextState, connection->loop_);
    // Never start a server of our own: without one the sound of that kind is simply absent.
    if (pa_context_connect(connection->context_, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
        Log(LogLevel::kWarning, "audio", "no sound server: %s", pa_strerror(pa_context_errno(connection->context_)));
        return nullptr;
    }
    if (pa_threaded_mainloop_start(connection->loop_) < 0) {
        Log(LogLevel::kError, "audio", "the sound server's event thread did not start");
        return nullptr;
    }
    CPulseLock lock(*connection);
    pa_context* context = connection->context_;
    const bool ready =
        connection->WaitUntil([context] { return pa_context_get_state(context) == PA_CONTEXT_READY; }, deadline);
    if (!ready) {
        Log(LogLevel::kWarning, "audio", "no sound server: %s",
            connection->Alive() ? "no answer in time" : pa_strerror(pa_context_errno(context)));
        return nullptr;
    }
    return connection;
}

CPulseConnection::~CPulseConnection() {
    if (loop_ != nullptr) pa_threaded_mainloop_stop(loop_);
    // With the event thread gone nothing else touches the context.
    if (context_ != nullptr) {
        pa_context_set_state_callback(context_, nullptr, nullptr);
        pa_context_disconnect(context_);
        pa_context_unref(context_);
    }
    if (loop_ != nullptr) pa_threaded_mainloop_free(loop_);
}

bool CPulseConnection::IsAlive() const {
    CPulseLock lock(*this);
    return Alive();
}

bool CPulseConnection::Alive() const { return PA_CONTEXT_IS_GOOD(pa_context_get_state(context_)); }

void CPulseConnection::Signal() { WakeWaiters(loop_); }

bool CPulseConnection::WaitUntil(const std::function<bool()>& done, PulseDeadline deadline) {
    if (done()) return true;
    const auto left =
        std::chrono::duration_cast<std::chrono::microseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    WaitTimer timer{loop_};
    pa_time_event* event =
        pa_context_rttime_new(context_, pa_rtclock_now() + static_cast<pa_usec_t>(left.count()), &OnWaitTimer, &timer);
    if (event == nullptr) return done();
    while (!done() && !timer.expired && Alive()) pa_threaded_mainloop_wait(loop_);
    pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop_);
    api->time_free(event);
    return done();
}

bool CPulseConnection::Finish(pa_operation* operation, PulseDeadline deadline) {
    if (operation == nullptr) return false;
    pa_operation_set_state_callback(operation, &OnOperationState, loop_);
    const bool finished =
        WaitUntil([operation] { return pa_operation_get_state(operation) != PA_OPERATION_RUNNING; }, deadline);
    const bool done = finished && pa_operation_get_state(operation) == PA_OPERATION_DONE;
    if (!finished) pa_operation_cancel(operation);
    pa_operation_set_state_callback(operation, nullptr, nullptr);
    pa_operation_unref(operation);
    return done;
}
