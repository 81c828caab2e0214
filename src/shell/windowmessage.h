#pragma once

#include <QEvent>
#include <QObject>

// The program's own window messages, posted by workers to the window that handles them. The
// numbers count from 0x8000, the first number free for an application's own messages.
enum class WindowMessage : int
{
    ShowWaitWindow = 0x8001,     // main window: show the wait window modally
    SearchEnded = 0x8003,        // main window: close the wait window, offer connection help
    EasySetupRefresh = 0x8004,   // main window: update the buttons after Easy Settings
    EasySetupSucceeded = 0x8005, // main window: Easy Settings found the adapter again
    EasySetupFailed = 0x8006,    // main window: Easy Settings did not find it
    WorkerDone = 0x8007,         // main window: close the wait window
    ReadSucceeded = 0x8008,      // settings window: show the values read
    EndWindow = 0x8009,          // settings window: end with its close code
    ShowOwnWaitWindow = 0x800a,  // current settings window: show its own wait window
    CloseOwnWaitWindow = 0x800b, // current settings window: close its own wait window
};

// A window message as a Qt event, queued on the receiving window's thread.
class WindowMessageEvent : public QEvent
{
public:
    explicit WindowMessageEvent(WindowMessage message) : QEvent(eventType()), message_(message) {}

    static QEvent::Type eventType();
    WindowMessage message() const { return message_; }

private:
    WindowMessage message_;
};

// Posts the message to the window from any thread; it is handled in the window's event loop,
// after every message posted before it.
void postWindowMessage(QObject* window, WindowMessage message);
