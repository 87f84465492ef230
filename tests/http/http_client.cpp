#include "tests/http/http_client.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>

#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/string_body.hpp>

namespace http_test {

namespace {

using Clock = std::chrono::steady_clock;

sockaddr_in loopback(int port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

int remainingMs(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

std::string lowerCase(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

}  // namespace

Connection::Connection(int port, const char* from) {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in local = loopback(0);
    ::inet_pton(AF_INET, from, &local.sin_addr);
    sockaddr_in address = loopback(port);
    if (fd_ >= 0 && (::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
                     ::connect(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)) {
        ::close(fd_);
        fd_ = -1;
    }
    // Non-blocking from here on: every wait goes through poll() with a bound.
    if (fd_ >= 0) ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK);
}

Connection::~Connection() {
    if (fd_ >= 0) ::close(fd_);
}

bool Connection::send(const std::string& bytes, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    std::size_t sent = 0;
    while (fd_ >= 0 && sent < bytes.size()) {
        ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return false;
        pollfd writable{fd_, POLLOUT, 0};
        if (::poll(&writable, 1, remainingMs(deadline)) <= 0) return false;
    }
    return fd_ >= 0;
}

bool Connection::readUntil(const std::function<bool(const std::string&)>& done, std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + timeout;
    while (!done(received_)) {
        if (fd_ < 0 || closed_) return false;
        pollfd readable{fd_, POLLIN, 0};
        if (::poll(&readable, 1, remainingMs(deadline)) <= 0) return false;
        char chunk[16384];
        ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
        if (n > 0) received_.append(chunk, static_cast<std::size_t>(n));
        else if (n == 0 || (errno != EAGAIN && errno != EINTR)) closed_ = true;
    }
    return true;
}

Reply parseReply(const std::string& raw) {
    namespace http = boost::beast::http;
    http::response_parser<http::string_body> parser;
    parser.eager(true);
    parser.body_limit(64 * 1024 * 1024);
    boost::system::error_code error;
    // Each put() takes one part: the head, then the body.
    for (std::size_t used = 0; used < raw.size() && !parser.is_done() && !error;)
        used += parser.put(boost::asio::buffer(raw.data() + used, raw.size() - used), error);
    if (!parser.is_done()) {
        if (!parser.is_header_done()) return {};
        // An answer without a length ends where the connection ended.
        parser.put_eof(error);
        if (error || !parser.is_done()) return {};
    }
    Reply reply;
    const auto& message = parser.get();
    reply.status = static_cast<int>(message.result_int());
    for (const auto& field : message) reply.headers[lowerCase(std::string(field.name_string()))] = std::string(field.value());
    reply.body = message.body();
    return reply;
}

Reply exchange(int port, const std::string& request, std::chrono::milliseconds timeout) {
    Connection connection(port);
    if (!connection.connected()) return {};
    // The server may answer (431, say) before it has read all of the request.
    connection.send(request, timeout);
    connection.readUntil([](const std::string& raw) { return parseReply(raw).status != 0; }, timeout);
    return parseReply(connection.received());
}

Reply httpGet(int port, const std::string& target, const std::string& method, std::chrono::milliseconds timeout) {
    return exchange(port, method + " " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n",
                    timeout);
}

}  // namespace http_test
