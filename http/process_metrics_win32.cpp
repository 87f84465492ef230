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

std::string readProcessMetrics() {
    std::string out;
    HANDLE self = GetCurrentProcess();
    FILETIME created{}, exited{}, kernel{}, user{};
    const bool times = GetProcessTimes(self, &created, &exited, &kernel, &user);
    if (times)
        appendProcessFamily(out, "process_cpu_seconds_total", "counter", "Total user and system CPU time spent in seconds.",
               metricNumberText((steps(kernel) + steps(user)) / 1e7));
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof memory;
    if (GetProcessMemoryInfo(self, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory)) {
        appendProcessFamily(out, "process_virtual_memory_bytes", "gauge", "Virtual memory size in bytes.",
               metricNumberText(static_cast<double>(memory.PrivateUsage)));
        appendProcessFamily(out, "process_resident_memory_bytes", "gauge", "Resident memory size in bytes.",
               metricNumberText(static_cast<double>(memory.WorkingSetSize)));
    }
    if (times)
        appendProcessFamily(out, "process_start_time_seconds", "gauge", "Start time of the process since unix epoch in seconds.",
               metricNumberText((steps(created) - kEpochSteps) / 1e7));
    DWORD handles = 0;
    if (GetProcessHandleCount(self, &handles))
        appendProcessFamily(out, "process_open_fds", "gauge", "Number of open file descriptors.", std::to_string(handles));
    return out;
}

}  // namespace tessline
