#pragma once

#include "resources/textid.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

enum class TextLanguage
{
    English,
    Japanese
};

// One language's texts, looked up by id. The program uses the table of the user's interface
// language, chosen once at start (current()); tests build tables of either language directly.
class TextTable
{
public:
    explicit TextTable(TextLanguage language);

    // Japanese when the first interface language is Japanese, English otherwise.
    static TextLanguage languageFor(const QStringList& uiLanguages);
    static const TextTable& current();

    TextLanguage language() const { return language_; }
    QString text(TextId id) const { return text(static_cast<quint16>(id)); }
    QString text(quint16 id) const; // empty text for an id the table lacks
    QList<quint16> ids() const;     // ascending
    QList<int> malformedLines() const { return malformedLines_; }

    // Reads a text file: one entry a line, the id, a tab and the text. In the text the escapes
    // \r, \n, \t and \\ stand for CR, LF, tab and a backslash. Lines starting with '#' and empty
    // lines are skipped.
    // Lines that fit no entry are reported by their number (counted from 1).
    static QHash<quint16, QString> parse(const QByteArray& utf8, QList<int>* malformedLines);

private:
    TextLanguage language_;
    QHash<quint16, QString> texts;
    QList<int> malformedLines_;
};

// The text of an id in the user's language.
QString text(TextId id);
