// LineActivity: when the line last carried a TEXT block or a HEX frame that
// passed its checksum, kept for a whole run across its reconnections. The
// link's reader thread writes it; any thread reads it.
#pragma once

#include <atomic>
#include <chrono>

namespace tessline {

class LineActivity {
public:
    using Clock = std::chrono::steady_clock;

    void noteValidFrame(Clock::time_point at) { lastValidFrame_ = at.time_since_epoch().count(); }
    // None before the first valid frame.
    bool seenAny() const { return lastValidFrame_ != kNever; }
    Clock::time_point lastValidFrame() const { return Clock::time_point(Clock::duration(lastValidFrame_.load())); }

private:
    static constexpr Clock::rep kNever = Clock::duration::min().count();
    std::atomic<Clock::rep> lastValidFrame_{kNever};  // one word, so a plain atomic
};

}  // namespace tessline
