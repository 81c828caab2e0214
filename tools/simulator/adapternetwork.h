#pragma once

// Inside the simulator. One thread serves every adapter: it polls all sockets and runs a queue of
// timed tasks (delayed and split replies, heartbeats, reboots). Everything it touches is guarded
// by one mutex, which the adapter handles take as well; the thread releases it only while it
// waits in poll().

#include "adaptersimulator.h"
#include "modulecommands.h"
#include "sockets.h"

#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace simulator {

// What a line received on a connection means.
enum class ConnectionMode
{
    Password,
    Data,
    Command
};
enum class AfterReply
{
    Nothing,
    Close,
    Reboot
};

// One accepted command connection.
struct Connection
{
    UniqueFd socket;
    int number = 0;
    ConnectionMode mode = ConnectionMode::Data;
    std::string line; // the line being received
    bool afterCarriageReturn = false;
    int commandLines = 0;
    bool finishing = false;    // a close or a reboot is on its way: input is recorded, not acted on
    Clock::time_point lastDue; // when the last queued part goes out; keeps the replies in order
};

class AdapterNetwork;

// The handle of one adapter and its state, on which the network's thread works directly.
class SimulatedAdapter final : public Adapter
{
public:
    SimulatedAdapter(AdapterNetwork& network, const AdapterConfig& config);

    std::string address() const override;
    std::string mac() const override;
    bool online() const override;
    bool waitUntilOnline(milliseconds timeout) const override;
    int rebootCount() const override;

    ModuleSettings runningSettings() const override;
    ModuleSettings storedSettings() const override;
    void setSettings(const ModuleSettings& settings) override;
    void setPassword(const std::string& password) override;
    void setDipSwitch1(bool on) override;
    bool dipSwitch1() const override;
    void setFirmwareVersion(const std::string& version) override;

    void setFaults(const Faults& faults) override;
    Faults faults() const override;

    std::vector<TranscriptEntry> transcript() const override;
    std::vector<ReceivedLine> receivedLines() const override;
    std::vector<LedEvent> ledHistory() const override;
    void clearHistory() override;

private:
    friend class AdapterNetwork;

    ModuleIdentity identity() const;
    // The lock, taken once the thread has taken in what reached the sockets before the call.
    std::unique_lock<std::mutex> caughtUp() const;

    // Everything below is guarded by the network's mutex.
    AdapterNetwork& network;
    const AdapterConfig config;
    ModuleMemory memory;
    bool dipSwitch = false;
    std::string version;
    Faults injected;
    std::string currentAddress;
    bool isOnline = false;
    int reboots = 0;
    Clock::time_point cameUp;
    std::vector<TranscriptEntry> entries;
    std::vector<ReceivedLine> lines;
    std::vector<LedEvent> leds;
    UniqueFd listener;
    UniqueFd heartbeatSocket;
    std::vector<std::unique_ptr<Connection>> connections;
    int accepted = 0;
    uint64_t heartbeatChain = 0; // a new chain of heartbeats ends the old one
    uint16_t heartbeatSequence = 0;
    bool serialDataRunning = false;
    bool bindRetryPending = false;
};

// All adapters, their sockets and the thread that serves them.
class AdapterNetwork
{
public:
    explicit AdapterNetwork(SimulatorOptions options) : options(std::move(options)) {}
    ~AdapterNetwork() { stop(); }
    AdapterNetwork(const AdapterNetwork&) = delete;
    AdapterNetwork& operator=(const AdapterNetwork&) = delete;

    SimulatedAdapter& addAdapter(const AdapterConfig& config);
    void start();
    void stop();
    uint16_t commandPort() const;
    std::vector<Adapter*> adapterHandles() const;

    // Returns once the thread has acted on every change made so far and taken in everything that
    // reached the sockets before the call, so that what a handle reports next is up to date.
    // Returns at once when the thread does not run, or is the caller.
    void catchUp(std::unique_lock<std::mutex>& lock);

    mutable std::mutex mutex;
    mutable std::condition_variable changed; // online states and applied changes

private:
    using Task = std::function<void()>;

    void run();
    void runDueTasks();
    void schedule(Clock::time_point when, Task task) { tasks.emplace(when, std::move(task)); }
    void wake();
    void flushLog(std::unique_lock<std::mutex>& lock);
    void log(const SimulatedAdapter& adapter, const std::string& text);
    void logConnection(const SimulatedAdapter& adapter, int number, const std::string& text);

    void bindCommandPorts();
    std::string addressAfterBoot(const SimulatedAdapter& adapter) const;
    void reconcile(SimulatedAdapter& adapter);
    void ensureListener(SimulatedAdapter& adapter);

    void acceptAll(SimulatedAdapter& adapter);
    void receive(SimulatedAdapter& adapter, Connection& connection);
    void handleLine(SimulatedAdapter& adapter, Connection& connection, const std::string& text,
                    Clock::time_point when);
    void handleCommand(SimulatedAdapter& adapter, Connection& connection, const std::string& text,
                       Clock::time_point when);
    void reply(SimulatedAdapter& adapter, Connection& connection, std::string bytes, bool query,
               AfterReply after);
    void queueSend(SimulatedAdapter& adapter, Connection& connection, Clock::time_point due,
                   std::string bytes, AfterReply after);
    void queueClose(SimulatedAdapter& adapter, Connection& connection);
    void deliver(SimulatedAdapter& adapter, int number, const std::string& bytes, AfterReply after);
    void sendNow(SimulatedAdapter& adapter, Connection& connection, const std::string& bytes);
    void closeConnection(SimulatedAdapter& adapter, int number, bool drain);
    Connection* find(SimulatedAdapter& adapter, int number);

    void beginReboot(SimulatedAdapter& adapter);
    void goOffNetwork(SimulatedAdapter& adapter);
    void bringUp(SimulatedAdapter& adapter);

    void startHeartbeats(SimulatedAdapter& adapter);
    void heartbeat(SimulatedAdapter& adapter, uint64_t chain);
    void serialData(SimulatedAdapter& adapter);

    const SimulatorOptions options;
    std::vector<std::unique_ptr<SimulatedAdapter>> adapters;
    uint16_t port = 0;
    bool started = false;
    bool stopped = false;
    bool stopping = false;
    bool looping = false;
    std::thread loop;
    std::thread::id loopId;
    UniqueFd wakeReadEnd;
    UniqueFd wakeWriteEnd;
    uint64_t catchUpsRequested = 0;
    uint64_t catchUpsDone = 0;
    // Equal times keep their order of insertion, so parts queued for one moment go out in order.
    std::multimap<Clock::time_point, Task> tasks;
    std::vector<std::string> pendingLog;
};

} // namespace simulator
