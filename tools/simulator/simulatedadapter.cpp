#include "adapternetwork.h"

namespace simulator {

SimulatedAdapter::SimulatedAdapter(AdapterNetwork& network, const AdapterConfig& config)
    : network(network), config(config), memory{config.settings, config.settings},
      dipSwitch(config.dipSwitch1), version(config.firmwareVersion),
      currentAddress(config.ownAddress)
{}

ModuleIdentity SimulatedAdapter::identity() const
{
    return {currentAddress, config.mac, version, config.buildDate, dipSwitch};
}

std::unique_lock<std::mutex> SimulatedAdapter::caughtUp() const
{
    std::unique_lock lock(network.mutex);
    network.catchUp(lock);
    return lock;
}

std::string SimulatedAdapter::address() const
{
    const auto lock = caughtUp();
    return currentAddress;
}

std::string SimulatedAdapter::mac() const
{
    return config.mac;
}

bool SimulatedAdapter::online() const
{
    const auto lock = caughtUp();
    return isOnline;
}

bool SimulatedAdapter::waitUntilOnline(milliseconds timeout) const
{
    // A reboot line that has arrived but is not yet taken in would otherwise pass for online.
    std::unique_lock lock = caughtUp();
    return network.changed.wait_for(lock, timeout, [this] { return isOnline; });
}

int SimulatedAdapter::rebootCount() const
{
    const auto lock = caughtUp();
    return reboots;
}

ModuleSettings SimulatedAdapter::runningSettings() const
{
    const auto lock = caughtUp();
    return memory.running;
}

ModuleSettings SimulatedAdapter::storedSettings() const
{
    const auto lock = caughtUp();
    return memory.stored;
}

void SimulatedAdapter::setSettings(const ModuleSettings& settings)
{
    std::lock_guard lock(network.mutex);
    memory.running = settings;
    memory.stored = settings;
}

void SimulatedAdapter::setPassword(const std::string& password)
{
    std::lock_guard lock(network.mutex);
    memory.running.password = password;
    memory.stored.password = password;
}

void SimulatedAdapter::setDipSwitch1(bool on)
{
    std::lock_guard lock(network.mutex);
    dipSwitch = on;
}

bool SimulatedAdapter::dipSwitch1() const
{
    std::lock_guard lock(network.mutex);
    return dipSwitch;
}

void SimulatedAdapter::setFirmwareVersion(const std::string& firmwareVersion)
{
    std::lock_guard lock(network.mutex);
    version = firmwareVersion;
}

void SimulatedAdapter::setFaults(const Faults& faults)
{
    std::unique_lock lock(network.mutex);
    injected = faults;
    network.catchUp(lock);
}

Faults SimulatedAdapter::faults() const
{
    std::lock_guard lock(network.mutex);
    return injected;
}

std::vector<TranscriptEntry> SimulatedAdapter::transcript() const
{
    const auto lock = caughtUp();
    return entries;
}

std::vector<ReceivedLine> SimulatedAdapter::receivedLines() const
{
    const auto lock = caughtUp();
    return lines;
}

std::vector<LedEvent> SimulatedAdapter::ledHistory() const
{
    const auto lock = caughtUp();
    return leds;
}

void SimulatedAdapter::clearHistory()
{
    const auto lock = caughtUp();
    entries.clear();
    lines.clear();
    leds.clear();
}

} // namespace simulator
