// The capture format: the traffic of a serial line as text, one line per
// chunk, that a person can read and a diff can show, and that solwatch-sim
// can serve again. Pure logic: no ports, no files.
//
//   solwatch-capture 1 (solwatch VERSION, 19200 8N1)
//   # a comment
//   0.000000 open
//   0.048211 rx \r\nPID\t0xA042\r\nFW\t116...
//   1.201634 tx :154\n
//   1.209040 rx :54116B3\n
//   7.312008 lost read: End of file
//
// Times are seconds since the port was first opened; "rx" is what the
// device sent, "tx" what solwatch sent; "open" and "lost REASON" mark the
// port opened (again) and the line lost.
#pragma once

#include <cstdint>
#include <istream>
#include <stdexcept>
#include <string>
#include <vector>

namespace tessline {

constexpr int kCaptureFormatVersion = 1;

struct CaptureEvent {
    enum class Kind { open, rx, tx, lost };
    std::int64_t micros = 0;  // since the port was first opened
    Kind kind = Kind::rx;
    std::string bytes;        // rx, tx: the raw bytes; lost: the reason
};

struct Capture {
    std::string header;  // the first line, as written
    std::vector<CaptureEvent> events;
};

// A capture that cannot be read; what() names the line.
class CaptureError : public std::runtime_error {
public:
    CaptureError(int line, const std::string& problem)
        : std::runtime_error("line " + std::to_string(line) + ": " + problem), line_(line) {}
    int line() const { return line_; }

private:
    int line_;
};

// Printable ASCII stays as it is; CR, LF and TAB become \r \n \t, a
// backslash \\, every other byte \xHH.
std::string escapeBytes(const std::string& bytes);
// The inverse; throws std::invalid_argument for a broken escape.
std::string unescapeBytes(const std::string& text);

// "solwatch-capture 1 (solwatch VERSION, LINE)"
std::string captureHeaderLine(const std::string& solwatchVersion, const std::string& lineSettings);
// One line of the format, with its line end.
std::string captureEventLine(const CaptureEvent& event);

// Reads a whole capture; throws CaptureError naming the first bad line.
Capture readCapture(std::istream& in);

}  // namespace tessline
