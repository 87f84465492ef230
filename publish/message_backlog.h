// MessageBacklog: the state messages that wait for the broker, with no I/O
// of its own. It keeps their order, drops the oldest beyond its capacity,
// and hands them to a sender while fewer than a limit are in flight.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>

namespace tessline {

class MessageBacklog {
public:
    // True when the sender took the message; its completion is told later
    // through finished().
    using Sender = std::function<bool(const std::string& message)>;

    MessageBacklog(std::size_t capacity, int inFlightLimit);

    // Appends a message behind those waiting and drops the oldest once more
    // than the capacity wait. True when this drop is the first since the
    // last takeUnreportedDrops(), the moment to tell of a full backlog.
    bool push(std::string message);
    // Hands waiting messages to `send` in order until it refuses one, none
    // waits, or the limit is in flight. Any thread, and never waits for
    // another: a thread that finds the hand-over busy leaves it to the one
    // inside, which looks again before it leaves.
    void handOver(const Sender& send);
    // A message handed over is done with (sent, acknowledged or failed).
    void finished();

    std::size_t waiting() const;
    int inFlight() const { return inFlight_; }
    // All drops so far.
    std::uint64_t dropped() const { return dropped_; }
    // The drops since the last call.
    std::uint64_t takeUnreportedDrops();

private:
    const std::size_t capacity_;
    const int inFlightLimit_;
    // Messages handed over and not finished.
    std::atomic<int> inFlight_{0};
    // Set by whoever wants messages handed over; the thread inside the
    // hand-over clears it and looks at it again before it leaves.
    std::atomic<bool> handOverDue_{false};
    // Guards messages_. Held for a whole hand-over, so that the messages
    // reach the sender in order.
    mutable std::mutex mutex_;
    std::deque<std::string> messages_;
    // Messages dropped from the full backlog, and those of them told of.
    std::atomic<std::uint64_t> dropped_{0};
    std::atomic<std::uint64_t> reportedDrops_{0};
};

}  // namespace tessline
