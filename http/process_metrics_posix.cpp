// The process metrics on Linux, from /proc, as the official client
// libraries read them.
#include "http/process_metrics_reader.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

namespace tessline {

namespace {

// The fields of /proc/self/stat after the command's name, which may hold
// spaces: fields[0] is the state (field 3 of proc(5)). Read with plain
// calls: a scrape may come thousands of times a second.
std::vector<double> statFields() {
    char text[1024];
    const int fd = ::open("/proc/self/stat", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return {};
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (n <= 0) return {};
    text[n] = '\0';
    const char* at = std::strrchr(text, ')');
    if (!at) return {};
    std::vector<double> fields;
    for (at += 1; *at;) {
        while (*at == ' ') ++at;
        if (!*at || *at == '\n') break;
        char* end = nullptr;
        fields.push_back(std::strtod(at, &end));  // the state letter reads as 0
        at = end != at ? end : std::strchr(at, ' ') ? std::strchr(at, ' ') : at + std::strlen(at);
    }
    return fields;
}

// The boot time in Unix seconds; it does not change while the system runs.
long long bootTime() {
    static const long long boot = [] {
        std::ifstream in("/proc/stat");
        for (std::string key; in >> key;) {
            long long value = 0;
            if (key == "btime" && in >> value) return value;
            in.ignore(1 << 16, '\n');
        }
        return 0LL;
    }();
    return boot;
}

long openFds() {
    DIR* dir = ::opendir("/proc/self/fd");
    if (!dir) return -1;
    long count = 0;
    while (const dirent* entry = ::readdir(dir))
        if (entry->d_name[0] != '.') ++count;
    ::closedir(dir);
    return count - 1;  // the directory's own descriptor
}

}  // namespace

ProcessReadings readProcessReadings() {
    ProcessReadings read;
    const std::vector<double> stat = statFields();
    const double ticks = static_cast<double>(::sysconf(_SC_CLK_TCK));
    // proc(5) numbers the fields from 1, and fields[0] is field 3.
    auto field = [&](std::size_t n) { return stat.at(n - 3); };
    if (stat.size() >= 22 && ticks > 0) {
        read.cpuSeconds = (field(14) + field(15)) / ticks;
        read.virtualBytes = field(23);
        read.residentBytes = field(24) * static_cast<double>(::sysconf(_SC_PAGESIZE));
        if (bootTime() > 0) read.startTime = static_cast<double>(bootTime()) + field(22) / ticks;
    }
    const long fds = openFds();
    if (fds >= 0) read.openFds = fds;
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0) read.maxFds = static_cast<double>(limit.rlim_cur);
    return read;
}

}  // namespace tessline
