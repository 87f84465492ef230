#include "sim/line_pacer.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace tessline {

LinePacer::LinePacer(double bytesPerSecond, std::int64_t windowMicros)
    : byteMicros_(bytesPerSecond > 0 ? 1e6 / bytesPerSecond : 0),
      windowMicros_(static_cast<double>(windowMicros)) {}

// A loop that wakes a little late may still send the bytes whose slots
// passed while it slept, up to one window's worth, so the rate holds; bytes
// are at most one window early or late.
double LinePacer::slotStart(std::int64_t now) const { return std::max(txBusyUntil_, double(now) - windowMicros_); }

std::size_t LinePacer::sendable(std::int64_t now) const {
    if (!paced()) return std::numeric_limits<std::size_t>::max();
    double start = slotStart(now);
    double room = double(now) + windowMicros_ - start;
    if (room < byteMicros_) return 0;
    return static_cast<std::size_t>(room / byteMicros_);
}

void LinePacer::sent(std::size_t count, std::int64_t now) {
    if (!paced() || count == 0) return;
    txBusyUntil_ = slotStart(now) + double(count) * byteMicros_;
}

std::int64_t LinePacer::nextSendTime(std::int64_t now) const {
    if (!paced()) return now;
    double when = txBusyUntil_ - windowMicros_ + byteMicros_;
    return std::max(now, static_cast<std::int64_t>(std::ceil(when)));
}

std::int64_t LinePacer::arrival(std::int64_t now) {
    if (!paced()) return now;
    rxBusyUntil_ = std::max(rxBusyUntil_, double(now)) + byteMicros_;
    return static_cast<std::int64_t>(std::ceil(rxBusyUntil_));
}

void LinePacer::reset() {
    txBusyUntil_ = 0;
    rxBusyUntil_ = 0;
}

}  // namespace tessline
