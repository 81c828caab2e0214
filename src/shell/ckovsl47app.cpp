#include "shell/ckovsl47app.h"

#include "discovery/devicesearch.h"
#include "platform/localecharset.h"
#include "platform/neighbourtable.h"
#include "platform/singleinstance.h"
#include "shell/ckovsl47dlg.h"
#include "shell/qtuserdialogs.h"

#include <QApplication>
#include <QFileInfo>
#include <cstdio>
#include <unistd.h>

int CKOVSL47App::run(int argc, char** argv)
{
    QApplication application(argc, argv);
    // The name of the executable names the lock and captions every message box.
    QApplication::setApplicationName(QFileInfo(QString::fromLocal8Bit(argv[0])).completeBaseName());
    // Nothing is ever stored under this name: every value shown is read from the adapters anew.
    QApplication::setOrganizationName(QStringLiteral("ZELKOR"));

    SingleInstance instance(QApplication::applicationName());
    if (!instance.claim())
        return 0;

    QtUserDialogs dialogs(&application);
    SelectedDevice selected;
    ModuleConnection connection(dialogs, selected, LocaleCharset::ofUserLocale());
    LinuxNeighbourTable neighbours;
    DeviceSearch search(connection, neighbours);
    auto* window = new CKOVSL47Dlg(connection, search);
    dialogs.setMainWindow(window);
    QObject::connect(&instance, &SingleInstance::activationRequested, window, [window] {
        qInfo("Another copy was started: showing this window instead");
        window->showNormal();
        window->raise();
        window->activateWindow();
    });

    const int result = window->exec();
    // Closing the main window ends the program at once, also while a worker still waits on an
    // adapter: the process ends here without unwinding the objects the worker uses.
    if (window->workerRunning()) {
        std::fflush(nullptr);
        ::_exit(result);
    }
    delete window;
    return result;
}
