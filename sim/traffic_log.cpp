#include "sim/traffic_log.h"

#include "capture/capture_format.h"

namespace tessline {

std::string trafficLine(std::int64_t micros, TrafficDirection direction, const std::string& bytes) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%4lld.%06lld ", static_cast<long long>(micros / 1000000),
                  static_cast<long long>(micros % 1000000));
    const char* marker = direction == TrafficDirection::fromHost ? "host> " : "sim>  ";
    return stamp + std::string(marker) + escapeBytes(bytes) + "\n";
}

TrafficLog::~TrafficLog() {
    if (file_) std::fclose(file_);
}

bool TrafficLog::open(const std::string& path) {
    file_ = std::fopen(path.c_str(), "a");
    return file_ != nullptr;
}

void TrafficLog::record(std::int64_t micros, TrafficDirection direction, const std::string& bytes) {
    if (!file_ || bytes.empty()) return;
    std::string line = trafficLine(micros, direction, bytes);
    std::fwrite(line.data(), 1, line.size(), file_);
    std::fflush(file_);
}

}  // namespace tessline
