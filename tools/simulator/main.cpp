// kov-simulator: simulated KOV-SL47 adapters on loopback addresses, for trying the utility
// without hardware. Runs until SIGINT or SIGTERM and logs what the adapters receive and each
// switch of their LED.

#include "adaptersimulator.h"
#include "simulatorconfig.h"
#include "sockets.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <pthread.h>
#include <set>
#include <string>
#include <vector>

namespace {

const char* const Usage =
    "usage: kov-simulator [--config FILE | --adapters N] [options]\n"
    "\n"
    "  --config FILE             the network described in FILE (see tools/simulator/example.ini)\n"
    "  --adapters N              N plain adapters on 127.0.0.2 upwards (default: 1)\n"
    "  --password-on K           adapter K (from 1) asks for a password (see --password)\n"
    "  --password TEXT           the password of --password-on (default: secret)\n"
    "  --dip-on K                adapter K has DIP switch 1 on\n"
    "  --command-port P          the TCP command port (0: any free one)\n"
    "  --heartbeat-target A      where heartbeats go (default 127.0.0.1)\n"
    "  --heartbeat-port P        (default 55555)\n"
    "  --heartbeat-interval MS   (default 1000)\n"
    "  --reboot-time MS          how long a reboot keeps an adapter away (default 3000)\n";

[[noreturn]] void usageError(const std::string& message)
{
    std::fprintf(stderr, "kov-simulator: %s\n\n%s", message.c_str(), Usage);
    std::exit(2);
}

long numberArgument(const std::string& option, const char* text, long lowest, long highest)
{
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (*text == '\0' || *end != '\0' || value < lowest || value > highest)
        usageError(option + " wants a number from " + std::to_string(lowest) + " to " +
                   std::to_string(highest));
    return value;
}

std::string timeOfDay()
{
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min,
                  local.tm_sec, static_cast<int>(millis));
    return text;
}

struct Arguments
{
    std::string configPath;
    int adapterCount = 0;
    std::set<int> passwordOn;
    std::set<int> dipOn;
    std::string password = "secret";
    std::vector<std::pair<std::string, std::string>> overrides;
};

Arguments parseArguments(int argc, char** argv)
{
    Arguments arguments;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "-h") {
            std::fputs(Usage, stdout);
            std::exit(0);
        }
        if (i + 1 >= argc)
            usageError("unknown option or missing value: " + option);
        const char* value = argv[++i];
        if (option == "--config")
            arguments.configPath = value;
        else if (option == "--adapters")
            arguments.adapterCount = static_cast<int>(numberArgument(option, value, 1, 1000));
        else if (option == "--password-on")
            arguments.passwordOn.insert(static_cast<int>(numberArgument(option, value, 1, 1000)));
        else if (option == "--dip-on")
            arguments.dipOn.insert(static_cast<int>(numberArgument(option, value, 1, 1000)));
        else if (option == "--password")
            arguments.password = value;
        else if (option == "--command-port" || option == "--heartbeat-target" ||
                 option == "--heartbeat-port" || option == "--heartbeat-interval" ||
                 option == "--reboot-time")
            arguments.overrides.emplace_back(option, value);
        else
            usageError("unknown option " + option);
    }
    if (!arguments.configPath.empty() && arguments.adapterCount > 0)
        usageError("--config and --adapters exclude each other");
    return arguments;
}

simulator::SimulatorSetup buildSetup(const Arguments& arguments)
{
    simulator::SimulatorSetup setup =
        arguments.configPath.empty() ? simulator::quickSetup(std::max(arguments.adapterCount, 1))
                                     : simulator::readSimulatorConfig(arguments.configPath);
    const auto adapterNumber = [&](int k, const char* option) -> simulator::AdapterSetup& {
        if (k > static_cast<int>(setup.adapters.size()))
            usageError(std::string(option) + " " + std::to_string(k) + ": there are only " +
                       std::to_string(setup.adapters.size()) + " adapters");
        return setup.adapters[static_cast<std::size_t>(k - 1)];
    };
    for (int k : arguments.passwordOn)
        adapterNumber(k, "--password-on").config.settings.password = arguments.password;
    for (int k : arguments.dipOn)
        adapterNumber(k, "--dip-on").config.dipSwitch1 = true;

    simulator::SimulatorOptions& options = setup.options;
    for (const auto& [option, value] : arguments.overrides) {
        if (option == "--command-port")
            options.commandPort =
                static_cast<uint16_t>(numberArgument(option, value.c_str(), 0, 65535));
        else if (option == "--heartbeat-target") {
            if (!simulator::isIpv4Address(value))
                usageError(option + " wants an IPv4 address");
            options.heartbeatTarget = value;
        } else if (option == "--heartbeat-port")
            options.heartbeatPort =
                static_cast<uint16_t>(numberArgument(option, value.c_str(), 1, 65535));
        else if (option == "--heartbeat-interval")
            options.heartbeatInterval =
                std::chrono::milliseconds(numberArgument(option, value.c_str(), 1, 3600000));
        else if (option == "--reboot-time")
            options.rebootTime =
                std::chrono::milliseconds(numberArgument(option, value.c_str(), 0, 3600000));
    }
    return setup;
}

