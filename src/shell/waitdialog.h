#pragma once

#include <QDialog>
#include <QString>

class QLabel;
class QProgressBar;

// The wait window through which a worker shows that it is busy. It has no buttons and closes
// only when its owner ends it: Escape and the window manager's close button do nothing.
class waitDialog : public QDialog
{
    Q_OBJECT

public:
    explicit waitDialog(QWidget* parent = nullptr);

    // Set by a worker before it asks for the window.
    QString waitTitle;
    QString waitText;
    bool showProgress = false;

    // Shows the window modally with the texts above; returns when finish() ended it.
    int run();
    void finish();
    // From any thread, while the window is shown.
    void setProgress(int position);
    int progress() const;

    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QLabel* message;
    QProgressBar* bar;
    bool finishing = false;
};
