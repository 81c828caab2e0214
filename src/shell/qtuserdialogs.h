#pragma once

#include "link/userdialogs.h"

class QDialog;
class QObject;

// The core's windows as real windows. Each runs on the user-interface thread, modal over the
// active window; a worker that asks waits until the user has closed it.
class QtUserDialogs : public UserDialogs
{
public:
    // The context lives on the user-interface thread.
    explicit QtUserDialogs(QObject* context);

    void setMainWindow(QDialog* window) { mainWindow = window; }

    MessageAnswer showMessage(const QString& text, MessageStyle style) override;
    std::optional<QString> askPassword() override;
    void showDipSwitchWindow() override;
    void closeMainWindow(int result) override;

private:
    QObject* context;
    QDialog* mainWindow = nullptr;
};
