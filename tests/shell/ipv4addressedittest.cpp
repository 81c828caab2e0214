#include "shell/ipv4addressedit.h"

#include "support/qtprinting.h"

#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

namespace {

// Types the text key by key into whichever part has the focus, as a person would.
void typeInto(Ipv4AddressEdit& edit, const QString& text)
{
    edit.part(0)->setFocus();
    for (const QChar character : text) {
        QWidget* target = edit.focusWidget() ? edit.focusWidget() : edit.part(0);
        QTest::keyClick(target, character.toLatin1());
    }
}

QStringList partTexts(const Ipv4AddressEdit& edit)
{
    QStringList texts;
    for (int index = 0; index < 4; ++index)
        texts.append(edit.part(index)->text());
    return texts;
}

struct TypingCase
{
    const char* typed;
    QStringList parts;
    int filled;
    const char* address;
};

} // namespace

TEST(Ipv4AddressEditTest, typingFillsThePartsInTurn)
{
    const TypingCase cases[] = {
        {"192.168.1.20", {"192", "168", "1", "20"}, 4, "192.168.1.20"},
        // A third digit moves on by itself; a dot after it does not skip a part.
        {"192168.1.2", {"192", "168", "1", "2"}, 4, "192.168.1.2"},
        {"10.0", {"10", "0", "", ""}, 2, "10.0.0.0"},
        // A number above 255 cannot be typed; the digit that would make it is refused.
        {"300.256", {"30", "25", "", ""}, 2, "30.25.0.0"},
        // A dot in an empty part stays there: no part is skipped.
        {".5", {"5", "", "", ""}, 1, "5.0.0.0"},
        {"1.2.3.4.5", {"1", "2", "3", "45"}, 4, "1.2.3.45"},
        {"", {"", "", "", ""}, 0, "0.0.0.0"},
    };
    for (const TypingCase& testCase : cases) {
        Ipv4AddressEdit edit;
        edit.show();
        typeInto(edit, QString::fromLatin1(testCase.typed));
        EXPECT_EQ(partTexts(edit), testCase.parts) << testCase.typed;
        EXPECT_EQ(edit.filledParts(), testCase.filled) << testCase.typed;
        EXPECT_EQ(edit.address(), QString::fromLatin1(testCase.address)) << testCase.typed;
    }
}

TEST(Ipv4AddressEditTest, setAddressTakesOnlyAWholeAddress)
{
    const std::pair<const char*, QStringList> cases[] = {
        {"192.168.0.1", {"192", "168", "0", "1"}},
        {"010.001.0.255", {"10", "1", "0", "255"}},
        {"1.2.3", {"", "", "", ""}},
        {"1.2.3.256", {"", "", "", ""}},
        {"1.2.3.-1", {"", "", "", ""}},
        {"a.b.c.d", {"", "", "", ""}},
        {"", {"", "", "", ""}},
    };
    for (const auto& [address, parts] : cases) {
        Ipv4AddressEdit edit;
        edit.setAddress(QStringLiteral("9.9.9.9"));
        edit.setAddress(QString::fromLatin1(address));
        EXPECT_EQ(partTexts(edit), parts) << address;
    }
    Ipv4AddressEdit edit;
    edit.setAddress(QStringLiteral("1.2.3.4"));
    edit.clear();
    EXPECT_EQ(edit.filledParts(), 0);
}
