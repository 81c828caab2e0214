#include "shell/ckovsl47dlg.h"

#include "link/deviceprobes.h"
#include "shell/picturedialog.h"
#include "shell/uitext.h"
#include "shell/windowmessage.h"

#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <algorithm>

namespace {

QLabel* descriptionLabel(TextId id, QWidget* parent)
{
    auto* label = new QLabel(uiText(id), parent);
    label->setWordWrap(true);
    return label;
}

} // namespace

CKOVSL47Dlg::CKOVSL47Dlg(ModuleConnection& connection, DeviceSearch& search, QWidget* parent)
    : QDialog(parent, Qt::Window), connection(connection), search(search), wait(this)
{
    setWindowTitle(uiText(TextId::MainWindowTitle));
    showConnectionHelp = [this] {
        helpDialog help(this);
        help.exec();
    };

    auto* heading = new QLabel(uiText(TextId::SelectingDevice), this);
    rescan = new QPushButton(uiText(TextId::Rescan), this);
    view = new QTableView(this);
    view->setModel(&deviceList);
    view->setSelectionModel(deviceList.selectionModel());
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->verticalHeader()->hide();
    view->horizontalHeader()->setHighlightSections(false);
    view->setWordWrap(false);
    // The widths of the columns, widened where this font needs more room for a full name,
    // address or heading.
    const int widths[] = {85, 90, 100, 60};
    const QFontMetrics metrics = view->fontMetrics();
    QString widestMode;
    for (const TextId mode :
         {TextId::AccessPoint, TextId::AdHoc, TextId::Infrastructure, TextId::PassLocked}) {
        if (metrics.horizontalAdvance(uiText(mode)) > metrics.horizontalAdvance(widestMode))
            widestMode = uiText(mode);
    }
    const QString widest[] = {QStringLiteral("DaVad-UZA-MM"), QStringLiteral("255.255.255.255"),
                              widestMode, QStringLiteral("4.00.10")};
    int tableWidth = 2 * view->frameWidth();
    for (int column = 0; column < DeviceList::ColumnCount; ++column) {
        const QString heading = deviceList.headerData(column, Qt::Horizontal).toString();
        const int needed =
            std::max(metrics.horizontalAdvance(widest[column]),
                     view->horizontalHeader()->fontMetrics().horizontalAdvance(heading));
        view->setColumnWidth(column, std::max(widths[column], needed + 16));
        tableWidth += view->columnWidth(column);
    }
    view->horizontalHeader()->setStretchLastSection(true);
    view->setAccessibleName(heading->text());
    heading->setBuddy(view);

    selectedLabel = new QLabel(uiText(TextId::SelectedDevice), this);
    selectedBox = new QLineEdit(this);
    selectedBox->setReadOnly(true);
    selectedLabel->setBuddy(selectedBox);
    selectedBox->setAccessibleName(selectedLabel->text());

    checkLed = new QPushButton(uiText(TextId::CheckLed), this);
    seeSettings = new QPushButton(uiText(TextId::SeeSettings), this);
    easySettings = new QPushButton(uiText(TextId::EasyNetworkSettings), this);
    customSettings = new QPushButton(uiText(TextId::CustomNetworkSettings), this);
    serialSettings = new QPushButton(uiText(TextId::SerialPortSettings), this);
    exitButton = new QPushButton(uiText(TextId::Exit), this);
    for (QPushButton* button : {easySettings, customSettings, serialSettings})
        button->setMinimumHeight(48);
    QLabel* easyDescription = descriptionLabel(TextId::EasySettingsHint, this);
    QLabel* customDescription = descriptionLabel(TextId::CustomSettingsHint, this);
    QLabel* serialDescription = descriptionLabel(TextId::SerialPortSettingsHint, this);
    // Button captions read with their line break as one line for assistive technology, and each
    // button is described by the text beside it.
    for (QPushButton* button : {easySettings, customSettings})
        button->setAccessibleName(button->text().replace(u'\n', u' '));
    easySettings->setAccessibleDescription(easyDescription->text());
    customSettings->setAccessibleDescription(customDescription->text());
    serialSettings->setAccessibleDescription(serialDescription->text());

    auto* layout = new QGridLayout(this);
    layout->addWidget(heading, 0, 0);
    layout->addWidget(rescan, 0, 2, Qt::AlignRight);
    layout->addWidget(view, 1, 0, 1, 3);
    layout->addWidget(selectedLabel, 2, 0);
    layout->addWidget(selectedBox, 2, 1);
    layout->addWidget(checkLed, 2, 2);
    layout->addWidget(seeSettings, 3, 2);
    layout->addWidget(easySettings, 4, 0);
    layout->addWidget(easyDescription, 4, 1, 1, 2);
    layout->addWidget(customSettings, 5, 0);
    layout->addWidget(customDescription, 5, 1, 1, 2);
    layout->addWidget(serialSettings, 6, 0);
    layout->addWidget(serialDescription, 6, 1, 1, 2);
    layout->addWidget(exitButton, 7, 2);
    layout->setColumnStretch(1, 1);
    resize(std::max(460, tableWidth + layout->contentsMargins().left() +
                             layout->contentsMargins().right()),
           520);

    taskControls = {view,           selectedLabel,    easySettings,      checkLed,
                    seeSettings,    customSettings,   customDescription, easyDescription,
                    serialSettings, serialDescription};

    connect(rescan, &QPushButton::clicked, this, &CKOVSL47Dlg::onRescan);
    connect(checkLed, &QPushButton::clicked, this, &CKOVSL47Dlg::onCheckLed);
    // The windows behind these buttons come with their own work; the gate stands already.
    for (QPushButton* button : {seeSettings, easySettings, customSettings, serialSettings})
        connect(button, &QPushButton::clicked, this, &CKOVSL47Dlg::onTaskWithGate);
    connect(exitButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(deviceList.selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CKOVSL47Dlg::selectionChanged);
    connect(&deviceList, &QAbstractItemModel::modelReset, this, &CKOVSL47Dlg::selectionChanged);

    updateButtons();
}

CKOVSL47Dlg::~CKOVSL47Dlg()
{
    // The application ends the process without destroying this window while a worker runs;
    // here every worker has posted its last message.
    if (worker.joinable())
        worker.join();
}

bool CKOVSL47Dlg::workerRunning() const
{
    return working;
}

void CKOVSL47Dlg::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!searchedAtOpening) {
        searchedAtOpening = true;
        startSearch();
    }
}

