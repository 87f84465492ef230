// The process metrics on Windows, from the process's own times, memory
// counters and handle count. process_max_fds has no Windows counterpart
// and is left out; process_open_fds counts the process's handles.
#include <windows.h>
#include <psapi.h>

#include <cstdio>

#include "http/process_metrics.h"

namespace tessline {

namespace {

void family(std::string& out, const char* name, const char* type, const char* help, const std::string& value) {
    out += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n" + name + " " + value + "\n";
}

std::string number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", value);
    return text;
}

// A FILETIME as a count of 100 ns steps.
double steps(const FILETIME& time) {
    return static_cast<double>((static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
}

// 100 ns steps from 1601 to the Unix epoch.
constexpr double kEpochSteps = 116444736000000000.0;

std::string readProcessMetrics() {
    std::string out;
    HANDLE self = GetCurrentProcess();
    FILETIME created{}, exited{}, kernel{}, user{};
    const bool times = GetProcessTimes(self, &created, &exited, &kernel, &user);
    if (times)
        family(out, "process_cpu_seconds_total", "counter", "Total user and system CPU time spent in seconds.",
               number((steps(kernel) + steps(user)) / 1e7));
    PROCESS_MEMORY_COUNTERS_EX memory{};
    memory.cb = sizeof memory;
    if (GetProcessMemoryInfo(self, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory)) {
        family(out, "process_virtual_memory_bytes", "gauge", "Virtual memory size in bytes.",
               number(static_cast<double>(memory.PrivateUsage)));
        family(out, "process_resident_memory_bytes", "gauge", "Resident memory size in bytes.",
               number(static_cast<double>(memory.WorkingSetSize)));
    }
    if (times)
        family(out, "process_start_time_seconds", "gauge", "Start time of the process since unix epoch in seconds.",
               number((steps(created) - kEpochSteps) / 1e7));
    DWORD handles = 0;
    if (GetProcessHandleCount(self, &handles))
        family(out, "process_open_fds", "gauge", "Number of open file descriptors.", std::to_string(handles));
    return out;
}

}  // namespace

std::string processMetricsText(std::time_t now) {
    thread_local std::time_t readAt = -1;
    thread_local std::string text;
    if (now != readAt) text = readProcessMetrics();
    readAt = now;
    return text;
}

}  // namespace tessline
