#pragma once

// What the benchmarks share: windows that answer nothing, the CPU clock of the calling thread
// and the resident memory of the process.

#include "link/userdialogs.h"

#include <ctime>
#include <fstream>
#include <unistd.h>

class NoDialogs : public UserDialogs
{
public:
    MessageAnswer showMessage(const QString&, MessageStyle) override { return MessageAnswer::Ok; }
    std::optional<QString> askPassword() override { return std::nullopt; }
    void showDipSwitchWindow() override {}
    void closeMainWindow(int) override {}
};

inline double threadCpuMilliseconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

inline long residentKilobytes()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0;
    long resident = 0;
    statm >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}
