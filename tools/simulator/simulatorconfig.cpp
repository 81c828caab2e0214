#include "simulatorconfig.h"

#include "sockets.h"

#include <cstdio>
#include <fstream>
#include <functional>
#include <limits>
#include <stdexcept>

namespace simulator {

namespace {

std::string trimmed(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return std::string();
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

class ConfigReader
{
public:
    explicit ConfigReader(std::string sourceName) : sourceName(std::move(sourceName)) {}

    SimulatorSetup read(std::istream& text);

private:
    [[noreturn]] void fail(const std::string& message) const
    {
        throw std::runtime_error(sourceName + ":" + std::to_string(lineNumber) + ": " + message);
    }

    long number(const std::string& value, long lowest, long highest) const;
    bool onOff(const std::string& value) const;
    std::string address(const std::string& value) const;

    void simulatorKey(const std::string& key, const std::string& value);
    void accessPointKey(const std::string& key, const std::string& value);
    void adapterKey(const std::string& key, const std::string& value);
    void faultKey(const std::string& key, const std::string& value);
    void finishSection();

    std::string sourceName;
    int lineNumber = 0;
    int sectionLine = 0;
    std::string section;
    SimulatorSetup setup;
};

SimulatorSetup ConfigReader::read(std::istream& text)
{
    std::string line;
    while (std::getline(text, line)) {
        ++lineNumber;
        line = trimmed(line);
        if (line.empty() || line[0] == '#' || line[0] == ';')
            continue;
        if (line.front() == '[') {
            if (line.back() != ']')
                fail("a section line ends with ']'");
            finishSection();
            section = trimmed(line.substr(1, line.size() - 2));
            sectionLine = lineNumber;
            if (section == "access-point")
                setup.options.accessPoints.emplace_back();
            else if (section == "adapter")
                setup.adapters.emplace_back();
            else if (section != "simulator")
                fail("unknown section [" + section + "]");
            continue;
        }
        const auto equals = line.find('=');
        if (equals == std::string::npos)
            fail("expected 'key = value'");
        const std::string key = trimmed(line.substr(0, equals));
        const std::string value = trimmed(line.substr(equals + 1));
        if (section == "simulator")
            simulatorKey(key, value);
        else if (section == "access-point")
            accessPointKey(key, value);
        else if (section == "adapter")
            adapterKey(key, value);
        else
            fail("'" + key + "' stands before any section");
    }
    finishSection();
    return setup;
}

long ConfigReader::number(const std::string& value, long lowest, long highest) const
{
    std::size_t used = 0;
    long result = 0;
    try {
        result = std::stol(value, &used, 0);
    } catch (const std::exception&) {
        fail("'" + value + "' is not a number");
    }
    if (used != value.size())
        fail("'" + value + "' is not a number");
    if (result < lowest || result > highest)
        fail(value + " lies outside " + std::to_string(lowest) + ".." + std::to_string(highest));
    return result;
}

bool ConfigReader::onOff(const std::string& value) const
{
    if (value == "on" || value == "yes" || value == "1")
        return true;
    if (value == "off" || value == "no" || value == "0")
        return false;
    fail("'" + value + "' is neither on nor off");
}

std::string ConfigReader::address(const std::string& value) const
{
    if (!isIpv4Address(value))
        fail("'" + value + "' is not an IPv4 address");
    return value;
}

void ConfigReader::simulatorKey(const std::string& key, const std::string& value)
{
    SimulatorOptions& options = setup.options;
    if (key == "command-port")
        options.commandPort = static_cast<uint16_t>(number(value, 0, 65535));
    else if (key == "heartbeat-target")
        options.heartbeatTarget = address(value);
    else if (key == "heartbeat-port")
        options.heartbeatPort = static_cast<uint16_t>(number(value, 1, 65535));
    else if (key == "heartbeat-interval")
        options.heartbeatInterval = milliseconds(number(value, 1, 3600000));
    else if (key == "reboot-time")
        options.rebootTime = milliseconds(number(value, 0, 3600000));
    else
        fail("unknown key '" + key + "' in [simulator]");
}

void ConfigReader::accessPointKey(const std::string& key, const std::string& value)
{
    AccessPoint& accessPoint = setup.options.accessPoints.back();
    if (key == "ssid") {
        accessPoint.ssid = value;
    } else if (key == "security") {
        if (value == "open")
            accessPoint.security = 0;
        else if (value == "wep")
            accessPoint.security = 1;
        else if (value == "wpa")
            accessPoint.security = 2;
        else
            fail("security is open, wep or wpa");
    } else if (key == "key") {
        accessPoint.key = value;
    } else {
        fail("unknown key '" + key + "' in [access-point]");
    }
}

void ConfigReader::adapterKey(const std::string& key, const std::string& value)
{
    AdapterConfig& config = setup.adapters.back().config;
    ModuleSettings& settings = config.settings;
    constexpr long Largest = std::numeric_limits<int>::max();
    if (key == "address")
        config.ownAddress = address(value);
    else if (key == "mac")
        config.mac = value;
    else if (key == "version")
        config.firmwareVersion = value;
    else if (key == "build-date")
        config.buildDate = value;
    else if (key == "dip-switch-1")
        config.dipSwitch1 = onOff(value);
    else if (key == "address-on") {
        // "address-on = <ssid> <address>": the SSID may hold spaces, the address cannot.
        const auto space = value.find_last_of(' ');
        if (space == std::string::npos)
            fail("address-on is an SSID and an address");
        config.addressOnAccessPoint[trimmed(value.substr(0, space))] =
            address(value.substr(space + 1));
    } else if (key == "password")
        settings.password = value;
    else if (key == "dhcp")
        settings.dhcp = onOff(value);
    else if (key == "ip-address")
        settings.ipAddress = address(value);
    else if (key == "netmask")
        settings.netmask = address(value);
    else if (key == "gateway")
        settings.gateway = address(value);
    else if (key == "join")
        settings.join = static_cast<int>(number(value, 0, 8));
    else if (key == "channel")
        settings.channel = static_cast<int>(number(value, 0, 13));
    else if (key == "ssid")
        settings.ssid = value;
    else if (key == "key")
        settings.key = value;
    else if (key == "phrase")
        settings.phrase = value;
    else if (key == "baudrate")
        settings.baudrate = static_cast<int>(number(value, 1, Largest));
    else if (key == "flow")
        settings.flow = static_cast<unsigned>(number(value, 0, 0xff));
    else if (key == "open")
        settings.openString = value;
    else if (key == "close")
        settings.closeString = value;
    else if (key == "remote")
        settings.remoteString = value;
    else if (key == "flush-size")
        settings.flushSize = static_cast<int>(number(value, 1, 1420));
    else if (key == "match-char")
        settings.matchChar = static_cast<int>(number(value, 0, 255));
    else if (key == "flush-timer")
        settings.flushTimer = static_cast<int>(number(value, 0, 65535));
    else if (key == "lease")
        settings.leaseSeconds = static_cast<int>(number(value, 0, Largest));
    else
        faultKey(key, value);
}

// Faults a person may want to try the utility against.
void ConfigReader::faultKey(const std::string& key, const std::string& value)
{
    Faults& faults = setup.adapters.back().faults;
    const std::map<std::string, bool Faults::*> switches = {
        {"no-greeting", &Faults::noGreeting},
        {"never-answer", &Faults::neverAnswer},
        {"split-replies", &Faults::splitReplies},
        {"save-without-storing", &Faults::saveWithoutStoring},
        {"refuse-tcp", &Faults::refuseTcp},
        {"oversized-reply", &Faults::oversizedReply},
        {"garbage", &Faults::garbage},
        {"no-heartbeats", &Faults::noHeartbeats},
    };
    if (const auto it = switches.find(key); it != switches.end())
        faults.*(it->second) = onOff(value);
    else if (key == "close-after-commands")
        faults.closeAfterCommands = static_cast<int>(number(value, -1, 1000000));
    else if (key == "split-gap")
        faults.splitGap = milliseconds(number(value, 0, 60000));
    else if (key == "reply-delay")
        faults.replyDelay = milliseconds(number(value, 0, 60000));
    else if (key == "error-on-command")
        faults.errorOnCommand = value;
    else if (key == "serial-data")
        faults.serialData = value + "\r\n";
    else if (key == "serial-data-interval")
        faults.serialDataInterval = milliseconds(number(value, 1, 60000));
    else
        fail("unknown key '" + key + "' in [adapter]");
}

void ConfigReader::finishSection()
{
    if (section == "adapter" && setup.adapters.back().config.ownAddress.empty()) {
        lineNumber = sectionLine;
        fail("an [adapter] needs an address");
    }
    if (section == "access-point" && setup.options.accessPoints.back().ssid.empty()) {
        lineNumber = sectionLine;
        fail("an [access-point] needs an ssid");
    }
}

} // namespace

SimulatorSetup parseSimulatorConfig(std::istream& text, const std::string& sourceName)
{
    return ConfigReader(sourceName).read(text);
}

SimulatorSetup readSimulatorConfig(const std::string& path)
{
    std::ifstream file(path);
    if (!file)
        throw std::runtime_error("cannot open " + path);
    return parseSimulatorConfig(file, path);
}

SimulatorSetup quickSetup(int count)
{
    SimulatorSetup setup;
    for (int i = 0; i < count; ++i) {
        AdapterSetup adapter;
        const int host = 2 + i;
        adapter.config.ownAddress =
            "127.0." + std::to_string(host / 256) + "." + std::to_string(host % 256);
        // Locally administered addresses, the last two digits counting up.
        char mac[32];
        std::snprintf(mac, sizeof mac, "02:4b:4f:00:%02x:%02x", (i + 1) >> 8 & 0xff,
                      (i + 1) & 0xff);
        adapter.config.mac = mac;
        setup.adapters.push_back(adapter);
    }
    return setup;
}

} // namespace simulator
