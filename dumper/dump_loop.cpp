#include "dumper/dump_loop.h"

#include "dumper/dump_clock.h"

namespace tessline {

std::int64_t rowDeadline(DumpVariant variant, std::int64_t now) {
    switch (variant) {
    case DumpVariant::full: return now - now % 60 + 60;
    case DumpVariant::fast: return now + 1;
    case DumpVariant::channels: break;
    }
    return now;
}

void runDumpLoop(DumpTable& table, DumpVariant variant, const RegisterReader& readRegister,
                 const std::atomic<bool>& stop, TableListener& listener) {
    DumpClock& clock = dumpClock();
    while (!stop) {
        // Taken before polling, so that full and fast rows always sleep at least once.
        std::int64_t now = clock.now();
        std::int64_t deadline = rowDeadline(variant, now);
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
