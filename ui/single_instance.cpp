#include "ui/single_instance.h"

#include <unistd.h>

#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>

#include "platform/log.h"

namespace {

constexpr int kConnectTimeoutMs = 2000;
const QByteArray kRaiseRequest = "raise\n";

QString LockFolder() {
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    return runtime.isEmpty() ? QDir::tempPath() : runtime;
}

}  // namespace

CSingleInstance::CSingleInstance(const QString& name) : name_(name) {}

CSingleInstance::~CSingleInstance() {
    if (server_) server_->close();
}

QString CSingleInstance::DefaultName() { return QString("brevacast-studio-%1").arg(getuid()); }

bool CSingleInstance::Claim() {
    lock_ = std::make_unique<QLockFile>(LockFolder() + "/" + name_ + ".lock");
    // A lock whose process is gone counts as stale and is taken over at once.
    lock_->setStaleLockTime(0);
    if (!lock_->tryLock(0)) {
        if (lock_->error() != QLockFile::LockFailedError) {
            // Not another instance: the lock cannot be made here (a folder not ours, a full disk).
            // The studio still opens, only without the guard against a second one.
            Log(LogLevel::kWarning, "ui", "cannot lock %s (error %d); a second start will not be refused",
                lock_->fileName().toUtf8().constData(), static_cast<int>(lock_->error()));
            return true;
        }
        QLocalSocket socket;
        socket.connectToServer(name_);
        if (socket.waitForConnected(kConnectTimeoutMs)) {
            socket.write(kRaiseRequest);
            socket.waitForBytesWritten(kConnectTimeoutMs);
            socket.disconnectFromServer();
        } else {
            Log(LogLevel::kWarning, "ui", "another instance holds the lock but does not answer");
        }
        return false;
    }
    // A socket file left by a crash would refuse the name.
    QLocalServer::removeServer(name_);
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server_->listen(name_)) {
        Log(LogLevel::kWarning, "ui", "cannot listen for later starts: %s",
            server_->errorString().toUtf8().constData());
        return true;
    }
    QObject::connect(server_.get(), &QLocalServer::newConnection, server_.get(), [this] {
        while (QLocalSocket* client = server_->nextPendingConnection()) {
            auto read = [this, client] {
                if (client->readAll().contains("raise") && onRaise_) onRaise_();
            };
            QObject::connect(client, &QLocalSocket::readyRead, client, read);
            QObject::connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            // The request may have arrived with the connection.
            if (client->bytesAvailable() > 0) read();
        }
    });
    return true;
}
