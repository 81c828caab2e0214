#pragma once

#include <QByteArray>
#include <QList>

// How an adapter must be given the key of a network.
enum class SecurityClass
{
    None = 0, // no key
    Wep = 1,  // the key goes out with "set wlan key "
    Wpa = 2,  // the key goes out as a passphrase with "set wlan phrase "
};

// A network one wireless interface of the PC can see.
struct VisibleNetwork
{
    QByteArray ssid;          // the name's bytes as the service reports them
    bool connectable = false; // whether an adapter could join it with one of the classes
    SecurityClass security = SecurityClass::None;
};

// What the PC's wireless service reported: its interfaces in its own order, each with its
// networks in the service's order.
struct WirelessReport
{
    enum class Failure
    {
        None,
        ServiceUnavailable, // the service could not be reached
        EnumerationFailed,  // the service did not list its interfaces
    };
    struct Interface
    {
        bool listFailed = false; // the interface did not list its networks
        QList<VisibleNetwork> networks;
    };

    Failure failure = Failure::None;
    QList<Interface> interfaces; // wireless interfaces only
};

// The PC's wireless service.
class WirelessService
{
public:
    virtual ~WirelessService() = default;
    virtual WirelessReport visibleNetworks() = 0;
};
