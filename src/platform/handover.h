#pragma once

#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <utility>

// Runs the function on the thread the object lives on and returns when it has run: directly
// when the caller is on that thread, otherwise as a blocking queued call. A worker uses it for
// every hand-over that must be complete before it goes on (filling a list, showing a window).
// The object's thread must not be waiting for the caller meanwhile.
template <typename Function> void runOnThreadOf(QObject* context, Function&& function)
{
    if (QThread::currentThread() == context->thread()) {
        std::forward<Function>(function)();
        return;
    }
    QMetaObject::invokeMethod(context, std::forward<Function>(function),
                              Qt::BlockingQueuedConnection);
}
