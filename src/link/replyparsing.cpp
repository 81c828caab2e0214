#include "link/replyparsing.h"

#include <QRegularExpression>
#include <QStringList>
#include <cstdio>

QString findReplyValue(const QString& text, const QString& key)
{
    if (key.isEmpty())
        return {};
    // Every CR and every LF ends a line; the empty lines between them never match.
    static const QRegularExpression separators(QStringLiteral("[\r\n]"));
    const QStringList lines = text.split(separators, Qt::SkipEmptyParts);
    for (const QString& line : lines) {
        if (line.contains(key))
            return line.mid(key.size() + 1);
    }
    return {};
}

UartReply matchUartReply(const ReplyBuffer& reply)
{
    int baudrate = 0;
    unsigned flow = 0;
    const int matched = std::sscanf(
        reply.data(), "get uart\r\n\r\nBaudrate=%d\r\nFlow=%x\r\nMode=0x0\r\nCmd_GPIO=0", &baudrate,
        &flow);
    UartReply result;
    if (matched >= 1)
        result.baudrate = baudrate;
    if (matched >= 2)
        result.flow = flow;
    return result;
}

std::optional<QByteArray> matchMacReply(const ReplyBuffer& reply)
{
    char mac[20] = {};
    if (std::sscanf(reply.data(), "get mac\r\n\r\nMac Addr=%19s", mac) != 1)
        return std::nullopt;
    return QByteArray(mac);
}
