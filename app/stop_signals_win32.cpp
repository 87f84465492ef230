// The stop path of a Windows console: Ctrl-C and Ctrl-Break stand for
// SIGINT, closing the console window (or logging off, or shutting down)
// for SIGTERM, and each ends the run as those signals do on POSIX.
#include <windows.h>

#include <atomic>
#include <csignal>
#include <thread>

#include "app/finish.h"
#include "app/shutdown_budget.h"
#include "app/stop_signals.h"
#include "log/log.h"

namespace tessline {

namespace {

// Set by the console's handler thread for each event, waited for by the
// watcher thread; made before the handler is installed and never closed.
HANDLE consoleEvent = nullptr;
// The signal that the first event stands for; the handler sets it once.
std::atomic<int> firstSignal{0};

BOOL WINAPI onConsoleEvent(DWORD event) {
    int signal = 0;
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT: signal = SIGINT; break;
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT: signal = SIGTERM; break;
        default: return FALSE;
    }
    int none = 0;
    firstSignal.compare_exchange_strong(none, signal);
    SetEvent(consoleEvent);
    // Windows ends the process once the handler of a close returns: it
    // waits here for finish() instead, within the few seconds it is given.
    if (signal == SIGTERM) Sleep(INFINITE);
    return TRUE;
}

}  // namespace

void StopRequest::watchSignals() {
    consoleEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
    std::thread([this] { watch(); }).detach();
}

void StopRequest::watch() {
    if (WaitForSingleObject(consoleEvent, INFINITE) != WAIT_OBJECT_0) return;
    const int signal = firstSignal.load();
    logInfo("solwatch", "signal %d: stopping", signal);
    request(signal);
    // A second event, or a step that does not stop within the grace, ends
    // the run here, as on POSIX.
    WaitForSingleObject(consoleEvent, static_cast<DWORD>(kStopGrace.count()));
    logInfo("solwatch", "stopping without waiting any longer");
    finishFromOtherThread(exitCode());
}

}  // namespace tessline
