#include "simulator/simulatorfixture.h"

#include <cstdio>
#include <stdexcept>
#include <thread>

using namespace std::chrono_literals;
using simulator::Clock;
using simulator::Direction;
using simulator::ModuleSettings;
using std::chrono::milliseconds;

namespace {

const std::string Address = "127.0.0.2";

// The value the utility reads for a key: from the first line that holds the key anywhere, the
// text from position length(key) + 1 on.
std::string valueOf(const std::string& reply, const std::string& key)
{
    std::size_t start = 0;
    while (start < reply.size()) {
        const std::size_t end = std::min(reply.find_first_of("\r\n", start), reply.size());
        const std::string line = reply.substr(start, end - start);
        if (line.find(key) != std::string::npos)
            return line.size() > key.size() + 1 ? line.substr(key.size() + 1) : std::string();
        start = end + 1;
    }
    return std::string();
}

// Tokens separated by runs of spaces only, as the utility cuts the "ver" reply.
std::vector<std::string> spaceTokens(const std::string& text)
{
    std::vector<std::string> tokens;
    std::size_t start = text.find_first_not_of(' ');
    while (start != std::string::npos) {
        const std::size_t end = text.find(' ', start);
        tokens.push_back(text.substr(start, end - start));
        start = end == std::string::npos ? end : text.find_first_not_of(' ', end);
    }
    return tokens;
}

milliseconds between(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration_cast<milliseconds>(to - from);
}

} // namespace

// ---- Connection, greeting, password, command mode ----

TEST_F(SimulatorTest, greetsAndTakesOnlyTheDollarLineInDataMode)
{
    simulator::Adapter& adapter = addAdapter(adapterAt(Address));
    start();
    ModuleClient client;
    ASSERT_TRUE(client.connect(Address, port()));

    EXPECT_EQ(client.readFor(100ms), "*HELLO*");
    client.send("serial data\r\nget ip\r\n$$$ \r\n");
    EXPECT_EQ(client.readFor(100ms), "");
    client.send("$$$\r\n");
    EXPECT_EQ(client.readFor(100ms), "CMD\r\n");
    EXPECT_EQ(client.command("get mac").substr(0, 9), "get mac\r\n");

    EXPECT_EQ(texts(adapter.receivedLines()),
              (std::vector<std::string>{"serial data", "get ip", "$$$ ", "$$$", "get mac"}));
}

struct LineEndCase
{
    const char* name;
    const char* end;
};

void PrintTo(const LineEndCase& c, std::ostream* out)
{
    *out << c.name;
}

class LineEndTest : public SimulatorTest, public testing::WithParamInterface<LineEndCase>
{};

TEST_P(LineEndTest, endsALineWithoutLeavingAnEmptyOne)
{
    const std::string end = GetParam().end;
    simulator::Adapter& adapter = addAdapter(adapterAt(Address));
    start();
    ModuleClient client;
    ASSERT_TRUE(client.connect(Address, port()));
    ASSERT_EQ(client.readUntil("*HELLO*"), "*HELLO*");

    client.send("$$$" + end);
    EXPECT_EQ(client.readUntil("CMD\r\n"), "CMD\r\n");
    client.send("get mac" + end);
    EXPECT_EQ(client.readUntil(Prompt).substr(0, 9), "get mac\r\n");
    client.send("ver" + end);
    EXPECT_EQ(client.readUntil(Prompt).substr(0, 5), "ver\r\n");

    EXPECT_EQ(texts(adapter.receivedLines()), (std::vector<std::string>{"$$$", "get mac", "ver"}));
}

