#include "discovery/devicesearch.h"

#include "resources/texttable.h"
#include "support/simulatedadapters.h"

#include <gmock/gmock.h>
#include <map>

using namespace std::chrono_literals;
using testing::IsEmpty;

namespace {

DeviceEntry row(const char* name, const char* address, TextId mode, const char* version)
{
    return {QString::fromLatin1(name), QString::fromLatin1(address), text(mode),
            QString::fromLatin1(version)};
}

} // namespace

class DeviceSearchTest : public SimulatedAdapters
{
protected:
    DeviceSearchTest() { sendHeartbeatsTo(port); }

    DeviceSearch& search()
    {
        if (!searcher)
            searcher = std::make_unique<DeviceSearch>(connection(), neighbours, port);
        return *searcher;
    }

    // One adapter per address, with the MAC text ending in the number of the address.
    simulator::Adapter& addNumbered(int host, const std::string& version = "4.00.1")
    {
        simulator::AdapterConfig config = adapterAt("127.0.0." + std::to_string(host));
        char mac[32];
        std::snprintf(mac, sizeof mac, "02:4b:4f:00:00:%02x", host);
        config.mac = mac;
        config.firmwareVersion = version;
        return addAdapter(config);
    }

    QList<DeviceEntry> sortedRows() const
    {
        QList<DeviceEntry> rows = devices.entries();
        std::sort(rows.begin(), rows.end(),
                  [](const DeviceEntry& a, const DeviceEntry& b) { return a.address < b.address; });
        return rows;
    }

    const std::uint16_t port = freeUdpPort();
    FixedNeighbourTable neighbours;
    DeviceList devices;
    std::unique_ptr<DeviceSearch> searcher;
};

TEST_F(DeviceSearchTest, eachAdapterIsListedWithItsAccessMode)
{
    addNumbered(2, "2.38.3").setDipSwitch1(true);
    addNumbered(3).setDipSwitch1(true);
    addNumbered(4, "").setDipSwitch1(true);
    const std::pair<int, int> joins[] = {{5, 4}, {6, 7}, {7, 1}, {8, 0}};
    for (const auto& [host, join] : joins) {
        simulator::ModuleSettings settings;
        settings.join = join;
        addNumbered(host).setSettings(settings);
    }
    simulator::Faults noJoinLine;
    noJoinLine.omittedKeys = {"Join"};
    addNumbered(9).setFaults(noJoinLine);
    start();

    search().searchDevices(devices);

    const QList<DeviceEntry> expected = {
        row("DaVad-UZA-02", "127.0.0.2", TextId::AdHoc, "2.38.3"),
        row("DaVad-UZA-03", "127.0.0.3", TextId::AccessPoint, "4.00.1"),
        row("DaVad-UZA-04", "127.0.0.4", TextId::AccessPoint, ""),
        row("DaVad-UZA-05", "127.0.0.5", TextId::AdHoc, "4.00.1"),
        row("DaVad-UZA-06", "127.0.0.6", TextId::AccessPoint, "4.00.1"),
        row("DaVad-UZA-07", "127.0.0.7", TextId::Infrastructure, "4.00.1"),
        row("DaVad-UZA-08", "127.0.0.8", TextId::Infrastructure, "4.00.1"),
        row("DaVad-UZA-09", "127.0.0.9", TextId::Infrastructure, "4.00.1"),
    };
    EXPECT_EQ(sortedRows(), expected);
    EXPECT_THAT(dialogs.events(), IsEmpty());
}

TEST_F(DeviceSearchTest, nameEndsInTheLastOctetAsTheModulePrintsIt)
{
    simulator::AdapterConfig config = adapterAt("127.0.0.2");
    config.mac = "02:4b:4f:12:34:ab";
    addAdapter(config);
    simulator::AdapterConfig upper = adapterAt("127.0.0.3");
    upper.mac = "02:4B:4F:12:34:CD";
    addAdapter(upper);
    start();

    search().searchDevices(devices);

    ASSERT_EQ(devices.rowCount(), 2);
    EXPECT_EQ(sortedRows()[0].name, QStringLiteral("DaVad-UZA-ab"));
    EXPECT_EQ(sortedRows()[1].name, QStringLiteral("DaVad-UZA-CD"));
}

