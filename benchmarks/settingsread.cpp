// How close one settings read comes to its fixed pauses: opening the command connection plus the
// seven queries of the current settings window, against a simulated adapter at the real timing.
// Reports the wall time above the sum of the pauses and the CPU time the reading thread used.

#include "adaptersimulator.h"
#include "benchmarksupport.h"
#include "link/moduleconnection.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iterator>

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::atoi(argv[1]) : 5;

    simulator::SimulatorOptions options;
    options.commandPort = 0;
    options.heartbeatPort = 9;
    simulator::Simulator simulated(options);
    simulator::AdapterConfig adapter;
    adapter.ownAddress = "127.0.0.2";
    simulated.addAdapter(adapter);
    simulated.start();

    NoDialogs dialogs;
    SelectedDevice selected;
    const Timing timing;
    ModuleConnection connection(dialogs, selected, LocaleCharset("UTF-8"), timing,
                                simulated.commandPort());
    const char* queries[] = {"ver",     "get ip",   "get wlan", "get uart",
                             "get opt", "get comm", "get dns"};
    const auto pauses = timing.greetingPause + 2 * timing.commandModePause +
                        static_cast<int>(std::size(queries)) * timing.replyPause;

    std::printf("fixed pauses: %lld ms\n", static_cast<long long>(pauses.count()));
    std::printf("%4s %10s %10s %10s\n", "run", "wall ms", "above %", "cpu ms");
    double worstOverhead = 0;
    for (int run = 1; run <= runs; ++run) {
        const auto started = std::chrono::steady_clock::now();
        const double cpuStarted = threadCpuMilliseconds();

        bool ok = connection.openCommandMode(QStringLiteral("127.0.0.2"), false) == Link::Success;
        for (const char* query : queries) {
            ok = ok && connection.sendLine(QString::fromLatin1(query)) == Link::Success;
            pauseFor(timing.replyPause);
            ok = ok && connection.receiveReply(true) == Link::Success;
        }
        connection.closeConnection();

        const double wall =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started)
                .count();
        const double cpu = threadCpuMilliseconds() - cpuStarted;
        const double overhead = (wall / static_cast<double>(pauses.count()) - 1.0) * 100.0;
        worstOverhead = std::max(worstOverhead, overhead);
        std::printf("%4d %10.1f %10.2f %10.2f%s\n", run, wall, overhead, cpu,
                    ok ? "" : "  (read failed)");
        if (!ok)
            return 1;
    }
    std::printf("worst: %.2f %% above the fixed pauses (goal: below 2 %%)\n", worstOverhead);
    return 0;
}
