// Diagnostic log: levelled, categorised, time-stamped lines on standard error,
// with an optional backlog ring that is printed in one go.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace tessline {

// Process-wide settings. The front end writes them before other threads start.
extern std::atomic<std::uint8_t> logLevel;   // 1 errors, 2 + warnings, 3 + information
extern std::string* logFileName;             // append lines here instead of stderr; null: stderr
extern std::int32_t directLines;             // lines still written at once; -1 no limit; 0 backlog
extern std::int32_t linesAfterError;         // directLines after a backlog dump
extern std::int32_t backlogWarnLevel;        // >= 2: warnings dump the backlog too
extern std::int64_t logClockStart;           // microseconds on the monotonic clock

// Microseconds on the monotonic clock (the clock of logClockStart).
std::int64_t monotonicMicros();
// Microseconds since logClockStart.
std::int64_t elapsedMicros();

// Start-up reset: no log file, unlimited direct lines, clock starts now.
void resetLog();

// Backlog storage; the program keeps none (capacity 0). Tests give it room.
void setBacklogCapacity(std::size_t lines);

void logError(const char* category, const char* format, ...) __attribute__((format(printf, 2, 3)));
void logWarning(const char* category, const char* format, ...) __attribute__((format(printf, 2, 3)));
void logInfo(const char* category, const char* format, ...) __attribute__((format(printf, 2, 3)));
// An information line shown at every level but none: what solwatch did to
// the user's files on its own (a file deleted by --keep, a file that went
// away under it), which a service's journal must keep without -v.
void logNotice(const char* category, const char* format, ...) __attribute__((format(printf, 2, 3)));
void dumpBacklog();

// The stamp "%03d.%03d" of an elapsed time; it wraps every 1000 seconds.
std::string logStamp(std::int64_t elapsed);

}  // namespace tessline
