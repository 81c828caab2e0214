#pragma once

#include "link/replybuffer.h"

#include <QByteArray>
#include <QString>
#include <optional>

// The value of the first line of a reply that contains the key. The value is read as if the
// key stood at the start of that line followed by one separator: it begins at position
// length(key) + 1 of the line, wherever the key was found. Empty when no line holds the key.
QString findReplyValue(const QString& text, const QString& key);

// The numbers of a "get uart" reply, matched against its fixed layout. A number is absent when
// the reply stopped fitting the layout before it.
struct UartReply
{
    std::optional<int> baudrate;
    std::optional<unsigned> flow;
};
UartReply matchUartReply(const ReplyBuffer& reply);

// The MAC text of a "get mac" reply (at most 19 bytes of it), or nothing when the reply does
// not fit its layout.
std::optional<QByteArray> matchMacReply(const ReplyBuffer& reply);
