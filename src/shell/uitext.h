#pragma once

#include "resources/texttable.h"

// The text of an id as a window shows it: line breaks as Qt writes them.
inline QString uiText(TextId id)
{
    return text(id).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}
