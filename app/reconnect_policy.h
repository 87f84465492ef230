// How a dump meets the failures that end a link: which ones a reconnecting
// run survives, with what reason and exit code, and how long it waits
// before the next try. No I/O and no waits: the dump mode does those.
#pragma once

#include <chrono>
#include <exception>
#include <optional>
#include <string>

namespace tessline {

// The pauses between tries: none before the first, then 1, 2, 4, 8, 16 and
// 30 s for every further failure, until the link works again.
class Backoff {
public:
    // A try failed, or a working link was lost.
    void failed() { ++failures_; }
    // A table started: the next failure waits the shortest pause again.
    void linkWorked() { failures_ = 0; }
    // The pause before the next try.
    std::chrono::seconds nextDelay() const;

private:
    int failures_ = 0;
};

// Which lines the log gets while the device stays away: the first failed
// try, a reminder an hour after it and every hour on, and the return; not
// each try between (every 30 s, 2880 lines a day). The service status and
// /healthz say it all the while.
class AbsenceLog {
public:
    using Clock = std::chrono::steady_clock;
    enum class Line { none, first, reminder };

    // A try failed at `now`: the line it writes, if any.
    Line tryFailed(Clock::time_point now);
    // The device is there again: true when its absence was logged, so that
    // its return is logged too.
    bool deviceBack();

private:
    std::optional<Clock::time_point> since_;
    int reminders_ = 0;
};

// What a failure means for the run.
struct FailureVerdict {
    // A reconnecting run logs it and tries again; any other run ends with it.
    bool survivable;
    // Logged where it was found (a refused device or broker), so the run
    // ends with its code and no error banner.
    bool loggedWhereFound;
    std::string reason;
    int exitCode;
};

// `lossReason` is what the link said when it went away (empty while it is
// there): a failed write or a request without an answer is its consequence,
// so the loss is the better reason.
FailureVerdict classifyFailure(const std::exception_ptr& failure, const std::string& lossReason);

}  // namespace tessline
