#pragma once

// The few POSIX socket operations the simulator needs, each returning an owned descriptor.

#include <cstdint>
#include <string>

namespace simulator {

// Owns one file descriptor and closes it when it goes.
class UniqueFd
{
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { reset(); }

    int get() const { return fd; }
    explicit operator bool() const { return fd >= 0; }
    int release();
    void reset();

private:
    int fd = -1;
};

// A non-blocking TCP listener on address:port (port 0: any free one). On failure the result is
// empty and error says why.
UniqueFd openTcpListener(const std::string& address, uint16_t port, std::string& error);
uint16_t localPort(int fd);
// A non-blocking datagram socket bound to address, so that what it sends comes from there.
UniqueFd openDatagramSender(const std::string& address, std::string& error);
// Accepts one waiting connection as a non-blocking socket without Nagle's delay, so that every
// send leaves at once as its own segment; empty when none is waiting.
UniqueFd acceptConnection(int listener);
// A pipe whose two ends never block, for waking a thread out of poll().
bool openWakePipe(UniqueFd& readEnd, UniqueFd& writeEnd);
void sendDatagram(int fd, const std::string& address, uint16_t port, const std::string& bytes);
bool isIpv4Address(const std::string& text);

} // namespace simulator
