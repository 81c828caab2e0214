#pragma once

#include "discovery/devicelist.h"
#include "discovery/devicesearch.h"
#include "link/moduleconnection.h"
#include "shell/waitdialog.h"

#include <QDialog>
#include <functional>
#include <thread>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableView;

// The main window: the adapters found, the selected one, a button per task. Long tasks run on
// one worker thread at a time behind the wait window.
class CKOVSL47Dlg : public QDialog
{
    Q_OBJECT

public:
    CKOVSL47Dlg(ModuleConnection& connection, DeviceSearch& search, QWidget* parent = nullptr);
    ~CKOVSL47Dlg() override;

    DeviceList& devices() { return deviceList; }
    QString selectedRowText(int column) const { return deviceList.selectedRowText(column); }
    SelectedDevice& selectedDevice() { return connection.selectedDevice(); }
    waitDialog& waitWindow() { return wait; }
    bool workerRunning() const;

    bool offerConnectionHelp = true;
    bool rescanRequested = false;
    bool serialFromEasySetup = false;

    // The connection help window; tests replace it.
    std::function<void()> showConnectionHelp;

    QPushButton* rescanButton() const { return rescan; }
    QPushButton* checkLedButton() const { return checkLed; }
    QPushButton* seeSettingsButton() const { return seeSettings; }
    QPushButton* easySettingsButton() const { return easySettings; }
    QPushButton* customSettingsButton() const { return customSettings; }
    QPushButton* serialSettingsButton() const { return serialSettings; }
    QTableView* deviceView() const { return view; }
    QLineEdit* selectedDeviceBox() const { return selectedBox; }

protected:
    void customEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void updateButtons();
    void selectionChanged();
    void startWorker(std::function<void()> task);
    void startSearch();
    void onRescan();
    void onCheckLed();
    void onTaskWithGate();

    ModuleConnection& connection;
    DeviceSearch& search;
    DeviceList deviceList;
    waitDialog wait;
    std::thread worker;
    std::atomic<bool> working{false};
    bool searchedAtOpening = false;

    QTableView* view;
    QLineEdit* selectedBox;
    QLabel* selectedLabel;
    QPushButton* rescan;
    QPushButton* checkLed;
    QPushButton* seeSettings;
    QPushButton* easySettings;
    QPushButton* customSettings;
    QPushButton* serialSettings;
    QPushButton* exitButton;
    QList<QWidget*> taskControls; // enabled only while the list has rows
};
