#include "app/finish.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "capture/capture_writer.h"
#include "hex/exit_codes.h"
#include "link/tam_serial.h"
#include "log/log.h"

namespace tessline {

namespace {

// What finish() ends. The main thread sets it (its session's start and end,
// the capture before the port opens); finish() closes the link on whichever
// thread ends the program (the signal watcher, say).
struct OpenObjects {
    // Guards link and the link behind it: a session that ends waits here
    // until a close in progress is done, so that finish() never closes a
    // link that is being closed by its session too, and the two never join
    // its reader at once.
    std::mutex linkMutex;
    std::shared_ptr<TamSerial> link;
    // Guards capture and kept.
    std::mutex mutex;
    std::shared_ptr<CaptureWriter> capture;
    std::shared_ptr<void> kept;
};

OpenObjects& open() {
    static OpenObjects objects;
    return objects;
}

}  // namespace

void setOpenLink(std::shared_ptr<TamSerial> link) {
    std::lock_guard<std::mutex> lock(open().linkMutex);
    open().link = std::move(link);
}

void setOpenCapture(std::shared_ptr<CaptureWriter> capture) {
    std::lock_guard<std::mutex> lock(open().mutex);
    open().capture = std::move(capture);
}

void keepUntilFinish(std::shared_ptr<void> kept) {
    std::lock_guard<std::mutex> lock(open().mutex);
    open().kept = std::move(kept);
}

namespace {

// Closes the link, logs the run time and prints the backlog; true for the
// one thread that gets to end the process. Another that gets here meanwhile
// (the signal watcher, say) waits for that end instead of exiting twice.
void closeAndLog() {
    static std::atomic<bool> finishing{false};
    if (finishing.exchange(true)) {
        for (;;) std::this_thread::sleep_for(std::chrono::hours(24));
    }
    std::shared_ptr<CaptureWriter> capture;
    {
        std::lock_guard<std::mutex> lock(open().mutex);
        capture = open().capture;
    }
    {
        std::lock_guard<std::mutex> lock(open().linkMutex);
        if (std::shared_ptr<TamSerial> link = std::exchange(open().link, nullptr)) {
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

// The main thread's alone: the last session (its link closed) and the
// capture (complete) go, each with its last owner.
void letGo() {
    std::shared_ptr<void> kept;
    std::shared_ptr<CaptureWriter> capture;
    {
        std::lock_guard<std::mutex> lock(open().mutex);
        kept = std::exchange(open().kept, nullptr);
        capture = std::exchange(open().capture, nullptr);
    }
}

}  // namespace

void finish(int code) {
    closeAndLog();
    letGo();
    std::exit(code);
}

void finishFromOtherThread(int code) {
    closeAndLog();
    std::fflush(nullptr);
    std::_Exit(code);
}

}  // namespace tessline
