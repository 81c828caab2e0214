#pragma once

#include <QByteArray>
#include <QString>
#include <chrono>
#include <optional>

// The PC's table of IPv4 neighbours: which hardware address answers for which address.
class NeighbourTable
{
public:
    virtual ~NeighbourTable() = default;

    // Makes the system resolve the address by sending it one packet; returns once the table
    // holds a complete entry for it or the wait has passed.
    virtual void refresh(const QString& address, std::chrono::milliseconds wait) = 0;
    // The hardware address as the table prints it; nothing without a complete entry.
    virtual std::optional<QString> hardwareAddress(const QString& address) const = 0;
};

// The hardware address of the line of exactly this address in a listing laid out like
// /proc/net/arp; nothing when there is none or the entry is incomplete.
std::optional<QString> findHardwareAddress(const QByteArray& listing, const QString& address);

// The kernel's table, read from /proc/net/arp.
class LinuxNeighbourTable : public NeighbourTable
{
public:
    explicit LinuxNeighbourTable(QString listingPath = QStringLiteral("/proc/net/arp"));

    void refresh(const QString& address, std::chrono::milliseconds wait) override;
    std::optional<QString> hardwareAddress(const QString& address) const override;

private:
    QString listingPath;
};
