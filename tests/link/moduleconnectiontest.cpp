#include "resources/texttable.h"
#include "support/simulatedadapters.h"

#include <arpa/inet.h>
#include <gmock/gmock.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;
using simulator::Clock;
using simulator::Direction;
using testing::ElementsAre;
using testing::IsEmpty;

namespace {

const std::string Address = "127.0.0.2";
const QString AddressText = QString::fromStdString(Address);

// When the adapter sent its first bytes on the connection, or accepted it.
Clock::time_point firstEvent(const simulator::Adapter& adapter, int connection, Direction direction)
{
    for (const simulator::TranscriptEntry& entry : adapter.transcript()) {
        if (entry.connection == connection && entry.direction == direction)
            return entry.when;
    }
    ADD_FAILURE() << "no such event on connection " << connection;
    return {};
}

milliseconds between(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration_cast<milliseconds>(to - from);
}

} // namespace

class ModuleConnectionTest : public SimulatedAdapters
{};

TEST_F(ModuleConnectionTest, greetingWithoutPasswordPromptIsFollowedByCommandModeEntry)
{
    simulator::Adapter& adapter = addAdapter(adapterAt(Address));
    start();

    ASSERT_EQ(connection().openCommandMode(AddressText, false), Link::Success);

    EXPECT_TRUE(connection().isOpen());
    EXPECT_THAT(receivedTexts(adapter), ElementsAre("$$$"));
    // Connected, closed at once, connected again: the greeting of the second is read.
    ASSERT_EQ(connectionCount(adapter), 2);
    const auto greeting = firstEvent(adapter, 2, Direction::Sent);
    const auto entry = adapter.receivedLines().front();
    EXPECT_EQ(entry.connection, 2);
    const Timing timing = testTiming();
    const milliseconds afterConnect =
        between(firstEvent(adapter, 2, Direction::Connected), entry.when);
    // The adapter notes the connect when its thread gets to it, a few milliseconds late at worst.
    EXPECT_GE(afterConnect, timing.greetingPause + timing.commandModePause - 10ms);
    EXPECT_LT(afterConnect, timing.greetingPause + timing.commandModePause + 60ms);
    EXPECT_GE(between(greeting, entry.when), timing.commandModePause);
    EXPECT_TRUE(connection().replyBuffer().contains("CMD"));
    EXPECT_THAT(dialogs.events(), IsEmpty());
}

TEST_F(ModuleConnectionTest, silentModuleIsReconnectedAndNoGreetingIsRead)
{
    simulator::Adapter& adapter = addAdapter(adapterAt(Address));
    simulator::Faults faults;
    faults.noGreeting = true;
    adapter.setFaults(faults);
    start();

    ASSERT_EQ(connection().openCommandMode(AddressText, false), Link::Success);

    ASSERT_EQ(connectionCount(adapter), 3);
    const std::vector<simulator::ReceivedLine> lines = adapter.receivedLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text, "$$$");
    EXPECT_EQ(lines[0].connection, 3);
    // Only the pause before "$$$" lies between the third connect and the line.
    EXPECT_LT(between(firstEvent(adapter, 3, Direction::Connected), lines[0].when),
              testTiming().commandModePause + 60ms);
}

struct PasswordCase
{
    const char* name;
    QString cached;
    std::optional<QString> typed; // the prompt's answer; nothing: cancelled
    LinkResult expected;
    int prompts;
    const char* lineSent;
    bool wrongPasswordMessage;
    QString cacheAfter;
};

class PasswordPromptTest : public SimulatedAdapters,
                           public testing::WithParamInterface<PasswordCase>
{};

TEST_P(PasswordPromptTest, answersThePasswordPrompt)
{
    const PasswordCase& c = GetParam();
    simulator::Adapter& adapter = addAdapter(adapterAt(Address));
    adapter.setPassword("secret");
    start();
    selected.password = c.cached;
    dialogs.answerPasswordWith(c.typed);

    EXPECT_EQ(connection().openCommandMode(AddressText, false), c.expected);

    EXPECT_EQ(dialogs.passwordPrompts(), c.prompts);
    const std::vector<std::string> lines = receivedTexts(adapter);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), c.lineSent);
    const QStringList expectedMessages =
        c.wrongPasswordMessage ? QStringList{text(TextId::WrongPassword)} : QStringList{};
    EXPECT_EQ(dialogs.messageTexts(), expectedMessages);
    EXPECT_EQ(selected.password, c.cacheAfter);
    EXPECT_EQ(connection().isOpen(), c.expected == Link::Success);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PasswordPromptTest,
    testing::Values(PasswordCase{"typedRightPasswordIsCached", "", QString("secret"), Link::Success,
                                 1, "secret", false, "secret"},
                    PasswordCase{"cachedPasswordIsSentWithoutPrompt", "secret", std::nullopt,
                                 Link::Success, 0, "secret", false, "secret"},
                    PasswordCase{"wrongPasswordEmptiesTheCache", "", QString("guess"),
                                 Link::PeerClosed, 1, "guess", true, ""},
                    PasswordCase{"wrongCachedPasswordEmptiesTheCache", "stale", std::nullopt,
                                 Link::PeerClosed, 0, "stale", true, ""},
                    PasswordCase{"cancelledPromptSendsAnEmptyLine", "", std::nullopt,
                                 Link::PeerClosed, 1, "", true, ""},
                    PasswordCase{"emptyTypedPasswordSendsAnEmptyLine", "", QString(""),
                                 Link::PeerClosed, 1, "", true, ""}),
    [](const testing::TestParamInfo<PasswordCase>& info) { return info.param.name; });