INSTANTIATE_TEST_SUITE_P(Ends, LineEndTest,
                         testing::Values(LineEndCase{"carriageReturnLineFeed", "\r\n"},
                                         LineEndCase{"carriageReturn", "\r"},
                                         LineEndCase{"lineFeed", "\n"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SimulatorTest, rightPasswordLeadsToDataMode)
{
    simulator::Adapter& adapter = addAdapter(adapterAt(Address));
    adapter.setPassword("secret");
    start();
    ModuleClient client;
    ASSERT_TRUE(client.connect(Address, port()));

    EXPECT_EQ(client.readFor(100ms), "PASS?");
    client.send("secret\r\n");
    EXPECT_EQ(client.readFor(100ms), "*HELLO*");
    client.send("$$$\r\n");
    EXPECT_EQ(client.readUntil("CMD\r\n"), "CMD\r\n");
    EXPECT_EQ(texts(adapter.receivedLines()), (std::vector<std::string>{"secret", "$$$"}));
}

TEST_F(SimulatorTest, wrongPasswordClosesAtOnceWithoutAWord)
{
    simulator::Adapter& adapter = addAdapter(adapterAt(Address));
    adapter.setPassword("secret");
    start();

    for (const std::string attempt : {"guess", "", "secret ", "$$$"}) {
        SCOPED_TRACE("attempt '" + attempt + "'");
        ModuleClient client;
        ASSERT_TRUE(client.connect(Address, port()));
        ASSERT_EQ(client.readUntil("PASS?"), "PASS?");
        const Clock::time_point sent = Clock::now();
        client.send(attempt + "\r\n");
        std::string received;
        EXPECT_TRUE(client.closedByAdapter(500ms, &received));
        EXPECT_LT(between(sent, Clock::now()), 100ms);
        EXPECT_EQ(received, "");
    }
    EXPECT_EQ(texts(adapter.receivedLines()),
              (std::vector<std::string>{"guess", "", "secret ", "$$$"}));
}

TEST_F(SimulatorTest, clientsLeavingEarlyDisturbNothing)
{
    simulator::Adapter& adapter = addAdapter(adapterAt(Address));
    start();
    {
        ModuleClient leavesAtOnce;
        ASSERT_TRUE(leavesAtOnce.connect(Address, port()));
    }
    {
        ModuleClient leavesMidLine;
        ASSERT_TRUE(leavesMidLine.enterCommandMode(Address, port()));
        leavesMidLine.send("set wlan jo");
    }
    ModuleClient client = commandMode(Address);
    EXPECT_EQ(client.command("set wlan join 1"), "set wlan join 1\r\nAOK\r\n" + Prompt);

    const std::vector<simulator::ReceivedLine> lines = adapter.receivedLines();
    EXPECT_EQ(texts(lines), (std::vector<std::string>{"$$$", "$$$", "set wlan join 1"}));
    EXPECT_EQ(lines.back().connection, 3);
    EXPECT_EQ(adapter.runningSettings().join, 1);
}

// ---- Queries ----

TEST_F(SimulatorTest, everyKeyIsReadFromItsOwnLine)
{
    simulator::AdapterConfig config = adapterAt(Address);
    ModuleSettings& s = config.settings;
    s.dhcp = false;
    s.netmask = "255.255.0.0";
    s.gateway = "192.168.0.1";
    // Names of other keys inside the texts: no key may be found on the line of another.
    s.ssid = "Join IP DHCP NM";
    s.join = 1;
    s.password = "pw";
    s.openString = "*OPEN*";
    s.closeString = "*CLOS*";
    s.remoteString = "*HI*";
    s.flushSize = 1000;
    s.matchChar = 13;
    s.flushTimer = 20;
    s.leaseSeconds = 7200;
    addAdapter(config);
    start();
    ModuleClient client = commandMode(Address, "pw");

    const struct
    {
        const char* query;
        const char* key;
        const char* value;
    } cases[] = {
        {"get ip", "DHCP", "OFF"},
        {"get ip", "IP", "127.0.0.2:2000"},
        {"get ip", "NM", "255.255.0.0"},
        {"get ip", "GW", "192.168.0.1"},
        {"get wlan", "SSID", "Join IP DHCP NM"},
        {"get wlan", "Join", "1"},
        {"get opt", "Password", "pw"},
        {"get comm", "OPEN", "*OPEN*"},
        {"get comm", "CLOSE", "*CLOS*"},
        {"get comm", "REMOTE", "*HI*"},
        {"get comm", "FlushSize", "1000"},
        {"get comm", "MatchChar", "13"},
        {"get comm", "FlushTimer", "20"},
        {"get dns", "Lease", "7200"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.query) + " " + c.key);
        const std::string reply = client.command(c.query);
        EXPECT_EQ(reply.substr(0, std::string(c.query).size() + 4),
                  std::string(c.query) + "\r\n\r\n");
        ASSERT_GE(reply.size(), Prompt.size() + 2);
        EXPECT_EQ(reply.substr(reply.size() - Prompt.size() - 2), "\r\n" + Prompt);
        EXPECT_EQ(valueOf(reply, c.key), c.value);
    }
}

TEST_F(SimulatorTest, emptySettingsGiveEmptyValues)
{
    addAdapter(adapterAt(Address));
    start();
    ModuleClient client = commandMode(Address);

    const std::string comm = client.command("get comm");
    EXPECT_EQ(valueOf(comm, "OPEN"), "");
    EXPECT_EQ(valueOf(comm, "CLOSE"), "");
    EXPECT_EQ(valueOf(comm, "REMOTE"), "");
    EXPECT_EQ(valueOf(comm, "MatchChar"), "0");
    EXPECT_EQ(valueOf(client.command("get opt"), "Password"), "");
    EXPECT_EQ(valueOf(client.command("get ip"), "DHCP"), "ON");
}

TEST_F(SimulatorTest, uartAndMacRepliesFitTheTemplatesOfTheUtility)
{
    simulator::AdapterConfig config = adapterAt(Address);
    config.mac = "02:4b:4f:00:10:a1";
    config.settings.baudrate = 115200;
    config.settings.flow = 0x21;
    addAdapter(config);
    start();
    ModuleClient client = commandMode(Address);

    const std::string uart = client.command("get uart");
    EXPECT_EQ(uart, "get uart\r\n\r\nBaudrate=115200\r\nFlow=0x21\r\nMode=0x0\r\nCmd_GPIO=0\r\n" +
                        Prompt);
    int baudrate = 0;
    unsigned flow = 0;
    int matched = -1;
    std::sscanf(uart.c_str(), "get uart\r\n\r\nBaudrate=%d\r\nFlow=%x\r\nMode=0x0\r\nCmd_GPIO=0%n",
                &baudrate, &flow, &matched);
    EXPECT_EQ(baudrate, 115200);
    EXPECT_EQ(flow, 0x21u);
    EXPECT_GT(matched, 0) << "the template does not match to its end";

    const std::string mac = client.command("get mac");
    EXPECT_EQ(mac, "get mac\r\n\r\nMac Addr=02:4b:4f:00:10:a1\r\n" + Prompt);
    char macText[20] = {};
    ASSERT_EQ(std::sscanf(mac.c_str(), "get mac\r\n\r\nMac Addr=%19s", macText), 1);
    EXPECT_STREQ(macText, "02:4b:4f:00:10:a1");
}

TEST_F(SimulatorTest, versionIsTheThirdSpaceSeparatedTokenOfVer)
{
    simulator::Adapter& adapter = addAdapter(adapterAt(Address));
    start();
    ModuleClient client = commandMode(Address);

    const std::string reply = client.command("ver");
    EXPECT_EQ(reply,
              "ver\r\n\r\nKOV-SL47 Ver 4.00.1, Apr 19 2013 11:48:16 on KOV-SL47\r\n" + Prompt);
    ASSERT_GE(spaceTokens(reply).size(), 3u);
    EXPECT_EQ(spaceTokens(reply)[2], "4.00.1,");

    adapter.setFirmwareVersion("2.38.3");
    const std::string older = client.command("ver", "<2.38.3> ");
    ASSERT_GE(spaceTokens(older).size(), 3u);
    EXPECT_EQ(spaceTokens(older)[2], "2.38.3,");
    EXPECT_EQ(older.substr(older.size() - 9), "<2.38.3> ");
}

TEST_F(SimulatorTest, pinReportCarriesDipSwitch1InBit9)
{
    simulator::Adapter& adapter = addAdapter(adapterAt(Address));
    start();
    ModuleClient client = commandMode(Address);

    for (const bool on : {false, true, false}) {
        SCOPED_TRACE(on ? "switch on" : "switch off");
        adapter.setDipSwitch1(on);
        const std::string reply = client.command("show io");
        EXPECT_EQ(reply, std::string("show io\r\n\r\n") + (on ? "8f08" : "8d08") + "\r\n" + Prompt);
        // Where the utility reads it: four bytes from the third after the first LF.
        const unsigned pins = std::stoul(reply.substr(reply.find('\n') + 3, 4), nullptr, 16);
        EXPECT_EQ((pins & 0x200) != 0, on);
    }
}

// ---- Setting commands ----

enum class Answer
{
    Aok,
    BadArgs,
    UnknownCommand
};

struct SettingCase
{
    const char* name;
    const char* command;
    Answer answer;
    void (*change)(ModuleSettings&); // what an accepted command does to the defaults
};

void PrintTo(const SettingCase& c, std::ostream* out)
{
    *out << c.name;
}

class SettingCommandTest : public SimulatorTest, public testing::WithParamInterface<SettingCase>
{};

TEST_P(SettingCommandTest, changesOnlyTheRunningSettings)
{
    const SettingCase& c = GetParam();
    simulator::Adapter& adapter = addAdapter(adapterAt(Address));
    start();
    ModuleClient client = commandMode(Address);

    const std::string marker = c.answer == Answer::Aok       ? "AOK"
                               : c.answer == Answer::BadArgs ? "ERR: Bad Args"
                                                             : "ERR: ?-Cmd";
    EXPECT_EQ(client.command(c.command),
              std::string(c.command) + "\r\n" + marker + "\r\n" + Prompt);

    ModuleSettings expected;
    if (c.change != nullptr)
        c.change(expected);
    EXPECT_EQ(adapter.runningSettings(), expected);
    EXPECT_EQ(adapter.storedSettings(), ModuleSettings{});
}

INSTANTIATE_TEST_SUITE_P(
    Commands, SettingCommandTest,
    testing::Values(
        SettingCase{"join", "set wlan join 1", Answer::Aok, [](ModuleSettings& s) { s.join = 1; }},
        SettingCase{"joinOutOfRange", "set wlan join 9", Answer::BadArgs, nullptr},
        SettingCase{"joinWithoutValue", "set wlan join", Answer::BadArgs, nullptr},
        SettingCase{"joinNotANumber", "set wlan join one", Answer::BadArgs, nullptr},
        SettingCase{"channel", "set wlan chan 0", Answer::Aok,
                    [](ModuleSettings& s) { s.channel = 0; }},
        SettingCase{"channelOutOfRange", "set wlan chan 14", Answer::BadArgs, nullptr},
        SettingCase{"ssidKeepsItsSpaces", "set wlan ssid My  Home Net", Answer::Aok,
                    [](ModuleSettings& s) { s.ssid = "My  Home Net"; }},
        SettingCase{"ssidWithErrorText", "set wlan ssid ERR: x", Answer::Aok,
                    [](ModuleSettings& s) { s.ssid = "ERR: x"; }},
        SettingCase{"ssidEmpty", "set wlan ssid ", Answer::BadArgs, nullptr},
        SettingCase{"key", "set wlan key 0123456789", Answer::Aok,
                    [](ModuleSettings& s) { s.key = "0123456789"; }},
        SettingCase{"phrase", "set wlan phrase two words", Answer::Aok,
                    [](ModuleSettings& s) { s.phrase = "two words"; }},
        SettingCase{"dhcpOff", "set ip dhcp 0", Answer::Aok,
                    [](ModuleSettings& s) { s.dhcp = false; }},
        SettingCase{"dhcpOn", "set ip dhcp 1", Answer::Aok, [](ModuleSettings&) {}},
        SettingCase{"dhcpOutOfRange", "set ip dhcp 2", Answer::BadArgs, nullptr},
        SettingCase{"address", "set ip address 192.168.1.20", Answer::Aok,
                    [](ModuleSettings& s) { s.ipAddress = "192.168.1.20"; }},
        SettingCase{"addressWithThreeParts", "set ip address 192.168.1", Answer::BadArgs, nullptr},
        SettingCase{"addressPartTooLarge", "set ip address 192.168.1.256", Answer::BadArgs,
                    nullptr},
        SettingCase{"netmask", "set ip netmask 255.255.0.0", Answer::Aok,
                    [](ModuleSettings& s) { s.netmask = "255.255.0.0"; }},
        SettingCase{"gatewayNotDotted", "set ip gateway 10.0.0.x", Answer::BadArgs, nullptr},
        SettingCase{"gateway", "set ip gateway 10.0.0.1", Answer::Aok,
                    [](ModuleSettings& s) { s.gateway = "10.0.0.1"; }},
        SettingCase{"password", "set opt password s3cret", Answer::Aok,
                    [](ModuleSettings& s) { s.password = "s3cret"; }},
        SettingCase{"lease", "set dhcp lease 7200", Answer::Aok,
                    [](ModuleSettings& s) { s.leaseSeconds = 7200; }},
        SettingCase{"leaseNegative", "set dhcp lease -5", Answer::BadArgs, nullptr},
        SettingCase{"matchHex", "set comm match 0x7F", Answer::Aok,
                    [](ModuleSettings& s) { s.matchChar = 127; }},
        SettingCase{"matchAbove255", "set comm match 0x100", Answer::BadArgs, nullptr},
        SettingCase{"matchNoDigits", "set comm match 0x", Answer::BadArgs, nullptr},
        SettingCase{"sizeLargest", "set comm size 1420", Answer::Aok,
                    [](ModuleSettings& s) { s.flushSize = 1420; }},
        SettingCase{"sizeTooLarge", "set comm size 1421", Answer::BadArgs, nullptr},
        SettingCase{"sizeZero", "set comm size 0", Answer::BadArgs, nullptr},
        SettingCase{"timer", "set comm time 500", Answer::Aok,
                    [](ModuleSettings& s) { s.flushTimer = 500; }},
        SettingCase{"open", "set comm open *OPEN*", Answer::Aok,
                    [](ModuleSettings& s) { s.openString = "*OPEN*"; }},
        SettingCase{"remote", "set comm remote hi there", Answer::Aok,
                    [](ModuleSettings& s) { s.remoteString = "hi there"; }},
        SettingCase{"baud", "set uart baud 115200", Answer::Aok,
                    [](ModuleSettings& s) { s.baudrate = 115200; }},
        SettingCase{"baudNotStandard", "set uart baud 12345", Answer::BadArgs, nullptr},
        SettingCase{"flow", "set uart flow 0x21", Answer::Aok,
                    [](ModuleSettings& s) { s.flow = 0x21; }},
        SettingCase{"flowNotHex", "set uart flow 0xg", Answer::BadArgs, nullptr},
        SettingCase{"ledLeavesSettingsAlone", "set sys iofunc 0x2", Answer::Aok,
                    [](ModuleSettings&) {}},
        SettingCase{"ledWithoutValue", "set sys iofunc", Answer::BadArgs, nullptr},
        SettingCase{"unknownSetting", "set wlan colour 3", Answer::UnknownCommand, nullptr},
        SettingCase{"unknownCommand", "hello", Answer::UnknownCommand, nullptr},
        SettingCase{"commandsAreCaseSensitive", "GET IP", Answer::UnknownCommand, nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SimulatorTest, zeroClearsThePasswordAndTheConnectionStrings)
{
    simulator::AdapterConfig config = adapterAt(Address);
    config.settings.password = "pw";
    config.settings.openString = "a";
    config.settings.closeString = "b";
    config.settings.remoteString = "c";
    simulator::Adapter& adapter = addAdapter(config);
    start();
    ModuleClient client = commandMode(Address, "pw");

    for (const char* command :
         {"set opt password 0", "set comm open 0", "set comm close 0", "set comm remote 0"})
        EXPECT_EQ(client.command(command), std::string(command) + "\r\nAOK\r\n" + Prompt);

    const ModuleSettings running = adapter.runningSettings();
    EXPECT_EQ(running.password, "");
    EXPECT_EQ(running.openString, "");
    EXPECT_EQ(running.closeString, "");
    EXPECT_EQ(running.remoteString, "");
    // The greeting follows the running password, which is now empty.
    ModuleClient next;
    ASSERT_TRUE(next.connect(Address, port()));
    EXPECT_EQ(next.readUntil("*HELLO*"), "*HELLO*");
}

TEST_F(SimulatorTest, ledFollowsTheSecondFunctionPin)
{
    simulator::Adapter& adapter = addAdapter(adapterAt(Address));
    start();
    ModuleClient client = commandMode(Address);

    for (const char* value : {"0x2", "0x0", "0x2", "0x0"}) {
        client.command(std::string("set sys iofunc ") + value);
        std::this_thread::sleep_for(20ms);
    }

    const std::vector<simulator::LedEvent> led = adapter.ledHistory();
    const std::vector<simulator::ReceivedLine> lines = adapter.receivedLines();
    ASSERT_EQ(led.size(), 4u);
    ASSERT_EQ(lines.size(), 5u);
    for (std::size_t i = 0; i < led.size(); ++i) {
        EXPECT_EQ(led[i].on, i % 2 == 0) << i;
        EXPECT_EQ(led[i].when, lines[i + 1].when) << i;
    }
    EXPECT_GE(between(led[0].when, led[1].when), 20ms);
}

// ---- Save, reboot, factory reset ----

TEST_F(SimulatorTest, rebootRunsWithTheStoredSettingsAfterTheRebootTime)
{
    simulator::Adapter& adapter = addAdapter(adapterAt(Address));
    start();
    ModuleClient client = commandMode(Address);

    EXPECT_EQ(client.command("set uart baud 19200"), "set uart baud 19200\r\nAOK\r\n" + Prompt);
    EXPECT_EQ(client.command("save"), "save\r\nStoring in config\r\n" + Prompt);
    EXPECT_EQ(adapter.storedSettings().baudrate, 19200);
    client.command("set uart baud 38400");
    EXPECT_EQ(adapter.storedSettings().baudrate, 19200);

    client.send("reboot\r\n");
    std::string reply;
    EXPECT_TRUE(client.closedByAdapter(500ms, &reply));
    const Clock::time_point closed = Clock::now();
    EXPECT_EQ(reply, "reboot\r\n*Reboot*");
    EXPECT_FALSE(adapter.online());
    EXPECT_EQ(adapter.rebootCount(), 1);
    ModuleClient duringReboot;
    EXPECT_FALSE(duringReboot.connect(Address, port()));

    ASSERT_TRUE(adapter.waitUntilOnline(2s));
    EXPECT_GE(between(closed, Clock::now()), options.rebootTime - 5ms);
    EXPECT_EQ(adapter.runningSettings().baudrate, 19200);
    EXPECT_EQ(adapter.address(), Address);
    ModuleClient after = commandMode(Address);
    EXPECT_EQ(valueOf(after.command("get uart"), "Baudrate"), "19200");
}

struct AddressCase
{
    const char* name;
    int security; // of the access point "Office"
    const char* accessPointKey;
    int join;
    const char* ssid;
    const char* key;
    const char* phrase;
    bool dipSwitch1;
    bool movesOntoTheAccessPoint;
};

void PrintTo(const AddressCase& c, std::ostream* out)
{
    *out << c.name;
}

class AddressAfterRebootTest : public SimulatorTest, public testing::WithParamInterface<AddressCase>
{};

TEST_P(AddressAfterRebootTest, joinsTheAccessPointOnlyWithItsKeyAndTheSwitchOff)
{
    const AddressCase& c = GetParam();
    const std::string onAccessPoint = "127.0.0.12";
    options.rebootTime = 50ms;
    options.accessPoints = {{"Office", c.security, c.accessPointKey}, {"Lab", 0, ""}};
    simulator::AdapterConfig config = adapterAt(Address);
    config.addressOnAccessPoint = {{"Office", onAccessPoint}};
    config.dipSwitch1 = c.dipSwitch1;
    simulator::Adapter& adapter = addAdapter(config);
    start();
    ModuleSettings stored;
    stored.join = c.join;
    stored.ssid = c.ssid;
    stored.key = c.key;
    stored.phrase = c.phrase;
    adapter.setSettings(stored);

    ModuleClient client = commandMode(Address);
    client.send("reboot\r\n");
    ASSERT_TRUE(client.closedByAdapter(500ms));
    ASSERT_TRUE(adapter.waitUntilOnline(2s));

    const std::string expected = c.movesOntoTheAccessPoint ? onAccessPoint : Address;
    const std::string other = c.movesOntoTheAccessPoint ? Address : onAccessPoint;
    EXPECT_EQ(adapter.address(), expected);
    ModuleClient there = commandMode(expected);
    EXPECT_EQ(valueOf(there.command("get ip"), "IP"), expected + ":2000");
    ModuleClient elsewhere;
    EXPECT_FALSE(elsewhere.connect(other, port()));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AddressAfterRebootTest,
    testing::Values(
        AddressCase{"wpaWithItsPhrase", 2, "pass phrase", 1, "Office", "", "pass phrase", false,
                    true},
        AddressCase{"wpaWithAnotherPhrase", 2, "pass phrase", 1, "Office", "", "guess", false,
                    false},
        AddressCase{"wpaKeyGivenAsWepKey", 2, "pass phrase", 1, "Office", "pass phrase", "", false,
                    false},
        AddressCase{"wepWithItsKey", 1, "0123456789", 1, "Office", "0123456789", "", false, true},
        AddressCase{"openWithAnyKey", 0, "", 1, "Office", "", "whatever", false, true},
        AddressCase{"dipSwitchOnKeepsItsOwnNetwork", 0, "", 1, "Office", "", "", true, false},
        AddressCase{"accessPointModeKeepsItsOwnNetwork", 0, "", 7, "Office", "", "", false, false},
        AddressCase{"unknownNetwork", 0, "", 1, "Elsewhere", "", "", false, false},
        AddressCase{"accessPointWithoutAnAddressThere", 0, "", 1, "Lab", "", "", false, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SimulatorTest, factoryResetRestoresTheDefaults)
{
    simulator::AdapterConfig config = adapterAt(Address);
    config.settings.password = "pw";
    config.settings.join = 1;
    config.settings.ssid = "Office";
    config.settings.baudrate = 115200;
    simulator::Adapter& adapter = addAdapter(config);
    start();
    ModuleClient client = commandMode(Address, "pw");

    EXPECT_EQ(client.command("factory RESET"),
              "factory RESET\r\nSet Factory Defaults\r\n" + Prompt);

    EXPECT_EQ(adapter.runningSettings(), ModuleSettings{});
    EXPECT_EQ(adapter.storedSettings(), ModuleSettings{});
    EXPECT_EQ(adapter.rebootCount(), 0);
    ModuleClient next;
    ASSERT_TRUE(next.connect(Address, port()));
    EXPECT_EQ(next.readFor(100ms), "*HELLO*");
}

// ---- Transcript ----

TEST_F(SimulatorTest, transcriptHoldsEveryByteWithItsTime)
{
    simulator::Adapter& adapter = addAdapter(adapterAt(Address));
    start();
    const Clock::time_point before = Clock::now();
    ModuleClient client;
    ASSERT_TRUE(client.connect(Address, port()));
    ASSERT_EQ(client.readUntil("*HELLO*"), "*HELLO*");
    client.send("$$$\r\n");
    ASSERT_EQ(client.readUntil("CMD\r\n"), "CMD\r\n");
    std::this_thread::sleep_for(100ms);
    const std::string reply = client.command("get mac");
    client.close();
    for (int i = 0; i < 100 && adapter.transcript().back().direction != Direction::Closed; ++i)
        std::this_thread::sleep_for(5ms);
    const Clock::time_point after = Clock::now();

    const std::vector<simulator::TranscriptEntry> transcript = adapter.transcript();
    const std::vector<std::pair<Direction, std::string>> expected = {
        {Direction::Connected, ""},
        {Direction::Sent, "*HELLO*"},
        {Direction::Received, "$$$\r\n"},
        {Direction::Sent, "CMD\r\n"},
        {Direction::Received, "get mac\r\n"},
        {Direction::Sent, reply},
        {Direction::Closed, ""}};
    ASSERT_EQ(transcript.size(), expected.size());
    for (std::size_t i = 0; i < transcript.size(); ++i) {
        EXPECT_EQ(transcript[i].direction, expected[i].first) << i;
        EXPECT_EQ(transcript[i].bytes, expected[i].second) << i;
        EXPECT_EQ(transcript[i].connection, 1) << i;
        EXPECT_GE(transcript[i].when, i == 0 ? before : transcript[i - 1].when) << i;
        EXPECT_LE(transcript[i].when, after) << i;
    }
    const std::vector<simulator::ReceivedLine> lines = adapter.receivedLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].when, transcript[2].when);
    const milliseconds pause = between(lines[0].when, lines[1].when);
    EXPECT_GE(pause, 100ms);
    EXPECT_LT(pause, 140ms);

    adapter.clearHistory();
    EXPECT_TRUE(adapter.transcript().empty());
    EXPECT_TRUE(adapter.receivedLines().empty());
}

TEST_F(SimulatorTest, handlesReportWhatHasAlreadyArrived)
{
    simulator::Adapter& adapter = addAdapter(adapterAt(Address));
    start();

    // Nothing is read back before asking, as the utility does with "factory RESET" and "reboot".
    for (int round = 1; round <= 20; ++round) {
        SCOPED_TRACE(round);
        ModuleClient client = commandMode(Address);
        client.send("set comm size " + std::to_string(round) + "\r\n");
        EXPECT_EQ(adapter.runningSettings().flushSize, round);
        client.close();
        EXPECT_EQ(adapter.transcript().back().direction, Direction::Closed);
    }
    ModuleClient client = commandMode(Address);
    client.send("reboot\r\n");
    EXPECT_FALSE(adapter.online());
    EXPECT_EQ(adapter.rebootCount(), 1);
    EXPECT_TRUE(adapter.waitUntilOnline(1s));
}

// ---- Several adapters ----

TEST_F(SimulatorTest, everyAdapterAnswersOnTheSameChosenPort)
{
    const std::vector<std::string> addresses = {"127.0.0.2", "127.0.0.3", "127.0.0.4"};
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        simulator::AdapterConfig config = adapterAt(addresses[i]);
        config.mac = "02:4b:4f:00:00:0" + std::to_string(i + 1);
        addAdapter(config);
    }
    start();

    EXPECT_NE(port(), 0);
    for (std::size_t i = 0; i < addresses.size(); ++i) {
        SCOPED_TRACE(addresses[i]);
        ModuleClient client = commandMode(addresses[i]);
        EXPECT_EQ(valueOf(client.command("get mac"), "Mac Addr"),
                  "02:4b:4f:00:00:0" + std::to_string(i + 1));
        EXPECT_EQ(valueOf(client.command("get ip"), "IP"), addresses[i] + ":2000");
    }
    EXPECT_EQ(simulated->adapters().size(), addresses.size());
}

TEST_F(SimulatorTest, startFailsWhenAnAddressCannotBeBound)
{
    for (const auto& second : {std::string("127.0.0.2"), std::string("192.0.2.1")}) {
        SCOPED_TRACE(second);
        simulated.reset();
        addAdapter(adapterAt("127.0.0.2"));
        addAdapter(adapterAt(second));
        EXPECT_THROW(start(), std::runtime_error);
    }
}
