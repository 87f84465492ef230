#include "dumper/dump_clock.h"

#include <condition_variable>
#include <mutex>
#include <thread>

namespace tessline {

namespace {

using std::chrono::system_clock;

// now() and sleepUntil() read the same clock: a wait that times out at a
// whole second always finds now() there, so the loop that waits never spins
// (time() can lag the precise clock by a kernel tick).
class SystemClock : public DumpClock {
public:
    std::int64_t now() override {
        return std::chrono::duration_cast<std::chrono::seconds>(system_clock::now().time_since_epoch()).count();
    }

    void sleepFor(std::chrono::milliseconds duration) override { std::this_thread::sleep_for(duration); }

    void sleepUntil(std::int64_t deadline, const std::atomic<bool>& stop) override {
        system_clock::time_point until{std::chrono::seconds(deadline)};
        std::unique_lock<std::mutex> lock(mutex_);
        woken_.wait_until(lock, until, [&stop] { return stop.load(); });
    }

    // Taking the mutex orders the flag before the sleeper's check: a sleeper
    // either saw the flag or is already waiting and gets the notification.
    void wake() override {
        { std::lock_guard<std::mutex> lock(mutex_); }
        woken_.notify_all();
    }

private:
    std::mutex mutex_;
    std::condition_variable woken_;
};

SystemClock systemClock;
std::atomic<DumpClock*> installedClock{&systemClock};

}  // namespace

DumpClock& dumpClock() { return *installedClock.load(); }

void setDumpClock(DumpClock* clock) { installedClock.store(clock ? clock : &systemClock); }

DumpClock& systemDumpClock() { return systemClock; }

}  // namespace tessline
