// LinePacer: the timing of one direction of a serial line. A real link at
// 19200 baud with 8N1 framing carries 1920 bytes a second; the simulator
// spaces what it sends and what it takes in the same way.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tessline {

constexpr double kLineBytesPerSecond = 1920.0;  // 19200 baud, 10 bits a byte

class LinePacer {
public:
    // bytesPerSecond 0 turns pacing off. `windowMicros` lets bytes leave up
    // to that much ahead of their slot, so a loop need not wake per byte; the
    // host sees them that much early, so it stays short next to an exchange
    // (a request and its answer take some 15 ms on the line).
    explicit LinePacer(double bytesPerSecond = kLineBytesPerSecond,
                       std::int64_t windowMicros = 1000);

    bool paced() const { return byteMicros_ > 0; }

    // Sending: how many bytes the line takes at `now`, and the bookkeeping
    // once they are handed over.
    std::size_t sendable(std::int64_t now) const;
    void sent(std::size_t count, std::int64_t now);
    // When sendable() becomes nonzero again (now if it already is).
    std::int64_t nextSendTime(std::int64_t now) const;

    // Receiving: the time at which the next byte, read from the port at
    // `now`, would have finished arriving on a real line.
    std::int64_t arrival(std::int64_t now);

    // The line went idle without its bytes (client gone).
    void reset();

private:
    double slotStart(std::int64_t now) const;

    double byteMicros_ = 0;
    double windowMicros_ = 0;
    double txBusyUntil_ = 0;  // end of the last byte handed over
    double rxBusyUntil_ = 0;  // end of the last byte received
};

}  // namespace tessline
