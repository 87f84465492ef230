#include "dumper/dump_clock.h"

#include <atomic>
#include <ctime>
#include <thread>

namespace tessline {

namespace {

class SystemClock : public DumpClock {
public:
    std::int64_t now() override { return static_cast<std::int64_t>(std::time(nullptr)); }
    void sleepFor(std::chrono::milliseconds duration) override { std::this_thread::sleep_for(duration); }
};

SystemClock systemClock;
std::atomic<DumpClock*> installedClock{&systemClock};

}  // namespace

DumpClock& dumpClock() { return *installedClock.load(); }

void setDumpClock(DumpClock* clock) { installedClock.store(clock ? clock : &systemClock); }

}  // namespace tessline
