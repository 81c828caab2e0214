#include "discovery/accesspointscan.h"

#include "platform/networkmanagerwireless.h"
#include "resources/texttable.h"
#include "support/networkmanagermock.h"
#include "support/simulatedadapters.h"

#include <gmock/gmock.h>

using testing::ElementsAre;
using testing::IsEmpty;

namespace {

constexpr quint32 Privacy = 0x1;
constexpr quint32 PairTkip = 0x4;
constexpr quint32 PairCcmp = 0x8;
constexpr quint32 GroupCcmp = 0x80;
constexpr quint32 Psk = 0x100;
constexpr quint32 Ieee8021x = 0x200;
constexpr quint32 Sae = 0x400;
constexpr quint32 Owe = 0x800;

const QString AccessPointInterface = QStringLiteral("org.freedesktop.NetworkManager.AccessPoint");
const QString WirelessInterface = QStringLiteral("org.freedesktop.NetworkManager.Device.Wireless");

// A drop-down list or list view as the scan sees it.
class RecordingControl : public AccessPointControl
{
public:
    void clear() override
    {
        items.clear();
        selected = -1;
    }
    void append(const QString& name) override { items.append(name); }
    QString itemText(int row) const override { return items.value(row); }
    void select(int row) override { selected = row; }

    QStringList items{QStringLiteral("left over")};
    int selected = -2; // -2: never touched
};

} // namespace

struct ClassCase
{
    const char* name;
    quint32 flags;
    quint32 wpa;
    quint32 rsn;
    bool connectable;
    SecurityClass security;
};

class SecurityClassTest : public testing::TestWithParam<ClassCase>
{};

