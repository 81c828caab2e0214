#pragma once

#include "discovery/devicelist.h"
#include "discovery/easysetuprecord.h"
#include "discovery/heartbeatlistener.h"
#include "link/moduleconnection.h"
#include "platform/neighbourtable.h"

#include <optional>

// The search for adapters: listens for their heartbeats, then identifies each sender over the
// command connection without ever asking the user for a password.
class DeviceSearch
{
public:
    DeviceSearch(ModuleConnection& connection, NeighbourTable& neighbours,
                 std::uint16_t heartbeatPort = DefaultHeartbeatPort);

    // Empties the list and refills it with the adapters identified. Clears the name and the
    // password of the selected device first.
    void searchDevices(DeviceList& devices);
    // Finds the adapter whose "get mac" reply carries exactly this MAC text; its address goes to
    // the record (the last one, when several match). Leaves the list empty.
    bool findDeviceByMac(const QString& mac, DeviceList& devices, EasySetupRecord& record);

    // The row of one heard adapter; nothing when it cannot be identified.
    std::optional<DeviceEntry> identify(const HeardDevice& device);
    // The name suffix of a password-protected adapter, from the PC's neighbour table.
    std::optional<QString> lookUpMacSuffix(const QString& address);

private:
    std::optional<QString> readMac();
    QString accessMode(const QString& version);

    ModuleConnection& connection;
    NeighbourTable& neighbours;
    std::uint16_t heartbeatPort;
};
