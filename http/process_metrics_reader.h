// What each system's reader of the process metrics (process_metrics_posix.cpp,
// process_metrics_win32.cpp) gives processMetricsText, which writes them.
#pragma once

#include <optional>

#include "http/process_metrics.h"

namespace tessline {

// The process's counters as this system reads them; those it cannot read,
// or does not have, are empty and left off the page.
struct ProcessReadings {
    std::optional<double> cpuSeconds;      // user and system
    std::optional<double> virtualBytes;
    std::optional<double> residentBytes;
    std::optional<double> startTime;       // Unix seconds
    std::optional<long long> openFds;      // handles on Windows
    std::optional<double> maxFds;          // none on Windows
};

ProcessReadings readProcessReadings();

}  // namespace tessline
