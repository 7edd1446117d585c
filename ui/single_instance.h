// One studio per user: the first start holds a lock file and listens on a local socket named after
// the user; a later start finds the lock held, asks the first one over the socket to bring its window
// forward, and ends. A lock left by a crashed instance is taken over (the lock records the process),
// and so is its socket, so a crash never blocks the next start. Main thread, with a QCoreApplication.
#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QString>
#include <functional>
#include <memory>

class CSingleInstance {
public:
    // name: the socket and lock name; the default is per user.
    explicit CSingleInstance(const QString& name = DefaultName());
    ~CSingleInstance();

    static QString DefaultName();

    // True when this is the first instance (it now listens). False when another one runs: it has been
    // asked to raise its window.
    bool Claim();
    // Called in the first instance when a later start asks for its window.
    void OnRaiseRequested(std::function<void()> handler) { onRaise_ = std::move(handler); }

private:
    QString name_;
    std::unique_ptr<QLockFile> lock_;
    std::unique_ptr<QLocalServer> server_;
    std::function<void()> onRaise_;
};
