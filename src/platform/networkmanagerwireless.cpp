#include "platform/networkmanagerwireless.h"

#include <QDBusArgument>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusReply>
#include <QVariantMap>

namespace {

const QString Service = QStringLiteral("org.freedesktop.NetworkManager");
const QString ManagerPath = QStringLiteral("/org/freedesktop/NetworkManager");
const QString ManagerInterface = QStringLiteral("org.freedesktop.NetworkManager");
const QString DeviceInterface = QStringLiteral("org.freedesktop.NetworkManager.Device");
const QString WirelessInterface = QStringLiteral("org.freedesktop.NetworkManager.Device.Wireless");
const QString AccessPointInterface = QStringLiteral("org.freedesktop.NetworkManager.AccessPoint");
const QString PropertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");

constexpr quint32 DeviceTypeWifi = 2;
constexpr quint32 ApFlagPrivacy = 0x1;
constexpr quint32 ApSecurityKeyManagementPsk = 0x100;

// NetworkManager answers within milliseconds; a hung service must not hold the search forever.
constexpr int CallTimeoutMs = 10000;

QList<QDBusObjectPath> objectPaths(const QDBusMessage& reply)
{
    QList<QDBusObjectPath> paths;
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return paths;
    const QDBusArgument argument = reply.arguments().first().value<QDBusArgument>();
    argument >> paths;
    return paths;
}

QDBusMessage call(const QDBusConnection& bus, const QString& path, const QString& interface,
                  const QString& method, const QVariantList& arguments = {})
{
    QDBusMessage message = QDBusMessage::createMethodCall(Service, path, interface, method);
    message.setArguments(arguments);
    return bus.call(message, QDBus::Block, CallTimeoutMs);
}

std::optional<QVariantMap> properties(const QDBusConnection& bus, const QString& path,
                                      const QString& interface)
{
    const QDBusMessage reply =
        call(bus, path, PropertiesInterface, QStringLiteral("GetAll"), {interface});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return std::nullopt;
    QVariantMap map;
    reply.arguments().first().value<QDBusArgument>() >> map;
    return map;
}

} // namespace

NetworkManagerWireless::NetworkManagerWireless(QDBusConnection bus) : bus(std::move(bus)) {}

VisibleNetwork NetworkManagerWireless::classify(QByteArray ssid, quint32 flags, quint32 wpaFlags,
                                                quint32 rsnFlags)
{
    VisibleNetwork network{std::move(ssid), true, SecurityClass::None};
    const quint32 security = wpaFlags | rsnFlags;
    if (security & ApSecurityKeyManagementPsk)
        network.security = SecurityClass::Wpa;
    else if (security == 0)
        network.security = (flags & ApFlagPrivacy) ? SecurityClass::Wep : SecurityClass::None;
    else
        network.connectable = false; // 802.1X, SAE or OWE only: no key the adapter could use
    return network;
}

WirelessReport NetworkManagerWireless::visibleNetworks()
{
    WirelessReport report;
    if (!bus.isConnected()) {
        report.failure = WirelessReport::Failure::ServiceUnavailable;
        return report;
    }
    const QDBusMessage devicesReply =
        call(bus, ManagerPath, ManagerInterface, QStringLiteral("GetDevices"));
    if (devicesReply.type() != QDBusMessage::ReplyMessage) {
        const QString error = devicesReply.errorName();
        const bool unreachable =
            error == QStringLiteral("org.freedesktop.DBus.Error.ServiceUnknown") ||
            error == QStringLiteral("org.freedesktop.DBus.Error.NameHasNoOwner") ||
            error == QStringLiteral("org.freedesktop.DBus.Error.Disconnected");
        report.failure = unreachable ? WirelessReport::Failure::ServiceUnavailable
                                     : WirelessReport::Failure::EnumerationFailed;
        return report;
    }

    for (const QDBusObjectPath& device : objectPaths(devicesReply)) {
        const std::optional<QVariantMap> deviceProperties =
            properties(bus, device.path(), DeviceInterface);
        if (!deviceProperties ||
            deviceProperties->value(QStringLiteral("DeviceType")).toUInt() != DeviceTypeWifi)
            continue;
        WirelessReport::Interface& interface = report.interfaces.emplace_back();
        const QDBusMessage pointsReply =
            call(bus, device.path(), WirelessInterface, QStringLiteral("GetAllAccessPoints"));
        if (pointsReply.type() != QDBusMessage::ReplyMessage) {
            interface.listFailed = true;
            continue;
        }
        for (const QDBusObjectPath& point : objectPaths(pointsReply)) {
            // An access point that vanished between the two calls is simply not there.
            const std::optional<QVariantMap> apProperties =
                properties(bus, point.path(), AccessPointInterface);
            if (!apProperties)
                continue;
            interface.networks.append(
                classify(apProperties->value(QStringLiteral("Ssid")).toByteArray(),
                         apProperties->value(QStringLiteral("Flags")).toUInt(),
                         apProperties->value(QStringLiteral("WpaFlags")).toUInt(),
                         apProperties->value(QStringLiteral("RsnFlags")).toUInt()));
        }
    }
    return report;
}
