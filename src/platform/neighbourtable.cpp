#include "platform/neighbourtable.h"

#include <QFile>
#include <QList>
#include <arpa/inet.h>
#include <cstring>
#include <netinet/in.h>
#include <netinet/ip_icmp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr unsigned CompleteFlag = 0x2; // ATF_COM
constexpr std::chrono::milliseconds TableCheckInterval{20};

// One packet that makes the kernel resolve the address: an echo request where unprivileged
// echo sockets are allowed (its reply ends the wait early), else an empty datagram to the
// discard port, which needs the neighbour's hardware address just the same.
int sendResolvingPacket(const sockaddr_in& target)
{
    int descriptor = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP);
    if (descriptor >= 0) {
        // One byte of payload; the kernel fills in the identifier and the checksum.
        icmphdr echo{};
        echo.type = ICMP_ECHO;
        echo.un.echo.sequence = htons(1);
        char bytes[sizeof echo + 1] = {};
        std::memcpy(bytes, &echo, sizeof echo);
        if (::sendto(descriptor, bytes, sizeof bytes, 0, reinterpret_cast<const sockaddr*>(&target),
                     sizeof target) >= 0)
            return descriptor;
        ::close(descriptor);
    }
    descriptor = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
    if (descriptor < 0)
        return -1;
    sockaddr_in discard = target;
    discard.sin_port = htons(9);
    ::sendto(descriptor, "", 0, 0, reinterpret_cast<const sockaddr*>(&discard), sizeof discard);
    return descriptor;
}

} // namespace

std::optional<QString> findHardwareAddress(const QByteArray& listing, const QString& address)
{
    const QByteArray wanted = address.toLatin1();
    const QList<QByteArray> lines = listing.split('\n');
    // The first line holds the column headings.
    for (qsizetype index = 1; index < lines.size(); ++index) {
        const QList<QByteArray> columns = lines[index].simplified().split(' ');
        if (columns.size() < 4 || columns[0] != wanted)
            continue;
        bool ok = false;
        const unsigned flags = columns[2].toUInt(&ok, 16);
        const QByteArray& hardware = columns[3];
        if (!ok || !(flags & CompleteFlag) || hardware == "00:00:00:00:00:00")
            return std::nullopt;
        return QString::fromLatin1(hardware);
    }
    return std::nullopt;
}

LinuxNeighbourTable::LinuxNeighbourTable(QString listingPath) : listingPath(std::move(listingPath))
{}

void LinuxNeighbourTable::refresh(const QString& address, std::chrono::milliseconds wait)
{
    sockaddr_in target{};
    target.sin_family = AF_INET;
    if (::inet_pton(AF_INET, address.toLatin1().constData(), &target.sin_addr) != 1)
        return;
    const int descriptor = sendResolvingPacket(target);
    if (descriptor < 0)
        return;
    const auto deadline = std::chrono::steady_clock::now() + wait;
    // Look at the table again whenever something came back, and every few milliseconds.
    while (!hardwareAddress(address) && std::chrono::steady_clock::now() < deadline) {
        pollfd entry{descriptor, POLLIN, 0};
        if (::poll(&entry, 1, static_cast<int>(TableCheckInterval.count())) > 0) {
            char discard[64];
            ::recv(descriptor, discard, sizeof discard, MSG_DONTWAIT);
        }
    }
    ::close(descriptor);
}

std::optional<QString> LinuxNeighbourTable::hardwareAddress(const QString& address) const
{
    QFile listing(listingPath);
    if (!listing.open(QIODevice::ReadOnly))
        return std::nullopt;
    // The kernel's file reports size 0: read it until its end.
    return findHardwareAddress(listing.readAll(), address);
}
