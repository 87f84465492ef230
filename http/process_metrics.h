// The process metrics that Prometheus users expect of every exporter, read
// from /proc at each scrape as the official client libraries do.
#pragma once

#include <string>

namespace tessline {

// process_cpu_seconds_total, process_resident_memory_bytes,
// process_virtual_memory_bytes, process_open_fds, process_max_fds and
// process_start_time_seconds in the text format; those that cannot be
// read are left out.
std::string processMetricsText();

}  // namespace tessline