TEST_F(ModuleConnectionTest, passwordPromptWithNoPromptGivesUpSilently)
{
    simulator::Adapter& adapter = addAdapter(adapterAt(Address));
    adapter.setPassword("secret");
    start();

    EXPECT_EQ(connection().openCommandMode(AddressText, true), Link::PasswordNotAllowed);

    EXPECT_FALSE(connection().isOpen());
    EXPECT_THAT(receivedTexts(adapter), IsEmpty());
    EXPECT_THAT(dialogs.events(), IsEmpty());
}

TEST_F(ModuleConnectionTest, wrongPasswordPromptsAgainOnTheNextAttempt)
{
    simulator::Adapter& adapter = addAdapter(adapterAt(Address));
    adapter.setPassword("secret");
    start();
    dialogs.answerPasswordWith(QString("guess"));
    dialogs.answerPasswordWith(QString("secret"));

    EXPECT_EQ(connection().openCommandMode(AddressText, false), Link::PeerClosed);
    EXPECT_EQ(connection().openCommandMode(AddressText, false), Link::Success);

    EXPECT_EQ(dialogs.passwordPrompts(), 2);
    EXPECT_THAT(receivedTexts(adapter), ElementsAre("guess", "secret", "$$$"));
}

TEST_F(ModuleConnectionTest, unansweredCommandModeEntryTimesOut)
{
    simulator::Adapter& adapter = addAdapter(adapterAt(Address));
    start();
    simulator::Faults faults;
    faults.neverAnswer = true;
    adapter.setFaults(faults);

    const auto started = Clock::now();
    EXPECT_EQ(connection().openCommandMode(AddressText, false), Link::Timeout);
    EXPECT_GE(between(started, Clock::now()), testTiming().replyWait);
    EXPECT_FALSE(connection().isOpen());
}

TEST_F(ModuleConnectionTest, refusedConnectionFails)
{
    simulator::Adapter& adapter = addAdapter(adapterAt(Address));
    simulator::Faults faults;
    faults.refuseTcp = true;
    adapter.setFaults(faults);
    start();

    EXPECT_EQ(connection().openCommandMode(AddressText, false), Link::Failure);
    EXPECT_FALSE(connection().isOpen());
}

TEST_F(ModuleConnectionTest, addressTextsThatAreNoIpv4AddressFailWithoutConnecting)
{
    start();
    for (const char* address :
         {"", "127.0.0", "127.0.0.256", "localhost", "127.000.000.0002", " 127.0.0.2", "::1"}) {
        EXPECT_EQ(connection().connectModule(QString::fromLatin1(address)), Link::Failure)
            << address;
        EXPECT_FALSE(connection().isOpen());
    }
}

struct AcknowledgementCase
{
    const char* name;
    const char* command;
    std::string errorOnCommand;
    LinkResult expected;
};

class AcknowledgementTest : public SimulatedAdapters,
                            public testing::WithParamInterface<AcknowledgementCase>
{};

TEST_P(AcknowledgementTest, judgesTheReplyByItsMarker)
{
    const AcknowledgementCase& c = GetParam();
    simulator::Adapter& adapter = addAdapter(adapterAt(Address));
    simulator::Faults faults;
    faults.errorOnCommand = c.errorOnCommand;
    adapter.setFaults(faults);
    start();
    ASSERT_EQ(connection().openCommandMode(AddressText, false), Link::Success);

    EXPECT_EQ(connection().sendCommandAwaitAok(QString::fromLatin1(c.command)), c.expected);
    EXPECT_TRUE(connection().isOpen());
    EXPECT_EQ(receivedTexts(adapter).back(), c.command);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, AcknowledgementTest,
    testing::Values(
        AcknowledgementCase{"acknowledged", "set wlan chan 0", "", Link::Success},
        AcknowledgementCase{"refused", "set wlan chan 0", "set wlan chan", Link::ErrorReply},
        AcknowledgementCase{"badArguments", "set uart baud 12345", "", Link::ErrorReply},
        // The echoed SSID holds "ERR:", the reply "AOK" as well: success.
        AcknowledgementCase{"bothMarkersCountAsSuccess", "set wlan ssid ERR:", "", Link::Success}),
    [](const testing::TestParamInfo<AcknowledgementCase>& info) { return info.param.name; });

