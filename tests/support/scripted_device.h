// A device played by the test on the master side of a pseudo-terminal: each
// request line that arrives is answered by a script.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/pty.h"

namespace testing_support {

class ScriptedDevice {
public:
    // Gets the request frame text (without its line feed) and its number
    // (0 for the first); returns what to send back, possibly nothing.
    using Script = std::function<std::string(const std::string& request, int index)>;

    explicit ScriptedDevice(Script script);
    ~ScriptedDevice();

    const std::string& path() const { return pty_.slavePath(); }
    std::vector<std::string> requests();
    // Arrival times of the requests, relative to the device's start.
    std::vector<std::chrono::milliseconds> arrivals();
    void send(const std::string& bytes) { pty_.write(bytes); }

private:
    void serve();

    Pty pty_;
    Script script_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;  // guards requests_ and arrivals_
    std::vector<std::string> requests_;
    std::vector<std::chrono::milliseconds> arrivals_;
    std::chrono::steady_clock::time_point start_;
    std::thread thread_;
};

}  // namespace testing_support
