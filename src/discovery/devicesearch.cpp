#include "discovery/devicesearch.h"

#include "link/deviceprobes.h"
#include "link/replyparsing.h"
#include "resources/texttable.h"

namespace {

const QString NamePrefix = QStringLiteral("DaVad-UZA-");

// Characters 16 and 17 of the MAC text: the last octet in the module's colon-separated form.
QString nameSuffix(const QString& mac)
{
    return mac.mid(15, 2);
}

} // namespace

DeviceSearch::DeviceSearch(ModuleConnection& connection, NeighbourTable& neighbours,
                           std::uint16_t heartbeatPort)
    : connection(connection), neighbours(neighbours), heartbeatPort(heartbeatPort)
{}

void DeviceSearch::searchDevices(DeviceList& devices)
{
    devices.clear();
    SelectedDevice& selected = connection.selectedDevice();
    selected.name.clear();
    selected.password.clear();

    const QList<HeardDevice> heard =
        listenForHeartbeats(true, connection.charset(), connection.timing(), heartbeatPort);
    QList<DeviceEntry> rows;
    for (const HeardDevice& device : heard) {
        if (std::optional<DeviceEntry> row = identify(device))
            rows.append(std::move(*row));
        connection.closeConnection();
    }
    if (!rows.isEmpty())
        devices.setEntries(std::move(rows));
}

std::optional<DeviceEntry> DeviceSearch::identify(const HeardDevice& device)
{
    const LinkResult opened = connection.openCommandMode(device.address, true);
    if (opened == Link::PasswordNotAllowed) {
        const std::optional<QString> suffix = lookUpMacSuffix(device.address);
        if (!suffix)
            return std::nullopt;
        return DeviceEntry{NamePrefix + *suffix, device.address, text(TextId::PassLocked),
                           device.version};
    }
    if (opened != Link::Success)
        return std::nullopt;
    const std::optional<QString> mac = readMac();
    if (!mac)
        return std::nullopt;
    return DeviceEntry{NamePrefix + nameSuffix(*mac), device.address, accessMode(device.version),
                       device.version};
}

std::optional<QString> DeviceSearch::readMac()
{
    if (connection.sendLine(QStringLiteral("get mac")) != Link::Success)
        return std::nullopt;
    pauseFor(connection.timing().replyPause);
    if (connection.receiveReply(true) != Link::Success)
        return std::nullopt;
    const std::optional<QByteArray> mac = matchMacReply(connection.replyBuffer());
    if (!mac)
        return std::nullopt;
    return connection.charset().decode(*mac);
}

QString DeviceSearch::accessMode(const QString& version)
{
    const int switchState = probeDipSwitch(connection);
    if (switchState == Probe::DipSwitchOn) {
        return version == QLatin1String(RefusedFirmwareVersion) ? text(TextId::AdHoc)
                                                                : text(TextId::AccessPoint);
    }
    if (switchState != Probe::DipSwitchOff)
        return {};
    if (connection.sendLine(QStringLiteral("get wlan")) != Link::Success)
        return {};
    pauseFor(connection.timing().replyPause);
    if (connection.receiveReply(true) != Link::Success)
        return {};
    const QString join = findReplyValue(connection.replyText(), QStringLiteral("Join"));
    if (join == u"4")
        return text(TextId::AdHoc);
    if (join == u"7")
        return text(TextId::AccessPoint);
    return text(TextId::Infrastructure);
}

bool DeviceSearch::findDeviceByMac(const QString& mac, DeviceList& devices, EasySetupRecord& record)
{
    devices.clear();
    const QList<HeardDevice> heard =
        listenForHeartbeats(false, connection.charset(), connection.timing(), heartbeatPort);
    bool found = false;
    for (const HeardDevice& device : heard) {
        if (connection.openCommandMode(device.address, true) == Link::Success) {
            const std::optional<QString> reported = readMac();
            if (reported && *reported == mac) {
                record.newAddress = device.address;
                found = true;
            }
        }
        connection.closeConnection();
    }
    return found;
}

std::optional<QString> DeviceSearch::lookUpMacSuffix(const QString& address)
{
    neighbours.refresh(address, connection.timing().neighbourReplyWait);
    const std::optional<QString> hardware = neighbours.hardwareAddress(address);
    if (!hardware)
        return std::nullopt;
    // The last octet: the two digits after the last separator, as the table prints them.
    const qsizetype separator = hardware->lastIndexOf(u':');
    return hardware->mid(separator + 1, 2);
}
