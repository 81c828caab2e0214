#include "discovery/heartbeatlistener.h"

#include "support/simulatedadapters.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;

struct VersionCase
{
    const char* name;
    QByteArray datagram;
    const char* version;
};

class HeartbeatVersionTest : public testing::TestWithParam<VersionCase>
{};

TEST_P(HeartbeatVersionTest, readsTheTokenAfterVerUpToItsComma)
{
    EXPECT_EQ(heartbeatVersion(GetParam().datagram, LocaleCharset("UTF-8")),
              QString::fromLatin1(GetParam().version));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HeartbeatVersionTest,
    testing::Values(VersionCase{"versionWithComma",
                                QByteArray("\x7f\0\0\x02Ver 4.00.1, Apr 19 2013", 27), "4.00.1"},
                    VersionCase{"refusedVersion", QByteArray("Ver 2.38.3, Jan 1"), "2.38.3"},
                    VersionCase{"noCommaAfterVersion", QByteArray("Ver 4.00.1 Apr"), ""},
                    VersionCase{"laterTokenIsNotExamined", QByteArray("Ver 4.00.1 Apr, 19"), ""},
                    VersionCase{"zeroBytesSeparateLikeSpaces",
                                QByteArray("\0\0Ver\0\0004.00.1,\0\0", 16), "4.00.1"},
                    VersionCase{"markerInsideAWord", QByteArray("xxVer 1.0,"), "1.0"},
                    VersionCase{"firstMarkerCounts", QByteArray("Ver x Ver 2.0,"), ""},
                    VersionCase{"noMarker", QByteArray("version 4.00.1,"), ""},
                    VersionCase{"markerAtTheVeryEnd", QByteArray("\x01\x02Ver"), ""},
                    VersionCase{"commaOnly", QByteArray("Ver ,"), ""},
                    VersionCase{"allZeroBytes", QByteArray(2048, '\0'), ""},
                    VersionCase{"empty", QByteArray(), ""}),
    [](const testing::TestParamInfo<VersionCase>& info) { return info.param.name; });

void sendDatagram(std::uint16_t port, const QByteArray& bytes, const char* from = "127.0.0.1")
{
    const int sender = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    ::inet_pton(AF_INET, from, &local.sin_addr);
    ::bind(sender, reinterpret_cast<sockaddr*>(&local), sizeof local);
    sockaddr_in target{};
    target.sin_family = AF_INET;
    target.sin_port = htons(port);
    target.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::sendto(sender, bytes.constData(), static_cast<size_t>(bytes.size()), 0,
             reinterpret_cast<sockaddr*>(&target), sizeof target);
    ::close(sender);
}

class HeartbeatListenerTest : public SimulatedAdapters
{
protected:
    HeartbeatListenerTest() { sendHeartbeatsTo(port); }

    QList<HeardDevice> listen(bool wantVersions = true)
    {
        return listenForHeartbeats(wantVersions, LocaleCharset("UTF-8"), testTiming(), port);
    }

    const std::uint16_t port = freeUdpPort();
};

TEST_F(HeartbeatListenerTest, eachSenderIsRecordedOnceWithItsVersion)
{
    addAdapter(adapterAt("127.0.0.2"));
    simulator::AdapterConfig old = adapterAt("127.0.0.3");
    old.firmwareVersion = "2.38.3";
    addAdapter(old);
    start();

    const QList<HeardDevice> heard = listen();

    ASSERT_EQ(heard.size(), 2);
    QList<HeardDevice> sorted = heard;
    std::sort(sorted.begin(), sorted.end(),
              [](const HeardDevice& a, const HeardDevice& b) { return a.address < b.address; });
    EXPECT_EQ(sorted[0], (HeardDevice{"127.0.0.2", "4.00.1"}));
    EXPECT_EQ(sorted[1], (HeardDevice{"127.0.0.3", "2.38.3"}));
    EXPECT_TRUE(listen(false).front().version.isEmpty());
}

TEST_F(HeartbeatListenerTest, repeatedHeartbeatsCostNoPauseAndNoEmptyPoll)
{
    options.heartbeatInterval = 2ms;
    addAdapter(adapterAt("127.0.0.2"));
    start();

    const auto started = std::chrono::steady_clock::now();
    const QList<HeardDevice> heard = listen();
    const auto listened = std::chrono::steady_clock::now() - started;

    EXPECT_EQ(heard.size(), 1);
    // Twenty empty polls end the listening whatever else arrived; a known sender's datagram
    // neither paused the loop nor counted.
    const milliseconds emptyPolls = 20 * testTiming().heartbeatPollPause;
    EXPECT_GE(listened, emptyPolls);
    EXPECT_LT(listened, emptyPolls + 500ms);
}

TEST_F(HeartbeatListenerTest, hundredTwentyEighthSenderEndsListeningAtOnce)
{
    for (int host = 1; host <= 130; ++host)
        addAdapter(adapterAt("127.0.1." + std::to_string(host)));
    start();
    // Let every adapter send its first heartbeat before the listening starts.
    std::this_thread::sleep_for(100ms);

    const auto started = std::chrono::steady_clock::now();
    const QList<HeardDevice> heard = listen();

    EXPECT_EQ(heard.size(), MaxHeardDevices);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 10 * testTiming().heartbeatPollPause);
}

TEST_F(HeartbeatListenerTest, hostileDatagramsAreHeardWithoutHarm)
{
    start();
    std::thread sender([this] {
        std::this_thread::sleep_for(20ms);
        sendDatagram(port, QByteArray(4096, 'V'), "127.0.0.5");
        sendDatagram(port, QByteArray(2048, '\0'), "127.0.0.6");
        QByteArray endsInMarker(2048, '\x7f');
        endsInMarker.replace(2045, 3, "Ver");
        sendDatagram(port, endsInMarker, "127.0.0.7");
        QByteArray garbage(1500, '\xff');
        garbage.replace(100, 14, "Ver 9.9.9,\xff\xfe\x00\x01");
        sendDatagram(port, garbage, "127.0.0.8");
        sendDatagram(port, QByteArray(), "127.0.0.9");
    });

    const QList<HeardDevice> heard = listen();
    sender.join();

    // The empty datagram counts as nothing heard.
    ASSERT_EQ(heard.size(), 4);
    EXPECT_EQ(heard[0], (HeardDevice{"127.0.0.5", ""}));
    EXPECT_EQ(heard[1], (HeardDevice{"127.0.0.6", ""}));
    EXPECT_EQ(heard[2], (HeardDevice{"127.0.0.7", ""}));
    EXPECT_EQ(heard[3], (HeardDevice{"127.0.0.8", "9.9.9"}));
}

TEST_F(HeartbeatListenerTest, portHeldByAnotherProgramFindsNothingAtOnce)
{
    addAdapter(adapterAt("127.0.0.2"));
    start();
    const int holder = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    ASSERT_EQ(::bind(holder, reinterpret_cast<sockaddr*>(&local), sizeof local), 0);

    const auto started = std::chrono::steady_clock::now();
    EXPECT_TRUE(listen().isEmpty());
    EXPECT_LT(std::chrono::steady_clock::now() - started, testTiming().heartbeatPollPause);
    ::close(holder);
}
