#include "shell/qtuserdialogs.h"

#include "platform/handover.h"
#include "shell/passworddialog.h"
#include "shell/picturedialog.h"

#include <QApplication>
#include <QMessageBox>

namespace {

QWidget* activeWindow()
{
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    return QApplication::activeWindow();
}

} // namespace

QtUserDialogs::QtUserDialogs(QObject* context) : context(context) {}

MessageAnswer QtUserDialogs::showMessage(const QString& text, MessageStyle style)
{
    MessageAnswer answer = MessageAnswer::Ok;
    runOnThreadOf(context, [&] {
        const bool question =
            style == MessageStyle::Question || style == MessageStyle::PlainQuestion;
        const QMessageBox::Icon icon = style == MessageStyle::Warning    ? QMessageBox::Warning
                                       : style == MessageStyle::Question ? QMessageBox::Question
                                                                         : QMessageBox::NoIcon;
        QMessageBox box(icon, QCoreApplication::applicationName(),
                        QString(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")),
                        question ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok,
                        activeWindow());
        const int pressed = box.exec();
        answer = !question                     ? MessageAnswer::Ok
                 : pressed == QMessageBox::Yes ? MessageAnswer::Yes
                                               : MessageAnswer::No;
    });
    return answer;
}

std::optional<QString> QtUserDialogs::askPassword()
{
    std::optional<QString> typed;
    runOnThreadOf(context, [&] {
        passwordDialog prompt(activeWindow());
        if (prompt.exec() == QDialog::Accepted)
            typed = prompt.typedText();
    });
    return typed;
}

void QtUserDialogs::showDipSwitchWindow()
{
    runOnThreadOf(context, [] {
        confirmSwitchDialog window(activeWindow());
        window.exec();
    });
}

void QtUserDialogs::closeMainWindow(int result)
{
    runOnThreadOf(context, [this, result] {
        if (mainWindow)
            mainWindow->done(result);
    });
}
