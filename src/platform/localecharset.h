#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

// Converts between the program's UTF-16 texts and the bytes the adapters exchange, which are in
// the character set of the user's locale.
class LocaleCharset
{
public:
    explicit LocaleCharset(QByteArray codeset);

    // The character set of the user's locale. Sets the process locale from the environment
    // first, as a C program does at start.
    static LocaleCharset ofUserLocale();

    const QByteArray& name() const { return codeset; }

    // Nothing when the text holds a character this character set cannot represent, or when the
    // character set is unknown: such text is never sent half converted.
    std::optional<QByteArray> encode(const QString& text) const;
    // Bytes that are not valid in this character set become U+FFFD.
    QString decode(QByteArrayView bytes) const;

private:
    QByteArray codeset;
};
