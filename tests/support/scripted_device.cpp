#include "tests/support/scripted_device.h"

#include <poll.h>
#include <unistd.h>

namespace testing_support {

ScriptedDevice::ScriptedDevice(Script script)
    : script_(std::move(script)), start_(std::chrono::steady_clock::now()), thread_([this] { serve(); }) {}

ScriptedDevice::~ScriptedDevice() {
    stop_ = true;
    thread_.join();
}

void ScriptedDevice::serve() {
    std::string pending;
    int index = 0;
    while (!stop_) {
        pollfd p{pty_.masterFd(), POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0 || !(p.revents & POLLIN)) continue;
        char buffer[256];
        ssize_t n = ::read(pty_.masterFd(), buffer, sizeof buffer);
        if (n <= 0) continue;
        pending.append(buffer, static_cast<std::size_t>(n));
        for (std::size_t end; (end = pending.find('\n')) != std::string::npos;) {
            std::string request = pending.substr(0, end);
            pending.erase(0, end + 1);
            {
                std::lock_guard<std::mutex> lock(mutex_);
                requests_.push_back(request);
                arrivals_.push_back(std::chrono::duration_cast<std::chrono::milliseconds>(
                    std::chrono::steady_clock::now() - start_));
            }
            std::string answer = script_(request, index++);
            if (!answer.empty()) pty_.write(answer);
        }
    }
}

std::vector<std::string> ScriptedDevice::requests() {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

std::vector<std::chrono::milliseconds> ScriptedDevice::arrivals() {
    std::lock_guard<std::mutex> lock(mutex_);
    return arrivals_;
}

}  // namespace testing_support
