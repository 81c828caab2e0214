// The start of the real program and its responsiveness during the search at opening, against
// eight simulated adapters at the real timing. Each run starts this program anew as a child,
// which runs the utility exactly as its executable does and reports from inside:
//   - the time from the start of the process to the first paint of the main window;
//   - the resident memory once the search has listed the adapters;
//   - while the search runs, the longest delay of a 10 ms timer on the user-interface thread:
//     the longest time the event loop did not come round, in which the window could not react.
//
//   startup_benchmark RUNS
//
// Uses the program's real ports: UDP 55555 and TCP 2000 on 127.0.0.2 to 127.0.0.9 must be free.

#include "adaptersimulator.h"
#include "benchmarksupport.h"
#include "shell/ckovsl47app.h"
#include "shell/ckovsl47dlg.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

constexpr int Adapters = 8;

double monotonicMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

// Watches the program from inside the child: installed when its application object exists.
class Observer : public QObject
{
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (auto* window = qobject_cast<CKOVSL47Dlg*>(watched)) {
            if (event->type() == QEvent::Paint && !painted) {
                painted = true;
                std::printf("shown %.3f\n", monotonicMilliseconds());
                std::fflush(stdout);
                watchSearch(*window);
            }
        }
        return false;
    }

private:
    void watchSearch(CKOVSL47Dlg& window)
    {
        ticker.setInterval(10);
        ticker.setTimerType(Qt::PreciseTimer);
        connect(&ticker, &QTimer::timeout, this, [this, &window] {
            const double now = monotonicMilliseconds();
            if (window.workerRunning()) {
                measuring = true;
                if (lastTick > 0)
                    longestTimerDelay = std::max(longestTimerDelay, now - lastTick - 10);
            } else if (measuring) {
                // The search has ended and the list holds what it found.
                ticker.stop();
                std::printf("searched %lld %ld %.3f\n",
                            static_cast<long long>(window.devices().rowCount()),
                            residentKilobytes(), longestTimerDelay);
                std::fflush(stdout);
                window.done(0);
            }
            lastTick = now;
        });
        ticker.start();
    }

    bool painted = false;
    bool measuring = false;
    double lastTick = 0;
    double longestTimerDelay = 0;
    QTimer ticker;
};

void observeProgram()
{
    if (qEnvironmentVariableIsSet("KOV_BENCHMARK_CHILD"))
        qApp->installEventFilter(new Observer);
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

Q_COREAPP_STARTUP_FUNCTION(observeProgram)

int main(int argc, char** argv)
{
    if (std::getenv("KOV_BENCHMARK_CHILD"))
        return CKOVSL47App().run(argc, argv);

    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    simulator::Simulator simulated;
    for (int index = 0; index < Adapters; ++index) {
        simulator::AdapterConfig config;
        config.ownAddress = "127.0.0." + std::to_string(2 + index);
        char mac[18];
        std::snprintf(mac, sizeof mac, "02:4b:4f:00:20:%02x", index);
        config.mac = mac;
        simulated.addAdapter(config);
    }
    simulated.start();
    setenv("KOV_BENCHMARK_CHILD", "1", 1);

    std::vector<double> startTimes;
    std::vector<double> residents;
    std::vector<double> delays;
    for (int run = 0; run < runs; ++run) {
        int pipeEnds[2];
        if (pipe(pipeEnds) != 0)
            return 1;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
        char* childArguments[] = {argv[0], nullptr};
        const double started = monotonicMilliseconds();
        pid_t child = 0;
        if (posix_spawn(&child, argv[0], &actions, nullptr, childArguments, environ) != 0)
            return 1;
        posix_spawn_file_actions_destroy(&actions);
        close(pipeEnds[1]);

        FILE* reports = fdopen(pipeEnds[0], "r");
        char line[256];
        double shown = 0;
        long long rows = -1;
        long resident = 0;
        double delay = 0;
        while (std::fgets(line, sizeof line, reports)) {
            std::sscanf(line, "shown %lf", &shown);
            std::sscanf(line, "searched %lld %ld %lf", &rows, &resident, &delay);
        }
        std::fclose(reports);
        int status = 0;
        waitpid(child, &status, 0);
        if (rows != Adapters || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            std::fprintf(stderr, "run %d: the search listed %lld of %d adapters (status %d)\n",
                         run + 1, rows, Adapters, status);
            return 1;
        }
        startTimes.push_back(shown - started);
        residents.push_back(static_cast<double>(resident));
        delays.push_back(delay);
        std::printf("run %d: window painted after %.1f ms; %ld kB resident after the search of "
                    "%d adapters; event loop late by at most %.2f ms during the search\n",
                    run + 1, shown - started, resident, Adapters, delay);
    }
    std::printf("median of %d runs: start to window %.1f ms, resident %.0f kB, event loop late "
                "by at most %.2f ms (worst run %.2f ms)\n",
                runs, median(startTimes), median(residents), median(delays),
                *std::max_element(delays.begin(), delays.end()));
    return 0;
}
