#pragma once

#include "link/moduleconnection.h"

#include <optional>

class DeviceList;

// Results of probeDipSwitch besides the failure results of the connection.
namespace Probe {
inline constexpr int DipSwitchOn = 20;
inline constexpr int DipSwitchOff = 21;
} // namespace Probe

// Adapters running this firmware are refused by every task.
inline constexpr char RefusedFirmwareVersion[] = "2.38.3";

// The gate of every task: a row must be selected and its adapter must not run the refused
// firmware. Tells the user why when it refuses.
bool checkSelectedDevice(const DeviceList& devices, UserDialogs& dialogs);

// Reads DIP switch 1 from the module's pin report; needs the connection in command mode.
int probeDipSwitch(ModuleConnection& connection);
// DIP switch 1 (true: on) from a "show io" reply; nothing when the reply holds no pin report.
std::optional<bool> readDipSwitch1(const ReplyBuffer& reply);

// Probes until DIP switch 1 reads off, asking the user to turn it off after each other reading;
// false after ten readings without that.
bool confirmDipSwitchOff(ModuleConnection& connection);

// Blinks the green LED of the selected adapter three times. Opens and closes the connection.
void blinkLed(ModuleConnection& connection);
