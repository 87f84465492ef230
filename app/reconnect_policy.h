// How a dump meets the failures that end a link: which ones a reconnecting
// run survives, with what reason and exit code, and how long it waits
// before the next try. No I/O and no waits: the dump mode does those.
#pragma once

#include <chrono>
#include <exception>
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