TEST_F(ModuleConnectionTest, fiveRepliesWithoutMarkerLeaveTheConnectionOpen)
{
    simulator::Adapter& adapter = addAdapter(adapterAt(Address));
    start();
    ASSERT_EQ(connection().openCommandMode(AddressText, false), Link::Success);
    simulator::Faults faults;
    faults.neverAnswer = true;
    faults.serialData = "temperature=21.5\r\n";
    faults.serialDataInterval = 20ms;
    adapter.setFaults(faults);

    const auto started = Clock::now();
    EXPECT_EQ(connection().sendCommandAwaitAok(QStringLiteral("set comm size 64")), Link::NoMarker);
    EXPECT_GE(between(started, Clock::now()), 5 * testTiming().replyPause);
    EXPECT_TRUE(connection().isOpen());
}

TEST_F(ModuleConnectionTest, markerSplitOverTwoSegmentsIsFoundInNeither)
{
    simulator::Adapter& adapter = addAdapter(adapterAt(Address));
    start();
    ASSERT_EQ(connection().openCommandMode(AddressText, false), Link::Success);
    simulator::Faults faults;
    faults.splitReplies = true;
    faults.splitGap = 3 * testTiming().replyPause;
    adapter.setFaults(faults);

    EXPECT_EQ(connection().sendCommandAwaitAok(QStringLiteral("set wlan chan 0")), Link::Timeout);
    EXPECT_FALSE(connection().isOpen());
}

TEST_F(ModuleConnectionTest, moduleClosingDuringCommandGivesPeerClosed)
{
    simulator::Adapter& adapter = addAdapter(adapterAt(Address));
    start();
    ASSERT_EQ(connection().openCommandMode(AddressText, false), Link::Success);
    simulator::Faults faults;
    faults.closeAfterCommands = 0;
    adapter.setFaults(faults);

    EXPECT_EQ(connection().sendCommandAwaitAok(QStringLiteral("set wlan chan 0")),
              Link::PeerClosed);
    EXPECT_FALSE(connection().isOpen());
    // Sending on a closed connection fails, and the program survives writing to a dead peer.
    EXPECT_EQ(connection().sendLine(QStringLiteral("get ip")), Link::Failure);
}

TEST_F(ModuleConnectionTest, sendingToAModuleThatClosedItsSideNeverRaisesSigpipe)
{
    simulator::Adapter& adapter = addAdapter(adapterAt(Address));
    start();
    ASSERT_EQ(connection().openCommandMode(AddressText, false), Link::Success);
    simulator::Faults faults;
    faults.closeAfterCommands = 0;
    adapter.setFaults(faults);

    LinkResult last = Link::Success;
    for (int attempt = 0; attempt < 50 && last == Link::Success; ++attempt) {
        last = connection().sendLine(QStringLiteral("get ip"));
        std::this_thread::sleep_for(10ms);
    }
    EXPECT_EQ(last, Link::Failure);
}

TEST_F(ModuleConnectionTest, oversizedReplyStaysTerminated)
{
    simulator::Adapter& adapter = addAdapter(adapterAt(Address));
    start();
    ASSERT_EQ(connection().openCommandMode(AddressText, false), Link::Success);
    simulator::Faults faults;
    faults.oversizedReply = true;
    adapter.setFaults(faults);

    ASSERT_EQ(connection().sendLine(QStringLiteral("get comm")), Link::Success);
    pauseFor(testTiming().replyPause);
    ASSERT_EQ(connection().receiveReply(true), Link::Success);
    EXPECT_LE(connection().replyBuffer().text().size(), qsizetype(ReplyBuffer::ReceiveLimit));
    EXPECT_EQ(connection().replyBuffer().data()[ReplyBuffer::Size - 1], '\0');
}

TEST_F(ModuleConnectionTest, unansweredQueryTimesOutAndCloses)
{
    simulator::Adapter& adapter = addAdapter(adapterAt(Address));
    start();
    ASSERT_EQ(connection().openCommandMode(AddressText, false), Link::Success);
    simulator::Faults faults;
    faults.neverAnswer = true;
    adapter.setFaults(faults);

    ASSERT_EQ(connection().sendLine(QStringLiteral("get ip")), Link::Success);
    const auto started = Clock::now();
    EXPECT_EQ(connection().receiveReply(true), Link::Timeout);
    EXPECT_GE(between(started, Clock::now()), testTiming().replyWait);
    EXPECT_FALSE(connection().isOpen());
    // The buffer keeps the last reply after the connection closed.
    EXPECT_TRUE(connection().replyBuffer().contains("CMD"));
}

