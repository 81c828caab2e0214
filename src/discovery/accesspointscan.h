#pragma once

#include "discovery/devicelist.h"
#include "link/moduleconnection.h"
#include "platform/wirelessservice.h"

#include <QString>
#include <array>

// One network listed by the last scan: entry i describes row i of the control it filled.
struct AccessPointEntry
{
    QString ssid;
    SecurityClass security = SecurityClass::None;
};

// The networks of the last scan. Each scan overwrites it from the start and never clears it:
// entries past the last scan's count keep what an earlier scan left there.
struct AccessPointTable
{
    static constexpr int Capacity = 64;
    std::array<AccessPointEntry, Capacity> entries;
    int count = 0;
};

// The list a window hands to the scan: a drop-down list or a one-column list view. Its
// implementation takes care of the thread the control lives on.
class AccessPointControl
{
public:
    virtual ~AccessPointControl() = default;
    virtual void clear() = 0;
    virtual void append(const QString& name) = 0;
    virtual QString itemText(int row) const = 0;
    virtual void select(int row) = 0;
};

enum class ScanTarget
{
    ListView = 0,     // nothing is selected
    DropDownList = 1, // the adapter's network, or the first entry, is selected
};

using ScanResult = int;
namespace Scan {
inline constexpr ScanResult Success = 0;
inline constexpr ScanResult ReadFailed = 1; // the adapter's network could not be read
inline constexpr ScanResult ServiceUnavailable = 13;
inline constexpr ScanResult EnumerationFailed = 14;
inline constexpr ScanResult NoWirelessInterface = 15;
inline constexpr ScanResult InterfaceListFailed = 17; // that interface was skipped
inline constexpr ScanResult InterfaceEmpty = 18;      // that interface saw no network
inline constexpr ScanResult NothingListed = 19;
} // namespace Scan

// The networks the PC sees go into the control and the table, without hidden, duplicate and
// adapter networks; then the adapter's configured network is read and, for a drop-down list,
// selected. An empty address means the address of the selected row.
class AccessPointScan
{
public:
    AccessPointScan(WirelessService& wireless, ModuleConnection& connection,
                    const DeviceList& devices, AccessPointTable& table);

    ScanResult scanAccessPoints(AccessPointControl& control, ScanTarget target,
                                const QString& address);

private:
    WirelessService& wireless;
    ModuleConnection& connection;
    const DeviceList& devices;
    AccessPointTable& table;
};
