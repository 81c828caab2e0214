#include "adapternetwork.h"

#include "heartbeat.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace simulator {

namespace {

constexpr std::size_t OversizedReplySize = 3000;
// Serial data may come without any line end; no command needs more of one line than this.
constexpr std::size_t LineLimit = 4096;
constexpr int PortAttempts = 10;
constexpr milliseconds BindRetry{50};
constexpr milliseconds ShortestInterval{1};

// Pads a reply with a line of filler before its prompt, so that its keys stay where they were.
// The reply without its lines that begin with one of the keys and "=".
std::string withoutKeys(const std::string& reply, const std::vector<std::string>& keys)
{
    std::string kept;
    std::size_t start = 0;
    while (start < reply.size()) {
        std::size_t end = reply.find("\r\n", start);
        end = end == std::string::npos ? reply.size() : end + 2;
        const std::string line = reply.substr(start, end - start);
        const bool omitted = std::any_of(keys.begin(), keys.end(), [&](const std::string& key) {
            return line.rfind(key + "=", 0) == 0;
        });
        if (!omitted)
            kept += line;
        start = end;
    }
    return kept;
}

std::string paddedTo(std::size_t size, const std::string& reply, const std::string& prompt)
{
    const std::size_t lineEnd = 2;
    if (reply.size() + lineEnd >= size)
        return reply;
    const bool endsInPrompt =
        reply.size() >= prompt.size() &&
        reply.compare(reply.size() - prompt.size(), prompt.size(), prompt) == 0;
    const std::size_t fillerAt = endsInPrompt ? reply.size() - prompt.size() : reply.size();
    return reply.substr(0, fillerAt) + std::string(size - reply.size() - lineEnd, '-') + "\r\n" +
           reply.substr(fillerAt);
}

// Bytes of the same length that hold no text at all, zero bytes and 0xff among them.
std::string garbled(const std::string& reply)
{
    static constexpr unsigned char Noise[] = {0xff, 0x00, 0xfe, 0x80, 0x01, 0x9b, 0x00, 0xc3};
    std::string noise(reply.size(), '\0');
    for (std::size_t i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<char>(Noise[i % sizeof Noise]);
    return noise;
}

// Inside "AOK" when the reply holds it, so that neither part holds the marker; else the middle.
std::size_t splitPoint(const std::string& reply)
{
    const std::size_t marker = reply.find("AOK");
    return marker != std::string::npos ? marker + 2 : reply.size() / 2;
}

// A line for the log: control and non-ASCII bytes become \xNN.
std::string readable(const std::string& bytes)
{
    std::string text;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7f) {
            text += c;
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", byte);
            text += escaped;
        }
    }
    return text;
}

} // namespace

// ---- Start and stop ----

SimulatedAdapter& AdapterNetwork::addAdapter(const AdapterConfig& config)
{
    std::lock_guard lock(mutex);
    if (started || stopped)
        throw std::logic_error("adapters are added before the simulator starts");
    adapters.push_back(std::make_unique<SimulatedAdapter>(*this, config));
    return *adapters.back();
}

void AdapterNetwork::start()
{
    std::unique_lock lock(mutex);
    if (started || stopped)
        throw std::logic_error("the simulator starts once");
    bindCommandPorts();
    std::string error;
    for (auto& adapter : adapters) {
        adapter->heartbeatSocket = openDatagramSender(adapter->currentAddress, error);
        if (!adapter->heartbeatSocket) {
            for (auto& other : adapters) {
                other->listener.reset();
                other->heartbeatSocket.reset();
            }
            throw std::runtime_error(error);
        }
    }
    if (!openWakePipe(wakeReadEnd, wakeWriteEnd))
        throw std::runtime_error("cannot create the wake-up pipe");

    const Clock::time_point now = Clock::now();
    for (auto& adapter : adapters) {
        adapter->isOnline = true;
        adapter->cameUp = now;
        reconcile(*adapter);
        startHeartbeats(*adapter);
    }
    started = true;
    looping = true;
    loop = std::thread([this] { run(); });
    loopId = loop.get_id();
    changed.notify_all();
}

