// TrafficLog: both directions of the line in one file, one line per chunk,
// with the time since the start and a direction marker, for reading after a
// failed test.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace tessline {

enum class TrafficDirection { fromHost, toHost };

// "  12.345678 host> :154\n" or "  12.345678 sim>  ..." for one chunk.
std::string trafficLine(std::int64_t micros, TrafficDirection direction, const std::string& bytes);

class TrafficLog {
public:
    TrafficLog() = default;
    ~TrafficLog();
    TrafficLog(const TrafficLog&) = delete;
    TrafficLog& operator=(const TrafficLog&) = delete;

    // Appends to `path`; false when it cannot be opened.
    bool open(const std::string& path);
    void record(std::int64_t micros, TrafficDirection direction, const std::string& bytes);

private:
    std::FILE* file_ = nullptr;
};

}  // namespace tessline
