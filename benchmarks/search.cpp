// How close a device search comes to its fixed pauses, against simulated adapters at the real
// timing: twenty empty polls of 500 ms, and per adapter the opening of the command connection
// and three queries. Reports the wall time above that floor, the CPU time of the searching
// thread, and the resident memory after each search.
//
//   search_benchmark ADAPTERS SEARCHES

#include "adaptersimulator.h"
#include "benchmarksupport.h"
#include "discovery/devicesearch.h"

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

class NoNeighbours : public NeighbourTable
{
public:
    void refresh(const QString&, std::chrono::milliseconds) override {}
    std::optional<QString> hardwareAddress(const QString&) const override { return std::nullopt; }
};

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    const int adapters = argc > 1 ? std::atoi(argv[1]) : 1;
    const int searches = argc > 2 ? std::atoi(argv[2]) : 1;
    const std::uint16_t heartbeatPort = 55600;

    simulator::SimulatorOptions options;
    options.commandPort = 0;
    options.heartbeatPort = heartbeatPort;
    simulator::Simulator simulated(options);
    for (int host = 0; host < adapters; ++host) {
        simulator::AdapterConfig adapter;
        adapter.ownAddress = "127.0.2." + std::to_string(host + 2);
        simulated.addAdapter(adapter);
    }
    simulated.start();

    NoDialogs dialogs;
    SelectedDevice selected;
    NoNeighbours neighbours;
    const Timing timing;
    ModuleConnection connection(dialogs, selected, LocaleCharset("UTF-8"), timing,
                                simulated.commandPort());
    DeviceSearch search(connection, neighbours, heartbeatPort);
    DeviceList devices;

    const auto perAdapter =
        timing.greetingPause + 2 * timing.commandModePause + 3 * timing.replyPause;
    const auto floor = 20 * timing.heartbeatPollPause + adapters * perAdapter;
    std::printf("%d adapter(s); floor %lld ms\n", adapters, static_cast<long long>(floor.count()));
    std::printf("%6s %6s %10s %9s %9s %9s %10s\n", "search", "rows", "wall ms", "above %", "cpu ms",
                "cpu %", "rss kB");
    for (int run = 1; run <= searches; ++run) {
        const auto started = std::chrono::steady_clock::now();
        const double cpuStarted = threadCpuMilliseconds();
        search.searchDevices(devices);
        const double wall =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started)
                .count();
        const double cpu = threadCpuMilliseconds() - cpuStarted;
        std::printf("%6d %6lld %10.1f %9.2f %9.2f %9.3f %10ld\n", run,
                    static_cast<long long>(devices.rowCount()), wall,
                    (wall / static_cast<double>(floor.count()) - 1.0) * 100.0, cpu,
                    cpu / wall * 100.0, residentKilobytes());
        std::fflush(stdout);
        // The simulated adapters keep a transcript of everything; only the search is measured.
        for (simulator::Adapter* adapter : simulated.adapters())
            adapter->clearHistory();
    }
    return 0;
}
