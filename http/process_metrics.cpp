// The process metrics' text and its cache; each system's reader is in
// process_metrics_posix.cpp or process_metrics_win32.cpp.
#include "http/process_metrics_reader.h"

#include "http/metrics_text.h"

namespace tessline {

namespace {

// One family with its HELP and TYPE and one sample without labels.
void appendFamily(std::string& out, const char* name, const char* type, const char* help, const std::string& value) {
    out += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n" + name + " " + value + "\n";
}

void appendGauge(std::string& out, const char* name, const char* help, const std::optional<double>& value) {
    if (value) appendFamily(out, name, "gauge", help, metricNumberText(*value));
}

std::string processMetricsNow() {
    const ProcessReadings read = readProcessReadings();
    std::string out;
    if (read.cpuSeconds)
        appendFamily(out, "process_cpu_seconds_total", "counter", "Total user and system CPU time spent in seconds.",
                     metricNumberText(*read.cpuSeconds));
    appendGauge(out, "process_virtual_memory_bytes", "Virtual memory size in bytes.", read.virtualBytes);
    appendGauge(out, "process_resident_memory_bytes", "Resident memory size in bytes.", read.residentBytes);
    appendGauge(out, "process_start_time_seconds", "Start time of the process since unix epoch in seconds.",
                read.startTime);
    if (read.openFds)
        appendFamily(out, "process_open_fds", "gauge", "Number of open file descriptors.",
                     std::to_string(*read.openFds));
    appendGauge(out, "process_max_fds", "Maximum number of open file descriptors.", read.maxFds);
    return out;
}

}  // namespace

std::string processMetricsText(std::time_t now) {
    thread_local std::time_t readAt = -1;
    thread_local std::string text;
    if (now != readAt) text = processMetricsNow();
    readAt = now;
    return text;
}

}  // namespace tessline