void printNetwork(const simulator::SimulatorSetup& setup, uint16_t port)
{
    const simulator::SimulatorOptions& options = setup.options;
    std::printf("kov-simulator: %zu adapter(s); heartbeats to %s:%u every %lld ms; "
                "a reboot takes %lld ms\n",
                setup.adapters.size(), options.heartbeatTarget.c_str(), options.heartbeatPort,
                static_cast<long long>(options.heartbeatInterval.count()),
                static_cast<long long>(options.rebootTime.count()));
    for (const simulator::AccessPoint& accessPoint : options.accessPoints) {
        static const char* const Security[] = {"open", "WEP", "WPA"};
        const int security =
            accessPoint.security >= 0 && accessPoint.security <= 2 ? accessPoint.security : 0;
        std::printf("  access point \"%s\" (%s)\n", accessPoint.ssid.c_str(), Security[security]);
    }
    for (const simulator::AdapterSetup& adapter : setup.adapters) {
        const simulator::AdapterConfig& config = adapter.config;
        std::printf("  adapter %s:%u  mac %s  version %s  %s  DIP switch 1 %s\n",
                    config.ownAddress.c_str(), port, config.mac.c_str(),
                    config.firmwareVersion.c_str(),
                    config.settings.password.empty()
                        ? "no password"
                        : ("password \"" + config.settings.password + "\"").c_str(),
                    config.dipSwitch1 ? "on" : "off");
        for (const auto& [ssid, address] : config.addressOnAccessPoint)
            std::printf("    on \"%s\" at %s\n", ssid.c_str(), address.c_str());
    }
    if (!setup.adapters.empty())
        std::printf("Try: nc %s %u, then type $$$ and get ip. Ctrl-C ends.\n",
                    setup.adapters.front().config.ownAddress.c_str(), port);
    std::fflush(stdout);
}

// Writes a log line for each LED switch that the adapters recorded since the last call, e.g.
// "10:42:07.512 127.0.0.2 LED on". A switch comes with the command line that made it, so looking
// after each line of the log finds it.
class LedLog
{
public:
    void watch(simulator::Adapter& adapter) { watched.push_back({&adapter, 0}); }

    void reportNewSwitches()
    {
        for (Watched& entry : watched) {
            const std::vector<simulator::LedEvent> history = entry.adapter->ledHistory();
            for (; entry.reported < history.size(); ++entry.reported)
                std::printf("%s %s LED %s\n", timeOfDay().c_str(),
                            entry.adapter->address().c_str(),
                            history[entry.reported].on ? "on" : "off");
        }
    }

private:
    struct Watched
    {
        simulator::Adapter* adapter;
        std::size_t reported;
    };
    std::vector<Watched> watched;
};

} // namespace

int main(int argc, char** argv)
{
    const Arguments arguments = parseArguments(argc, argv);

    // The signals are taken by sigwait below; every thread started from here on blocks them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    try {
        simulator::SimulatorSetup setup = buildSetup(arguments);
        // Filled before start(); from then on only the simulator's thread uses it.
        LedLog leds;
        setup.options.log = [&leds](const std::string& line) {
            std::printf("%s %s\n", timeOfDay().c_str(), line.c_str());
            leds.reportNewSwitches();
            std::fflush(stdout);
        };
        simulator::Simulator simulated(setup.options);
        for (const simulator::AdapterSetup& adapter : setup.adapters) {
            simulator::Adapter& added = simulated.addAdapter(adapter.config);
            added.setFaults(adapter.faults);
            leds.watch(added);
        }
        simulated.start();
        printNetwork(setup, simulated.commandPort());

        int received = 0;
        sigwait(&stopSignals, &received);
        std::printf("kov-simulator: stopping\n");
        simulated.stop();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "kov-simulator: %s\n", error.what());
        return 1;
    }
    return 0;
}
