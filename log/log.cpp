#include "log/log.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <new>
#include <vector>

namespace tessline {

std::atomic<std::uint8_t> logLevel{1};
std::string* logFileName = nullptr;
std::int32_t directLines = -1;
std::int32_t linesAfterError = -1;
std::int32_t backlogWarnLevel = 0;
std::int64_t logClockStart = 0;

namespace {

// Guards every written line, the backlog ring and directLines.
std::mutex logLock;

struct Backlog {
    std::vector<std::string> slots;  // empty string: free slot
    std::size_t writePos = 0;
} backlog;

const char* const kTags[] = {"", "ERR", "WRN", "INF"};

// Builds one line in a buffer that grows in whole KiB steps, as needed.
class LineBuffer {
public:
    LineBuffer() { grow(0); }
    bool failed() const { return failed_; }
    const char* text() const { return data_.data(); }

    void append(const char* format, va_list args) {
        if (failed_) return;
        va_list again;
        va_copy(again, args);
        int needed = std::vsnprintf(nullptr, 0, format, again);
        va_end(again);
        if (needed < 0) return;
        grow(static_cast<std::size_t>(needed));
        if (failed_) return;
        std::vsnprintf(&data_[used_], data_.size() - used_, format, args);
        used_ += static_cast<std::size_t>(needed);
    }

    void appendf(const char* format, ...) __attribute__((format(printf, 2, 3))) {
        va_list args;
        va_start(args, format);
        append(format, args);
        va_end(args);
    }

private:
    void grow(std::size_t more) {
        std::size_t wanted = used_ + more + 1;
        if (wanted <= data_.size()) return;
        std::size_t size = (wanted + 1023) / 1024 * 1024;
        try {
            data_.resize(size);
        } catch (const std::bad_alloc&) {
            failed_ = true;
        }
    }

    std::vector<char> data_;
    std::size_t used_ = 0;
    bool failed_ = false;
};

void storeInBacklog(const LineBuffer& line) {
    if (line.failed()) return;
    backlog.slots[backlog.writePos] = line.text();
    backlog.writePos = (backlog.writePos + 1) % backlog.slots.size();
}

void logWriteLine(int severity, const char* category, const char* format, va_list args) {
    std::lock_guard<std::mutex> lock(logLock);
    if (directLines == 0 && backlog.slots.empty()) return;

    std::FILE* out = nullptr;
    if (logFileName) out = std::fopen(logFileName->c_str(), "a");
    bool toFile = out != nullptr;
    if (!toFile) out = stderr;

    LineBuffer line;
    line.appendf("%s ", logStamp(elapsedMicros()).c_str());
    line.appendf("%s.%s: ", kTags[severity], category);
    line.append(format, args);
    line.appendf("\n");

    if (directLines != 0) {
        std::fprintf(out, "%s", line.failed() ? "invalid str." : line.text());
        if (directLines > 0) --directLines;
    } else {
        storeInBacklog(line);
    }
    if (toFile) std::fclose(out);
    else std::fflush(out);
}

void dumpBacklogLocked() {
    if (backlog.slots.empty() || backlog.slots.front().empty()) return;
    std::printf("\n-------- dumping backlog -------\n");
    std::size_t pos = backlog.slots.back().empty() ? 0 : backlog.writePos;
    while (!backlog.slots[pos].empty()) {
        std::printf("%s", backlog.slots[pos].c_str());
        backlog.slots[pos].clear();
        pos = (pos + 1) % backlog.slots.size();
    }
    backlog.writePos = 0;
    std::fflush(stdout);
}

void dumpAndResume() {
    std::lock_guard<std::mutex> lock(logLock);
    dumpBacklogLocked();
    directLines = linesAfterError;
}

}  // namespace

std::int64_t monotonicMicros() {
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

std::int64_t elapsedMicros() { return monotonicMicros() - logClockStart; }

std::string logStamp(std::int64_t elapsed) {
    auto stamp = static_cast<std::uint32_t>(elapsed % 1000000000);
    char text[32];
    std::snprintf(text, sizeof text, "%03u.%03u", stamp / 1000000, stamp / 1000 % 1000);
    return text;
}

void resetLog() {
    std::lock_guard<std::mutex> lock(logLock);
    delete logFileName;
    logFileName = nullptr;
    directLines = -1;
    linesAfterError = -1;
    logClockStart = monotonicMicros();
}

void setBacklogCapacity(std::size_t lines) {
    std::lock_guard<std::mutex> lock(logLock);
    backlog.slots.assign(lines, std::string());
    backlog.writePos = 0;
}

void dumpBacklog() {
    std::lock_guard<std::mutex> lock(logLock);
    dumpBacklogLocked();
}

void logError(const char* category, const char* format, ...) {
    if (logLevel == 0) return;
    if (directLines != -1) dumpAndResume();
    va_list args;
    va_start(args, format);
    logWriteLine(1, category, format, args);
    va_end(args);
}

void logWarning(const char* category, const char* format, ...) {
    if (logLevel < 2) return;
    if (backlogWarnLevel >= 2) dumpAndResume();
    va_list args;
    va_start(args, format);
    logWriteLine(2, category, format, args);
    va_end(args);
}

void logInfo(const char* category, const char* format, ...) {
    if (logLevel < 3) return;
    va_list args;
    va_start(args, format);
    logWriteLine(3, category, format, args);
    va_end(args);
}

void logNotice(const char* category, const char* format, ...) {
    if (logLevel == 0) return;
    va_list args;
    va_start(args, format);
    logWriteLine(3, category, format, args);
    va_end(args);
}

}  // namespace tessline
