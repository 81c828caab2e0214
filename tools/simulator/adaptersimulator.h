#pragma once

// A simulated network of KOV-SL47 adapters for tests and for trying the utility without hardware.
// Each adapter listens on its own loopback address for the module's command protocol and sends
// heartbeat datagrams from that address. Plain C++ and POSIX sockets; no Qt.
//
// Lines the adapter receives end in CR; an LF right after a CR is dropped, and a lone LF ends a
// line as well, so that a person can talk to an adapter with a plain terminal tool.

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace simulator {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The settings a module keeps. "get ..." reports them, "set ..." changes the running copy,
// "save" stores it, "reboot" loads the stored copy, "factory RESET" restores the defaults.
struct ModuleSettings
{
    // "get ip"
    bool dhcp = true;
    std::string ipAddress = "0.0.0.0"; // the fixed address used when DHCP is off
    std::string netmask = "255.255.255.0";
    std::string gateway = "0.0.0.0";
    // "get wlan"
    int join = 7; // 1 joins an access point, 4 opens an ad-hoc network, 7 acts as access point
    int channel = 0;
    std::string ssid;
    std::string key;    // WEP key ("set wlan key")
    std::string phrase; // WPA passphrase ("set wlan phrase")
    // "get uart"
    int baudrate = 9600;
    unsigned flow = 0x0; // bit 0 hardware flow control, bit 5 parity on, bit 4 odd parity
    // "get opt"
    std::string password; // the command port password asked for with "PASS?"; empty: none
    // "get comm"
    std::string openString;
    std::string closeString;
    std::string remoteString;
    int flushSize = 64;
    int matchChar = 0; // decimal character code; 0: none
    int flushTimer = 5;
    // "get dns"
    int leaseSeconds = 86400;

    friend bool operator==(const ModuleSettings&, const ModuleSettings&) = default;
};

struct AccessPoint
{
    std::string ssid;
    int security = 0; // 0 open, 1 WEP (key), 2 WPA (passphrase)
    std::string key;
};

// At start and after each reboot an adapter takes the address of addressOnAccessPoint for its
// stored ssid when DIP switch 1 is off, the stored join is 1, and one of the simulator's access
// points has that ssid and accepts the stored key (WEP) or phrase (WPA); otherwise ownAddress.
struct AdapterConfig
{
    std::string ownAddress;                 // where it is on its own network, e.g. "127.0.0.2"
    std::string mac = "02:4b:4f:12:34:ab";  // as "get mac" prints it
    std::string firmwareVersion = "4.00.1"; // in "ver", the prompt and the heartbeat
    std::string buildDate = "Apr 19 2013 11:48:16";
    bool dipSwitch1 = false; // on: the adapter opens its own network
    ModuleSettings settings; // both the running and the stored copy at start
    std::map<std::string, std::string> addressOnAccessPoint; // ssid -> address there
};

// Misbehaviour to inject, per adapter; takes effect from the next connection or command.
struct Faults
{
    bool noGreeting = false; // send nothing on connect
    // Read everything, answer nothing: lines are recorded, not acted on. The greeting still
    // follows noGreeting.
    bool neverAnswer = false;
    // A command line that arrives after this many command lines on the same connection closes
    // that connection instead of being answered (0: the first command closes it); -1 never.
    int closeAfterCommands = -1;
    bool splitReplies = false; // every reply in two TCP segments, splitGap apart
    milliseconds splitGap{50};
    std::string errorOnCommand; // commands starting with this text get "ERR: Bad Args"
    // "save" answers without "Storing in config" and stores nothing.
    bool saveWithoutStoring = false;
    bool refuseTcp = false;      // the command port refuses connections; heartbeats go on
    milliseconds replyDelay{0};  // every reply (greeting included) is sent this much later
    bool oversizedReply = false; // every query reply is padded to 3000 bytes
    bool garbage = false;        // every reply is replaced by bytes that are not text
    bool noHeartbeats = false;
    // Lines "<key>=..." of query replies that are left out, as an older firmware would.
    std::vector<std::string> omittedKeys;
    // Serial data from the device on the adapter's serial port, forwarded to the connected client
    // every serialDataInterval while the fault is set; empty: none.
    std::string serialData;
    milliseconds serialDataInterval{100};
};

enum class Direction
{
    Connected,
    Received,
    Sent,
    Closed
};

struct TranscriptEntry
{
    Clock::time_point when;
    int connection = 0; // numbered from 1 per adapter, in order of acceptance
    Direction direction = Direction::Received;
    std::string bytes; // empty for Connected and Closed
};

// One line the adapter received, without its line ending: password attempts, lines of data mode
// ("$$$" among them) and command lines alike.
struct ReceivedLine
{
    Clock::time_point when; // when its last byte arrived
    int connection = 0;
    std::string text;
};

struct LedEvent
{
    Clock::time_point when;
    bool on = false;
};

// A handle to one simulated adapter. Every member is safe to call from any thread. What a handle
// reports (address, state, settings, histories) takes in everything that reached the adapter's
// sockets before the call, and setFaults has taken effect when it returns.
class Adapter
{
public:
    virtual ~Adapter() = default;

    virtual std::string address() const = 0; // the address it answers on now
    virtual std::string mac() const = 0;
    virtual bool online() const = 0; // false while rebooting
    virtual bool waitUntilOnline(milliseconds timeout) const = 0;
    virtual int rebootCount() const = 0; // reboots begun; counted as the adapter goes off

    virtual ModuleSettings runningSettings() const = 0;
    virtual ModuleSettings storedSettings() const = 0;
    virtual void setSettings(const ModuleSettings& settings) = 0; // running and stored
    virtual void setPassword(const std::string& password) = 0;    // running and stored
    virtual void setDipSwitch1(bool on) = 0;
    virtual bool dipSwitch1() const = 0;
    virtual void setFirmwareVersion(const std::string& version) = 0;

    virtual void setFaults(const Faults& faults) = 0;
    virtual Faults faults() const = 0;

    virtual std::vector<TranscriptEntry> transcript() const = 0;
    virtual std::vector<ReceivedLine> receivedLines() const = 0;
    virtual std::vector<LedEvent> ledHistory() const = 0;
    virtual void clearHistory() = 0; // transcript, received lines and LED history
};

struct SimulatorOptions
{
    uint16_t commandPort = 2000; // 0: one free port, the same on every adapter address
    std::string heartbeatTarget = "127.0.0.1";
    uint16_t heartbeatPort = 55555;
    milliseconds heartbeatInterval{1000};
    milliseconds rebootTime{3000}; // how long a rebooting adapter is off the network
    std::vector<AccessPoint> accessPoints;
    // Called on the simulator's own thread, without any lock held, with a readable line for each
    // connection, each line received and each reboot; empty: no log.
    std::function<void(const std::string&)> log;
};

class Simulator
{
public:
    explicit Simulator(SimulatorOptions options = {});
    ~Simulator(); // stops
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    Adapter& addAdapter(const AdapterConfig& config); // before start()
    void start(); // throws std::runtime_error when an address or port cannot be bound
    void stop();

    uint16_t commandPort() const; // the port actually bound, after start()
    std::vector<Adapter*> adapters() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl;
};

} // namespace simulator
