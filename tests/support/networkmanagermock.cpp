#include "support/networkmanagermock.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QThread>
#include <atomic>

namespace {

const QString ManagerService = QStringLiteral("org.freedesktop.NetworkManager");
const QString ManagerPath = QStringLiteral("/org/freedesktop/NetworkManager");
const QString MockInterface = QStringLiteral("org.freedesktop.DBus.Mock");

} // namespace

NetworkManagerMock::NetworkManagerMock(Start start)
{
    static std::atomic<int> instances{0};
    connectionName = QStringLiteral("network-manager-mock-%1").arg(++instances);

    daemon.start(QStringLiteral("dbus-daemon"),
                 {QStringLiteral("--session"), QStringLiteral("--nofork"),
                  QStringLiteral("--print-address")});
    if (!daemon.waitForStarted(5000) || !daemon.waitForReadyRead(5000)) {
        failure_ = QStringLiteral("dbus-daemon could not be started");
        return;
    }
    const QString address = QString::fromLatin1(daemon.readLine()).trimmed();
    connection = QDBusConnection::connectToBus(address, connectionName);
    if (!connection.isConnected()) {
        failure_ = QStringLiteral("no connection to the private bus");
        return;
    }
    if (start == Start::BusOnly)
        return;

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SYSTEM_BUS_ADDRESS"), address);
    mock.setProcessEnvironment(environment);
    // The mock logs every call; nobody reads it, and a full pipe would stall the mock.
    mock.setStandardOutputFile(QProcess::nullDevice());
    mock.setStandardErrorFile(QProcess::nullDevice());
    // Debian's python3-dbusmock belongs to the system's Python, whatever else is on PATH.
    mock.start(QStringLiteral("/usr/bin/python3"),
               {QStringLiteral("-m"), QStringLiteral("dbusmock"), QStringLiteral("--template"),
                QStringLiteral("networkmanager")});
    if (!mock.waitForStarted(5000)) {
        failure_ = QStringLiteral("python3-dbusmock could not be started");
        return;
    }
    const QDeadlineTimer deadline(10000);
    while (!connection.interface()->isServiceRegistered(ManagerService)) {
        if (deadline.hasExpired() || mock.state() != QProcess::Running) {
            failure_ = QStringLiteral("the mock NetworkManager did not appear on the bus");
            return;
        }
        QThread::msleep(20);
    }
}

NetworkManagerMock::~NetworkManagerMock()
{
    QDBusConnection::disconnectFromBus(connectionName);
    for (QProcess* process : {&mock, &daemon}) {
        if (process->state() != QProcess::NotRunning) {
            process->terminate();
            if (!process->waitForFinished(3000)) {
                process->kill();
                process->waitForFinished(3000);
            }
        }
    }
}

QVariant NetworkManagerMock::mockCall(const QString& path, const QString& method,
                                      const QVariantList& arguments)
{
    QDBusMessage message =
        QDBusMessage::createMethodCall(ManagerService, path, MockInterface, method);
    message.setArguments(arguments);
    const QDBusMessage reply = connection.call(message);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        failure_ = reply.errorMessage();
        return {};
    }
    return reply.arguments().value(0);
}

QString NetworkManagerMock::addWifiDevice(const QString& name)
{
    return mockCall(ManagerPath, QStringLiteral("AddWiFiDevice"), {name, name, 100 /* activated */})
        .toString();
}

QString NetworkManagerMock::addAccessPoint(const QString& device, const QString& name,
                                           const QString& ssid, quint32 security)
{
    return mockCall(ManagerPath, QStringLiteral("AddAccessPoint"),
                    {device, name, ssid, QStringLiteral("00:11:22:33:44:55"), 2u, 2437u, 54000u,
                     QVariant::fromValue(uchar(80)), security})
        .toString();
}

void NetworkManagerMock::updateProperties(const QString& path, const QString& interface,
                                          const QVariantMap& properties)
{
    mockCall(path, QStringLiteral("UpdateProperties"), {interface, properties});
}

void NetworkManagerMock::replaceMethod(const QString& path, const QString& interface,
                                       const QString& method, const QString& outSignature,
                                       const QString& code)
{
    mockCall(path, QStringLiteral("AddMethod"), {interface, method, QString(), outSignature, code});
}
