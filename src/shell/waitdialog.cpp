#include "shell/waitdialog.h"

#include <QCloseEvent>
#include <QLabel>
#include <QMetaObject>
#include <QProgressBar>
#include <QVBoxLayout>

waitDialog::waitDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      message(new QLabel(this)), bar(new QProgressBar(this))
{
    message->setAlignment(Qt::AlignCenter);
    message->setMinimumWidth(320);
    bar->setRange(0, 100);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 20, 24, 20);
    layout->addWidget(message);
    layout->addWidget(bar);
}

int waitDialog::run()
{
    if (!waitTitle.isEmpty())
        setWindowTitle(waitTitle);
    if (!waitText.isEmpty())
        message->setText(QString(waitText).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    bar->setValue(0);
    bar->setVisible(showProgress);
    bar->setAccessibleName(windowTitle());
    adjustSize();
    finishing = false;
    return exec();
}

void waitDialog::finish()
{
    finishing = true;
    done(0);
}

void waitDialog::setProgress(int position)
{
    QMetaObject::invokeMethod(bar, "setValue", Qt::QueuedConnection, Q_ARG(int, position));
}

int waitDialog::progress() const
{
    return bar->value();
}

void waitDialog::reject()
{
    if (finishing)
        QDialog::reject();
}

void waitDialog::closeEvent(QCloseEvent* event)
{
    if (!finishing)
        event->ignore();
}
