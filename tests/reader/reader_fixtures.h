// Shared helpers of the reader suite: a captured diagnostic log and a
// bounded wait.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tessline {
namespace test {

// Sends log lines at every level into a temporary file while it lives.
// Construct it before, and destroy it after, every thread that logs.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    // Lines without their time stamp, e.g. "INF.reader: reader start".
    std::vector<std::string> lines() const;
    int count(const std::string& line) const;

private:
    std::string dir_;
    std::string path_;
    std::uint8_t savedLevel_;
};

// Polls `done` every 10 ms for at most ten seconds; true once it holds.
bool waitUntil(const std::function<bool()>& done);

}  // namespace test
}  // namespace tessline