void AdapterNetwork::bindCommandPorts()
{
    std::string error;
    for (int attempt = 0; attempt < PortAttempts; ++attempt) {
        uint16_t chosen = options.commandPort;
        bool bound = true;
        for (auto& adapter : adapters) {
            adapter->currentAddress = addressAfterBoot(*adapter);
            adapter->listener = openTcpListener(adapter->currentAddress, chosen, error);
            if (!adapter->listener) {
                bound = false;
                break;
            }
            if (chosen == 0)
                chosen = localPort(adapter->listener.get());
        }
        if (bound) {
            port = chosen;
            return;
        }
        for (auto& adapter : adapters)
            adapter->listener.reset();
        // The free port of the first address may be taken on another one; a fixed port stays taken.
        if (options.commandPort != 0)
            break;
    }
    throw std::runtime_error(error);
}

void AdapterNetwork::stop()
{
    std::unique_lock lock(mutex);
    if (!started || stopped)
        return;
    stopping = true;
    wake();
    lock.unlock();
    loop.join();
    lock.lock();
    looping = false;
    stopped = true;
    tasks.clear();
    for (auto& adapter : adapters) {
        while (!adapter->connections.empty())
            closeConnection(*adapter, adapter->connections.front()->number, false);
        adapter->listener.reset();
        adapter->heartbeatSocket.reset();
        adapter->isOnline = false;
    }
    pendingLog.clear();
    changed.notify_all();
}

uint16_t AdapterNetwork::commandPort() const
{
    std::lock_guard lock(mutex);
    return started ? port : options.commandPort;
}

std::vector<Adapter*> AdapterNetwork::adapterHandles() const
{
    std::lock_guard lock(mutex);
    std::vector<Adapter*> handles;
    for (const auto& adapter : adapters)
        handles.push_back(adapter.get());
    return handles;
}

void AdapterNetwork::catchUp(std::unique_lock<std::mutex>& lock)
{
    if (!looping || std::this_thread::get_id() == loopId)
        return;
    const uint64_t request = ++catchUpsRequested;
    wake();
    changed.wait(lock, [&] { return catchUpsDone >= request || !looping; });
}

void AdapterNetwork::wake()
{
    if (!wakeWriteEnd)
        return;
    const char byte = 1;
    // A full pipe already holds a wake-up.
    (void)::write(wakeWriteEnd.get(), &byte, 1);
}

// ---- The thread ----

void AdapterNetwork::run()
{
    std::unique_lock lock(mutex);
    struct Watched
    {
        SimulatedAdapter* adapter; // null: the wake-up pipe
        int connection;            // 0: the adapter's listener
    };
    std::vector<pollfd> polled;
    std::vector<Watched> watched;
    while (!stopping) {
        // A catch-up: faults first, then one pass over the sockets without waiting.
        const uint64_t catchUp = catchUpsRequested;
        if (catchUp != catchUpsDone) {
            for (auto& adapter : adapters)
                reconcile(*adapter);
        }
        runDueTasks();
        if (!pendingLog.empty()) {
            flushLog(lock);
            continue;
        }

        polled.clear();
        watched.clear();
        polled.push_back({wakeReadEnd.get(), POLLIN, 0});
        watched.push_back({nullptr, 0});
        for (auto& adapter : adapters) {
            if (adapter->listener) {
                polled.push_back({adapter->listener.get(), POLLIN, 0});
                watched.push_back({adapter.get(), 0});
            }
            for (auto& connection : adapter->connections) {
                polled.push_back({connection->socket.get(), POLLIN, 0});
                watched.push_back({adapter.get(), connection->number});
            }
        }
        int timeout = -1;
        if (!tasks.empty()) {
            const Clock::duration left = tasks.begin()->first - Clock::now();
            timeout = left <= Clock::duration::zero()
                          ? 0
                          : static_cast<int>(std::chrono::ceil<milliseconds>(left).count());
        }
        if (catchUpsRequested != catchUpsDone)
            timeout = 0;

        lock.unlock();
        ::poll(polled.data(), polled.size(), timeout);
        lock.lock();

        for (std::size_t i = 0; i < polled.size() && !stopping; ++i) {
            if (polled[i].revents == 0)
                continue;
            if (watched[i].adapter == nullptr) {
                char drained[64];
                while (::read(wakeReadEnd.get(), drained, sizeof drained) > 0) {
                }
                continue;
            }
            SimulatedAdapter& adapter = *watched[i].adapter;
            if (watched[i].connection == 0) {
                if (adapter.listener.get() == polled[i].fd)
                    acceptAll(adapter);
            } else if (Connection* connection = find(adapter, watched[i].connection)) {
                receive(adapter, *connection);
            }
        }
        if (catchUp != catchUpsDone) {
            // What the input just taken in set off at once (a reply, a reboot) belongs to it.
            runDueTasks();
            catchUpsDone = catchUp;
            changed.notify_all();
        }
    }
}

