// http_slowloris: a slow, hostile client of the --http server, for its
// tests and benchmarks. CONNECTIONS sockets of FROM (an address of the
// loopback, bound before connecting) each send one byte of a request head
// every BYTE_EVERY seconds and never finish it; a socket that the server
// closes connects again RECONNECT_AFTER seconds later. It prints
// "slowloris: connecting" once every socket has begun to connect; after
// SECONDS it prints what it saw on one line and ends.
//   http_slowloris PORT FROM CONNECTIONS SECONDS [BYTE_EVERY [RECONNECT_AFTER]]
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Seconds = std::chrono::duration<double>;

const std::string kHead = "GET /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Slow: ";

struct Options {
    int port = 0;
    in_addr from{};
    int connections = 0;
    double seconds = 0;
    double byteEvery = 3;
    double reconnectAfter = 1;
};

struct Slot {
    int fd = -1;
    std::size_t sent = 0;
    Clock::time_point nextAt;  // of the next byte, or of the next connect while closed
};

struct Counts {
    long connects = 0;
    long closedByServer = 0;
    long answers = 0;
    long answers503 = 0;
};

double number(const char* text, double low, double high, const char* what) {
    char* end = nullptr;
    const double value = std::strtod(text, &end);
    if (*end || value < low || value > high)
        throw std::invalid_argument(std::string("bad ") + what + " \"" + text + "\"");
    return value;
}

Options parse(int argc, char** argv) {
    if (argc < 5 || argc > 7)
        throw std::invalid_argument("usage: http_slowloris PORT FROM CONNECTIONS SECONDS [BYTE_EVERY [RECONNECT_AFTER]]");
    Options options;
    options.port = static_cast<int>(number(argv[1], 1, 65535, "port"));
    // Load goes to this machine's loopback only.
    if (inet_pton(AF_INET, argv[2], &options.from) != 1 || (ntohl(options.from.s_addr) >> 24) != 127)
        throw std::invalid_argument(std::string("FROM must be an address of 127.0.0.0/8, not \"") + argv[2] + "\"");
    options.connections = static_cast<int>(number(argv[3], 1, 1000, "connection count"));
    options.seconds = number(argv[4], 1, 600, "run time");
    if (argc > 5) options.byteEvery = number(argv[5], 0.01, 60, "byte interval");
    if (argc > 6) options.reconnectAfter = number(argv[6], 0, 60, "reconnect delay");
    return options;
}

void connectSlot(Slot& slot, const Options& options, Counts& counts) {
    slot.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr = options.from;
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(static_cast<uint16_t>(options.port));
    server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (slot.fd < 0 || ::bind(slot.fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        (::connect(slot.fd, reinterpret_cast<sockaddr*>(&server), sizeof server) != 0 && errno != EINPROGRESS)) {
        if (slot.fd >= 0) ::close(slot.fd);
        slot.fd = -1;
        slot.nextAt = Clock::now() + std::chrono::seconds(1);
        return;
    }
    ++counts.connects;
    slot.sent = 0;
    slot.nextAt = Clock::now();
}

void closeSlot(Slot& slot, const Options& options) {
    ::close(slot.fd);
    slot.fd = -1;
    slot.nextAt = Clock::now() + std::chrono::duration_cast<Clock::duration>(Seconds(options.reconnectAfter));
}

// One more byte of the head that never ends.
void sendByte(Slot& slot, const Options& options) {
    const char byte = slot.sent < kHead.size() ? kHead[slot.sent] : 'a';
    if (::send(slot.fd, &byte, 1, MSG_NOSIGNAL) == 1) ++slot.sent;
    // A connect still in progress takes the byte at the next turn.
    else if (errno != EAGAIN && errno != ENOTCONN) return closeSlot(slot, options);
    slot.nextAt = Clock::now() + std::chrono::duration_cast<Clock::duration>(Seconds(options.byteEvery));
}

void readFromServer(Slot& slot, const Options& options, Counts& counts) {
    char chunk[4096];
    const ssize_t n = ::recv(slot.fd, chunk, sizeof chunk, 0);
    if (n > 0) {
        const std::string text(chunk, static_cast<std::size_t>(n));
        if (text.rfind("HTTP/1.", 0) == 0) ++counts.answers;
        if (text.rfind("HTTP/1.1 503", 0) == 0) ++counts.answers503;
        return;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return;
    ++counts.closedByServer;
    closeSlot(slot, options);
}

void run(const Options& options, Counts& counts) {
    std::vector<Slot> slots(static_cast<std::size_t>(options.connections));
    const auto end = Clock::now() + std::chrono::duration_cast<Clock::duration>(Seconds(options.seconds));
    std::vector<pollfd> watched;
    std::vector<Slot*> watchedSlots;
    bool announced = false;
    while (Clock::now() < end) {
        const auto now = Clock::now();
        watched.clear();
        watchedSlots.clear();
        for (Slot& slot : slots) {
            if (slot.fd < 0 && now >= slot.nextAt) connectSlot(slot, options, counts);
            else if (slot.fd >= 0 && now >= slot.nextAt) sendByte(slot, options);
            if (slot.fd < 0) continue;
            watched.push_back({slot.fd, POLLIN, 0});
            watchedSlots.push_back(&slot);
        }
        if (!announced) {
            // Every slot has begun its connect: a caller may start measuring.
            std::printf("slowloris: connecting\n");
            std::fflush(stdout);
            announced = true;
        }
        if (::poll(watched.data(), watched.size(), 20) <= 0) continue;
        for (std::size_t i = 0; i < watched.size(); ++i)
            if (watched[i].revents) readFromServer(*watchedSlots[i], options, counts);
    }
    for (Slot& slot : slots)
        if (slot.fd >= 0) ::close(slot.fd);
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const Options options = parse(argc, argv);
        Counts counts;
        run(options, counts);
        std::printf("slowloris: %ld connects, %ld closed by the server, %ld answers (%ld of them 503)\n",
                    counts.connects, counts.closedByServer, counts.answers, counts.answers503);
        return 0;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "http_slowloris: %s\n", e.what());
        return 2;
    }
}
