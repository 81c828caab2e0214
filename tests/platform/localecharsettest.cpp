#include "platform/localecharset.h"

#include "support/simulatedadapters.h"

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <clocale>
#include <cstdlib>
#include <gtest/gtest.h>

TEST(LocaleCharsetTest, convertsBothWaysInTheNamedCharacterSet)
{
    const QString japanese = QString::fromUtf8("日本");
    const LocaleCharset eucJp("EUC-JP");
    EXPECT_EQ(eucJp.encode(japanese), QByteArray("\xc6\xfc\xcb\xdc"));
    EXPECT_EQ(eucJp.decode(QByteArray("\xc6\xfc\xcb\xdc")), japanese);

    const LocaleCharset utf8("UTF-8");
    EXPECT_EQ(utf8.encode(japanese), japanese.toUtf8());
    EXPECT_EQ(utf8.decode(japanese.toUtf8()), japanese);
    EXPECT_EQ(utf8.encode(QString()), QByteArray());
}

TEST(LocaleCharsetTest, refusesCharactersTheSetCannotHold)
{
    EXPECT_EQ(LocaleCharset("ANSI_X3.4-1968").encode(QString::fromUtf8("café")), std::nullopt);
    EXPECT_EQ(LocaleCharset("EUC-JP").encode(QString::fromUtf8("😀")), std::nullopt);
    EXPECT_EQ(LocaleCharset("ISO-8859-1").encode(QString::fromUtf8("日")), std::nullopt);
    EXPECT_EQ(LocaleCharset("NO-SUCH-CHARSET").encode(QStringLiteral("abc")), std::nullopt);
}

TEST(LocaleCharsetTest, invalidBytesDecodeAsReplacementCharacters)
{
    const QString decoded = LocaleCharset("UTF-8").decode(QByteArray("a\xff"
                                                                     "b\xe6"));
    EXPECT_EQ(decoded, QStringLiteral("a") + QChar::ReplacementCharacter + QStringLiteral("b") +
                           QChar::ReplacementCharacter);
    EXPECT_EQ(LocaleCharset("EUC-JP").decode(QByteArray("\xc6")),
              QString(QChar::ReplacementCharacter));
}

// The program converts in the character set of the locale it was started in, not always UTF-8.
class JapaneseLegacyLocaleTest : public SimulatedAdapters
{
protected:
    void SetUp() override
    {
        const QString localedef = QStandardPaths::findExecutable(QStringLiteral("localedef"));
        if (localedef.isEmpty() || !locales.isValid())
            GTEST_SKIP() << "localedef is not installed";
        const int status =
            QProcess::execute(localedef, {QStringLiteral("-i"), QStringLiteral("ja_JP"),
                                          QStringLiteral("-f"), QStringLiteral("EUC-JP"),
                                          locales.filePath(QStringLiteral("ja_JP.EUC-JP"))});
        if (status != 0 && status != 1) // 1: written with warnings
            GTEST_SKIP() << "localedef could not build ja_JP.EUC-JP";
        setenv("LOCPATH", QFile::encodeName(locales.path()).constData(), 1);
        setenv("LC_ALL", "ja_JP.EUC-JP", 1);
    }

    void TearDown() override
    {
        unsetenv("LOCPATH");
        unsetenv("LC_ALL");
        std::setlocale(LC_ALL, "C");
    }

    QTemporaryDir locales;
};

TEST_F(JapaneseLegacyLocaleTest, commandLinesTravelInTheLocaleCharacterSet)
{
    const LocaleCharset charset = LocaleCharset::ofUserLocale();
    ASSERT_EQ(charset.name(), QByteArray("EUC-JP"));

    simulator::Adapter& adapter = addAdapter(adapterAt("127.0.0.2"));
    start();
    ModuleConnection eucConnection(dialogs, selected, charset, testTiming(),
                                   simulated->commandPort());
    ASSERT_EQ(eucConnection.openCommandMode(QStringLiteral("127.0.0.2"), false), Link::Success);
    const QString ssid = QString::fromUtf8("日本の無線");

    ASSERT_EQ(eucConnection.sendCommandAwaitAok(QStringLiteral("set wlan ssid ") + ssid),
              Link::Success);
    EXPECT_EQ(adapter.runningSettings().ssid, charset.encode(ssid)->toStdString());

    ASSERT_EQ(eucConnection.sendLine(QStringLiteral("get wlan")), Link::Success);
    pauseFor(testTiming().replyPause);
    ASSERT_EQ(eucConnection.receiveReply(true), Link::Success);
    EXPECT_TRUE(eucConnection.replyText().contains(QStringLiteral("SSID=") + ssid));

    // A character EUC-JP lacks is refused, not sent as something else.
    EXPECT_EQ(eucConnection.sendLine(QStringLiteral("set wlan ssid ") + QString::fromUtf8("😀")),
              Link::Failure);
    EXPECT_EQ(eucConnection.lastLineRefusal(), LineRefusal::Unencodable);
}
