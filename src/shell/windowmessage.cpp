#include "shell/windowmessage.h"

#include <QCoreApplication>

QEvent::Type WindowMessageEvent::eventType()
{
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

void postWindowMessage(QObject* window, WindowMessage message)
{
    QCoreApplication::postEvent(window, new WindowMessageEvent(message));
}