TEST_F(DeviceSearchTest, lockedAdapterIsNamedFromTheNeighbourTableWithoutPrompt)
{
    addNumbered(2).setPassword("secret");
    addNumbered(3).setPassword("secret"); // no entry in the neighbour table: not listed
    start();
    neighbours.entries[QStringLiteral("127.0.0.2")] = QStringLiteral("02:00:5e:10:34:Ef");
    selected.password = QStringLiteral("cached");
    selected.name = QStringLiteral("DaVad-UZA-99");

    search().searchDevices(devices);

    EXPECT_EQ(devices.entries(),
              (QList<DeviceEntry>{row("DaVad-UZA-Ef", "127.0.0.2", TextId::PassLocked, "4.00.1")}));
    EXPECT_THAT(dialogs.events(), IsEmpty());
    // The search empties the cache: no password went to either adapter.
    EXPECT_TRUE(selected.password.isEmpty());
    EXPECT_TRUE(selected.name.isEmpty());
    EXPECT_EQ(neighbours.refreshed.size(), 2);
}

TEST_F(DeviceSearchTest, adaptersThatCannotBeIdentifiedAreLeftOut)
{
    addNumbered(2);
    simulator::Faults refusing;
    refusing.refuseTcp = true;
    addNumbered(3).setFaults(refusing);
    simulator::Faults garbled;
    garbled.garbage = true;
    addNumbered(4).setFaults(garbled);
    start();

    search().searchDevices(devices);

    ASSERT_EQ(devices.rowCount(), 1);
    EXPECT_EQ(devices.entries().front().address, QStringLiteral("127.0.0.2"));
}

TEST_F(DeviceSearchTest, failedDipSwitchProbeStillListsTheAdapter)
{
    simulator::Adapter& adapter = addNumbered(2);
    simulator::Faults faults;
    faults.errorOnCommand = "show io"; // answered, but without a pin report
    adapter.setFaults(faults);
    start();

    search().searchDevices(devices);

    ASSERT_EQ(devices.rowCount(), 1);
    EXPECT_TRUE(devices.entries().front().accessMode.isEmpty());
}

TEST_F(DeviceSearchTest, searchWithoutHeartbeatsLeavesTheListEmpty)
{
    start();
    devices.setEntries({row("DaVad-UZA-01", "127.0.0.9", TextId::AdHoc, "4.00.1")});

    search().searchDevices(devices);

    EXPECT_EQ(devices.rowCount(), 0);
}

TEST_F(DeviceSearchTest, adapterIsFoundAgainByItsMacText)
{
    addNumbered(2);
    addNumbered(3);
    addNumbered(4).setPassword("secret");
    start();
    neighbours.entries[QStringLiteral("127.0.0.4")] = QStringLiteral("02:4b:4f:00:00:04");
    devices.setEntries({row("DaVad-UZA-01", "127.0.0.9", TextId::AdHoc, "4.00.1")});
    EasySetupRecord record;

    EXPECT_TRUE(search().findDeviceByMac(QStringLiteral("02:4b:4f:00:00:03"), devices, record));
    EXPECT_EQ(record.newAddress, QStringLiteral("127.0.0.3"));
    EXPECT_EQ(devices.rowCount(), 0);

    // A locked adapter can never match, and the MAC text is compared exactly.
    record.newAddress.clear();
    EXPECT_FALSE(search().findDeviceByMac(QStringLiteral("02:4b:4f:00:00:04"), devices, record));
    EXPECT_FALSE(search().findDeviceByMac(QStringLiteral("02:4B:4F:00:00:03"), devices, record));
    EXPECT_TRUE(record.newAddress.isEmpty());
    EXPECT_THAT(dialogs.events(), IsEmpty());
}

TEST_F(DeviceSearchTest, lastOfSeveralMatchingAdaptersWins)
{
    simulator::Adapter& first = addNumbered(2);
    simulator::AdapterConfig twin = adapterAt("127.0.0.3");
    twin.mac = "02:4b:4f:00:00:02";
    simulator::Adapter& second = addAdapter(twin);
    start();
    EasySetupRecord record;

    EXPECT_TRUE(search().findDeviceByMac(QStringLiteral("02:4b:4f:00:00:02"), devices, record));

    // Both were asked; the address of the one asked last stays.
    auto askedAt = [](const simulator::Adapter& adapter) {
        for (const simulator::ReceivedLine& line : adapter.receivedLines()) {
            if (line.text == "get mac")
                return line.when;
        }
        ADD_FAILURE() << adapter.address() << " was not asked";
        return simulator::Clock::time_point{};
    };
    const bool secondAskedLast = askedAt(second) > askedAt(first);
    EXPECT_EQ(record.newAddress,
              QString::fromStdString((secondAskedLast ? second : first).address()));
}
