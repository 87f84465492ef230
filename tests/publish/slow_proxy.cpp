#include "tests/publish/slow_proxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <deque>
#include <stdexcept>

namespace publish_test {

namespace {

using Clock = std::chrono::steady_clock;
// How long a poll may last, so that the threads see the stop soon.
constexpr int kPollMillis = 50;

sockaddr_in loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    return address;
}

struct Chunk {
    Clock::time_point due;
    std::string bytes;
};

// One way of a connection: what came from `from` and goes to `to` when due.
struct Way {
    int from;
    int to;
    bool open = true;
    std::deque<Chunk> chunks;
};

}  // namespace

SlowProxy::SlowProxy(int brokerPort, std::chrono::milliseconds delay) : brokerPort_(brokerPort), delay_(delay) {
    listenFd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = loopback(0);
    socklen_t length = sizeof address;
    if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listenFd_, 8) != 0 || ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        throw std::runtime_error("the slow proxy cannot listen");
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { accept(); });
}

SlowProxy::~SlowProxy() {
    stopping_ = true;
    acceptor_.join();
    std::lock_guard<std::mutex> lock(mutex_);
    for (std::thread& relay : relays_) relay.join();
    for (int fd : fds_) ::close(fd);
    ::close(listenFd_);
}

void SlowProxy::accept() {
    while (!stopping_) {
        pollfd listening{listenFd_, POLLIN, 0};
        if (::poll(&listening, 1, kPollMillis) <= 0) continue;
        int client = ::accept(listenFd_, nullptr, nullptr);
        int broker = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address = loopback(brokerPort_);
        std::lock_guard<std::mutex> lock(mutex_);
        for (int fd : {client, broker})
            if (fd >= 0) fds_.push_back(fd);
        if (client >= 0 && broker >= 0 &&
            ::connect(broker, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
            relays_.emplace_back([this, client, broker] { relay(client, broker); });
    }
}

// Sends what is due, then waits for bytes until the next chunk is due.
void SlowProxy::relay(int client, int broker) {
    Way ways[2] = {{client, broker}, {broker, client}};
    while (!stopping_) {
        const Clock::time_point now = Clock::now();
        int wait = kPollMillis;
        pollfd fds[2];
        for (int i = 0; i < 2; ++i) {
            Way& way = ways[i];
            for (; !way.chunks.empty() && way.chunks.front().due <= now; way.chunks.pop_front())
                ::send(way.to, way.chunks.front().bytes.data(), way.chunks.front().bytes.size(), MSG_NOSIGNAL);
            if (!way.chunks.empty())
                wait = std::min<int>(wait, std::chrono::ceil<std::chrono::milliseconds>(way.chunks.front().due - now).count());
            fds[i] = {way.open ? way.from : -1, POLLIN, 0};
        }
        if (::poll(fds, 2, wait) <= 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            char buffer[4096];
            ssize_t n = ::recv(ways[i].from, buffer, sizeof buffer, 0);
            if (n <= 0) ways[i].open = false;  // what it sent still goes; the other way stays open
            else ways[i].chunks.push_back({Clock::now() + delay_, std::string(buffer, static_cast<std::size_t>(n))});
        }
    }
}

}  // namespace publish_test
