#pragma once

// The simulated network the kov-simulator program runs: read from a configuration file, or a
// quick set of plain adapters.
//
// The file is INI-like: "[section]" lines, "key = value" lines, and comment lines starting with
// '#' or ';'. Sections: one [simulator] (command-port, heartbeat-target, heartbeat-port,
// heartbeat-interval and reboot-time in ms), any number of [access-point] (ssid, security =
// open|wep|wpa, key) and [adapter] (see example.ini for every key).

#include "adaptersimulator.h"

#include <istream>
#include <string>
#include <vector>

namespace simulator {

struct AdapterSetup
{
    AdapterConfig config;
    Faults faults;
};

struct SimulatorSetup
{
    SimulatorOptions options;
    std::vector<AdapterSetup> adapters;
};

// Throws std::runtime_error naming the source and the line of the first mistake.
SimulatorSetup parseSimulatorConfig(std::istream& text, const std::string& sourceName);
SimulatorSetup readSimulatorConfig(const std::string& path);

// count adapters on 127.0.0.2 upwards, each with a MAC of its own.
SimulatorSetup quickSetup(int count);

} // namespace simulator
