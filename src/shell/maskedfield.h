#pragma once

#include <QLineEdit>

// Password, key and passphrase fields show each character as U+25CF while masked.
inline void setMasked(QLineEdit* field, bool masked)
{
    field->setStyleSheet(QStringLiteral("lineedit-password-character: 9679"));
    field->setEchoMode(masked ? QLineEdit::Password : QLineEdit::Normal);
    field->update();
}
