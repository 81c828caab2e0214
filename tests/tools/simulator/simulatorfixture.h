#pragma once

#include "adaptersimulator.h"
#include "simulator/moduleclient.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

inline const std::string Prompt = "<4.00.1> ";

// Simulated adapters on a port of their own and a heartbeat receiver, at times short enough for
// tests: heartbeats every 50 ms, reboots of 200 ms.
class SimulatorTest : public ::testing::Test
{
protected:
    SimulatorTest()
    {
        options.commandPort = 0;
        options.heartbeatPort = heartbeats.port();
        options.heartbeatInterval = std::chrono::milliseconds(50);
        options.rebootTime = std::chrono::milliseconds(200);
    }

    // An adapter on its own network at the address, with the default settings.
    static simulator::AdapterConfig adapterAt(const std::string& address)
    {
        simulator::AdapterConfig config;
        config.ownAddress = address;
        return config;
    }

    // The simulator takes the options as they are at the first adapter.
    simulator::Adapter& addAdapter(const simulator::AdapterConfig& config)
    {
        if (!simulated)
            simulated = std::make_unique<simulator::Simulator>(options);
        return simulated->addAdapter(config);
    }

    void start() { simulated->start(); }
    uint16_t port() const { return simulated->commandPort(); }

    // A client in command mode on the adapter at the address; fails the test when it is not.
    ModuleClient commandMode(const std::string& address, const std::string& password = {})
    {
        ModuleClient client;
        EXPECT_TRUE(client.enterCommandMode(address, port(), password)) << address;
        return client;
    }

    static std::vector<std::string> texts(const std::vector<simulator::ReceivedLine>& lines)
    {
        std::vector<std::string> result;
        for (const simulator::ReceivedLine& line : lines)
            result.push_back(line.text);
        return result;
    }

    HeartbeatReceiver heartbeats;
    simulator::SimulatorOptions options;
    std::unique_ptr<simulator::Simulator> simulated;
};
