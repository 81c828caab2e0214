#include "simulator/moduleclient.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

using simulator::Clock;
using std::chrono::milliseconds;

namespace {

sockaddr_in socketAddress(const std::string& address, uint16_t port)
{
    sockaddr_in where;
    std::memset(&where, 0, sizeof where);
    where.sin_family = AF_INET;
    where.sin_port = htons(port);
    inet_pton(AF_INET, address.c_str(), &where.sin_addr);
    return where;
}

bool readable(int fd, milliseconds timeout)
{
    pollfd polled{fd, POLLIN, 0};
    return ::poll(&polled, 1, static_cast<int>(timeout.count())) > 0;
}

milliseconds left(Clock::time_point deadline)
{
    const auto remaining = std::chrono::ceil<milliseconds>(deadline - Clock::now());
    return remaining.count() > 0 ? remaining : milliseconds(0);
}

} // namespace

ModuleClient::ModuleClient(ModuleClient&& other) noexcept
    : fd(other.fd), pending(std::move(other.pending)), peerClosed(other.peerClosed)
{
    other.fd = -1;
}

ModuleClient& ModuleClient::operator=(ModuleClient&& other) noexcept
{
    if (this != &other) {
        close();
        fd = other.fd;
        pending = std::move(other.pending);
        peerClosed = other.peerClosed;
        other.fd = -1;
    }
    return *this;
}

bool ModuleClient::connect(const std::string& address, uint16_t port)
{
    close();
    fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in where = socketAddress(address, port);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&where), sizeof where) != 0) {
        close();
        return false;
    }
    return true;
}

void ModuleClient::close()
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
    pending.clear();
    peerClosed = false;
}

bool ModuleClient::send(const std::string& bytes)
{
    return fd >= 0 && ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) ==
                          static_cast<ssize_t>(bytes.size());
}

std::optional<ModuleClient::Segment> ModuleClient::receiveOnce(milliseconds timeout)
{
    if (fd < 0 || peerClosed || !readable(fd, timeout))
        return std::nullopt;
    char buffer[8192];
    const ssize_t count = ::recv(fd, buffer, sizeof buffer, 0);
    const Clock::time_point when = Clock::now();
    if (count <= 0) {
        peerClosed = true;
        return std::nullopt;
    }
    return Segment{std::string(buffer, static_cast<std::size_t>(count)), when};
}

std::string ModuleClient::readUntil(const std::string& marker, milliseconds timeout)
{
    const Clock::time_point deadline = Clock::now() + timeout;
    while (pending.find(marker) == std::string::npos) {
        const std::optional<Segment> segment = receiveOnce(left(deadline));
        if (!segment)
            break;
        pending += segment->bytes;
    }
    const std::size_t at = pending.find(marker);
    const std::size_t end = at == std::string::npos ? pending.size() : at + marker.size();
    std::string result = pending.substr(0, end);
    pending.erase(0, end);
    return result;
}

std::string ModuleClient::readFor(milliseconds time)
{
    const Clock::time_point deadline = Clock::now() + time;
    std::string result;
    result.swap(pending);
    while (Clock::now() < deadline) {
        if (const std::optional<Segment> segment = receiveOnce(left(deadline)))
            result += segment->bytes;
        else if (peerClosed)
            break;
    }
    return result;
}

bool ModuleClient::closedByAdapter(milliseconds timeout, std::string* received)
{
    const Clock::time_point deadline = Clock::now() + timeout;
    std::string before;
    before.swap(pending);
    while (!peerClosed && Clock::now() < deadline) {
        if (const std::optional<Segment> segment = receiveOnce(left(deadline)))
            before += segment->bytes;
    }
    if (received != nullptr)
        *received = before;
    return peerClosed;
}

std::string ModuleClient::command(const std::string& line, const std::string& prompt)
{
    send(line + "\r\n");
    return readUntil(prompt);
}

bool ModuleClient::enterCommandMode(const std::string& address, uint16_t port,
                                    const std::string& password)
{
    if (!connect(address, port))
        return false;
    if (!password.empty()) {
        if (readUntil("PASS?") != "PASS?")
            return false;
        send(password + "\r\n");
    }
    if (readUntil("*HELLO*") != "*HELLO*")
        return false;
    send("$$$\r\n");
    return readUntil("CMD\r\n") == "CMD\r\n";
}

HeartbeatReceiver::HeartbeatReceiver()
{
    fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    const sockaddr_in where = socketAddress("127.0.0.1", 0);
    if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr*>(&where), sizeof where) != 0)
        throw std::runtime_error("cannot bind the heartbeat receiver");
    sockaddr_in bound;
    socklen_t length = sizeof bound;
    getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &length);
    boundPort = ntohs(bound.sin_port);
}

HeartbeatReceiver::~HeartbeatReceiver()
{
    ::close(fd);
}

std::optional<HeartbeatReceiver::Datagram> HeartbeatReceiver::receive(milliseconds timeout)
{
    if (!readable(fd, timeout))
        return std::nullopt;
    char buffer[2048];
    sockaddr_in from;
    socklen_t length = sizeof from;
    const ssize_t count =
        ::recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &length);
    if (count < 0)
        return std::nullopt;
    char sender[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &from.sin_addr, sender, sizeof sender);
    return Datagram{std::string(buffer, static_cast<std::size_t>(count)), sender, Clock::now()};
}

void HeartbeatReceiver::discard()
{
    while (receive(milliseconds(0))) {
    }
}
