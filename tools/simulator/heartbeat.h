#pragma once

// The heartbeat datagram an adapter sends to announce itself.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace simulator {

struct HeartbeatFields
{
    std::string address; // the adapter's current IPv4 address
    uint16_t commandPort = 2000;
    uint16_t hostPort = 0;       // the remote host the module would connect to; 0: none
    uint8_t signalStrength = 58; // received signal strength, -dBm
    uint8_t bootCount = 0;       // reboots so far, wrapping
    uint16_t batteryMillivolts = 3300;
    uint16_t pinReport = 0; // the GPIO state, as "show io" prints it
    std::chrono::seconds upTime{0};
    std::string firmwareVersion;
    std::string buildDate;
    std::string deviceId = "KOV-SL47";
    uint16_t sequence = 0; // counts heartbeats since start, wrapping
};

// Layout, 110 bytes, numbers big-endian, texts ASCII padded with zero bytes:
//
//   offset size
//      0    4  IPv4 address, network byte order
//      4    2  command port
//      6    2  host port
//      8    1  signal strength
//      9    1  boot count
//     10    2  battery voltage in millivolts
//     12    2  GPIO pin report (bit 9: DIP switch 1)
//     14   14  time since the adapter came up: decimal seconds
//     28   48  version text "Ver <version>, <build date>"
//     76   32  device id
//    108    2  sequence number
//
// A text field keeps at least one zero byte at its end, so a long text is cut.
inline constexpr std::size_t HeartbeatSize = 110;

std::string heartbeatDatagram(const HeartbeatFields& fields);

} // namespace simulator
