#include "support/simulatedadapters.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

Timing testTiming()
{
    return Timing{}.scaledBy(TestTimeScale);
}

simulator::AdapterConfig adapterAt(const std::string& address)
{
    simulator::AdapterConfig config;
    config.ownAddress = address;
    return config;
}

std::uint16_t freeUdpPort()
{
    const int probe = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(probe, reinterpret_cast<sockaddr*>(&local), sizeof local);
    socklen_t length = sizeof local;
    ::getsockname(probe, reinterpret_cast<sockaddr*>(&local), &length);
    ::close(probe);
    return ntohs(local.sin_port);
}

std::vector<std::string> receivedTexts(const simulator::Adapter& adapter)
{
    std::vector<std::string> texts;
    for (const simulator::ReceivedLine& line : adapter.receivedLines())
        texts.push_back(line.text);
    return texts;
}

int connectionCount(const simulator::Adapter& adapter)
{
    int count = 0;
    for (const simulator::TranscriptEntry& entry : adapter.transcript())
        count += entry.direction == simulator::Direction::Connected ? 1 : 0;
    return count;
}

std::optional<simulator::TranscriptEntry> lastClose(const simulator::Adapter& adapter)
{
    const auto deadline = simulator::Clock::now() + std::chrono::seconds(2);
    do {
        const std::vector<simulator::TranscriptEntry> transcript = adapter.transcript();
        if (!transcript.empty() && transcript.back().direction == simulator::Direction::Closed)
            return transcript.back();
        std::this_thread::sleep_for(milliseconds(5));
    } while (simulator::Clock::now() < deadline);
    return std::nullopt;
}

SimulatedAdapters::SimulatedAdapters()
{
    options.commandPort = 0;
    // Heartbeats are of no interest to these tests; keep them off the real heartbeat port.
    options.heartbeatPort = 9;
    options.heartbeatInterval = std::chrono::seconds(60);
    options.rebootTime = milliseconds(200);
}

SimulatedAdapters::~SimulatedAdapters()
{
    link.reset();
    if (simulated)
        simulated->stop();
}

simulator::Adapter& SimulatedAdapters::addAdapter(const simulator::AdapterConfig& config)
{
    if (!simulated)
        simulated = std::make_unique<simulator::Simulator>(options);
    return simulated->addAdapter(config);
}

void SimulatedAdapters::sendHeartbeatsTo(std::uint16_t port)
{
    options.heartbeatPort = port;
    options.heartbeatInterval = milliseconds(20);
}

void SimulatedAdapters::start(Timing timing)
{
    if (!simulated)
        simulated = std::make_unique<simulator::Simulator>(options);
    simulated->start();
    link = std::make_unique<ModuleConnection>(dialogs, selected, LocaleCharset("UTF-8"), timing,
                                              simulated->commandPort());
}
