#include "sockets.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace simulator {

namespace {

bool toSocketAddress(const std::string& address, uint16_t port, sockaddr_in& result)
{
    std::memset(&result, 0, sizeof result);
    result.sin_family = AF_INET;
    result.sin_port = htons(port);
    return inet_pton(AF_INET, address.c_str(), &result.sin_addr) == 1;
}

void makeNonBlocking(int fd)
{
    const int flags = fcntl(fd, F_GETFL, 0);
    fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    fcntl(fd, F_SETFD, FD_CLOEXEC);
}

std::string failure(const char* what, const std::string& address, uint16_t port)
{
    return std::string(what) + " " + address + ":" + std::to_string(port) + ": " +
           std::strerror(errno);
}

} // namespace

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept
{
    if (this != &other) {
        reset();
        fd = other.release();
    }
    return *this;
}

int UniqueFd::release()
{
    const int result = fd;
    fd = -1;
    return result;
}

void UniqueFd::reset()
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

UniqueFd openTcpListener(const std::string& address, uint16_t port, std::string& error)
{
    sockaddr_in where;
    if (!toSocketAddress(address, port, where)) {
        error = "not an IPv4 address: " + address;
        return {};
    }
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM, 0));
    if (!fd) {
        error = failure("cannot create a socket for", address, port);
        return {};
    }
    const int on = 1;
    setsockopt(fd.get(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&where), sizeof where) != 0) {
        error = failure("cannot bind", address, port);
        return {};
    }
    if (::listen(fd.get(), 16) != 0) {
        error = failure("cannot listen on", address, port);
        return {};
    }
    makeNonBlocking(fd.get());
    return fd;
}

uint16_t localPort(int fd)
{
    sockaddr_in where;
    socklen_t length = sizeof where;
    if (getsockname(fd, reinterpret_cast<sockaddr*>(&where), &length) != 0)
        return 0;
    return ntohs(where.sin_port);
}

UniqueFd openDatagramSender(const std::string& address, std::string& error)
{
    sockaddr_in where;
    if (!toSocketAddress(address, 0, where)) {
        error = "not an IPv4 address: " + address;
        return {};
    }
    UniqueFd fd(::socket(AF_INET, SOCK_DGRAM, 0));
    if (!fd) {
        error = failure("cannot create a datagram socket for", address, 0);
        return {};
    }
    // A heartbeat target may be a broadcast address.
    const int on = 1;
    setsockopt(fd.get(), SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    if (::bind(fd.get(), reinterpret_cast<const sockaddr*>(&where), sizeof where) != 0) {
        error = failure("cannot bind", address, 0);
        return {};
    }
    makeNonBlocking(fd.get());
    return fd;
}

UniqueFd acceptConnection(int listener)
{
    UniqueFd fd(::accept(listener, nullptr, nullptr));
    if (!fd)
        return {};
    makeNonBlocking(fd.get());
    const int on = 1;
    setsockopt(fd.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

bool openWakePipe(UniqueFd& readEnd, UniqueFd& writeEnd)
{
    int ends[2];
    if (::pipe(ends) != 0)
        return false;
    readEnd = UniqueFd(ends[0]);
    writeEnd = UniqueFd(ends[1]);
    makeNonBlocking(ends[0]);
    makeNonBlocking(ends[1]);
    return true;
}

void sendDatagram(int fd, const std::string& address, uint16_t port, const std::string& bytes)
{
    sockaddr_in where;
    if (!toSocketAddress(address, port, where))
        return;
    // A lost heartbeat is what the real network does too; the next one follows.
    (void)::sendto(fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&where),
                   sizeof where);
}

bool isIpv4Address(const std::string& text)
{
    in_addr unused;
    return inet_pton(AF_INET, text.c_str(), &unused) == 1;
}

} // namespace simulator
