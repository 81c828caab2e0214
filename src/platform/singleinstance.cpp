#include "platform/singleinstance.h"

#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>

namespace {

QString runtimeDirectory()
{
    QString directory = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (directory.isEmpty())
        directory = QDir::tempPath();
    return directory;
}

} // namespace

SingleInstance::SingleInstance(const QString& applicationName, QObject* parent)
    : QObject(parent), lockPath(QDir(runtimeDirectory()).filePath(applicationName + ".lock")),
      socketPath(QDir(runtimeDirectory()).filePath(applicationName + ".socket"))
{
    connect(&server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* peer = server.nextPendingConnection()) {
            peer->deleteLater();
            emit activationRequested();
        }
    });
}

bool SingleInstance::claim()
{
    lock = std::make_unique<QLockFile>(lockPath);
    // A lock left by a copy that crashed is taken over: its process no longer exists.
    lock->setStaleLockTime(0);
    if (!lock->tryLock(0)) {
        if (lock->error() != QLockFile::LockFailedError)
            return true; // no lock can be made here: start normally
        QLocalSocket first;
        first.connectToServer(socketPath);
        if (first.waitForConnected(1000)) {
            first.write("show\n");
            first.waitForBytesWritten(1000);
            first.disconnectFromServer();
        }
        return false;
    }
    QLocalServer::removeServer(socketPath);
    server.listen(socketPath);
    return true;
}
