#pragma once

// What the benchmarks share: windows that answer nothing, and the CPU clock of the calling thread.

#include "link/userdialogs.h"

#include <ctime>

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
