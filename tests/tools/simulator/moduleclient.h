#pragma once

// Plain socket peers for the simulator's tests: a TCP client that talks to one adapter the way
// the utility does, and a receiver for heartbeat datagrams.

#include "adaptersimulator.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

class ModuleClient
{
public:
    ModuleClient() = default;
    ModuleClient(ModuleClient&& other) noexcept;
    ModuleClient& operator=(ModuleClient&& other) noexcept;
    ModuleClient(const ModuleClient&) = delete;
    ModuleClient& operator=(const ModuleClient&) = delete;
    ~ModuleClient() { close(); }

    bool connect(const std::string& address, uint16_t port); // false: refused or failed
    void close();
    bool isOpen() const { return fd >= 0; }

    bool send(const std::string& bytes);
    // Reads until what arrived holds the marker and returns it up to the marker's end; on timeout
    // returns what arrived. What came after the marker is kept for the next read.
    std::string readUntil(const std::string& marker,
                          std::chrono::milliseconds timeout = std::chrono::seconds(2));
    // Everything that arrives within the time.
    std::string readFor(std::chrono::milliseconds time);

    struct Segment
    {
        std::string bytes;
        simulator::Clock::time_point when;
    };
    // What one receive returns, waiting at most the timeout; nothing on timeout or close.
    std::optional<Segment> receiveOnce(std::chrono::milliseconds timeout);
    // True when the adapter closes the connection within the timeout; what it sent before the
    // close goes to received.
    bool closedByAdapter(std::chrono::milliseconds timeout, std::string* received = nullptr);

    // Sends the line with CR LF and returns the reply up to and including the prompt.
    std::string command(const std::string& line, const std::string& prompt = "<4.00.1> ");
    // Connects, reads the greeting, answers "PASS?" with the password, and sends "$$$".
    bool enterCommandMode(const std::string& address, uint16_t port,
                          const std::string& password = std::string());

private:
    int fd = -1;
    std::string pending;
    bool peerClosed = false;
};

class HeartbeatReceiver
{
public:
    HeartbeatReceiver(); // bound to 127.0.0.1 on a free port
    ~HeartbeatReceiver();
    HeartbeatReceiver(const HeartbeatReceiver&) = delete;
    HeartbeatReceiver& operator=(const HeartbeatReceiver&) = delete;

    uint16_t port() const { return boundPort; }

    struct Datagram
    {
        std::string bytes;
        std::string sender; // the source address, dotted
        simulator::Clock::time_point when;
    };
    std::optional<Datagram> receive(std::chrono::milliseconds timeout);
    // Drops what has arrived so far.
    void discard();

private:
    int fd = -1;
    uint16_t boundPort = 0;
};