void AdapterNetwork::runDueTasks()
{
    while (!tasks.empty() && !stopping) {
        const auto first = tasks.begin();
        if (first->first > Clock::now())
            return;
        Task task = std::move(first->second);
        tasks.erase(first);
        task();
    }
}

void AdapterNetwork::log(const SimulatedAdapter& adapter, const std::string& text)
{
    if (options.log)
        pendingLog.push_back(adapter.currentAddress + " " + text);
}

void AdapterNetwork::logConnection(const SimulatedAdapter& adapter, int number,
                                   const std::string& text)
{
    if (!options.log)
        return;
    std::string line = adapter.currentAddress;
    line.append(" #").append(std::to_string(number)).append(" ").append(text);
    pendingLog.push_back(std::move(line));
}

// The log callback may take its time or ask an adapter something, so it runs without the lock.
void AdapterNetwork::flushLog(std::unique_lock<std::mutex>& lock)
{
    std::vector<std::string> messages;
    messages.swap(pendingLog);
    lock.unlock();
    for (const std::string& message : messages)
        options.log(message);
    lock.lock();
}

// ---- Addresses and listeners ----

std::string AdapterNetwork::addressAfterBoot(const SimulatedAdapter& adapter) const
{
    const ModuleSettings& stored = adapter.memory.stored;
    if (adapter.dipSwitch || stored.join != 1)
        return adapter.config.ownAddress;
    for (const AccessPoint& accessPoint : options.accessPoints) {
        if (accessPoint.ssid != stored.ssid)
            continue;
        const bool admitted = accessPoint.security == 0 ||
                              (accessPoint.security == 1 && stored.key == accessPoint.key) ||
                              (accessPoint.security == 2 && stored.phrase == accessPoint.key);
        const auto there = adapter.config.addressOnAccessPoint.find(accessPoint.ssid);
        if (admitted && there != adapter.config.addressOnAccessPoint.end())
            return there->second;
    }
    return adapter.config.ownAddress;
}

// Brings sockets and timers in line with the adapter's faults.
void AdapterNetwork::reconcile(SimulatedAdapter& adapter)
{
    if (adapter.isOnline) {
        if (adapter.injected.refuseTcp)
            adapter.listener.reset();
        else
            ensureListener(adapter);
    }
    if (!adapter.injected.serialData.empty() && !adapter.serialDataRunning) {
        adapter.serialDataRunning = true;
        schedule(Clock::now() + std::max(adapter.injected.serialDataInterval, ShortestInterval),
                 [this, &adapter] { serialData(adapter); });
    }
}

void AdapterNetwork::ensureListener(SimulatedAdapter& adapter)
{
    if (!adapter.isOnline || adapter.injected.refuseTcp || adapter.listener ||
        adapter.bindRetryPending)
        return;
    std::string error;
    adapter.listener = openTcpListener(adapter.currentAddress, port, error);
    if (adapter.listener)
        return;
    log(adapter, "cannot listen (" + error + "); trying again");
    adapter.bindRetryPending = true;
    schedule(Clock::now() + BindRetry, [this, &adapter] {
        adapter.bindRetryPending = false;
        ensureListener(adapter);
    });
}

