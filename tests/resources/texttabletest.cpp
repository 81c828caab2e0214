#include "resources/texttable.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

namespace {

QStringList placeholders(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral("%[sdx1]"));
    QStringList found;
    for (const QRegularExpressionMatch& match : pattern.globalMatch(text))
        found.append(match.captured());
    return found;
}

} // namespace

TEST(TextTableTest, bothLanguagesHaveTheSameIdsAndPlaceholders)
{
    const TextTable english(TextLanguage::English);
    const TextTable japanese(TextLanguage::Japanese);

    EXPECT_TRUE(english.malformedLines().isEmpty()) << english.malformedLines().size();
    EXPECT_TRUE(japanese.malformedLines().isEmpty()) << japanese.malformedLines().size();
    ASSERT_EQ(english.ids(), japanese.ids());
    EXPECT_EQ(english.ids().size(), 119);
    for (const quint16 id : english.ids()) {
        EXPECT_FALSE(japanese.text(id).isEmpty()) << id;
        EXPECT_EQ(placeholders(english.text(id)), placeholders(japanese.text(id))) << id;
        EXPECT_EQ(english.text(id).count(QStringLiteral("\r\n")),
                  japanese.text(id).count(QStringLiteral("\r\n")))
            << id;
    }
}

TEST(TextTableTest, entriesKeepTheirExactWording)
{
    const TextTable english(TextLanguage::English);
    EXPECT_EQ(english.text(TextId::TurnDipSwitchOff),
              QStringLiteral("Please turn off the DIP switch 1 and click \"OK\" button."));
    EXPECT_EQ(english.text(TextId::SettingsChanged),
              QStringLiteral("Changing settings had bean succeeded."));
    EXPECT_EQ(english.text(TextId::SuffixNotDecimal), QStringLiteral(" must be input number."));
    EXPECT_EQ(english.text(TextId::WifiConnectSettings),
              QStringLiteral("Wi-Fi \r\nConnect Settings"));
    const QString notFound = english.text(TextId::AdapterNotFoundAfterSwitch);
    EXPECT_TRUE(notFound.startsWith(QStringLiteral("The settinged KOV-SL47 is not found")));
    EXPECT_EQ(notFound.count(QStringLiteral("%s")), 3);
    EXPECT_TRUE(notFound.contains(QStringLiteral("\r\n\r\nWhen the PC")));

    const TextTable japanese(TextLanguage::Japanese);
    const std::pair<TextId, const char*> fixed[] = {
        {TextId::SuffixEmpty, "を入力してください。"},
        {TextId::SuffixNotDecimal, "は数字で入力してください。"},
        {TextId::SuffixAboveDecimalMaximum, "は%d以下で入力してください。"},
        {TextId::SuffixNotHex, "は16進数で入力してください。"},
        {TextId::SuffixAboveHexMaximum, "は%x以下で入力してください。"},
        {TextId::SuffixTooManyCharacters, "は%d文字以下で入力してください。"},
        {TextId::EntryTooLong, "%1 文字以内で入力してください。"},
    };
    for (const auto& [id, wording] : fixed)
        EXPECT_EQ(japanese.text(id), QString::fromUtf8(wording)) << static_cast<int>(id);
    // The generic length message reads the same in both languages.
    EXPECT_EQ(english.text(TextId::EntryTooLong), japanese.text(TextId::EntryTooLong));
}

TEST(TextTableTest, missingIdGivesEmptyText)
{
    const TextTable english(TextLanguage::English);
    EXPECT_TRUE(english.text(quint16(149)).isEmpty());
    EXPECT_TRUE(english.text(quint16(0)).isEmpty());
}

TEST(TextTableTest, parsingUnescapesAndReportsBadLines)
{
    QList<int> malformed;
    const QHash<quint16, QString> texts = TextTable::parse("# comment\n"
                                                           "132\tone\\r\\ntwo \\\\ three\n"
                                                           "\n"
                                                           "133\t leading blank kept\r\n"
                                                           "no id\n"
                                                           "134\tbad \\q escape\n"
                                                           "132\tduplicate\n"
                                                           "70000\ttoo large\n",
                                                           &malformed);

    EXPECT_EQ(texts.size(), 2);
    EXPECT_EQ(texts.value(132), QStringLiteral("one\r\ntwo \\ three"));
    EXPECT_EQ(texts.value(133), QStringLiteral(" leading blank kept"));
    EXPECT_EQ(malformed, (QList<int>{5, 6, 7, 8}));
}

TEST(TextTableTest, languageFollowsTheFirstInterfaceLanguage)
{
    const std::pair<QStringList, TextLanguage> cases[] = {
        {{"ja-JP"}, TextLanguage::Japanese},
        {{"ja"}, TextLanguage::Japanese},
        {{"ja-JP", "en-US"}, TextLanguage::Japanese},
        {{"en-US", "ja-JP"}, TextLanguage::English},
        {{"de-DE"}, TextLanguage::English},
        {{"C"}, TextLanguage::English},
        {{}, TextLanguage::English},
    };
    for (const auto& [languages, expected] : cases)
        EXPECT_EQ(TextTable::languageFor(languages), expected) << languages.join(',').toStdString();
}
