// A field of this process's /proc/self/status in kB ("VmRSS:", "VmHWM:"),
// for the benchmarks that print their memory; -1 if it is not there.
#pragma once

#include <fstream>
#include <string>

inline long statusKb(const char* field) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.compare(0, std::char_traits<char>::length(field), field) == 0) return std::stol(line.substr(7));
    return -1;
}