// ---- Connections ----

Connection* AdapterNetwork::find(SimulatedAdapter& adapter, int number)
{
    for (auto& connection : adapter.connections) {
        if (connection->number == number)
            return connection.get();
    }
    return nullptr;
}

void AdapterNetwork::acceptAll(SimulatedAdapter& adapter)
{
    for (;;) {
        UniqueFd socket = acceptConnection(adapter.listener.get());
        if (!socket)
            return;
        auto connection = std::make_unique<Connection>();
        connection->socket = std::move(socket);
        connection->number = ++adapter.accepted;
        connection->mode = adapter.memory.running.password.empty() ? ConnectionMode::Data
                                                                   : ConnectionMode::Password;
        connection->lastDue = Clock::now();
        adapter.entries.push_back(
            {Clock::now(), connection->number, Direction::Connected, std::string()});
        logConnection(adapter, connection->number, "connected");
        Connection& added = *connection;
        adapter.connections.push_back(std::move(connection));
        if (!adapter.injected.noGreeting)
            reply(adapter, added, added.mode == ConnectionMode::Password ? "PASS?" : "*HELLO*",
                  false, AfterReply::Nothing);
    }
}

void AdapterNetwork::receive(SimulatedAdapter& adapter, Connection& connection)
{
    // Everything waiting is taken in at once, so that a catch-up leaves nothing behind.
    for (;;) {
        char buffer[4096];
        const ssize_t count = ::recv(connection.socket.get(), buffer, sizeof buffer, 0);
        const Clock::time_point now = Clock::now();
        if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
            return;
        if (count <= 0) {
            closeConnection(adapter, connection.number, false);
            return;
        }
        const std::string bytes(buffer, static_cast<std::size_t>(count));
        adapter.entries.push_back({now, connection.number, Direction::Received, bytes});
        // Replies and closes are all queued, so the connection outlives this loop.
        for (const char byte : bytes) {
            if (byte == '\n' && connection.afterCarriageReturn) {
                connection.afterCarriageReturn = false;
                continue;
            }
            connection.afterCarriageReturn = byte == '\r';
            if (byte == '\r' || byte == '\n') {
                std::string line;
                line.swap(connection.line);
                handleLine(adapter, connection, line, now);
            } else if (connection.line.size() < LineLimit) {
                connection.line += byte;
            }
        }
    }
}

void AdapterNetwork::handleLine(SimulatedAdapter& adapter, Connection& connection,
                                const std::string& text, Clock::time_point when)
{
    adapter.lines.push_back({when, connection.number, text});
    logConnection(adapter, connection.number, "< " + readable(text));
    if (connection.finishing || adapter.injected.neverAnswer)
        return;
    switch (connection.mode) {
    case ConnectionMode::Password:
        if (text == adapter.memory.running.password) {
            connection.mode = ConnectionMode::Data;
            reply(adapter, connection, "*HELLO*", false, AfterReply::Nothing);
        } else {
            logConnection(adapter, connection.number, "wrong password");
            queueClose(adapter, connection);
        }
        break;
    case ConnectionMode::Data:
        // Anything else is serial data for the device behind the adapter.
        if (text == "$$$") {
            connection.mode = ConnectionMode::Command;
            reply(adapter, connection, "CMD\r\n", false, AfterReply::Nothing);
        }
        break;
    case ConnectionMode::Command:
        handleCommand(adapter, connection, text, when);
        break;
    }
}

void AdapterNetwork::handleCommand(SimulatedAdapter& adapter, Connection& connection,
                                   const std::string& text, Clock::time_point when)
{
    const Faults& faults = adapter.injected;
    if (faults.closeAfterCommands >= 0 && connection.commandLines >= faults.closeAfterCommands) {
        queueClose(adapter, connection);
        return;
    }
    ++connection.commandLines;
    if (!faults.errorOnCommand.empty() && text.rfind(faults.errorOnCommand, 0) == 0) {
        reply(adapter, connection, refusedReply(text, adapter.version), false, AfterReply::Nothing);
        return;
    }
    const CommandOutcome outcome =
        executeCommand(text, adapter.memory, adapter.identity(), faults.saveWithoutStoring);
    if (outcome.led)
        adapter.leds.push_back({when, *outcome.led});
    reply(adapter, connection, outcome.reply, outcome.query,
          outcome.reboot ? AfterReply::Reboot : AfterReply::Nothing);
}

