// What each system's reader of the process metrics (process_metrics_posix.cpp,
// process_metrics_win32.cpp) gives processMetricsText and what it writes with.
#pragma once

#include <string>

#include "http/metrics_text.h"
#include "http/process_metrics.h"

namespace tessline {

// This system's process metrics, read now, in the text format.
std::string readProcessMetrics();

// One family with its HELP and TYPE and one sample without labels.
void appendProcessFamily(std::string& out, const char* name, const char* type, const char* help,
                         const std::string& value);

}  // namespace tessline
