#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;

// The password prompt of the command connection. Opens with an empty, masked field.
class passwordDialog : public QDialog
{
    Q_OBJECT

public:
    explicit passwordDialog(QWidget* parent = nullptr);

    QString typedText() const;
    QLineEdit* field() const { return edit; }
    QCheckBox* hideString() const { return hide; }

private:
    QLineEdit* edit;
    QCheckBox* hide;
};
