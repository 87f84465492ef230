// SIGINT, SIGTERM and SIGHUP end a run in order: a watcher thread takes
// them and asks the running step to stop; the step returns the exit code.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "hex/exit_codes.h"

namespace tessline {

class StopRequest {
public:
    // Blocks the stop signals in the calling thread (and so in every thread
    // it starts later) and starts the watcher thread. Call before any other
    // thread exists.
    void watchSignals();

    // The signal that asked for the stop, or 0.
    int signal() const { return signal_; }
    bool requested() const { return signal_ != 0; }

    // What wakes the step that runs now, for as long as the guard lives.
    class Waker {
    public:
        Waker(StopRequest& stop, std::function<void()> wake);
        ~Waker();
        Waker(const Waker&) = delete;
        Waker& operator=(const Waker&) = delete;

    private:
        StopRequest& stop_;
    };

    // The dump mode ends with 0 on a signal, the other modes with 128 plus
    // the signal's number.
    void setSignalIsNormalEnd(bool normal) { signalIsNormalEnd_ = normal; }
    int exitCode() const { return signalIsNormalEnd_ ? kExitOk : kExitSignalBase + signal_; }

    // Asks for the stop; what the watcher does with a signal.
    void request(int signal);
    // Wakes the step that runs now so that it sees its link gone; asks for
    // no stop.
    void deliverLinkLoss() { wakeRunningStep(); }
    // Sleeps for `duration` or until a stop is asked for; true on a stop.
    bool sleepFor(std::chrono::milliseconds duration);

private:
    void watch();
    void wakeRunningStep();
    void setWaker(std::function<void()> wake);

    std::atomic<int> signal_{0};
    std::atomic<bool> signalIsNormalEnd_{false};
    std::mutex wakerMutex_;  // guards waker_: set by the main thread, called by the watcher
    std::function<void()> waker_;
    std::mutex sleepMutex_;  // pairs with sleeping_, which request() notifies
    std::condition_variable sleeping_;
};

}  // namespace tessline
