#pragma once

#include "adaptersimulator.h"
#include "link/moduleconnection.h"
#include "support/recordingdialogs.h"

#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <string>
#include <vector>

// Tests run the program's pauses at a tenth of their length.
inline constexpr double TestTimeScale = 0.1;
Timing testTiming();

// An adapter on its own network at the address, without password, DIP switch 1 off.
simulator::AdapterConfig adapterAt(const std::string& address);

// A UDP port nobody listens on now, for the heartbeats of one test.
std::uint16_t freeUdpPort();

// The command text of each line an adapter received, in order.
std::vector<std::string> receivedTexts(const simulator::Adapter& adapter);
// How many connections the adapter has accepted.
int connectionCount(const simulator::Adapter& adapter);
// The adapter's record of the end of its last connection; waits a little for the adapter to
// notice a close. Nothing when it has not seen one.
std::optional<simulator::TranscriptEntry> lastClose(const simulator::Adapter& adapter);

// A fixture with simulated adapters on loopback and the command connection of the program
// talking to them. Each test process gets its own port, so tests can run side by side.
class SimulatedAdapters : public ::testing::Test
{
protected:
    SimulatedAdapters();
    ~SimulatedAdapters() override;

    simulator::Adapter& addAdapter(const simulator::AdapterConfig& config);
    // Starts the simulator and creates the connection with the given timing.
    void start(Timing timing = testTiming());
    ModuleConnection& connection() { return *link; }

    simulator::SimulatorOptions options;
    RecordingDialogs dialogs;
    SelectedDevice selected;
    std::unique_ptr<simulator::Simulator> simulated;
    std::unique_ptr<ModuleConnection> link;
};
