// The one clock of the dumper: calendar time for deadlines, update stamps,
// staleness and the printed time, and the sleeps of the dump loop. Tests put
// their own clock in so that minutes pass without waiting.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>

namespace tessline {

class DumpClock {
public:
    virtual ~DumpClock() = default;
    // Calendar time in whole seconds since the epoch.
    virtual std::int64_t now() = 0;
    virtual void sleepFor(std::chrono::milliseconds duration) = 0;
    // Sleeps until now() reaches `deadline` or until wake() finds `stop`
    // set, whichever comes first; it may also return early, so callers check
    // both again.
    virtual void sleepUntil(std::int64_t deadline, const std::atomic<bool>& stop) = 0;
    // Ends the sleepUntil() calls whose stop flag is set; call it after
    // setting the flag. Safe from any thread, not from a signal handler.
    virtual void wake() = 0;
};

// The clock in use: the system clock unless another one is installed.
DumpClock& dumpClock();
// Installs `clock` (not owned); null brings back the system clock. Install
// before the threads that read the clock start.
void setDumpClock(DumpClock* clock);
// The system clock, whichever clock is installed.
DumpClock& systemDumpClock();

}  // namespace tessline
