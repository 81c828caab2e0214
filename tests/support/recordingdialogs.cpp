#include "support/recordingdialogs.h"

MessageAnswer RecordingDialogs::showMessage(const QString& text, MessageStyle style)
{
    std::lock_guard lock(mutex);
    shownMessages.append({text, style});
    shown.append(QStringLiteral("message:") + text);
    const bool question = style == MessageStyle::Question || style == MessageStyle::PlainQuestion;
    return question ? questionAnswer : MessageAnswer::Ok;
}

std::optional<QString> RecordingDialogs::askPassword()
{
    std::lock_guard lock(mutex);
    ++prompts;
    shown.append(QStringLiteral("password"));
    if (passwordAnswers.empty())
        return std::nullopt;
    std::optional<QString> answer = passwordAnswers.front();
    passwordAnswers.pop_front();
    return answer;
}

void RecordingDialogs::showDipSwitchWindow()
{
    std::function<void()> action;
    {
        std::lock_guard lock(mutex);
        ++dipSwitchShown;
        shown.append(QStringLiteral("dip switch"));
        action = dipSwitchAction;
    }
    if (action)
        action();
}

void RecordingDialogs::closeMainWindow(int result)
{
    std::lock_guard lock(mutex);
    shown.append(QStringLiteral("close main window:%1").arg(result));
}

void RecordingDialogs::answerPasswordWith(std::optional<QString> answer)
{
    std::lock_guard lock(mutex);
    passwordAnswers.push_back(std::move(answer));
}

void RecordingDialogs::answerQuestionsWith(MessageAnswer answer)
{
    std::lock_guard lock(mutex);
    questionAnswer = answer;
}

void RecordingDialogs::onDipSwitchWindow(std::function<void()> action)
{
    std::lock_guard lock(mutex);
    dipSwitchAction = std::move(action);
}

QList<RecordingDialogs::Message> RecordingDialogs::messages() const
{
    std::lock_guard lock(mutex);
    return shownMessages;
}

QStringList RecordingDialogs::messageTexts() const
{
    std::lock_guard lock(mutex);
    QStringList texts;
    for (const Message& message : shownMessages)
        texts.append(message.text);
    return texts;
}

int RecordingDialogs::passwordPrompts() const
{
    std::lock_guard lock(mutex);
    return prompts;
}

int RecordingDialogs::dipSwitchWindows() const
{
    std::lock_guard lock(mutex);
    return dipSwitchShown;
}

QStringList RecordingDialogs::events() const
{
    std::lock_guard lock(mutex);
    return shown;
}
