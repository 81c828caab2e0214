#pragma once

#include "link/timing.h"
#include "platform/localecharset.h"

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <cstdint>

// One adapter heard during a search.
struct HeardDevice
{
    QString address; // the sender of its heartbeats, dotted decimal
    QString version; // from its first heartbeat; empty when none was found or not wanted

    friend bool operator==(const HeardDevice&, const HeardDevice&) = default;
};

inline constexpr std::uint16_t DefaultHeartbeatPort = 55555;
inline constexpr int MaxHeardDevices = 128;

// Listens for heartbeats on the port until 20 polls found nothing or 128 senders were heard,
// and returns the senders in the order first heard. Empty when the port cannot be bound.
QList<HeardDevice> listenForHeartbeats(bool wantVersions, const LocaleCharset& charset,
                                       const Timing& timing,
                                       std::uint16_t port = DefaultHeartbeatPort);

// The firmware version a heartbeat carries: the token after "Ver" when a comma ends it.
QString heartbeatVersion(QByteArrayView datagram, const LocaleCharset& charset);