TEST_F(ModuleConnectionTest, closingTwiceDoesNothing)
{
    addAdapter(adapterAt(Address));
    start();
    ASSERT_EQ(connection().openCommandMode(AddressText, false), Link::Success);

    connection().closeConnection();
    connection().closeConnection();

    EXPECT_FALSE(connection().isOpen());
}

struct RefusedLineCase
{
    const char* name;
    QString command;
    LineRefusal refusal;
};

class RefusedLineTest : public SimulatedAdapters,
                        public testing::WithParamInterface<RefusedLineCase>
{};

TEST_P(RefusedLineTest, refusedLineSendsNothing)
{
    const RefusedLineCase& c = GetParam();
    simulator::Adapter& adapter = addAdapter(adapterAt(Address));
    start();
    ASSERT_EQ(connection().openCommandMode(AddressText, false), Link::Success);

    EXPECT_EQ(connection().sendLine(c.command), Link::Failure);
    EXPECT_EQ(connection().lastLineRefusal(), c.refusal);
    EXPECT_EQ(connection().sendCommandAwaitAok(c.command), Link::SendFailed);
    EXPECT_TRUE(connection().isOpen());

    // A line sent afterwards arrives alone: nothing of the refused ones went out.
    ASSERT_EQ(connection().sendLine(QStringLiteral("get ip")), Link::Success);
    pauseFor(testTiming().replyPause);
    ASSERT_EQ(connection().receiveReply(true), Link::Success);
    EXPECT_THAT(receivedTexts(adapter), ElementsAre("$$$", "get ip"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RefusedLineTest,
    testing::Values(
        RefusedLineCase{"longerThan255Bytes", QStringLiteral("set wlan ssid ") + QString(240, u'a'),
                        LineRefusal::TooLong},
        // Characters count in bytes after conversion: 85 three-byte characters and CR LF.
        RefusedLineCase{"multiByteCharactersCountAsBytes", QString(85, QChar(0x65E5)),
                        LineRefusal::TooLong},
        RefusedLineCase{"carriageReturnInValue", QStringLiteral("set wlan ssid a\rfactory RESET"),
                        LineRefusal::LineBreak},
        RefusedLineCase{"lineFeedInValue", QStringLiteral("set wlan ssid a\nfactory RESET"),
                        LineRefusal::LineBreak},
        RefusedLineCase{"nulInValue", QStringLiteral("set wlan ssid a") + QChar(0) + "b",
                        LineRefusal::LineBreak}),
    [](const testing::TestParamInfo<RefusedLineCase>& info) { return info.param.name; });

TEST_F(ModuleConnectionTest, lineOfExactly255BytesIsSent)
{
    simulator::Adapter& adapter = addAdapter(adapterAt(Address));
    start();
    ASSERT_EQ(connection().openCommandMode(AddressText, false), Link::Success);
    const QString ssid(253 - 14, u'b');

    EXPECT_EQ(connection().sendCommandAwaitAok(QStringLiteral("set wlan ssid ") + ssid),
              Link::Success);
    EXPECT_EQ(adapter.runningSettings().ssid, ssid.toStdString());
}

// A port whose listener never accepts and whose queue is full drops every further SYN, so a
// connect there waits like one to a silent address.
TEST_F(ModuleConnectionTest, connectToASilentAddressGivesUpAfterTheConnectWait)
{
    start();
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    ::inet_pton(AF_INET, "127.0.0.60", &local.sin_addr);
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&local), sizeof local), 0);
    ASSERT_EQ(::listen(listener, 0), 0);
    socklen_t length = sizeof local;
    ::getsockname(listener, reinterpret_cast<sockaddr*>(&local), &length);
    std::vector<int> queued;
    for (int i = 0; i < 3; ++i) {
        queued.push_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0));
        ::connect(queued.back(), reinterpret_cast<sockaddr*>(&local), sizeof local);
    }
    std::this_thread::sleep_for(50ms);
    Timing timing = testTiming();
    timing.connectWait = 500ms;
    ModuleConnection silent(dialogs, selected, LocaleCharset("UTF-8"), timing,
                            ntohs(local.sin_port));

    const auto started = Clock::now();
    EXPECT_EQ(silent.connectModule(QStringLiteral("127.0.0.60")), Link::Failure);
    const milliseconds waited = between(started, Clock::now());
    EXPECT_GE(waited, timing.connectWait);
    EXPECT_LT(waited, timing.connectWait + 300ms);
    EXPECT_FALSE(silent.isOpen());

    for (const int socket : queued)
        ::close(socket);
    ::close(listener);
}
