#include "discovery/accesspointscan.h"

#include "link/replyparsing.h"
#include "resources/texttable.h"

namespace {

const QString AdapterNetworkMarker = QStringLiteral("DaVad-UZA-");
constexpr qsizetype MaxSsidBytes = 32;

} // namespace

AccessPointScan::AccessPointScan(WirelessService& wireless, ModuleConnection& connection,
                                 const DeviceList& devices, AccessPointTable& table)
    : wireless(wireless), connection(connection), devices(devices), table(table)
{}

ScanResult AccessPointScan::scanAccessPoints(AccessPointControl& control, ScanTarget target,
                                             const QString& address)
{
    control.clear();
    table.count = 0;
    ScanResult remembered = Scan::Success;

    const WirelessReport report = wireless.visibleNetworks();
    if (report.failure == WirelessReport::Failure::ServiceUnavailable)
        return Scan::ServiceUnavailable;
    if (report.failure == WirelessReport::Failure::EnumerationFailed)
        return Scan::EnumerationFailed;
    if (report.interfaces.isEmpty())
        return Scan::NoWirelessInterface;

    for (const WirelessReport::Interface& interface : report.interfaces) {
        if (interface.listFailed) {
            remembered = Scan::InterfaceListFailed;
            continue;
        }
        if (interface.networks.isEmpty()) {
            remembered = Scan::InterfaceEmpty;
            continue;
        }
        for (const VisibleNetwork& network : interface.networks) {
            if (table.count >= AccessPointTable::Capacity)
                break;
            QByteArray bytes = network.ssid.left(MaxSsidBytes);
            if (const qsizetype zero = bytes.indexOf('\0'); zero >= 0)
                bytes.truncate(zero);
            const QString name = connection.charset().decode(bytes);
            const auto begin = table.entries.cbegin();
            const bool listed =
                std::any_of(begin, begin + table.count,
                            [&](const AccessPointEntry& e) { return e.ssid == name; });
            // Networks an adapter cannot join are left out, so that row i stays entry i.
            if (name.isEmpty() || name.contains(AdapterNetworkMarker) || listed ||
                !network.connectable)
                continue;
            table.entries[table.count] = {name, network.security};
            control.append(name);
            ++table.count;
        }
    }
    if (table.count == 0)
        return Scan::NothingListed;

    const QString adapter =
        address.isEmpty() ? devices.selectedRowText(DeviceList::AddressColumn) : address;
    if (connection.openCommandMode(adapter, false) != Link::Success) {
        if (target == ScanTarget::DropDownList)
            control.select(0);
        return remembered;
    }
    // The adapter answers but its network cannot be read: the settings cannot be trusted, and
    // the application ends after telling the user.
    auto readFailed = [this] {
        connection.dialogs().showMessage(text(TextId::ReadFailed), MessageStyle::Warning);
        connection.dialogs().closeMainWindow(Scan::ReadFailed);
        connection.closeConnection();
        return Scan::ReadFailed;
    };
    if (connection.sendLine(QStringLiteral("get wlan")) != Link::Success)
        return readFailed();
    pauseFor(connection.timing().replyPause);
    if (connection.receiveReply(true) != Link::Success)
        return readFailed();
    const QString configured = findReplyValue(connection.replyText(), QStringLiteral("SSID"));
    if (target == ScanTarget::DropDownList) {
        int row = 0;
        for (int index = 0; index < table.count; ++index) {
            if (control.itemText(index) == configured) {
                row = index;
                break;
            }
        }
        control.select(row);
    }
    connection.closeConnection();
    return remembered;
}
