// What a service manager hears: the test plays systemd on its own
// NOTIFY_SOCKET and reads the datagrams of a reconnecting dump.
#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include "tests/support/notify_socket.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/sim_process.h"
#include "tests/support/wait_until.h"

using namespace testing_support;
using namespace std::chrono_literals;

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
