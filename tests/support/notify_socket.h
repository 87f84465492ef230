// The service manager's side of sd_notify for tests: a datagram socket that
// a child process finds in NOTIFY_SOCKET, and the messages it sent.
#pragma once

#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/wait_until.h"

namespace testing_support {

class NotifySocket {
public:
    explicit NotifySocket(const std::string& path) : path_(path) {
        fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path.copy(address.sun_path, sizeof address.sun_path - 1);
        EXPECT_EQ(::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        ::setenv("NOTIFY_SOCKET", path.c_str(), 1);
    }
    ~NotifySocket() {
        ::unsetenv("NOTIFY_SOCKET");
        ::close(fd_);
    }

    // Collects messages until one contains `text`.
    bool waitFor(const std::string& text) {
        return waitUntil([&] {
            char buffer[4096];
            for (ssize_t n; (n = ::recv(fd_, buffer, sizeof buffer, MSG_DONTWAIT)) > 0;) {
                messages_.emplace_back(buffer, static_cast<std::size_t>(n));
                if (messages_.back().find(text) != std::string::npos) return true;
            }
            return false;
        });
    }
    const std::vector<std::string>& messages() const { return messages_; }

private:
    std::string path_;
    int fd_ = -1;
    std::vector<std::string> messages_;
};

}  // namespace testing_support
