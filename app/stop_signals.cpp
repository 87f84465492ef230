#include "app/stop_signals.h"

#ifndef _WIN32  // Windows: stop_signals_win32.cpp
#include <signal.h>
#include <time.h>
#endif

#include <cerrno>
#include <chrono>
#include <thread>

#include "app/finish.h"
#include "app/shutdown_budget.h"
#include "log/log.h"

namespace tessline {

#ifndef _WIN32
namespace {

sigset_t stopSignals() {
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGHUP);
    return set;
}

// Returns on a signal of `set` or when the grace time has passed; an
// interrupted wait goes on for the time that is left.
void waitForSecondSignal(const sigset_t& set) {
    auto deadline = std::chrono::steady_clock::now() + kStopGrace;
    while (true) {
        auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return;
        timespec wait{static_cast<time_t>(left.count() / 1000000000), static_cast<long>(left.count() % 1000000000)};
        if (sigtimedwait(&set, nullptr, &wait) > 0 || errno != EINTR) return;
    }
}

}  // namespace

void StopRequest::watchSignals() {
    sigset_t set = stopSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::thread([this] { watch(); }).detach();
}
#endif

void StopRequest::setWaker(std::function<void()> wake) {
    std::lock_guard<std::mutex> lock(wakerMutex_);
    waker_ = std::move(wake);
}

StopRequest::Waker::Waker(StopRequest& stop, std::function<void()> wake) : stop_(stop) {
    stop_.setWaker(std::move(wake));
}

StopRequest::Waker::~Waker() { stop_.setWaker(nullptr); }

void StopRequest::request(int signal) {
    {
        // Under the sleep lock, so that a sleeper cannot miss it between its
        // check and its wait.
        std::lock_guard<std::mutex> lock(sleepMutex_);
        signal_ = signal;
    }
    sleeping_.notify_all();
    wakeRunningStep();
}

void StopRequest::wakeRunningStep() {
    std::lock_guard<std::mutex> lock(wakerMutex_);
    if (waker_) waker_();
}

bool StopRequest::sleepFor(std::chrono::milliseconds duration) {
    std::unique_lock<std::mutex> lock(sleepMutex_);
    return sleeping_.wait_for(lock, duration, [this] { return requested(); });
}

#ifndef _WIN32
void StopRequest::watch() {
    sigset_t set = stopSignals();
    int signal = 0;
    if (sigwait(&set, &signal) != 0) return;
    logInfo("solwatch", "signal %d: stopping", signal);
    request(signal);
    // A second signal, or a step that does not stop in time (a request still
    // waiting for its time-out), ends the run here.
    waitForSecondSignal(set);
    logInfo("solwatch", "stopping without waiting any longer");
    finishFromOtherThread(exitCode());
}
#endif

}  // namespace tessline
