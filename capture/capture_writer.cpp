#include "capture/capture_writer.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "log/log.h"

namespace tessline {

namespace {
// A capture on the disk is at most this old, should the run end abruptly.
constexpr auto kFlushEvery = std::chrono::seconds(1);
// Reads that follow each other this closely are one line: a block that came
// in many small reads reads as one, with the time of its first read.
constexpr std::int64_t kJoinReadsWithinMicros = 20000;

// `events` with each run of close rx events joined into its first.
std::vector<CaptureEvent> joinCloseReads(const std::vector<CaptureEvent>& events) {
    std::vector<CaptureEvent> joined;
    std::int64_t lastReadAt = 0;
    for (const CaptureEvent& event : events) {
        const bool rx = event.kind == CaptureEvent::Kind::rx;
        if (rx && !joined.empty() && joined.back().kind == CaptureEvent::Kind::rx &&
            event.micros - lastReadAt <= kJoinReadsWithinMicros)
            joined.back().bytes += event.bytes;
        else
            joined.push_back(event);
        if (rx) lastReadAt = event.micros;
    }
    return joined;
}
}  // namespace

CaptureWriter::CaptureWriter(const std::string& path, const std::string& headerLine)
    : path_(path), file_(std::fopen(path.c_str(), "wb")) {
    if (!file_) throw std::runtime_error("cannot open capture file " + path + ": " + std::strerror(errno));
    std::fputs(headerLine.c_str(), file_);
    std::fflush(file_);
    thread_ = std::thread([this] { run(); });
}

CaptureWriter::~CaptureWriter() { close(); }

void CaptureWriter::opened() {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto now = std::chrono::steady_clock::now();
    if (!started_) start_ = now;
    started_ = true;
    closingPort_ = false;
    pending_.push_back({std::chrono::duration_cast<std::chrono::microseconds>(now - start_).count(),
                        CaptureEvent::Kind::open, std::string()});
}

void CaptureWriter::received(const char* bytes, std::size_t count) {
    record(CaptureEvent::Kind::rx, std::string(bytes, count));
}

void CaptureWriter::sent(const std::string& frame) { record(CaptureEvent::Kind::tx, frame); }

void CaptureWriter::lost(const std::string& reason) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closingPort_) return;
    }
    record(CaptureEvent::Kind::lost, reason);
}

void CaptureWriter::closingPort() {
    std::lock_guard<std::mutex> lock(mutex_);
    closingPort_ = true;
}

void CaptureWriter::record(CaptureEvent::Kind kind, std::string bytes) {
    const auto now = std::chrono::steady_clock::now();
    std::lock_guard<std::mutex> lock(mutex_);
    if (!started_ || closing_) return;
    pending_.push_back(
        {std::chrono::duration_cast<std::chrono::microseconds>(now - start_).count(), kind, std::move(bytes)});
}

void CaptureWriter::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait_for(lock, kFlushEvery, [this] { return closing_; });
        std::vector<CaptureEvent> events;
        events.swap(pending_);
        const bool last = closing_;
        lock.unlock();
        writeOut(events);
        if (last) return;
        lock.lock();
    }
}

// Formatting happens here, off the threads that report the traffic.
void CaptureWriter::writeOut(const std::vector<CaptureEvent>& events) {
    if (writeFailed_) return;
    std::string text;
    for (const CaptureEvent& event : joinCloseReads(events)) text += captureEventLine(event);
    if (std::fwrite(text.data(), 1, text.size(), file_) == text.size() && std::fflush(file_) == 0) return;
    writeFailed_ = true;
    logError("capture", "cannot write %s: %s; the capture ends here", path_.c_str(), std::strerror(errno));
}

void CaptureWriter::close() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closing_ && !thread_.joinable()) return;
        closing_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
    if (file_) std::fclose(file_);
    file_ = nullptr;
}

}  // namespace tessline
