#include "app/finish.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "capture/capture_writer.h"
#include "hex/exit_codes.h"
#include "link/tam_serial.h"
#include "log/log.h"

namespace tessline {

namespace {
// Set by the main thread once the link is started; read by finish(), which
// may run on whichever thread ends the program.
std::atomic<TamSerial*> theOpenLink{nullptr};
// Set by the main thread before the port opens; read by finish() likewise.
std::atomic<CaptureWriter*> theCapture{nullptr};
}  // namespace

void setOpenCapture(CaptureWriter* capture) { theCapture = capture; }

void setOpenLink(TamSerial* link) { theOpenLink = link; }
TamSerial* openLink() { return theOpenLink; }

namespace {

// Closes the link, logs the run time and prints the backlog; true for the
// one thread that gets to end the process. Another that gets here meanwhile
// (the signal watcher, say) waits for that end instead of exiting twice.
void closeAndLog() {
    static std::atomic<bool> finishing{false};
    if (finishing.exchange(true)) {
        for (;;) ::pause();
    }
    CaptureWriter* capture = theCapture.load();
    if (TamSerial* link = theOpenLink.exchange(nullptr)) {
        if (capture) capture->closingPort();
        try {
            link->close();
            if (link->joinable()) link->join();
        } catch (...) {
            std::_Exit(kExitCloseFailed);
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
