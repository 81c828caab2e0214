#pragma once

#include <QString>

// What the last Easy Settings run chose and found.
struct EasySetupRecord
{
    QString ssid;       // the access point chosen
    QString mac;        // the adapter's MAC text before the switch
    QString newAddress; // the adapter's address after the switch
};
