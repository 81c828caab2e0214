#include "link/deviceprobes.h"

#include "discovery/devicelist.h"
#include "resources/texttable.h"
#include "support/simulatedadapters.h"

#include <cstring>
#include <gmock/gmock.h>

using namespace std::chrono_literals;
using simulator::Clock;
using testing::ElementsAre;
using testing::IsEmpty;

namespace {

const std::string Address = "127.0.0.2";
const QString AddressText = QString::fromStdString(Address);

ReplyBuffer replyOf(const char* bytes)
{
    ReplyBuffer reply;
    std::strncpy(reply.data(), bytes, ReplyBuffer::ReceiveLimit);
    return reply;
}

milliseconds between(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration_cast<milliseconds>(to - from);
}

} // namespace

struct GateCase
{
    const char* name;
    int selectedRow; // -1: none
    const char* version;
    bool passes;
    std::optional<TextId> message;
};

class SelectedDeviceGateTest : public testing::TestWithParam<GateCase>
{};

TEST_P(SelectedDeviceGateTest, gateChecksSelectionBeforeVersion)
{
    const GateCase& c = GetParam();
    DeviceList devices;
    devices.setEntries({{"DaVad-UZA-01", "127.0.0.2", "Ad-hoc", "4.00.1"},
                        {"DaVad-UZA-02", "127.0.0.3", "Ad-hoc", QString::fromLatin1(c.version)}});
    if (c.selectedRow >= 0)
        devices.selectRow(c.selectedRow);
    RecordingDialogs dialogs;

    EXPECT_EQ(checkSelectedDevice(devices, dialogs), c.passes);

    const QStringList expected = c.message ? QStringList{text(*c.message)} : QStringList{};
    EXPECT_EQ(dialogs.messageTexts(), expected);
    for (const RecordingDialogs::Message& message : dialogs.messages())
        EXPECT_EQ(message.style, MessageStyle::Warning);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SelectedDeviceGateTest,
    testing::Values(GateCase{"noSelection", -1, "2.38.3", false, TextId::SelectAdapter},
                    GateCase{"refusedVersion", 1, "2.38.3", false, TextId::FirmwareRefused},
                    GateCase{"longerVersion", 1, "2.38.30", true, std::nullopt},
                    GateCase{"currentVersion", 1, "4.00.1", true, std::nullopt},
                    GateCase{"emptyVersion", 1, "", true, std::nullopt},
                    GateCase{"otherRowRefused", 0, "2.38.3", true, std::nullopt}),
    [](const testing::TestParamInfo<GateCase>& info) { return info.param.name; });

struct PinReportCase
{
    const char* name;
    const char* reply;
    std::optional<bool> dipSwitch1;
};

class PinReportTest : public testing::TestWithParam<PinReportCase>
{};

TEST_P(PinReportTest, readsBitNineOfThePinReport)
{
    EXPECT_EQ(readDipSwitch1(replyOf(GetParam().reply)), GetParam().dipSwitch1);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PinReportTest,
    testing::Values(PinReportCase{"bitNineSet", "show io\r\n\r\n0200\r\n<4.00.1> ", true},
                    PinReportCase{"bitNineClear", "show io\r\n\r\n8d08\r\n<4.00.1> ", false},
                    PinReportCase{"upperCaseDigits", "show io\r\n\r\n8F08\r\n", true},
                    // Only four digits count: 0x2000 has bit 9 clear, the fifth digit is ignored.
                    PinReportCase{"fifthDigitIgnored", "show io\r\n\r\n02000\r\n", true},
                    PinReportCase{"reportEndsAtNonDigit", "show io\r\n\r\n2z00\r\n", false},
                    PinReportCase{"noLineFeed", "show io", std::nullopt},
                    PinReportCase{"nothingAfterBlankLine", "show io\r\n\r\n", std::nullopt},
                    PinReportCase{"twoBytesAfterLineFeed", "show io\n\r\n", std::nullopt},
                    PinReportCase{"noDigitsWhereTheReportBelongs", "show io\r\n\r\nzz\r\n",
                                  std::nullopt},
                    PinReportCase{"emptyReply", "", std::nullopt}),
    [](const testing::TestParamInfo<PinReportCase>& info) { return info.param.name; });

class DeviceProbeTest : public SimulatedAdapters
{};

TEST_F(DeviceProbeTest, probeReadsTheSwitchOfTheAdapter)
{
    simulator::Adapter& adapter = addAdapter(adapterAt(Address));
    start();
    ASSERT_EQ(connection().openCommandMode(AddressText, false), Link::Success);

    EXPECT_EQ(probeDipSwitch(connection()), Probe::DipSwitchOff);
    adapter.setDipSwitch1(true);
    EXPECT_EQ(probeDipSwitch(connection()), Probe::DipSwitchOn);
    EXPECT_THAT(receivedTexts(adapter), ElementsAre("$$$", "show io", "show io"));
}

TEST_F(DeviceProbeTest, probeOnClosedConnectionFailsAtOnce)
{
    addAdapter(adapterAt(Address));
    start();

    EXPECT_EQ(probeDipSwitch(connection()), Link::Failure);
}