void AdapterNetwork::reply(SimulatedAdapter& adapter, Connection& connection, std::string bytes,
                           bool query, AfterReply after)
{
    const Faults& faults = adapter.injected;
    if (query && !faults.omittedKeys.empty())
        bytes = withoutKeys(bytes, faults.omittedKeys);
    if (query && faults.oversizedReply)
        bytes = paddedTo(OversizedReplySize, bytes, commandPrompt(adapter.version));
    const std::size_t split = faults.splitReplies ? splitPoint(bytes) : 0;
    if (faults.garbage)
        bytes = garbled(bytes);
    Clock::time_point due = std::max(Clock::now() + faults.replyDelay, connection.lastDue);
    if (split > 0 && split < bytes.size()) {
        queueSend(adapter, connection, due, bytes.substr(0, split), AfterReply::Nothing);
        due += faults.splitGap;
        bytes.erase(0, split);
    }
    queueSend(adapter, connection, due, std::move(bytes), after);
    if (after != AfterReply::Nothing)
        connection.finishing = true;
}

void AdapterNetwork::queueSend(SimulatedAdapter& adapter, Connection& connection,
                               Clock::time_point due, std::string bytes, AfterReply after)
{
    connection.lastDue = due;
    schedule(due, [this, &adapter, number = connection.number, bytes = std::move(bytes), after] {
        deliver(adapter, number, bytes, after);
    });
}

// Closes once everything queued before has gone out.
void AdapterNetwork::queueClose(SimulatedAdapter& adapter, Connection& connection)
{
    connection.finishing = true;
    queueSend(adapter, connection, std::max(Clock::now(), connection.lastDue), std::string(),
              AfterReply::Close);
}

void AdapterNetwork::deliver(SimulatedAdapter& adapter, int number, const std::string& bytes,
                             AfterReply after)
{
    Connection* connection = find(adapter, number);
    if (connection == nullptr)
        return;
    // Off the network before the last byte leaves, so that whoever reads "*Reboot*" finds the
    // adapter rebooting.
    if (after == AfterReply::Reboot)
        beginReboot(adapter);
    sendNow(adapter, *connection, bytes);
    if (after == AfterReply::Close)
        closeConnection(adapter, number, true);
    if (after == AfterReply::Reboot)
        goOffNetwork(adapter);
}

// A client that stops reading loses what does not fit into its socket's buffer, as it would
// with a module whose buffer overflows.
void AdapterNetwork::sendNow(SimulatedAdapter& adapter, Connection& connection,
                             const std::string& bytes)
{
    if (bytes.empty())
        return;
    const ssize_t sent =
        ::send(connection.socket.get(), bytes.data(), bytes.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent > 0)
        adapter.entries.push_back({Clock::now(), connection.number, Direction::Sent,
                                   bytes.substr(0, static_cast<std::size_t>(sent))});
}

void AdapterNetwork::closeConnection(SimulatedAdapter& adapter, int number, bool drain)
{
    const auto it = std::find_if(adapter.connections.begin(), adapter.connections.end(),
                                 [number](const auto& c) { return c->number == number; });
    if (it == adapter.connections.end())
        return;
    Connection& connection = **it;
    // Unread bytes would make the close a reset, which can cost the client the last reply.
    if (drain) {
        char buffer[4096];
        ssize_t count = 0;
        while ((count = ::recv(connection.socket.get(), buffer, sizeof buffer, MSG_DONTWAIT)) > 0)
            adapter.entries.push_back({Clock::now(), number, Direction::Received,
                                       std::string(buffer, static_cast<std::size_t>(count))});
    }
    adapter.entries.push_back({Clock::now(), number, Direction::Closed, std::string()});
    logConnection(adapter, number, "closed");
    adapter.connections.erase(it);
}

