#include "platform/neighbourtable.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <unistd.h>

using namespace std::chrono_literals;

namespace {

const QByteArray Listing =
    "IP address       HW type     Flags       HW address            Mask     Device\n"
    "192.168.1.10     0x1         0x2         02:4b:4f:aa:bb:10     *        wlan0\n"
    "192.168.1.1      0x1         0x2         02:4B:4F:AA:BB:CD     *        wlan0\n"
    "192.168.1.2      0x1         0x0         00:00:00:00:00:00     *        wlan0\n"
    "192.168.1.3      0x1         0x0         02:4b:4f:aa:bb:03     *        wlan0\n"
    "10.0.0.7         0x1         0x6         02:42:ac:11:00:07     *        eth0\n";

} // namespace

TEST(NeighbourTableTest, findsTheLineOfExactlyThatAddress)
{
    const std::pair<const char*, std::optional<QString>> cases[] = {
        // 192.168.1.1 is a prefix of 192.168.1.10, listed first.
        {"192.168.1.1", QString("02:4B:4F:AA:BB:CD")},
        {"192.168.1.10", QString("02:4b:4f:aa:bb:10")},
        {"10.0.0.7", QString("02:42:ac:11:00:07")},
        {"192.168.1.2", std::nullopt}, // incomplete: no hardware address yet
        {"192.168.1.3", std::nullopt}, // flags say incomplete
        {"192.168.1.", std::nullopt},
        {"192.168.1.100", std::nullopt},
        {"", std::nullopt},
        {"IP", std::nullopt},
    };
    for (const auto& [address, expected] : cases)
        EXPECT_EQ(findHardwareAddress(Listing, QString::fromLatin1(address)), expected) << address;
    EXPECT_EQ(findHardwareAddress(QByteArray(), QStringLiteral("10.0.0.7")), std::nullopt);
}

TEST(NeighbourTableTest, missingListingGivesNothing)
{
    QTemporaryDir directory;
    const LinuxNeighbourTable table(directory.filePath(QStringLiteral("no-such-file")));
    EXPECT_EQ(table.hardwareAddress(QStringLiteral("10.0.0.7")), std::nullopt);
}

// A second host in a network namespace of the test's own, joined to a first one by a veth pair
// whose far end has a known hardware address. Needs root to create the namespaces.
class NeighbourNamespaceTest : public testing::Test
{
protected:
    void SetUp() override
    {
        if (::geteuid() != 0)
            GTEST_SKIP() << "needs root to create network namespaces";
        ip = QStandardPaths::findExecutable(QStringLiteral("ip"));
        if (ip.isEmpty())
            GTEST_SKIP() << "the ip command (iproute2) is not installed";
        const QString suffix = QString::number(::getpid());
        near = QStringLiteral("kovnear") + suffix;
        far = QStringLiteral("kovfar") + suffix;
        const QString nearLink = QStringLiteral("kn") + suffix;
        const QString farLink = QStringLiteral("kf") + suffix;
        ASSERT_TRUE(run({"netns", "add", near}));
        ASSERT_TRUE(run({"netns", "add", far}));
        ASSERT_TRUE(run({"link", "add", nearLink, "netns", near, "type", "veth", "peer", "name",
                         farLink, "netns", far, "address", "02:00:5e:10:34:ab"}));
        ASSERT_TRUE(run({"-n", near, "addr", "add", "10.213.7.1/24", "dev", nearLink}));
        ASSERT_TRUE(run({"-n", far, "addr", "add", "10.213.7.2/24", "dev", farLink}));
        ASSERT_TRUE(run({"-n", near, "link", "set", nearLink, "up"}));
        ASSERT_TRUE(run({"-n", far, "link", "set", farLink, "up"}));

        original = ::open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
        const int target =
            ::open(("/run/netns/" + near).toLatin1().constData(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(target, 0);
        ASSERT_EQ(::setns(target, CLONE_NEWNET), 0);
        ::close(target);
    }

    void TearDown() override
    {
        if (original >= 0) {
            ::setns(original, CLONE_NEWNET);
            ::close(original);
        }
        if (!near.isEmpty()) {
            run({"netns", "del", near});
            run({"netns", "del", far});
        }
    }

    bool run(const QStringList& arguments) { return QProcess::execute(ip, arguments) == 0; }

    QString ip;
    QString near;
    QString far;
    int original = -1;
};

TEST_F(NeighbourNamespaceTest, oneRefreshFillsTheEntryOfTheNeighbour)
{
    LinuxNeighbourTable table;
    EXPECT_EQ(table.hardwareAddress(QStringLiteral("10.213.7.2")), std::nullopt);

    table.refresh(QStringLiteral("10.213.7.2"), 1000ms);

    EXPECT_EQ(table.hardwareAddress(QStringLiteral("10.213.7.2")), QString("02:00:5e:10:34:ab"));
}

TEST_F(NeighbourNamespaceTest, silentAddressCostsAtMostTheWait)
{
    LinuxNeighbourTable table;
    const auto started = std::chrono::steady_clock::now();

    table.refresh(QStringLiteral("10.213.7.99"), 300ms);

    EXPECT_LT(std::chrono::steady_clock::now() - started, 400ms);
    EXPECT_EQ(table.hardwareAddress(QStringLiteral("10.213.7.99")), std::nullopt);
}
