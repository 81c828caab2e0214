#pragma once

#include "adaptersimulator.h"
#include "link/moduleconnection.h"
#include "platform/neighbourtable.h"
#include "support/qtprinting.h"
#include "support/recordingdialogs.h"

#include <QStringList>
#include <gtest/gtest.h>
#include <map>
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

// The PC's neighbour table as a test lays it out; records the addresses it was asked to refresh.
class FixedNeighbourTable : public NeighbourTable
{
public:
    void refresh(const QString& address, std::chrono::milliseconds) override
    {
        refreshed.append(address);
    }
    std::optional<QString> hardwareAddress(const QString& address) const override
    {
        const auto entry = entries.find(address);
        return entry == entries.end() ? std::nullopt : std::optional<QString>(entry->second);
    }

    std::map<QString, QString> entries;
    QStringList refreshed;
};

// A fixture with simulated adapters on loopback and the command connection of the program
// talking to them. Each test process gets its own port, so tests can run side by side.
class SimulatedAdapters : public ::testing::Test
{
protected:
    SimulatedAdapters();
    ~SimulatedAdapters() override;

    simulator::Adapter& addAdapter(const simulator::AdapterConfig& config);
    // Adapters send their heartbeats to this test's own port, every 20 ms.
    void sendHeartbeatsTo(std::uint16_t port);
    // Starts the simulator and creates the connection with the given timing.
    void start(Timing timing = testTiming());
    ModuleConnection& connection() { return *link; }

    simulator::SimulatorOptions options;
    RecordingDialogs dialogs;
    SelectedDevice selected;
    std::unique_ptr<simulator::Simulator> simulated;
    std::unique_ptr<ModuleConnection> link;
};
