// Sends the diagnostic log, at every level, into a temporary file while it
// lives. Construct it before, and destroy it after, every thread that logs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace testing_support {

class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // Lines without their time stamp, e.g. "INF.reader: reader start".
    std::vector<std::string> lines() const;
    int count(const std::string& line) const;

private:
    std::string dir_;
    std::string path_;
    std::uint8_t savedLevel_;
};

}  // namespace testing_support
