#pragma once

#include <QString>

// The adapter the user selected in the device list.
struct SelectedDevice
{
    QString name;    // column 0 of the selected row
    QString address; // column 1 of the selected row
    // The password cache of the command connection: empty while no password is known. Emptied
    // whenever the selection changes, a search starts or a password attempt fails.
    QString password;
};
