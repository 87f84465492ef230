// What a service manager hears: the test plays systemd on its own
// NOTIFY_SOCKET and reads the datagrams of a reconnecting dump.
#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include "tests/support/scratch_dir.h"
#include "tests/support/sim_process.h"
#include "tests/support/wait_until.h"

using namespace testing_support;
using namespace std::chrono_literals;

namespace {

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
        return testing_support::waitUntil([&] {
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

}  // namespace

TEST(ServiceNotify, ReadyStatusAndWatchdogFollowTheDumpAndItsLoss) {
    ScratchDir dir;
    NotifySocket systemd(dir.file("notify"));
    SimProcess sim({"--frozen", "--link", dir.file("port"), "--hangup-after", "4"});
    Process solwatch({SOLWATCH_BIN, "-s", dir.file("port"), "-f", "-o", dir.file("day.csv"), "--reconnect"});
    EXPECT_TRUE(systemd.waitFor("READY=1"));
    EXPECT_TRUE(systemd.waitFor("STATUS=dumping Alder 15A mid HQ2042SIM01, 2 rows"));
    EXPECT_TRUE(systemd.waitFor("WATCHDOG=1"));
    EXPECT_TRUE(systemd.waitFor("STATUS=link lost (read: End of file), retry in 1 s"));
    solwatch.signal(SIGTERM);
    EXPECT_EQ(solwatch.wait(10s).exitCode, 0);
    EXPECT_TRUE(systemd.waitFor("STOPPING=1"));
    int ready = 0;
    for (const std::string& message : systemd.messages()) ready += message.find("READY=1") != std::string::npos;
    EXPECT_EQ(ready, 1);
}