// ---- Reboot ----

void AdapterNetwork::beginReboot(SimulatedAdapter& adapter)
{
    adapter.isOnline = false;
    ++adapter.reboots;
    changed.notify_all();
    log(adapter,
        "reboots: off the network for " + std::to_string(options.rebootTime.count()) + " ms");
}

void AdapterNetwork::goOffNetwork(SimulatedAdapter& adapter)
{
    while (!adapter.connections.empty())
        closeConnection(adapter, adapter.connections.front()->number, true);
    adapter.listener.reset();
    adapter.heartbeatSocket.reset();
    ++adapter.heartbeatChain;
    schedule(Clock::now() + options.rebootTime, [this, &adapter] {
        adapter.memory.running = adapter.memory.stored;
        const std::string before = adapter.currentAddress;
        adapter.currentAddress = addressAfterBoot(adapter);
        if (adapter.currentAddress != before)
            log(adapter, "moves here from " + before);
        bringUp(adapter);
    });
}

// Online again only once both sockets are bound; an address still taken is tried again shortly.
void AdapterNetwork::bringUp(SimulatedAdapter& adapter)
{
    std::string error;
    UniqueFd heartbeatSocket = openDatagramSender(adapter.currentAddress, error);
    UniqueFd listener;
    if (heartbeatSocket && !adapter.injected.refuseTcp)
        listener = openTcpListener(adapter.currentAddress, port, error);
    if (!heartbeatSocket || (!listener && !adapter.injected.refuseTcp)) {
        if (!adapter.bindRetryPending)
            log(adapter, "cannot come back (" + error + "); trying again");
        adapter.bindRetryPending = true;
        schedule(Clock::now() + BindRetry, [this, &adapter] { bringUp(adapter); });
        return;
    }
    adapter.bindRetryPending = false;
    adapter.heartbeatSocket = std::move(heartbeatSocket);
    adapter.listener = std::move(listener);
    adapter.isOnline = true;
    adapter.cameUp = Clock::now();
    changed.notify_all();
    log(adapter, "back on the network");
    startHeartbeats(adapter);
}

// ---- Timed output ----

void AdapterNetwork::startHeartbeats(SimulatedAdapter& adapter)
{
    const uint64_t chain = ++adapter.heartbeatChain;
    schedule(Clock::now(), [this, &adapter, chain] { heartbeat(adapter, chain); });
}

void AdapterNetwork::heartbeat(SimulatedAdapter& adapter, uint64_t chain)
{
    if (chain != adapter.heartbeatChain || !adapter.isOnline)
        return;
    if (!adapter.injected.noHeartbeats && adapter.heartbeatSocket) {
        HeartbeatFields fields;
        fields.address = adapter.currentAddress;
        fields.commandPort = port;
        fields.bootCount = static_cast<uint8_t>(adapter.reboots);
        fields.pinReport = pinReport(adapter.dipSwitch);
        fields.upTime =
            std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - adapter.cameUp);
        fields.firmwareVersion = adapter.version;
        fields.buildDate = adapter.config.buildDate;
        fields.sequence = adapter.heartbeatSequence++;
        sendDatagram(adapter.heartbeatSocket.get(), options.heartbeatTarget, options.heartbeatPort,
                     heartbeatDatagram(fields));
    }
    schedule(Clock::now() + std::max(options.heartbeatInterval, ShortestInterval),
             [this, &adapter, chain] { heartbeat(adapter, chain); });
}

void AdapterNetwork::serialData(SimulatedAdapter& adapter)
{
    const Faults& faults = adapter.injected;
    if (faults.serialData.empty()) {
        adapter.serialDataRunning = false;
        return;
    }
    for (auto& connection : adapter.connections) {
        if (!connection->finishing)
            sendNow(adapter, *connection, faults.serialData);
    }
    schedule(Clock::now() + std::max(faults.serialDataInterval, ShortestInterval),
             [this, &adapter] { serialData(adapter); });
}

} // namespace simulator
