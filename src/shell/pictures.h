#pragma once

#include "resources/texttable.h"

#include <QPixmap>
#include <QString>

enum class Picture
{
    ConnectionHelp, // the PC's network list with an adapter's own network connected
    DipSwitchOff,   // DIP switch 1 to be turned off
    DipSwitchOn,    // DIP switch 1 to be turned on
};

// The resource path of the picture in the language.
QString picturePath(Picture picture, TextLanguage language);
// The picture in the user's language, drawn at the screen's pixel density.
QPixmap pictureFor(Picture picture, qreal devicePixelRatio = 1.0);
