#include "link/replyparsing.h"

#include <cstring>
#include <gtest/gtest.h>

namespace {

ReplyBuffer replyOf(const char* bytes)
{
    ReplyBuffer reply;
    std::strncpy(reply.data(), bytes, ReplyBuffer::ReceiveLimit);
    return reply;
}

} // namespace

struct ValueCase
{
    const char* name;
    const char* text;
    const char* key;
    const char* value;
};

class FindReplyValueTest : public testing::TestWithParam<ValueCase>
{};

TEST_P(FindReplyValueTest, takesTheValueFromTheFirstLineHoldingTheKey)
{
    const ValueCase& c = GetParam();
    EXPECT_EQ(findReplyValue(QString::fromUtf8(c.text), QString::fromUtf8(c.key)),
              QString::fromUtf8(c.value));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FindReplyValueTest,
    testing::Values(
        // The echoed command does not match: the search is case-sensitive.
        ValueCase{"echoedCommandIsSkipped", "get ip\r\n\r\nIP=10.0.0.5:2000\r\n", "IP",
                  "10.0.0.5:2000"},
        // The value is read from position length(key) + 1, not from behind the match.
        ValueCase{"positionIgnoresWhereTheKeyWasFound", "xAB=yz", "AB", "=yz"},
        ValueCase{"lineEqualToKeyIsEmpty", "get opt\r\nPassword\r\n", "Password", ""},
        ValueCase{"keyWithSeparatorOnlyIsEmpty", "Password=\r\nX=1", "Password", ""},
        ValueCase{"firstOfTwoLinesCounts", "SSID=first\r\nSSID=second", "SSID", "first"},
        ValueCase{"carriageReturnsOnly", "a=1\rJoin=4\rb=2", "Join", "4"},
        ValueCase{"lineFeedsOnly", "a=1\nJoin=7\nb=2", "Join", "7"},
        ValueCase{"blankLinesNeverMatch", "\r\n\r\n\r\nLease=86400\r\n\r\n", "Lease", "86400"},
        ValueCase{"valueKeepsSpaces", "SSID=my home net\r\n", "SSID", "my home net"},
        ValueCase{"earlierLineContainingKeyWins", "HOSTIP=9.9.9.9\r\nIP=1.2.3.4:2000", "IP",
                  "TIP=9.9.9.9"},
        ValueCase{"absentKey", "get ip\r\nDHCP=ON\r\n", "GW", ""},
        ValueCase{"emptyKey", "a=1", "", ""}, ValueCase{"emptyText", "", "IP", ""},
        ValueCase{"japaneseValue", "SSID=日本語のネット\r\n", "SSID", "日本語のネット"}),
    [](const testing::TestParamInfo<ValueCase>& info) { return info.param.name; });

struct UartCase
{
    const char* name;
    const char* reply;
    std::optional<int> baudrate;
    std::optional<unsigned> flow;
};

class UartTemplateTest : public testing::TestWithParam<UartCase>
{};

TEST_P(UartTemplateTest, readsTheFieldsUpToTheFirstMismatch)
{
    const UartCase& c = GetParam();
    const UartReply reply = matchUartReply(replyOf(c.reply));
    EXPECT_EQ(reply.baudrate, c.baudrate);
    EXPECT_EQ(reply.flow, c.flow);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UartTemplateTest,
    testing::Values(
        UartCase{
            "fullReply",
            "get uart\r\n\r\nBaudrate=115200\r\nFlow=0x21\r\nMode=0x0\r\nCmd_GPIO=0\r\n<4.00.1> ",
            115200, 0x21u},
        UartCase{"flowWithoutPrefix", "get uart\r\n\r\nBaudrate=9600\r\nFlow=31\r\n", 9600, 0x31u},
        // White space in the layout matches any run of white space, none included.
        UartCase{"whiteSpaceRunsMatchLoosely", "get uart\n \n\tBaudrate=9600 Flow=0x1", 9600, 0x1u},
        UartCase{"noWhiteSpaceAtAll", "get uartBaudrate=2400Flow=0", 2400, 0x0u},
        UartCase{"missingFlowLine", "get uart\r\n\r\nBaudrate=9600\r\nMode=0x0\r\n", 9600,
                 std::nullopt},
        UartCase{"notANumber", "get uart\r\n\r\nBaudrate=fast\r\n", std::nullopt, std::nullopt},
        UartCase{"otherReply", "get ip\r\n\r\nDHCP=ON\r\n", std::nullopt, std::nullopt},
        UartCase{"emptyReply", "", std::nullopt, std::nullopt}),
    [](const testing::TestParamInfo<UartCase>& info) { return info.param.name; });

struct MacCase
{
    const char* name;
    const char* reply;
    std::optional<QByteArray> mac;
};

class MacTemplateTest : public testing::TestWithParam<MacCase>
{};

TEST_P(MacTemplateTest, readsTheMacText)
{
    EXPECT_EQ(matchMacReply(replyOf(GetParam().reply)), GetParam().mac);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MacTemplateTest,
    testing::Values(MacCase{"moduleReply", "get mac\r\n\r\nMac Addr=02:4b:4f:12:34:ab\r\n<4.00.1> ",
                            QByteArray("02:4b:4f:12:34:ab")},
                    // The blank inside "Mac Addr" matches no white space as well.
                    MacCase{"blankMatchesNothing", "get mac\r\n\r\nMacAddr=02:4b:4f:12:34:AB",
                            QByteArray("02:4b:4f:12:34:AB")},
                    MacCase{"onlyNineteenBytes", "get mac\r\n\r\nMac Addr=0123456789abcdefghijKLMN",
                            QByteArray("0123456789abcdefghi")},
                    MacCase{"shortText", "get mac\r\n\r\nMac Addr=ab", QByteArray("ab")},
                    MacCase{"noText", "get mac\r\n\r\nMac Addr=", std::nullopt},
                    MacCase{"otherReply", "get ip\r\n\r\nMac Addr=02:4b:4f:12:34:ab", std::nullopt},
                    MacCase{"emptyReply", "", std::nullopt}),
    [](const testing::TestParamInfo<MacCase>& info) { return info.param.name; });
