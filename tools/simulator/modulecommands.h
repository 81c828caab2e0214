#pragma once

// The module's command mode: what each command line does to the settings and what the module
// answers. No sockets here; the network side decides when and how the answer goes out.

#include "adaptersimulator.h"

#include <cstdint>
#include <optional>
#include <string>

namespace simulator {

// What a module reports about itself besides its settings.
struct ModuleIdentity
{
    std::string address; // where it answers now
    std::string mac;
    std::string firmwareVersion;
    std::string buildDate;
    bool dipSwitch1 = false;
};

// The settings a module runs with and the copy it keeps over a reboot.
struct ModuleMemory
{
    ModuleSettings running;
    ModuleSettings stored;
};

struct CommandOutcome
{
    std::string reply;
    bool query = false;      // a reply with settings in it ("get ...", "show io", "ver")
    bool reboot = false;     // the module goes off the network once the reply is out
    std::optional<bool> led; // "set sys iofunc": the green LED's new state
};

// Carries out one line of command mode. storingFails: "save" cannot write its memory.
CommandOutcome executeCommand(const std::string& line, ModuleMemory& memory,
                              const ModuleIdentity& identity, bool storingFails);

// The answer to a command whose arguments the module refuses.
std::string refusedReply(const std::string& line, const std::string& firmwareVersion);

// "<4.00.1> ": ends every reply of command mode.
std::string commandPrompt(const std::string& firmwareVersion);

// The GPIO pin report of "show io" and the heartbeat; bit 9 is DIP switch 1.
uint16_t pinReport(bool dipSwitch1);

} // namespace simulator
