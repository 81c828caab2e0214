#include "resources/texttable.h"

#include <QFile>
#include <QLocale>
#include <algorithm>

namespace {

QString resourcePath(TextLanguage language)
{
    return language == TextLanguage::Japanese ? QStringLiteral(":/texts/ja.txt")
                                              : QStringLiteral(":/texts/en.txt");
}

QString unescape(QStringView escaped, bool* ok)
{
    QString result;
    result.reserve(escaped.size());
    for (qsizetype i = 0; i < escaped.size(); ++i) {
        const QChar c = escaped[i];
        if (c != u'\\') {
            result += c;
            continue;
        }
        if (++i == escaped.size()) {
            *ok = false;
            return {};
        }
        switch (escaped[i].unicode()) {
        case u'r':
            result += u'\r';
            break;
        case u'n':
            result += u'\n';
            break;
        case u't':
            result += u'\t';
            break;
        case u'\\':
            result += u'\\';
            break;
        default:
            *ok = false;
            return {};
        }
    }
    *ok = true;
    return result;
}

} // namespace

TextTable::TextTable(TextLanguage language) : language_(language)
{
    QFile file(resourcePath(language));
    if (file.open(QIODevice::ReadOnly))
        texts = parse(file.readAll(), &malformedLines_);
}

TextLanguage TextTable::languageFor(const QStringList& uiLanguages)
{
    if (uiLanguages.isEmpty())
        return TextLanguage::English;
    const QLocale first(uiLanguages.first());
    return first.language() == QLocale::Japanese ? TextLanguage::Japanese : TextLanguage::English;
}

const TextTable& TextTable::current()
{
    static const TextTable table(languageFor(QLocale::system().uiLanguages()));
    return table;
}

QString TextTable::text(quint16 id) const
{
    return texts.value(id);
}

QList<quint16> TextTable::ids() const
{
    QList<quint16> result = texts.keys();
    std::sort(result.begin(), result.end());
    return result;
}

QHash<quint16, QString> TextTable::parse(const QByteArray& utf8, QList<int>* malformedLines)
{
    QHash<quint16, QString> result;
    const QString content = QString::fromUtf8(utf8);
    const QStringList lines = content.split(u'\n');
    for (qsizetype index = 0; index < lines.size(); ++index) {
        QStringView line = lines[index];
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const qsizetype tab = line.indexOf(u'\t');
        bool idOk = false;
        bool textOk = false;
        const uint id = tab > 0 ? line.left(tab).toUInt(&idOk) : 0;
        const QString value = idOk ? unescape(line.mid(tab + 1), &textOk) : QString();
        if (!idOk || !textOk || id > 0xffff || result.contains(static_cast<quint16>(id))) {
            if (malformedLines)
                malformedLines->append(static_cast<int>(index + 1));
            continue;
        }
        result.insert(static_cast<quint16>(id), value);
    }
    return result;
}

QString text(TextId id)
{
    return TextTable::current().text(id);
}
