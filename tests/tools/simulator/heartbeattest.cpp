#include "simulator/simulatorfixture.h"

#include <algorithm>
#include <arpa/inet.h>
#include <map>

using namespace std::chrono_literals;
using simulator::Clock;
using std::chrono::milliseconds;

namespace {

// The version the utility takes from a heartbeat: zero bytes read as spaces, the text from the
// first "Ver" on cut at runs of spaces, and the second token up to its comma.
std::string versionIn(std::string datagram)
{
    std::replace(datagram.begin(), datagram.end(), '\0', ' ');
    const std::size_t marker = datagram.find("Ver");
    if (marker == std::string::npos)
        return std::string();
    const std::size_t first = datagram.find_first_not_of(' ', marker + 3);
    if (first == std::string::npos)
        return std::string();
    const std::string token = datagram.substr(first, datagram.find(' ', first) - first);
    const std::size_t comma = token.find(',');
    return comma == std::string::npos ? std::string() : token.substr(0, comma);
}

unsigned bigEndian(const std::string& bytes, std::size_t offset)
{
    return static_cast<unsigned char>(bytes[offset]) << 8 |
           static_cast<unsigned char>(bytes[offset + 1]);
}

} // namespace

class HeartbeatTest : public SimulatorTest
{
protected:
    // The datagrams that arrive within the time, by sender.
    std::map<std::string, std::vector<HeartbeatReceiver::Datagram>> collect(milliseconds time)
    {
        std::map<std::string, std::vector<HeartbeatReceiver::Datagram>> bySender;
        const Clock::time_point deadline = Clock::now() + time;
        while (Clock::now() < deadline) {
            const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
            if (auto datagram = heartbeats.receive(std::max(left, 1ms)))
                bySender[datagram->sender].push_back(*datagram);
        }
        return bySender;
    }
};

TEST_F(HeartbeatTest, heartbeatsComeFromEachAdapterWithBinaryFieldsAndTheVersionText)
{
    addAdapter(adapterAt("127.0.0.2"));
    simulator::AdapterConfig second = adapterAt("127.0.0.3");
    second.firmwareVersion = "4.10.2";
    second.buildDate = "Jan  2 2020 10:00:00";
    second.dipSwitch1 = true;
    addAdapter(second);
    start();

    const auto bySender = collect(300ms);

    ASSERT_EQ(bySender.size(), 2u);
    const struct
    {
        const char* address;
        const char* versionText;
        const char* version;
        unsigned pins;
    } expected[] = {{"127.0.0.2", "Ver 4.00.1, Apr 19 2013 11:48:16", "4.00.1", 0x8d08},
                    {"127.0.0.3", "Ver 4.10.2, Jan  2 2020 10:00:00", "4.10.2", 0x8f08}};
    for (const auto& e : expected) {
        SCOPED_TRACE(e.address);
        ASSERT_EQ(bySender.count(e.address), 1u);
        const std::vector<HeartbeatReceiver::Datagram>& datagrams = bySender.at(e.address);
        // One at once, then one every 50 ms.
        EXPECT_GE(datagrams.size(), 5u);
        EXPECT_LE(datagrams.size(), 8u);
        for (std::size_t i = 1; i < datagrams.size(); ++i)
            EXPECT_GE(datagrams[i].when - datagrams[i - 1].when, 40ms);

        const std::string& bytes = datagrams.front().bytes;
        EXPECT_EQ(bytes.size(), 110u);
        EXPECT_NE(bytes.find('\0'), std::string::npos);
        EXPECT_NE(bytes.find(e.versionText), std::string::npos);
        EXPECT_EQ(versionIn(bytes), e.version);
        in_addr address{};
        inet_pton(AF_INET, e.address, &address);
        EXPECT_EQ(bytes.substr(0, 4), std::string(reinterpret_cast<const char*>(&address), 4));
        EXPECT_EQ(bigEndian(bytes, 4), port());
        EXPECT_EQ(bigEndian(bytes, 12), e.pins);
        EXPECT_NE(bytes.find("KOV-SL47"), std::string::npos);
    }
}

TEST_F(HeartbeatTest, noHeartbeatsFaultSilencesOneAdapter)
{
    simulator::Adapter& quiet = addAdapter(adapterAt("127.0.0.2"));
    addAdapter(adapterAt("127.0.0.3"));
    start();
    simulator::Faults faults;
    faults.noHeartbeats = true;
    quiet.setFaults(faults);
    heartbeats.discard();

    auto bySender = collect(200ms);
    EXPECT_EQ(bySender.count("127.0.0.2"), 0u);
    EXPECT_GE(bySender["127.0.0.3"].size(), 3u);

    quiet.setFaults(simulator::Faults{});
    bySender = collect(120ms);
    EXPECT_GE(bySender["127.0.0.2"].size(), 1u);
}

TEST_F(HeartbeatTest, rebootingAdapterIsSilentAndComesBackFromItsNewAddress)
{
    options.accessPoints = {{"Office", 2, "pass phrase"}};
    simulator::AdapterConfig config = adapterAt("127.0.0.2");
    config.addressOnAccessPoint = {{"Office", "127.0.0.12"}};
    simulator::Adapter& adapter = addAdapter(config);
    start();
    ModuleClient client = commandMode("127.0.0.2");
    for (const char* command :
         {"set wlan join 1", "set wlan ssid Office", "set wlan phrase pass phrase", "save"})
        client.command(command);

    client.send("reboot\r\n");
    ASSERT_TRUE(client.closedByAdapter(500ms));
    heartbeats.discard();
    const auto duringReboot = collect(150ms);
    EXPECT_TRUE(duringReboot.empty());
    ASSERT_TRUE(adapter.waitUntilOnline(1s));

    const auto afterwards = collect(120ms);
    ASSERT_EQ(afterwards.size(), 1u);
    EXPECT_EQ(afterwards.begin()->first, "127.0.0.12");
    // The boot count field has counted the reboot.
    EXPECT_EQ(afterwards.begin()->second.front().bytes[9], 1);
}