TEST_P(SecurityClassTest, classifiesWhatTheAdapterCanJoin)
{
    const ClassCase& c = GetParam();
    const VisibleNetwork network = NetworkManagerWireless::classify("n", c.flags, c.wpa, c.rsn);
    EXPECT_EQ(network.connectable, c.connectable);
    if (c.connectable) {
        EXPECT_EQ(network.security, c.security);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SecurityClassTest,
    testing::Values(
        ClassCase{"open", 0, 0, 0, true, SecurityClass::None},
        ClassCase{"wep", Privacy, 0, 0, true, SecurityClass::Wep},
        ClassCase{"wpaPsk", Privacy, PairTkip | Psk, 0, true, SecurityClass::Wpa},
        ClassCase{"wpa2Psk", Privacy, 0, PairCcmp | GroupCcmp | Psk, true, SecurityClass::Wpa},
        ClassCase{"wpa3Transition", Privacy, 0, PairCcmp | Psk | Sae, true, SecurityClass::Wpa},
        ClassCase{"enterprise", Privacy, 0, PairCcmp | Ieee8021x, false, SecurityClass::None},
        ClassCase{"saeOnly", Privacy, 0, PairCcmp | Sae, false, SecurityClass::None},
        ClassCase{"oweOnly", 0, 0, PairCcmp | Owe, false, SecurityClass::None}),
    [](const testing::TestParamInfo<ClassCase>& info) { return info.param.name; });

class AccessPointScanTest : public SimulatedAdapters
{
protected:
    void SetUp() override
    {
        if (!nm.failure().isEmpty())
            GTEST_SKIP() << nm.failure().toStdString();
        simulator::ModuleSettings settings;
        settings.ssid = "Office";
        addAdapter(adapterAt("127.0.0.2")).setSettings(settings);
        start();
    }

    ScanResult scan(ScanTarget target = ScanTarget::DropDownList,
                    const QString& address = QStringLiteral("127.0.0.2"))
    {
        NetworkManagerWireless wireless(nm.bus());
        AccessPointScan scanner(wireless, connection(), devices, table);
        return scanner.scanAccessPoints(control, target, address);
    }

    QList<std::pair<QString, SecurityClass>> tableRows() const
    {
        QList<std::pair<QString, SecurityClass>> rows;
        for (int i = 0; i < table.count; ++i)
            rows.append({table.entries[i].ssid, table.entries[i].security});
        return rows;
    }

    NetworkManagerMock nm;
    DeviceList devices;
    AccessPointTable table;
    RecordingControl control;
};

TEST_F(AccessPointScanTest, listsJoinableNetworksOnceInServiceOrderAndSelectsTheAdapters)
{
    const QString first = nm.addWifiDevice(QStringLiteral("wlan0"));
    const QString second = nm.addWifiDevice(QStringLiteral("wlan1"));
    nm.addAccessPoint(first, "ap1", "Cafe", 0);
    const QString wep = nm.addAccessPoint(first, "ap2", "OldRouter", Privacy);
    nm.updateProperties(wep, AccessPointInterface, {{"WpaFlags", 0u}, {"RsnFlags", 0u}});
    nm.addAccessPoint(first, "ap3", "Home", PairTkip | Psk);
    nm.addAccessPoint(first, "ap4", "Corp", PairCcmp | Ieee8021x);
    nm.addAccessPoint(first, "ap5", "", PairCcmp | Psk);
    nm.addAccessPoint(first, "ap6", "DaVad-UZA-3f", 0);
    nm.addAccessPoint(first, "ap7", "Office", PairCcmp | Psk);
    nm.addAccessPoint(second, "ap8", "Home", 0);              // the first report's class stays
    nm.addAccessPoint(second, "ap9", "Corp", PairCcmp | Psk); // its first report was not joinable
    nm.addAccessPoint(second, "ap10", QString(32, u'x'), 0);
    ASSERT_TRUE(nm.failure().isEmpty()) << nm.failure().toStdString();

    EXPECT_EQ(scan(), Scan::Success);

    const QList<std::pair<QString, SecurityClass>> expected = {
        {"Cafe", SecurityClass::None}, {"OldRouter", SecurityClass::Wep},
        {"Home", SecurityClass::Wpa},  {"Office", SecurityClass::Wpa},
        {"Corp", SecurityClass::Wpa},  {QString(32, u'x'), SecurityClass::None}};
    EXPECT_EQ(tableRows(), expected);
    QStringList names;
    for (const auto& [name, security] : expected)
        names.append(name);
    EXPECT_EQ(control.items, names);
    EXPECT_EQ(control.selected, 3); // the adapter's "Office"
    EXPECT_THAT(dialogs.events(), IsEmpty());
}

TEST_F(AccessPointScanTest, namesAreCutAtThirtyTwoBytesAndAtAZeroByte)
{
    const QString device = nm.addWifiDevice(QStringLiteral("wlan0"));
    const QString longName = nm.addAccessPoint(device, "ap1", "long", 0);
    nm.updateProperties(longName, AccessPointInterface, {{"Ssid", QByteArray(32, 'a') + "bcdef"}});
    const QString zero = nm.addAccessPoint(device, "ap2", "zero", 0);
    nm.updateProperties(zero, AccessPointInterface, {{"Ssid", QByteArray("cut\0here", 8)}});

    EXPECT_EQ(scan(), Scan::Success);

    EXPECT_EQ(control.items, (QStringList{QString(32, u'a'), QStringLiteral("cut")}));
    EXPECT_EQ(control.selected, 0); // the adapter's network is not among them
}

TEST_F(AccessPointScanTest, onlySixtyFourNetworksAreListedAndTheTableIsNeverCleared)
{
    const QString device = nm.addWifiDevice(QStringLiteral("wlan0"));
    for (int i = 0; i < 70; ++i)
        nm.addAccessPoint(device, QStringLiteral("ap%1").arg(i), QStringLiteral("net%1").arg(i), 0);

    EXPECT_EQ(scan(), Scan::Success);
    EXPECT_EQ(table.count, AccessPointTable::Capacity);
    EXPECT_EQ(control.items.size(), AccessPointTable::Capacity);
    EXPECT_EQ(control.items.back(), QStringLiteral("net63"));
}

TEST_F(AccessPointScanTest, listViewGetsNoSelection)
{
    const QString device = nm.addWifiDevice(QStringLiteral("wlan0"));
    nm.addAccessPoint(device, "ap1", "Office", 0);

    EXPECT_EQ(scan(ScanTarget::ListView), Scan::Success);
    EXPECT_EQ(control.items, QStringList{QStringLiteral("Office")});
    EXPECT_EQ(control.selected, -1);
}

TEST_F(AccessPointScanTest, laterScanOverwritesFromTheStartOnly)
{
    const QString device = nm.addWifiDevice(QStringLiteral("wlan0"));
    nm.addAccessPoint(device, "ap1", "One", 0);
    nm.addAccessPoint(device, "ap2", "Two", 0);
    ASSERT_EQ(scan(), Scan::Success);
    table.entries[1].security = SecurityClass::Wpa;

    nm.replaceMethod(device, WirelessInterface, QStringLiteral("GetAllAccessPoints"),
                     QStringLiteral("ao"),
                     QStringLiteral("ret = ['/org/freedesktop/NetworkManager/AccessPoint/ap2']"));
    ASSERT_EQ(scan(), Scan::Success);

    EXPECT_EQ(table.count, 1);
    EXPECT_EQ(table.entries[0].ssid, QStringLiteral("Two"));
    // Past the count the first scan's entry stays.
    EXPECT_EQ(table.entries[1].ssid, QStringLiteral("Two"));
    EXPECT_EQ(table.entries[1].security, SecurityClass::Wpa);
}

TEST_F(AccessPointScanTest, failuresOfTheServiceGiveTheirCodes)
{
    // No Wi-Fi device at all.
    EXPECT_EQ(scan(), Scan::NoWirelessInterface);
    EXPECT_TRUE(control.items.isEmpty());

    // A second device without networks: the first one's are listed all the same.
    const QString first = nm.addWifiDevice(QStringLiteral("wlan0"));
    nm.addAccessPoint(first, "ap1", "Office", 0);
    const QString second = nm.addWifiDevice(QStringLiteral("wlan1"));
    EXPECT_EQ(scan(), Scan::InterfaceEmpty);
    EXPECT_EQ(control.items, QStringList{QStringLiteral("Office")});

    nm.replaceMethod(second, WirelessInterface, QStringLiteral("GetAllAccessPoints"),
                     QStringLiteral("ao"),
                     QStringLiteral("raise dbus.exceptions.DBusException('busy', "
                                    "name='org.freedesktop.NetworkManager.Failed')"));
    EXPECT_EQ(scan(), Scan::InterfaceListFailed);
    EXPECT_EQ(control.items, QStringList{QStringLiteral("Office")});

    nm.replaceMethod(first, WirelessInterface, QStringLiteral("GetAllAccessPoints"),
                     QStringLiteral("ao"), QStringLiteral("ret = []"));
    EXPECT_EQ(scan(), Scan::NothingListed);

    nm.replaceMethod(QStringLiteral("/org/freedesktop/NetworkManager"),
                     QStringLiteral("org.freedesktop.NetworkManager"), QStringLiteral("GetDevices"),
                     QStringLiteral("ao"),
                     QStringLiteral("raise dbus.exceptions.DBusException('no', "
                                    "name='org.freedesktop.NetworkManager.PermissionDenied')"));
    EXPECT_EQ(scan(), Scan::EnumerationFailed);
    ASSERT_TRUE(nm.failure().isEmpty()) << nm.failure().toStdString();
}

TEST(AccessPointScanServiceTest, busWithoutNetworkManagerIsAnUnavailableService)
{
    NetworkManagerMock bus(NetworkManagerMock::Start::BusOnly);
    if (!bus.failure().isEmpty())
        GTEST_SKIP() << bus.failure().toStdString();
    NetworkManagerWireless wireless(bus.bus());
    EXPECT_EQ(wireless.visibleNetworks().failure, WirelessReport::Failure::ServiceUnavailable);
    NetworkManagerWireless disconnected(QDBusConnection(QStringLiteral("never connected")));
    EXPECT_EQ(disconnected.visibleNetworks().failure, WirelessReport::Failure::ServiceUnavailable);
}

TEST_F(AccessPointScanTest, unreachableAdapterStillListsAndSelectsTheFirstEntry)
{
    const QString device = nm.addWifiDevice(QStringLiteral("wlan0"));
    nm.addAccessPoint(device, "ap1", "Cafe", 0);
    nm.addAccessPoint(device, "ap2", "Office", 0);

    EXPECT_EQ(scan(ScanTarget::DropDownList, QStringLiteral("127.0.0.99")), Scan::Success);
    EXPECT_EQ(control.selected, 0);
}

TEST_F(AccessPointScanTest, emptyAddressMeansTheSelectedAdapter)
{
    const QString device = nm.addWifiDevice(QStringLiteral("wlan0"));
    nm.addAccessPoint(device, "ap1", "Cafe", 0);
    nm.addAccessPoint(device, "ap2", "Office", 0);
    devices.setEntries({{"DaVad-UZA-ab", "127.0.0.2", "", "4.00.1"}});
    devices.selectRow(0);

    EXPECT_EQ(scan(ScanTarget::DropDownList, QString()), Scan::Success);
    EXPECT_EQ(control.selected, 1);
}

TEST_F(AccessPointScanTest, failedNetworkReadEndsTheApplication)
{
    const QString device = nm.addWifiDevice(QStringLiteral("wlan0"));
    nm.addAccessPoint(device, "ap1", "Office", 0);
    // The adapter enters command mode, then drops the connection at its first command.
    simulator::Faults faults;
    faults.closeAfterCommands = 0;
    simulated->adapters().front()->setFaults(faults);

    EXPECT_EQ(scan(), Scan::ReadFailed);
    EXPECT_EQ(dialogs.events(), (QStringList{QStringLiteral("message:") + text(TextId::ReadFailed),
                                             QStringLiteral("close main window:1")}));
    EXPECT_FALSE(connection().isOpen());
}
