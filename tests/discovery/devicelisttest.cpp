#include "discovery/devicelist.h"

#include <gtest/gtest.h>

namespace {

DeviceEntry entry(int number)
{
    const QString digits = QStringLiteral("%1").arg(number, 2, 16, QLatin1Char('0'));
    return {QStringLiteral("DaVad-UZA-") + digits, QStringLiteral("127.0.0.%1").arg(number + 2),
            QStringLiteral("Ad-hoc"), QStringLiteral("4.00.1")};
}

} // namespace

TEST(DeviceListTest, selectedRowTextFollowsTheSelection)
{
    DeviceList devices;
    devices.setEntries({entry(1), entry(2)});

    EXPECT_FALSE(devices.hasSelection());
    EXPECT_TRUE(devices.selectedRowText(DeviceList::NameColumn).isEmpty());

    devices.selectRow(1);
    EXPECT_EQ(devices.selectedRowText(DeviceList::NameColumn), QStringLiteral("DaVad-UZA-02"));
    EXPECT_EQ(devices.selectedRowText(DeviceList::AddressColumn), QStringLiteral("127.0.0.4"));
    EXPECT_EQ(devices.selectedRowText(DeviceList::VersionColumn), QStringLiteral("4.00.1"));
    EXPECT_TRUE(devices.selectedRowText(DeviceList::ColumnCount).isEmpty());

    // With several rows selected the first row in list order counts.
    devices.selectionModel()->select(devices.index(0, 0),
                                     QItemSelectionModel::Select | QItemSelectionModel::Rows);
    EXPECT_EQ(devices.selectedRowText(DeviceList::NameColumn), QStringLiteral("DaVad-UZA-01"));
}

TEST(DeviceListTest, refillingEmptiesTheSelectionAndKeepsAtMost128Rows)
{
    DeviceList devices;
    devices.setEntries({entry(1)});
    devices.selectRow(0);

    QList<DeviceEntry> many;
    for (int i = 0; i < 130; ++i)
        many.append(entry(i));
    devices.setEntries(many);

    EXPECT_FALSE(devices.hasSelection());
    EXPECT_EQ(devices.rowCount(), DeviceList::MaxEntries);
    EXPECT_EQ(devices.entries().back(), entry(127));
    EXPECT_EQ(devices.data(devices.index(5, DeviceList::AddressColumn)).toString(),
              entry(5).address);

    devices.clear();
    EXPECT_EQ(devices.rowCount(), 0);
}
