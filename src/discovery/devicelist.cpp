#include "discovery/devicelist.h"

#include "platform/handover.h"
#include "resources/texttable.h"

#include <algorithm>

DeviceList::DeviceList(QObject* parent) : QAbstractTableModel(parent), selection(this) {}

void DeviceList::clear()
{
    setEntries({});
}

void DeviceList::setEntries(QList<DeviceEntry> entries)
{
    if (entries.size() > MaxEntries)
        entries.resize(MaxEntries);
    // The search fills the list from its worker; the view and the selection live here.
    runOnThreadOf(this, [this, &entries] {
        beginResetModel();
        rows = std::move(entries);
        endResetModel();
        selection.clear();
    });
}

void DeviceList::selectRow(int row)
{
    selection.select(index(row, 0),
                     QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

bool DeviceList::hasSelection() const
{
    return firstSelectedRow() >= 0;
}

QString DeviceList::selectedRowText(int column) const
{
    const int row = firstSelectedRow();
    return row < 0 ? QString() : columnText(rows[row], column);
}

int DeviceList::firstSelectedRow() const
{
    int first = -1;
    for (const QModelIndex& index : selection.selectedIndexes()) {
        if (index.row() < rows.size() && (first < 0 || index.row() < first))
            first = index.row();
    }
    return first;
}

QString DeviceList::columnText(const DeviceEntry& entry, int column)
{
    switch (column) {
    case NameColumn:
        return entry.name;
    case AddressColumn:
        return entry.address;
    case AccessModeColumn:
        return entry.accessMode;
    case VersionColumn:
        return entry.version;
    default:
        return {};
    }
}

int DeviceList::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows.size());
}

int DeviceList::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant DeviceList::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rows.size() || role != Qt::DisplayRole)
        return {};
    return columnText(rows[index.row()], index.column());
}

QVariant DeviceList::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case NameColumn:
        return text(TextId::DeviceName);
    case AddressColumn:
        return text(TextId::IpAddress);
    case AccessModeColumn:
        return text(TextId::AccessMode);
    case VersionColumn:
        return text(TextId::Version);
    default:
        return {};
    }
}
