// The process metrics on Windows, from the process's own times, memory
// counters and handle count. process_max_fds has no Windows counterpart
// and is left out; process_open_fds counts the process's handles.
#include <windows.h>
#include <psapi.h>

#include "http/process_metrics_reader.h"

namespace tessline {

namespace {

// A FILETIME as a count of 100 ns steps.
double steps(const FILETIME& time) {
    return static_cast<double>((static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
}

// 100 ns steps from 1601 to the Unix epoch.
constexpr double kEpochSteps = 116444736000000000.0;

}  // namespace

ProcessReadings readProcessReadings() {
    ProcessReadings read;
    HANDLE self = GetCurrentProcess();
    FILETIME created{}, exited{}, kernel{}, user{};
    if (GetProcessTimes(self, &created, &exited, &kernel, &user)) {
        read.cpuSeconds = (steps(kernel) + steps(user)) / 1e7;
        read.startTime = (steps(created) - kEpochSteps) / 1e7;
    }
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof memory;
    if (GetProcessMemoryInfo(self, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory)) {
        read.virtualBytes = static_cast<double>(memory.PrivateUsage);
        read.residentBytes = static_cast<double>(memory.WorkingSetSize);
    }
    DWORD handles = 0;
    if (GetProcessHandleCount(self, &handles)) read.openFds = handles;
    return read;
}

}  // namespace tessline
