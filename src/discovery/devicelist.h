#pragma once

#include <QAbstractTableModel>
#include <QItemSelectionModel>
#include <QList>
#include <QString>

// One adapter found by a search: one row of the device list.
struct DeviceEntry
{
    QString name;       // "DaVad-UZA-" and the last two digits of the MAC address
    QString address;    // dotted IPv4 address
    QString accessMode; // "Pass Locked", "Ad-hoc", "Access Point", "Infrastructure" or empty
    QString version;    // firmware version from the heartbeat, possibly empty

    friend bool operator==(const DeviceEntry&, const DeviceEntry&) = default;
};

// The adapters of the last search with the user's selection: a four-column table that the
// main window's list view shows directly and shares the selection of. clear() and setEntries()
// may be called from a worker; everything else is for the thread the list lives on.
class DeviceList : public QAbstractTableModel
{
    Q_OBJECT

public:
    enum Column
    {
        NameColumn,
        AddressColumn,
        AccessModeColumn,
        VersionColumn,
        ColumnCount
    };
    static constexpr int MaxEntries = 128;

    explicit DeviceList(QObject* parent = nullptr);

    void clear();
    // Replaces the rows; entries beyond MaxEntries are dropped. The selection is emptied.
    void setEntries(QList<DeviceEntry> entries);
    const QList<DeviceEntry>& entries() const { return rows; }

    QItemSelectionModel* selectionModel() { return &selection; }
    void selectRow(int row); // tests and the shell's keyboard handling
    bool hasSelection() const;
    // The text of the column in the first selected row; empty when no row is selected.
    QString selectedRowText(int column) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    int firstSelectedRow() const;
    static QString columnText(const DeviceEntry& entry, int column);

    QList<DeviceEntry> rows;
    QItemSelectionModel selection;
};
