// Feeds arbitrary text to the capture reader: it reads a capture or names
// the bad line, and what it read is written back to the same events.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>

#include "capture/capture_format.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    tessline::Capture capture;
    try {
        capture = tessline::readCapture(in);
    } catch (const tessline::CaptureError& error) {
        if (error.line() < 1) std::abort();
        return 0;
    }
    std::string written = capture.header + "\n";
    for (const auto& event : capture.events) written += tessline::captureEventLine(event);
    std::istringstream again(written);
    const tessline::Capture reread = tessline::readCapture(again);
    if (reread.events.size() != capture.events.size()) std::abort();
    for (std::size_t i = 0; i < capture.events.size(); ++i) {
        const auto& a = capture.events[i];
        const auto& b = reread.events[i];
        if (a.micros != b.micros || a.kind != b.kind || a.bytes != b.bytes) std::abort();
    }
    return 0;
}
