#include "simulatorconfig.h"

#include "simulator/simulatorfixture.h"

#include <set>
#include <sstream>

using simulator::SimulatorSetup;

namespace {

SimulatorSetup parse(const std::string& text)
{
    std::istringstream stream(text);
    return simulator::parseSimulatorConfig(stream, "test.ini");
}

} // namespace

TEST(SimulatorConfigTest, exampleNetworkRunsWithItsThreeKindsOfAdapter)
{
    SimulatorSetup setup = simulator::readSimulatorConfig(KOV_EXAMPLE_CONFIG);

    ASSERT_EQ(setup.adapters.size(), 3u);
    EXPECT_EQ(setup.options.accessPoints.size(), 2u);
    std::set<std::string> addresses;
    std::set<std::string> macs;
    int withPassword = 0;
    int withDipSwitchOn = 0;
    for (const simulator::AdapterSetup& adapter : setup.adapters) {
        addresses.insert(adapter.config.ownAddress);
        macs.insert(adapter.config.mac);
        withPassword += adapter.config.settings.password.empty() ? 0 : 1;
        withDipSwitchOn += adapter.config.dipSwitch1 ? 1 : 0;
    }
    EXPECT_EQ(addresses.size(), 3u);
    EXPECT_EQ(macs.size(), 3u);
    EXPECT_EQ(withPassword, 1);
    EXPECT_EQ(withDipSwitchOn, 1);

    // On ports of its own, the network greets as described.
    HeartbeatReceiver heartbeats;
    setup.options.commandPort = 0;
    setup.options.heartbeatPort = heartbeats.port();
    simulator::Simulator simulated(setup.options);
    for (const simulator::AdapterSetup& adapter : setup.adapters)
        simulated.addAdapter(adapter.config).setFaults(adapter.faults);
    simulated.start();
    for (const simulator::AdapterSetup& adapter : setup.adapters) {
        SCOPED_TRACE(adapter.config.ownAddress);
        ModuleClient client;
        ASSERT_TRUE(client.connect(adapter.config.ownAddress, simulated.commandPort()));
        const std::string greeting = adapter.config.settings.password.empty() ? "*HELLO*" : "PASS?";
        EXPECT_EQ(client.readUntil(greeting), greeting);
    }
}

TEST(SimulatorConfigTest, readsEveryKindOfValue)
{
    const SimulatorSetup setup = parse("[simulator]\n"
                                       "command-port = 0\n"
                                       "reboot-time = 250\n"
                                       "; a comment\n"
                                       "[access-point]\n"
                                       "ssid = Office Net\n"
                                       "security = wep\n"
                                       "key = 0123456789\n"
                                       "[adapter]\n"
                                       "  address = 127.0.0.9  \n"
                                       "address-on = Office Net 127.0.0.19\n"
                                       "dip-switch-1 = on\n"
                                       "ssid = Office Net\n"
                                       "join = 1\n"
                                       "flow = 0x21\n"
                                       "split-replies = on\n"
                                       "reply-delay = 40\n");

    EXPECT_EQ(setup.options.commandPort, 0);
    EXPECT_EQ(setup.options.rebootTime, std::chrono::milliseconds(250));
    ASSERT_EQ(setup.options.accessPoints.size(), 1u);
    EXPECT_EQ(setup.options.accessPoints[0].ssid, "Office Net");
    EXPECT_EQ(setup.options.accessPoints[0].security, 1);
    ASSERT_EQ(setup.adapters.size(), 1u);
    const simulator::AdapterConfig& config = setup.adapters[0].config;
    EXPECT_EQ(config.ownAddress, "127.0.0.9");
    EXPECT_EQ(config.addressOnAccessPoint.at("Office Net"), "127.0.0.19");
    EXPECT_TRUE(config.dipSwitch1);
    EXPECT_EQ(config.settings.ssid, "Office Net");
    EXPECT_EQ(config.settings.join, 1);
    EXPECT_EQ(config.settings.flow, 0x21u);
    EXPECT_TRUE(setup.adapters[0].faults.splitReplies);
    EXPECT_EQ(setup.adapters[0].faults.replyDelay, std::chrono::milliseconds(40));
}

TEST(SimulatorConfigTest, mistakesNameTheirLine)
{
    const struct
    {
        const char* text;
        const char* where;
    } cases[] = {
        {"[adapter]\naddress = 127.0.0.300\n", "test.ini:2:"},
        {"[adapter]\naddress = 127.0.0.2\nadress = 127.0.0.3\n", "test.ini:3:"},
        {"[simulator]\nheartbeat-port = many\n", "test.ini:2:"},
        {"[simulator]\nheartbeat-port = 70000\n", "test.ini:2:"},
        {"[adapter]\nmac = 02:00:00:00:00:01\n", "test.ini:1:"},
        {"[access-point]\nssid = x\nsecurity = wpa3\n", "test.ini:3:"},
        {"[garden]\n", "test.ini:1:"},
        {"address = 127.0.0.2\n", "test.ini:1:"},
        {"[adapter]\naddress 127.0.0.2\n", "test.ini:2:"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        try {
            parse(c.text);
            ADD_FAILURE() << "accepted";
        } catch (const std::runtime_error& error) {
            EXPECT_EQ(std::string(error.what()).rfind(c.where, 0), 0u) << error.what();
        }
    }
}

TEST(SimulatorConfigTest, quickSetupGivesEachAdapterItsAddressAndName)
{
    const SimulatorSetup setup = simulator::quickSetup(3);

    ASSERT_EQ(setup.adapters.size(), 3u);
    std::set<std::string> nameSuffixes;
    for (std::size_t i = 0; i < setup.adapters.size(); ++i) {
        const simulator::AdapterConfig& config = setup.adapters[i].config;
        EXPECT_EQ(config.ownAddress, "127.0.0." + std::to_string(i + 2));
        ASSERT_EQ(config.mac.size(), 17u);
        nameSuffixes.insert(config.mac.substr(15));
    }
    EXPECT_EQ(nameSuffixes.size(), 3u);
}
