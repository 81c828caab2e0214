#pragma once

#include "link/userdialogs.h"

#include <QList>
#include <QString>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>

// Answers the core's windows in advance and records what was shown, in order.
class RecordingDialogs : public UserDialogs
{
public:
    struct Message
    {
        QString text;
        MessageStyle style;
    };

    MessageAnswer showMessage(const QString& text, MessageStyle style) override;
    std::optional<QString> askPassword() override;
    void showDipSwitchWindow() override;
    void closeMainWindow(int result) override;

    // Answers for the coming password prompts, in order; a prompt without an answer is cancelled.
    void answerPasswordWith(std::optional<QString> answer);
    void answerQuestionsWith(MessageAnswer answer);
    // Called each time the DIP switch window is shown, before it is closed.
    void onDipSwitchWindow(std::function<void()> action);

    QList<Message> messages() const;
    QStringList messageTexts() const;
    int passwordPrompts() const;
    int dipSwitchWindows() const;
    // The order of everything shown: "message:<text>", "password", "dip switch",
    // "close main window:<result>".
    QStringList events() const;

private:
    mutable std::mutex mutex;
    QList<Message> shownMessages;
    std::deque<std::optional<QString>> passwordAnswers;
    MessageAnswer questionAnswer = MessageAnswer::No;
    std::function<void()> dipSwitchAction;
    QStringList shown;
    int prompts = 0;
    int dipSwitchShown = 0;
};
