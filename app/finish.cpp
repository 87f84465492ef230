#include "app/finish.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <thread>
#include <utility>

#include "capture/capture_writer.h"
#include "hex/exit_codes.h"
#include "link/tam_serial.h"
#include "log/log.h"

namespace tessline {

namespace {
// Guards theOpenLink and the link behind it: the main thread sets it (its
// session's start and end), finish() closes the link on whichever thread
// ends the program (the signal watcher, say). A session that ends waits
// here until a close in progress is done, so that finish() never closes a
// link that is being destroyed, and the two never join its reader at once.
std::mutex openLinkMutex;
TamSerial* theOpenLink = nullptr;
// Set by the main thread before the port opens; read by finish() likewise.
std::atomic<CaptureWriter*> theCapture{nullptr};
}  // namespace

void setOpenLink(TamSerial* link) {
    std::lock_guard<std::mutex> lock(openLinkMutex);
    theOpenLink = link;
}

void setOpenCapture(CaptureWriter* capture) { theCapture = capture; }

namespace {

// Closes the link, logs the run time and prints the backlog; true for the
// one thread that gets to end the process. Another that gets here meanwhile
// (the signal watcher, say) waits for that end instead of exiting twice.
void closeAndLog() {
    static std::atomic<bool> finishing{false};
    if (finishing.exchange(true)) {
        for (;;) std::this_thread::sleep_for(std::chrono::hours(24));
    }
    CaptureWriter* capture = theCapture.load();
    {
        std::lock_guard<std::mutex> lock(openLinkMutex);
        if (TamSerial* link = std::exchange(theOpenLink, nullptr)) {
            if (capture) capture->closingPort();
            try {
                link->close();
                if (link->joinable()) link->join();
            } catch (...) {
                std::_Exit(kExitCloseFailed);
            }
        }
    }
    // After the link: its last bytes are in the capture too.
    if (capture) capture->close();
    std::int64_t elapsed = elapsedMicros();
    logInfo("solwatch", "done in %03d.%03d", static_cast<int>(elapsed / 1000000),
            static_cast<int>(elapsed / 1000 % 1000));
    dumpBacklog();
    std::cout.flush();
}

}  // namespace

void finish(int code) {
    closeAndLog();
    std::exit(code);
}

void finishFromOtherThread(int code) {
    closeAndLog();
    std::fflush(nullptr);
    std::_Exit(code);
}

}  // namespace tessline
