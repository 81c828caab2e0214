#include "link/moduleconnection.h"

#include "resources/texttable.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// Waits for the events on the descriptor; false only when the time ran out. poll rather than
// select, so that a descriptor number above FD_SETSIZE cannot overrun a descriptor set.
bool waitFor(int descriptor, short events, milliseconds timeout)
{
    const auto deadline = Clock::now() + timeout;
    for (;;) {
        // Rounded up, so that the wait is never shorter than asked.
        const auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now()).count();
        pollfd entry{descriptor, events, 0};
        const int ready = ::poll(&entry, 1, left > 0 ? static_cast<int>(left) : 0);
        if (ready > 0)
            return true;
        if (ready == 0 && Clock::now() >= deadline)
            return false;
        if (ready < 0 && errno != EINTR)
            return true; // a failing wait is no timeout: the caller goes on and sees the error
    }
}

} // namespace

ModuleConnection::ModuleConnection(UserDialogs& dialogs, SelectedDevice& selected,
                                   LocaleCharset charset, Timing timing, std::uint16_t port)
    : dialogs_(dialogs), selected(selected), charset_(std::move(charset)), timing_(timing),
      port(port)
{}

ModuleConnection::~ModuleConnection()
{
    closeConnection();
}

LinkResult ModuleConnection::connectModule(const QString& address)
{
    closeConnection();

    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_port = htons(port);
    const std::optional<QByteArray> addressBytes = charset_.encode(address);
    if (address.size() > MaxAddressLength || !addressBytes ||
        ::inet_pton(AF_INET, addressBytes->constData(), &peer.sin_addr) != 1)
        return Link::Failure;

    socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socket < 0)
        return Link::Failure;

    // Connect without blocking and wait for the outcome, so that a silent address costs the same
    // bounded wait as every other step rather than the system's much longer connect timeout.
    if (!setNonBlocking(true)) {
        closeConnection();
        return Link::Failure;
    }
    bool connected = ::connect(socket, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0;
    if (!connected && errno == EINPROGRESS && waitFor(socket, POLLOUT, timing_.connectWait)) {
        int error = 0;
        socklen_t length = sizeof error;
        connected = ::getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
    }
    if (!connected || !setNonBlocking(false)) {
        closeConnection();
        return Link::Failure;
    }
    return Link::Success;
}

LinkResult ModuleConnection::openCommandMode(const QString& address, bool noPrompt)
{
    // The module accepts the second connection more reliably than a first one after it booted.
    connectModule(address);
    closeConnection();
    if (const LinkResult result = connectModule(address); result != Link::Success)
        return result;

    // Read the greeting without waiting beyond the pause: a module may send none.
    reply.clear();
    setNonBlocking(true);
    pauseFor(timing_.greetingPause);
    const LinkResult greeting = receiveReply(false);
    if (isOpen())
        setNonBlocking(false);

    if (greeting != Link::Success) {
        closeConnection();
        if (const LinkResult result = connectModule(address); result != Link::Success)
            return result;
        reply.clear(); // no greeting: no password is sent
    }

    if (reply.contains("PASS?")) {
        if (noPrompt) {
            closeConnection();
            return Link::PasswordNotAllowed;
        }
        if (selected.password.isEmpty()) {
            if (const std::optional<QString> typed = dialogs_.askPassword())
                selected.password = *typed;
        }
        if (sendLine(selected.password) != Link::Success) {
            closeConnection();
            passwordFailed();
            return Link::Failure;
        }
        if (const LinkResult result = receiveReply(true); result != Link::Success) {
            passwordFailed();
            return result;
        }
        if (reply.data()[0] == '\0') {
            closeConnection();
            passwordFailed();
            return Link::EmptyPasswordReply;
        }
    }

    pauseFor(timing_.commandModePause);
    if (sendLine(QStringLiteral("$$$")) != Link::Success) {
        closeConnection();
        showWarning(dialogs_, TextId::SendFailed);
        return Link::Failure;
    }
    pauseFor(timing_.commandModePause);
    return receiveReply(true);
}

LinkResult ModuleConnection::sendLine(const QString& command)
{
    lastRefusal = checkLine(command);
    if (lastRefusal != LineRefusal::None)
        return Link::Failure;
    const QByteArray line = *charset_.encode(command + QStringLiteral("\r\n"));
    if (!isOpen())
        return Link::Failure;
    // MSG_NOSIGNAL: a module that has closed its side makes the send fail instead of raising
    // SIGPIPE, which would end the program.
    const ssize_t sent =
        ::send(socket, line.constData(), static_cast<size_t>(line.size()), MSG_NOSIGNAL);
    return sent < 0 ? Link::Failure : Link::Success;
}

LineRefusal ModuleConnection::checkLine(const QString& command) const
{
    // A line break or NUL inside a typed value would end the line early and let the rest reach
    // the module as a command of its own.
    for (const QChar c : command) {
        if (c == u'\r' || c == u'\n' || c == u'\0')
            return LineRefusal::LineBreak;
    }
    const std::optional<QByteArray> line = charset_.encode(command + QStringLiteral("\r\n"));
    if (!line)
        return LineRefusal::Unencodable;
    if (line->size() > MaxLineBytes)
        return LineRefusal::TooLong;
    return LineRefusal::None;
}

LinkResult ModuleConnection::receiveReply(bool waitForData)
{
    if (waitForData && !waitUntilReadable()) {
        closeConnection();
        return Link::Timeout;
    }
    return receiveOnce();
}

LinkResult ModuleConnection::receiveOnce()
{
    reply.clear();
    if (!isOpen())
        return Link::Failure;
    const ssize_t received = ::recv(socket, reply.data(), ReplyBuffer::ReceiveLimit, 0);
    if (received > 0)
        return Link::Success;
    closeConnection();
    return received == 0 ? Link::PeerClosed : Link::Failure;
}

LinkResult ModuleConnection::sendCommandAwaitAok(const QString& command)
{
    if (sendLine(command) != Link::Success)
        return Link::SendFailed;
    for (int pass = 0; pass < 5; ++pass) {
        pauseFor(timing_.replyPause);
        if (const LinkResult result = receiveReply(true); result != Link::Success)
            return result;
        // Each receive is judged on its own: replies are not put together.
        if (reply.contains("AOK"))
            return Link::Success;
        if (reply.contains("ERR:"))
            return Link::ErrorReply;
    }
    return Link::NoMarker;
}

void ModuleConnection::closeConnection()
{
    if (!isOpen())
        return;
    ::shutdown(socket, SHUT_RDWR);
    ::close(socket);
    socket = -1;
}

QString ModuleConnection::replyText() const
{
    return charset_.decode(reply.text());
}

bool ModuleConnection::waitUntilReadable()
{
    return !isOpen() || waitFor(socket, POLLIN, timing_.replyWait);
}

bool ModuleConnection::setNonBlocking(bool on)
{
    const int flags = ::fcntl(socket, F_GETFL);
    if (flags < 0)
        return false;
    return ::fcntl(socket, F_SETFL, on ? flags | O_NONBLOCK : flags & ~O_NONBLOCK) == 0;
}

void ModuleConnection::passwordFailed()
{
    showWarning(dialogs_, TextId::WrongPassword);
    selected.password.clear();
}
