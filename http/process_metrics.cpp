// The process metrics' text and its cache; each system's reader is in
// process_metrics_posix.cpp or process_metrics_win32.cpp.
#include "http/process_metrics_reader.h"

namespace tessline {

void appendProcessFamily(std::string& out, const char* name, const char* type, const char* help,
                         const std::string& value) {
    out += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n" + name + " " + value + "\n";
}

std::string processMetricsText(std::time_t now) {
    thread_local std::time_t readAt = -1;
    thread_local std::string text;
    if (now != readAt) text = readProcessMetrics();
    readAt = now;
    return text;
}

}  // namespace tessline
