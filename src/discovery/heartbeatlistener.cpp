#include "discovery/heartbeatlistener.h"

#include <QByteArray>
#include <QStringList>
#include <arpa/inet.h>
#include <array>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int EmptyPollLimit = 20;
constexpr std::size_t DatagramBufferSize = 2048;

} // namespace

QString heartbeatVersion(QByteArrayView datagram, const LocaleCharset& charset)
{
    QByteArray bytes(datagram.data(), datagram.size());
    bytes.replace('\0', ' ');
    const qsizetype marker = bytes.indexOf("Ver");
    if (marker < 0)
        return {};
    const QStringList tokens =
        charset.decode(QByteArrayView(bytes).sliced(marker)).split(u' ', Qt::SkipEmptyParts);
    if (tokens.size() < 2)
        return {};
    const qsizetype comma = tokens[1].indexOf(u',');
    return comma < 0 ? QString() : tokens[1].left(comma);
}

QList<HeardDevice> listenForHeartbeats(bool wantVersions, const LocaleCharset& charset,
                                       const Timing& timing, std::uint16_t port)
{
    QList<HeardDevice> heard;
    const int descriptor =
        ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, IPPROTO_UDP);
    if (descriptor < 0)
        return heard;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    local.sin_addr.s_addr = htonl(INADDR_ANY);
    if (::bind(descriptor, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        ::close(descriptor);
        return heard;
    }

    std::array<char, DatagramBufferSize> buffer;
    int emptyPolls = 0;
    while (heard.size() < MaxHeardDevices && emptyPolls < EmptyPollLimit) {
        sockaddr_in sender{};
        socklen_t senderLength = sizeof sender;
        // A datagram longer than the buffer is cut to it; what is beyond is never read.
        const ssize_t received = ::recvfrom(descriptor, buffer.data(), buffer.size(), 0,
                                            reinterpret_cast<sockaddr*>(&sender), &senderLength);
        if (received <= 0) {
            ++emptyPolls;
            pauseFor(timing.heartbeatPollPause);
            continue;
        }
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &sender.sin_addr, text, sizeof text);
        const QString address = QString::fromLatin1(text);
        const bool known =
            std::any_of(heard.cbegin(), heard.cend(),
                        [&](const HeardDevice& device) { return device.address == address; });
        if (known)
            continue;
        heard.append({address, wantVersions ? heartbeatVersion(
                                                  QByteArrayView(buffer.data(), received), charset)
                                            : QString()});
    }
    ::shutdown(descriptor, SHUT_RDWR);
    ::close(descriptor);
    return heard;
}
