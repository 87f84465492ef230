// A plain HTTP client for the end-to-end tests: a socket of the loopback,
// bytes as the test writes them, every wait bounded.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <string>

#include "tests/support/process.h"

namespace http_test {

using testing_support::freePort;

class Connection {
public:
    // Connects to 127.0.0.1:port from `from` (an address of the loopback);
    // connected() says whether it worked.
    explicit Connection(int port, const char* from = "127.0.0.1");
    ~Connection();
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    bool connected() const { return fd_ >= 0; }
    // Sends all of `bytes` unless the peer stops taking them within the time.
    bool send(const std::string& bytes, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Reads until `done(received())` holds, the peer closes, or the time is up.
    bool readUntil(const std::function<bool(const std::string&)>& done, std::chrono::milliseconds timeout);
    const std::string& received() const { return received_; }
    bool closedByPeer() const { return closed_; }

private:
    int fd_ = -1;
    std::string received_;
    bool closed_ = false;
};

struct Reply {
    int status = 0;  // 0: no whole answer came
    std::map<std::string, std::string> headers;  // names in lower case
    std::string body;
};

// The first whole answer in `raw`, if there is one.
Reply parseReply(const std::string& raw);

// Sends `request` as it is on a new connection and reads the answer.
Reply exchange(int port, const std::string& request, std::chrono::milliseconds timeout = std::chrono::seconds(5));

// A GET (or another method) of `target` that asks the server to close afterwards.
Reply httpGet(int port, const std::string& target, const std::string& method = "GET",
              std::chrono::milliseconds timeout = std::chrono::seconds(5));

}  // namespace http_test
