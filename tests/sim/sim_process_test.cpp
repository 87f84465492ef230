// The simulator as other suites use it: a child process whose first output
// line names its terminal, which hosts may open, leave and open again.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/scratch_dir.h"
#include "tests/support/sim_process.h"
#include "tests/support/wait_until.h"

namespace {

using testing_support::SimProcess;
using namespace std::chrono_literals;

// Opens the device as the program does: for exclusive use.
int openDevice(const std::string& path) {
    int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
    if (fd >= 0) ioctl(fd, TIOCEXCL);
    return fd;
}

bool readable(int fd, int millis) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, millis) > 0;
}

// Reads until `wanted` has arrived, the line ends, or two seconds passed.
std::string readUntil(int fd, const std::string& wanted) {
    std::string got;
    char buffer[512];
    while (got.find(wanted) == std::string::npos && readable(fd, 2000)) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) break;
        got.append(buffer, std::size_t(n));
    }
    return got;
}

TEST(SimProcess, ServesReconnectingHostsAndCleansUp) {
    testing_support::ScratchDir dir;
    std::string link = dir.file("charger");
    SimProcess sim({"--frozen", "--period-ms", "100", "--link", link, "--verbose"});
    ASSERT_EQ(sim.path().rfind("/dev/pts/", 0), 0u) << sim.path();

    for (int visit = 0; visit < 2; ++visit) {
        int fd = openDevice(link);
        ASSERT_GE(fd, 0) << "visit " << visit;
        ASSERT_EQ(write(fd, ":154\n", 5), 5);
        EXPECT_NE(readUntil(fd, ":51641F9\n").find(":51641F9\n"), std::string::npos) << "visit " << visit;
        EXPECT_NE(readUntil(fd, "\r\nChecksum\t").find("\r\nPID\t0xA042"), std::string::npos) << "visit " << visit;
        const std::size_t logged = sim.process().errSoFar().size();
        close(fd);
        // The next host comes once the simulator has noticed that this one left.
        ASSERT_TRUE(sim.process().waitForErr("host gone", 20s, logged)) << sim.process().errSoFar();
    }
    sim.process().signal(SIGTERM);
    EXPECT_EQ(sim.process().wait(5s).exitCode, 0);
    struct stat st;
    EXPECT_NE(lstat(link.c_str(), &st), 0) << "link removed";
}

// The link goes with the line, as udev's links to an unplugged adapter do:
// left behind, it could lead to a terminal that the system hands on.
TEST(SimProcess, HangUpLooksLikeAPulledCable) {
    testing_support::ScratchDir dir;
    std::string link = dir.file("charger");
    SimProcess sim({"--frozen", "--hangup-after", "0.5", "--link", link});
    int fd = openDevice(link);
    ASSERT_GE(fd, 0);
    readUntil(fd, "\r\nChecksum\t");
    // After the hang-up a read ends (EOF or EIO) instead of waiting for data.
    char buffer[256];
    EXPECT_TRUE(testing_support::waitUntil([&] { return readable(fd, 10) && read(fd, buffer, sizeof buffer) <= 0; }));
    struct stat st;
    EXPECT_TRUE(testing_support::waitUntil([&] { return lstat(link.c_str(), &st) != 0; }))
        << "the link goes with the hang-up";
    close(fd);
    sim.process().signal(SIGINT);
    EXPECT_EQ(sim.process().wait(5s).exitCode, 0);
}

}  // namespace

TEST(SimProcess, BadCaptureIsOneErrorNamingItsLine) {
    testing_support::ScratchDir dir;
    const std::string capture = dir.file("bad.cap");
    testing_support::writeFile(capture, "solwatch-capture 1\n0 open\n1 rz abc\n");
    auto r = testing_support::runProcess({SOLWATCH_SIM_BIN, "--replay", capture}, 10s);
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "solwatch-sim: " + capture + ": line 3: unknown kind \"rz\" (open, rx, tx or lost)\n");
}
