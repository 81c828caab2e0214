#include "simulator/simulatorfixture.h"

#include <algorithm>
#include <thread>

using namespace std::chrono_literals;
using simulator::Clock;
using simulator::Faults;
using std::chrono::milliseconds;

namespace {

const std::string Address = "127.0.0.2";

milliseconds between(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration_cast<milliseconds>(to - from);
}

} // namespace

class FaultTest : public SimulatorTest
{
protected:
    simulator::Adapter& startAdapter()
    {
        simulator::Adapter& adapter = addAdapter(adapterAt(Address));
        start();
        return adapter;
    }
};

TEST_F(FaultTest, noGreetingStillLeadsIntoCommandMode)
{
    simulator::Adapter& adapter = startAdapter();
    Faults faults;
    faults.noGreeting = true;
    adapter.setFaults(faults);
    ModuleClient client;
    ASSERT_TRUE(client.connect(Address, port()));

    EXPECT_EQ(client.readFor(100ms), "");
    client.send("$$$\r\n");
    EXPECT_EQ(client.readUntil("CMD\r\n"), "CMD\r\n");
}

TEST_F(FaultTest, neverAnswerRecordsLinesAndDoesNothing)
{
    simulator::Adapter& adapter = startAdapter();
    ModuleClient client = commandMode(Address);
    Faults faults;
    faults.neverAnswer = true;
    adapter.setFaults(faults);

    client.send("set wlan join 1\r\nget ip\r\n");
    EXPECT_EQ(client.readFor(150ms), "");

    EXPECT_EQ(adapter.runningSettings().join, 7);
    EXPECT_EQ(texts(adapter.receivedLines()),
              (std::vector<std::string>{"$$$", "set wlan join 1", "get ip"}));
    EXPECT_TRUE(client.send("ver\r\n"));
}

TEST_F(FaultTest, connectionClosesAtTheCommandAfterTheCount)
{
    simulator::Adapter& adapter = startAdapter();
    Faults faults;
    faults.closeAfterCommands = 2;
    adapter.setFaults(faults);

    for (int connection = 1; connection <= 2; ++connection) {
        SCOPED_TRACE(connection);
        ModuleClient client = commandMode(Address);
        EXPECT_EQ(client.command("set wlan chan 1"), "set wlan chan 1\r\nAOK\r\n" + Prompt);
        EXPECT_EQ(client.command("get mac").substr(0, 9), "get mac\r\n");
        client.send("set wlan join 1\r\n");
        std::string received;
        EXPECT_TRUE(client.closedByAdapter(500ms, &received));
        EXPECT_EQ(received, "");
    }
    EXPECT_EQ(adapter.runningSettings().join, 7);

    faults.closeAfterCommands = 0;
    adapter.setFaults(faults);
    ModuleClient client = commandMode(Address);
    client.send("ver\r\n");
    EXPECT_TRUE(client.closedByAdapter(500ms));
}

TEST_F(FaultTest, splitRepliesComeInTwoSegmentsWithTheMarkerCut)
{
    simulator::Adapter& adapter = startAdapter();
    ModuleClient client = commandMode(Address);
    const std::string unsplit = client.command("get mac");
    Faults faults;
    faults.splitReplies = true;
    faults.splitGap = 80ms;
    adapter.setFaults(faults);

    client.send("set wlan chan 0\r\n");
    const auto first = client.receiveOnce(1s);
    const auto second = client.receiveOnce(1s);
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->bytes, "set wlan chan 0\r\nAO");
    EXPECT_EQ(second->bytes, "K\r\n" + Prompt);
    EXPECT_GE(between(first->when, second->when), 75ms);

    client.send("get mac\r\n");
    const auto head = client.receiveOnce(1s);
    const auto tail = client.receiveOnce(1s);
    ASSERT_TRUE(head && tail);
    EXPECT_FALSE(head->bytes.empty());
    EXPECT_FALSE(tail->bytes.empty());
    EXPECT_EQ(head->bytes + tail->bytes, unsplit);
}

TEST_F(FaultTest, errorOnCommandRefusesOnlyCommandsWithThatStart)
{
    simulator::Adapter& adapter = startAdapter();
    Faults faults;
    faults.errorOnCommand = "set wlan";
    adapter.setFaults(faults);
    ModuleClient client = commandMode(Address);

    EXPECT_EQ(client.command("set wlan join 1"), "set wlan join 1\r\nERR: Bad Args\r\n" + Prompt);
    EXPECT_EQ(client.command("set uart baud 19200"), "set uart baud 19200\r\nAOK\r\n" + Prompt);
    EXPECT_EQ(adapter.runningSettings().join, 7);
    EXPECT_EQ(adapter.runningSettings().baudrate, 19200);
}

TEST_F(FaultTest, saveWithoutStoringKeepsTheStoredSettings)
{
    simulator::Adapter& adapter = startAdapter();
    Faults faults;
    faults.saveWithoutStoring = true;
    adapter.setFaults(faults);
    ModuleClient client = commandMode(Address);

    client.command("set uart baud 19200");
    const std::string reply = client.command("save");
    EXPECT_EQ(reply.substr(0, 6), "save\r\n");
    EXPECT_EQ(reply.find("Storing in config"), std::string::npos);
    EXPECT_EQ(adapter.storedSettings().baudrate, 9600);
}