TEST_F(DeviceProbeTest, garbageReplyIsAFailedProbe)
{
    simulator::Adapter& adapter = addAdapter(adapterAt(Address));
    start();
    ASSERT_EQ(connection().openCommandMode(AddressText, false), Link::Success);
    simulator::Faults faults;
    faults.garbage = true;
    adapter.setFaults(faults);

    const int result = probeDipSwitch(connection());
    EXPECT_NE(result, Probe::DipSwitchOff);
    EXPECT_NE(result, Probe::DipSwitchOn);
}

TEST_F(DeviceProbeTest, switchLeftOnIsReportedAfterTenReadings)
{
    simulator::Adapter& adapter = addAdapter(adapterAt(Address));
    adapter.setDipSwitch1(true);
    start();
    ASSERT_EQ(connection().openCommandMode(AddressText, false), Link::Success);
    std::vector<Clock::time_point> windowsClosed;
    dialogs.onDipSwitchWindow([&] { windowsClosed.push_back(Clock::now()); });

    EXPECT_FALSE(confirmDipSwitchOff(connection()));

    EXPECT_EQ(dialogs.dipSwitchWindows(), 10);
    std::vector<Clock::time_point> probes;
    for (const simulator::ReceivedLine& line : adapter.receivedLines()) {
        if (line.text == "show io")
            probes.push_back(line.when);
    }
    ASSERT_EQ(probes.size(), 10u);
    for (std::size_t i = 1; i < probes.size(); ++i)
        EXPECT_GE(between(windowsClosed[i - 1], probes[i]), testTiming().dipSwitchRetryPause);
}

TEST_F(DeviceProbeTest, switchTurnedOffInTheThirdWindowIsConfirmed)
{
    simulator::Adapter& adapter = addAdapter(adapterAt(Address));
    adapter.setDipSwitch1(true);
    start();
    ASSERT_EQ(connection().openCommandMode(AddressText, false), Link::Success);
    dialogs.onDipSwitchWindow([&] {
        if (dialogs.dipSwitchWindows() == 3)
            adapter.setDipSwitch1(false);
    });

    EXPECT_TRUE(confirmDipSwitchOff(connection()));
    EXPECT_EQ(dialogs.dipSwitchWindows(), 3);
    EXPECT_TRUE(connection().isOpen());
}

TEST_F(DeviceProbeTest, lostConnectionShowsTheWindowForEveryRemainingReading)
{
    simulator::Adapter& adapter = addAdapter(adapterAt(Address));
    start();
    ASSERT_EQ(connection().openCommandMode(AddressText, false), Link::Success);
    simulator::Faults faults;
    faults.closeAfterCommands = 0;
    adapter.setFaults(faults);

    EXPECT_FALSE(confirmDipSwitchOff(connection()));
    EXPECT_EQ(dialogs.dipSwitchWindows(), 10);
}

TEST_F(DeviceProbeTest, ledBlinksThreeTimesWithItsPauses)
{
    simulator::Adapter& adapter = addAdapter(adapterAt(Address));
    start();
    selected.address = AddressText;

    blinkLed(connection());

    EXPECT_FALSE(connection().isOpen());
    const std::vector<simulator::LedEvent> led = adapter.ledHistory();
    ASSERT_EQ(led.size(), 6u);
    const Timing timing = testTiming();
    const milliseconds expectedGaps[] = {timing.ledOnTime, timing.ledOffTime, timing.ledOnTime,
                                         timing.ledOffTime, timing.ledOnTime};
    for (std::size_t i = 0; i < led.size(); ++i) {
        EXPECT_EQ(led[i].on, i % 2 == 0) << i;
        if (i == 0)
            continue;
        // The adapter notes each line when its thread gets to it: a few milliseconds either way.
        const milliseconds gap = between(led[i - 1].when, led[i].when);
        EXPECT_GE(gap, expectedGaps[i - 1] - 10ms) << i;
        EXPECT_LT(gap, expectedGaps[i - 1] + 60ms) << i;
    }
    // The connection closes after the last pause.
    const std::optional<simulator::TranscriptEntry> closed = lastClose(adapter);
    ASSERT_TRUE(closed);
    EXPECT_GE(between(led.back().when, closed->when), timing.ledLastOffTime - 10ms);
    EXPECT_THAT(dialogs.events(), IsEmpty());
}

TEST_F(DeviceProbeTest, ledBlinkAsksForAnUncachedPasswordFirst)
{
    simulator::Adapter& adapter = addAdapter(adapterAt(Address));
    adapter.setPassword("secret");
    start();
    selected.address = AddressText;
    dialogs.answerPasswordWith(QString("secret"));

    blinkLed(connection());

    EXPECT_THAT(dialogs.events(), ElementsAre("password"));
    EXPECT_EQ(adapter.ledHistory().size(), 6u);
}

TEST_F(DeviceProbeTest, ledBlinkStopsWhenTheConnectionCannotBeOpened)
{
    simulator::Adapter& adapter = addAdapter(adapterAt(Address));
    adapter.setPassword("secret");
    start();
    selected.address = AddressText;
    dialogs.answerPasswordWith(QString("wrong"));

    blinkLed(connection());

    EXPECT_EQ(dialogs.messageTexts(), QStringList{text(TextId::WrongPassword)});
    EXPECT_THAT(adapter.ledHistory(), IsEmpty());
}
