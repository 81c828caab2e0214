#include "heartbeat.h"

#include <algorithm>
#include <arpa/inet.h>

namespace simulator {

namespace {

void putNumber(std::string& datagram, std::size_t offset, uint16_t value)
{
    datagram[offset] = static_cast<char>(value >> 8);
    datagram[offset + 1] = static_cast<char>(value & 0xff);
}

void putText(std::string& datagram, std::size_t offset, std::size_t size, const std::string& text)
{
    const std::size_t length = std::min(text.size(), size - 1);
    datagram.replace(offset, length, text, 0, length);
}

} // namespace

std::string heartbeatDatagram(const HeartbeatFields& fields)
{
    std::string datagram(HeartbeatSize, '\0');
    in_addr address{};
    inet_pton(AF_INET, fields.address.c_str(), &address);
    const auto* addressBytes = reinterpret_cast<const unsigned char*>(&address.s_addr);
    for (std::size_t i = 0; i < 4; ++i)
        datagram[i] = static_cast<char>(addressBytes[i]);
    putNumber(datagram, 4, fields.commandPort);
    putNumber(datagram, 6, fields.hostPort);
    datagram[8] = static_cast<char>(fields.signalStrength);
    datagram[9] = static_cast<char>(fields.bootCount);
    putNumber(datagram, 10, fields.batteryMillivolts);
    putNumber(datagram, 12, fields.pinReport);
    putText(datagram, 14, 14, std::to_string(fields.upTime.count()));
    putText(datagram, 28, 48, "Ver " + fields.firmwareVersion + ", " + fields.buildDate);
    putText(datagram, 76, 32, fields.deviceId);
    putNumber(datagram, 108, fields.sequence);
    return datagram;
}

} // namespace simulator