void CKOVSL47Dlg::updateButtons()
{
    const bool any = deviceList.rowCount() > 0;
    for (QWidget* control : taskControls)
        control->setEnabled(any);
}

void CKOVSL47Dlg::selectionChanged()
{
    SelectedDevice& selected = connection.selectedDevice();
    selected.password.clear();
    selected.address = deviceList.selectedRowText(DeviceList::AddressColumn);
    selected.name = deviceList.selectedRowText(DeviceList::NameColumn);
    selectedBox->setText(selected.name);
}

void CKOVSL47Dlg::startWorker(std::function<void()> task)
{
    if (worker.joinable())
        worker.join();
    working = true;
    worker = std::thread([this, task = std::move(task)] {
        task();
        working = false;
    });
}

void CKOVSL47Dlg::startSearch()
{
    wait.waitTitle = uiText(TextId::SearchForDevices);
    wait.waitText = uiText(TextId::SearchingForDevices);
    startWorker([this] {
        postWindowMessage(this, WindowMessage::ShowWaitWindow);
        search.searchDevices(deviceList);
        postWindowMessage(this, WindowMessage::SearchEnded);
    });
}

void CKOVSL47Dlg::onRescan()
{
    connection.selectedDevice().name.clear();
    selectedBox->clear();
    offerConnectionHelp = false;
    updateButtons();
    showConnectionHelp();
    startSearch();
}

void CKOVSL47Dlg::onCheckLed()
{
    if (!checkSelectedDevice(deviceList, connection.dialogs()))
        return;
    updateButtons();
    wait.waitTitle = uiText(TextId::BlinkLed);
    wait.waitText = uiText(TextId::LedBlinking);
    startWorker([this] {
        postWindowMessage(this, WindowMessage::ShowWaitWindow);
        blinkLed(connection);
        postWindowMessage(this, WindowMessage::WorkerDone);
    });
}

void CKOVSL47Dlg::onTaskWithGate()
{
    checkSelectedDevice(deviceList, connection.dialogs());
}

void CKOVSL47Dlg::customEvent(QEvent* event)
{
    if (event->type() != WindowMessageEvent::eventType())
        return QDialog::customEvent(event);
    switch (static_cast<WindowMessageEvent*>(event)->message()) {
    case WindowMessage::ShowWaitWindow:
        wait.run();
        break;
    case WindowMessage::SearchEnded:
        wait.finish();
        updateButtons();
        if (offerConnectionHelp && deviceList.rowCount() == 0)
            showConnectionHelp();
        break;
    case WindowMessage::EasySetupRefresh:
        updateButtons();
        break;
    case WindowMessage::WorkerDone:
        wait.finish();
        break;
    default:
        break;
    }
}
