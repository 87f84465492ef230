// CaptureWriter: records a line's traffic to a capture file without slowing
// the thread that reports it. Callers only append to a list under a lock;
// a thread of its own formats the list and writes it out, at least once a
// second and whatever is left at close().
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "capture/capture_format.h"

namespace tessline {

class CaptureWriter {
public:
    // Creates (or empties) the file and writes the header line. Throws
    // std::runtime_error naming the file when it cannot be opened.
    CaptureWriter(const std::string& path, const std::string& headerLine);
    ~CaptureWriter();
    CaptureWriter(const CaptureWriter&) = delete;
    CaptureWriter& operator=(const CaptureWriter&) = delete;

    // The port was opened; the first call starts the capture's clock.
    void opened();
    // Bytes read from the device; on the link's reader thread.
    void received(const char* bytes, std::size_t count);
    // A frame about to be written to the device; on the requesting thread.
    void sent(const std::string& frame);
    // The line is gone, and why; not marked while the port is being closed
    // on purpose, which fails the pending read too.
    void lost(const std::string& reason);
    // The program closes the port now, until the next opened().
    void closingPort();
    // Writes what is left and ends the writing thread; later events are
    // dropped. Safe to call more than once.
    void close();

private:
    void record(CaptureEvent::Kind kind, std::string bytes);
    void run();
    void writeOut(const std::vector<CaptureEvent>& events);

    const std::string path_;
    std::FILE* file_;  // the writing thread's alone once it runs
    bool writeFailed_ = false;

    // Guards everything below: the callers' threads append, the writing
    // thread takes the list away.
    std::mutex mutex_;
    std::condition_variable wake_;
    std::vector<CaptureEvent> pending_;
    bool started_ = false;  // the port has been opened once
    std::chrono::steady_clock::time_point start_;
    bool closing_ = false;
    bool closingPort_ = false;

    std::thread thread_;
};

}  // namespace tessline
