#pragma once

#include "platform/wirelessservice.h"

#include <QDBusConnection>

// The visible networks as NetworkManager reports them over D-Bus.
class NetworkManagerWireless : public WirelessService
{
public:
    explicit NetworkManagerWireless(QDBusConnection bus = QDBusConnection::systemBus());

    WirelessReport visibleNetworks() override;

    // What an adapter can do with an access point of these flags (NetworkManager's
    // NM80211ApFlags and NM80211ApSecurityFlags).
    static VisibleNetwork classify(QByteArray ssid, quint32 flags, quint32 wpaFlags,
                                   quint32 rsnFlags);

private:
    QDBusConnection bus;
};
