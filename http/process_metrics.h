// The process metrics that Prometheus users expect of every exporter, read
// from /proc at scrape time as the official client libraries do.
#pragma once

#include <ctime>
#include <string>

namespace tessline {

// process_cpu_seconds_total, process_resident_memory_bytes,
// process_virtual_memory_bytes, process_open_fds, process_max_fds and
// process_start_time_seconds in the text format; those that cannot be
// read are left out. Read once a second at most: a scrape costs tens of
// microseconds of /proc reads, which a client asking thousands of times a
// second would pay every time.
std::string processMetricsText(std::time_t now);

}  // namespace tessline
