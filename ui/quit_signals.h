// SIGINT and SIGTERM to the windowed program close it as "quit" does: the open windows are asked, top
// first, to end as if the user had quit (a running live is stopped and its recording finished, the
// scene and settings saved). The signal handler only writes to a pipe; the main thread does the work.
#pragma once

#include <QObject>
#include <QSocketNotifier>
#include <functional>
#include <memory>

class CQuitSignals {
public:
    // handler runs on the main thread for every signal received.
    explicit CQuitSignals(std::function<void()> handler);
    ~CQuitSignals();
    CQuitSignals(const CQuitSignals&) = delete;
    CQuitSignals& operator=(const CQuitSignals&) = delete;

    // Whether a signal asked the program to end (set before the handler runs).
    static bool Requested();

private:
    std::function<void()> handler_;
    std::unique_ptr<QSocketNotifier> notifier_;
};
