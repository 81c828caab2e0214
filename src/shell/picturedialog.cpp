#include "shell/picturedialog.h"

#include "shell/uitext.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

PictureDialog::PictureDialog(TextId caption, const QString& message, Picture picture,
                             QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(uiText(caption));
    auto* layout = new QVBoxLayout(this);
    if (!message.isEmpty()) {
        auto* label = new QLabel(message, this);
        label->setWordWrap(false);
        layout->addWidget(label);
    }
    auto* image = new QLabel(this);
    image->setPixmap(pictureFor(picture, devicePixelRatioF()));
    image->setAlignment(Qt::AlignCenter);
    layout->addWidget(image);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
}

helpDialog::helpDialog(QWidget* parent)
    : PictureDialog(TextId::CheckConnecting, QString(), Picture::ConnectionHelp, parent)
{}

confirmSwitchDialog::confirmSwitchDialog(QWidget* parent)
    : PictureDialog(TextId::CheckDipSwitch, uiText(TextId::TurnDipSwitchOff), Picture::DipSwitchOff,
                    parent)
{}

connectFailedDialog::connectFailedDialog(const QString& ssid, QWidget* parent)
    : PictureDialog(TextId::CheckAccessPoint,
                    uiText(TextId::AdapterNotFoundAfterSwitch).replace(QStringLiteral("%s"), ssid),
                    Picture::DipSwitchOn, parent)
{}
