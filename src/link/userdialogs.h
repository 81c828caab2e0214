#pragma once

#include "resources/textid.h"

#include <QString>
#include <optional>

enum class MessageStyle
{
    Warning,       // OK button, warning icon
    Question,      // Yes and No buttons, question icon
    Plain,         // OK button, no icon
    PlainQuestion, // Yes and No buttons, no icon
};

enum class MessageAnswer
{
    Ok,
    Yes,
    No
};

// The windows the core needs from the user interface. The application implements it with real
// windows; tests answer it in advance. Every call may come from a worker thread and returns only
// when the user has closed the window.
class UserDialogs
{
public:
    virtual ~UserDialogs() = default;

    // A message box captioned with the application name.
    virtual MessageAnswer showMessage(const QString& text, MessageStyle style) = 0;
    // The password prompt: the typed text on OK (possibly empty), nothing when closed otherwise.
    virtual std::optional<QString> askPassword() = 0;
    // Asks the user to turn DIP switch 1 off, with a picture of the switch.
    virtual void showDipSwitchWindow() = 0;
    // Ends the main window, and with it the application, with the result.
    virtual void closeMainWindow(int result) = 0;
};

// The text of the id in a message box with an OK button and a warning icon.
void showWarning(UserDialogs& dialogs, TextId id);
