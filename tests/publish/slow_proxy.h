// A broker that answers late: a TCP proxy on the loopback that passes every
// byte on, both ways, `delay` after it came. The broker's side of a
// connection stays open after the client went, so that the broker learns of
// the end only from the client's own DISCONNECT, never from a closed socket
// (which would make it publish the last will).
#pragma once

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace publish_test {

class SlowProxy {
public:
    SlowProxy(int brokerPort, std::chrono::milliseconds delay);
    // Stops every thread, then closes every socket.
    ~SlowProxy();
    SlowProxy(const SlowProxy&) = delete;
    SlowProxy& operator=(const SlowProxy&) = delete;

    std::string url() const { return "mqtt://127.0.0.1:" + std::to_string(port_); }

private:
    void accept();
    void relay(int client, int broker);

    const int brokerPort_;
    const std::chrono::milliseconds delay_;
    int listenFd_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::mutex mutex_;  // guards relays_ and fds_: the accepting thread adds, the destructor ends them
    std::vector<std::thread> relays_;
    std::vector<int> fds_;
    std::thread acceptor_;  // started last, joined first
};

}  // namespace publish_test
