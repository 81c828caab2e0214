#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <memory>

// One running copy per application name. The first copy holds a lock file in the user's runtime
// directory and listens on a local socket of the same name; a later copy finds the lock taken,
// asks the first copy to bring its window to the front, and ends.
class SingleInstance : public QObject
{
    Q_OBJECT

public:
    explicit SingleInstance(const QString& applicationName, QObject* parent = nullptr);

    // True when this is the first copy. Otherwise the first copy has been asked to show itself.
    // A lock that cannot be made for another reason lets the program start normally.
    bool claim();

signals:
    void activationRequested();

private:
    QString lockPath;
    QString socketPath;
    std::unique_ptr<QLockFile> lock;
    QLocalServer server;
};