TEST_F(FaultTest, replyDelayHoldsBackGreetingAndReplies)
{
    simulator::Adapter& adapter = startAdapter();
    Faults faults;
    faults.replyDelay = 100ms;
    adapter.setFaults(faults);
    ModuleClient client;

    const Clock::time_point connecting = Clock::now();
    ASSERT_TRUE(client.connect(Address, port()));
    ASSERT_EQ(client.readUntil("*HELLO*"), "*HELLO*");
    EXPECT_GE(between(connecting, Clock::now()), 100ms);
    client.send("$$$\r\nver\r\n");
    const Clock::time_point sent = Clock::now();
    ASSERT_EQ(client.readUntil("CMD\r\n"), "CMD\r\n");
    EXPECT_GE(between(sent, Clock::now()), 95ms);
    EXPECT_EQ(client.readUntil(Prompt).substr(0, 5), "ver\r\n");
}

TEST_F(FaultTest, oversizedRepliesAre3000BytesAndStillReadable)
{
    simulator::Adapter& adapter = startAdapter();
    ModuleClient client = commandMode(Address);
    Faults faults;
    faults.oversizedReply = true;
    adapter.setFaults(faults);

    const std::string reply = client.command("get ip");
    EXPECT_EQ(reply.size(), 3000u);
    EXPECT_EQ(reply.substr(0, 10), "get ip\r\n\r\n");
    EXPECT_EQ(reply.substr(reply.size() - Prompt.size()), Prompt);
    EXPECT_NE(reply.find("\r\nIP=127.0.0.2:2000\r\n"), std::string::npos);
    EXPECT_EQ(client.command("set wlan chan 1"), "set wlan chan 1\r\nAOK\r\n" + Prompt);
}

TEST_F(FaultTest, garbageHoldsNoTextButZeroAndFfBytes)
{
    simulator::Adapter& adapter = startAdapter();
    ModuleClient client = commandMode(Address);
    Faults faults;
    faults.garbage = true;
    adapter.setFaults(faults);

    for (const char* command : {"get ip", "set wlan chan 1"}) {
        SCOPED_TRACE(command);
        client.send(std::string(command) + "\r\n");
        const std::string reply = client.readFor(100ms);
        ASSERT_FALSE(reply.empty());
        EXPECT_NE(reply.find('\0'), std::string::npos);
        EXPECT_NE(reply.find('\xff'), std::string::npos);
        const bool anyText = std::any_of(reply.begin(), reply.end(), [](char c) {
            return static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7f;
        });
        EXPECT_FALSE(anyText);
    }
}

TEST_F(FaultTest, serialDataArrivesEveryIntervalUntilCleared)
{
    simulator::Adapter& adapter = startAdapter();
    ModuleClient client;
    ASSERT_TRUE(client.connect(Address, port()));
    ASSERT_EQ(client.readUntil("*HELLO*"), "*HELLO*");
    Faults faults;
    faults.serialData = "t=21.5\r\n";
    faults.serialDataInterval = 20ms;
    adapter.setFaults(faults);

    const std::string received = client.readFor(210ms);
    std::size_t copies = 0;
    for (std::size_t at = received.find("t=21.5\r\n"); at != std::string::npos;
         at = received.find("t=21.5\r\n", at + 1))
        ++copies;
    EXPECT_GE(copies, 7u);
    EXPECT_LE(copies, 11u);
    EXPECT_EQ(copies * 8, received.size());

    adapter.setFaults(Faults{});
    client.readFor(30ms);
    EXPECT_EQ(client.readFor(100ms), "");
}

TEST_F(FaultTest, refusedTcpComesBackWhenCleared)
{
    simulator::Adapter& adapter = startAdapter();
    Faults faults;
    faults.refuseTcp = true;
    adapter.setFaults(faults);

    ModuleClient client;
    EXPECT_FALSE(client.connect(Address, port()));
    heartbeats.discard();
    EXPECT_TRUE(heartbeats.receive(200ms)) << "heartbeats go on";
    EXPECT_TRUE(adapter.online());

    adapter.setFaults(Faults{});
    EXPECT_TRUE(client.connect(Address, port()));
}

TEST_F(FaultTest, omittedKeysAreLeftOutOfQueryRepliesOnly)
{
    simulator::Adapter& adapter = startAdapter();
    ModuleClient client = commandMode(Address);
    Faults faults;
    faults.omittedKeys = {"Join", "DHCP"};
    adapter.setFaults(faults);

    const std::string wlan = client.command("get wlan");
    EXPECT_EQ(wlan.find("Join="), std::string::npos);
    EXPECT_NE(wlan.find("\r\nSSID="), std::string::npos);
    const std::string ip = client.command("get ip");
    EXPECT_EQ(ip.find("DHCP="), std::string::npos);
    EXPECT_NE(ip.find("\r\nIP="), std::string::npos);
    // A setting command naming a key is answered in full.
    EXPECT_EQ(client.command("set wlan join 1"), "set wlan join 1\r\nAOK\r\n" + Prompt);
}
