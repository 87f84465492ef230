#include "dumper/dump_loop.h"

#include "dumper/dump_clock.h"

namespace tessline {

namespace {

std::atomic<int> firstFullRowAfter{0};

// The phase of the full table's minutes in a loop that starts at `start`.
int fullMinutePhase(std::int64_t start) {
    const int after = firstFullRowAfter.load();
    return after == 0 ? 0 : static_cast<int>((start + after) % 60);
}

}  // namespace

void setFirstFullRowAfter(int seconds) { firstFullRowAfter.store(seconds); }

std::int64_t rowDeadline(DumpVariant variant, std::int64_t now, int minutePhase) {
    switch (variant) {
    case DumpVariant::full: return now - ((now - minutePhase) % 60 + 60) % 60 + 60;
    case DumpVariant::fast: return now + 1;
    case DumpVariant::channels: break;
    }
    return now;
}

void runDumpLoop(DumpTable& table, DumpVariant variant, const RegisterReader& readRegister,
                 const std::atomic<bool>& stop, TableListener& listener) {
    DumpClock& clock = dumpClock();
    const std::int64_t start = clock.now();
    const int phase = fullMinutePhase(start);
    // Each period's start is taken before polling, so that full and fast rows
    // always sleep at least once.
    for (std::int64_t now = start; !stop; now = clock.now()) {
        const std::int64_t deadline = rowDeadline(variant, now, phase);
        table.pollOnce(readRegister, stop);
        // One wakeup per row: the wait ends at the row time or on a stop request.
        while (now < deadline && !stop) {
            clock.sleepUntil(deadline, stop);
            now = clock.now();
        }
        if (stop) return;
        table.dumpData(listener);
    }
}

}  // namespace tessline
