#pragma once

#include "shell/pictures.h"

#include <QDialog>

class QLabel;

// A window with an optional message, a picture and an OK button: the base of the connection
// help, the DIP switch check and the access point check.
class PictureDialog : public QDialog
{
    Q_OBJECT

protected:
    PictureDialog(TextId caption, const QString& message, Picture picture, QWidget* parent);
};

// Shows how to connect the PC to an adapter's own network.
class helpDialog : public PictureDialog
{
    Q_OBJECT

public:
    explicit helpDialog(QWidget* parent = nullptr);
};

// Asks for DIP switch 1 to be turned off.
class confirmSwitchDialog : public PictureDialog
{
    Q_OBJECT

public:
    explicit confirmSwitchDialog(QWidget* parent = nullptr);
};

// Explains what to check when Easy Settings did not find the adapter on the access point.
class connectFailedDialog : public PictureDialog
{
    Q_OBJECT

public:
    connectFailedDialog(const QString& ssid, QWidget* parent = nullptr);
};
