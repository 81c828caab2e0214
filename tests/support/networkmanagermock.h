#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QString>
#include <QVariantMap>

// A private D-Bus daemon with a mock NetworkManager on it (python3-dbusmock's template), and a
// connection to it that the scanner can use in place of the system bus.
class NetworkManagerMock
{
public:
    enum class Start
    {
        WithNetworkManager,
        BusOnly
    };

    explicit NetworkManagerMock(Start start = Start::WithNetworkManager);
    ~NetworkManagerMock();
    NetworkManagerMock(const NetworkManagerMock&) = delete;
    NetworkManagerMock& operator=(const NetworkManagerMock&) = delete;

    // Empty when the daemon or the mock could not be started.
    QString failure() const { return failure_; }
    QDBusConnection bus() const { return connection; }

    QString addWifiDevice(const QString& name);
    QString addAccessPoint(const QString& device, const QString& name, const QString& ssid,
                           quint32 security);
    void updateProperties(const QString& path, const QString& interface,
                          const QVariantMap& properties);
    // Replaces a method of an object with Python code, e.g. one that raises an error.
    void replaceMethod(const QString& path, const QString& interface, const QString& method,
                       const QString& outSignature, const QString& code);

private:
    QVariant mockCall(const QString& path, const QString& method, const QVariantList& arguments);

    QProcess daemon;
    QProcess mock;
    QString connectionName;
    QDBusConnection connection{QString()};
    QString failure_;
};
