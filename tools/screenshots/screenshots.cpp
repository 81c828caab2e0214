// Makes the pictures of the windows for the documentation: the main window with simulated
// adapters listed, the wait window and each auxiliary window, in the language of the user's
// locale. Usage: kov-screenshots <output directory>

#include "adaptersimulator.h"
#include "discovery/devicesearch.h"
#include "platform/localecharset.h"
#include "platform/neighbourtable.h"
#include "resources/texttable.h"
#include "shell/ckovsl47dlg.h"
#include "shell/passworddialog.h"
#include "shell/picturedialog.h"
#include "shell/qtuserdialogs.h"
#include "shell/uitext.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QTimer>
#include <cstdio>

namespace {

constexpr std::uint16_t HeartbeatPort = 55599;

// The locked adapter is named from its hardware address, as the PC's table would hold it.
class KnownNeighbours : public NeighbourTable
{
public:
    void refresh(const QString&, std::chrono::milliseconds) override {}
    std::optional<QString> hardwareAddress(const QString& address) const override
    {
        if (address == u"127.0.0.3")
            return QStringLiteral("02:4b:4f:00:10:b2");
        return std::nullopt;
    }
};

simulator::AdapterConfig adapter(const char* address, const char* mac)
{
    simulator::AdapterConfig config;
    config.ownAddress = address;
    config.mac = mac;
    return config;
}

bool processUntil(const std::function<bool()>& condition)
{
    const QDeadlineTimer deadline(60000);
    while (!condition() && !deadline.hasExpired())
        QApplication::processEvents(QEventLoop::AllEvents, 20);
    return condition();
}

bool save(QWidget& window, const QDir& directory, const QString& name)
{
    window.show();
    if (window.inherits("CKOVSL47Dlg"))
        window.resize(window.sizeHint().expandedTo(window.size()));
    else
        window.adjustSize();
    QApplication::processEvents();
    const QString language = TextTable::current().language() == TextLanguage::Japanese
                                 ? QStringLiteral("ja")
                                 : QStringLiteral("en");
    const QString path = directory.filePath(QStringLiteral("%1-%2.png").arg(name, language));
    if (!window.grab().save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("%s\n", qPrintable(path));
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("KOVSL47"));
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output directory>\n", argv[0]);
        return 2;
    }
    const QDir directory(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(directory.path()))
        return 1;

    simulator::SimulatorOptions options;
    options.commandPort = 0;
    options.heartbeatPort = HeartbeatPort;
    options.heartbeatInterval = std::chrono::milliseconds(100);
    simulator::Simulator simulated(options);
    simulated.addAdapter(adapter("127.0.0.2", "02:4b:4f:00:10:a1"));
    simulator::AdapterConfig locked = adapter("127.0.0.3", "02:4b:4f:00:10:b2");
    locked.settings.password = "secret";
    simulated.addAdapter(locked);
    simulator::AdapterConfig ownNetwork = adapter("127.0.0.4", "02:4b:4f:00:10:c3");
    ownNetwork.dipSwitch1 = true;
    simulated.addAdapter(ownNetwork);
    simulated.start();

    QtUserDialogs dialogs(&application);
    SelectedDevice selected;
    // The pictures show the windows, not the pauses: the search runs at a fifth of its length.
    ModuleConnection connection(dialogs, selected, LocaleCharset::ofUserLocale(),
                                Timing{}.scaledBy(0.2), simulated.commandPort());
    KnownNeighbours neighbours;
    DeviceSearch search(connection, neighbours, HeartbeatPort);
    CKOVSL47Dlg window(connection, search);
    dialogs.setMainWindow(&window);
    window.showConnectionHelp = [] {};
    window.show();
    if (!processUntil([&] { return !window.workerRunning() && !window.waitWindow().isVisible(); }))
        return 1;
    window.devices().selectRow(0);
    bool saved = save(window, directory, QStringLiteral("main-window"));

    waitDialog& wait = window.waitWindow();
    wait.waitTitle = uiText(TextId::SearchForDevices);
    wait.waitText = uiText(TextId::SearchingForDevices);
    QTimer::singleShot(100, [&] {
        saved = save(wait, directory, QStringLiteral("wait-window")) && saved;
        wait.finish();
    });
    wait.run();

    passwordDialog password(&window);
    saved = save(password, directory, QStringLiteral("password")) && saved;
    helpDialog help(&window);
    saved = save(help, directory, QStringLiteral("connection-help")) && saved;
    confirmSwitchDialog dipSwitch(&window);
    saved = save(dipSwitch, directory, QStringLiteral("dip-switch")) && saved;
    connectFailedDialog failed(QStringLiteral("Office Net"), &window);
    saved = save(failed, directory, QStringLiteral("connect-failed")) && saved;
    return saved ? 0 : 1;
}
