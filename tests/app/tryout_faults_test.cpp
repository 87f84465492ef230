// Faults that a new user met against the simulator: each case failed
// before its mend.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <random>
#include <thread>

#include "tests/support/scratch_dir.h"
#include "tests/support/sim_process.h"
#include "tests/support/wait_until.h"

using namespace testing_support;
using namespace std::chrono_literals;

TEST(TryoutFaults, DeviceThatNeverNamesAllFieldsIsIdentifiedAfterTwoBlocks) {
    for (std::vector<std::string> sim : {std::vector<std::string>{"--serial", ""},
                                         {"--omit-field", "FW"},
                                         {"--no-pid"}}) {
        sim.push_back("--frozen");
        SimProcess device(sim);
        ProcessResult r = runSolwatch({"-s", device.path(), "-g"}, 20s);
        EXPECT_FALSE(r.timedOut) << sim[0];
        EXPECT_EQ(r.exitCode, 0x42) << sim[0] << r.err;  // the product id 0xA042, as an exit code
        EXPECT_NE(r.out.find("\nSerial number    "), std::string::npos) << sim[0] << r.out;
    }
}

TEST(TryoutFaults, TrafficDumpStaysOnStandardOutputAndTheFileHoldsTheTable) {
    ScratchDir dir;
    SimProcess sim({"--frozen"});
    Process solwatch({SOLWATCH_BIN, "-s", sim.path(), "-f", "-d", "-o", dir.file("day.csv")});
    // The dump's standard output is a pipe, full blocks at a time: it is read at the end.
    ASSERT_TRUE(waitUntil([&] { return splitLines(readFile(dir.file("day.csv"))).size() >= 2; }));
    solwatch.signal(SIGINT);
    ProcessResult r = solwatch.wait(10s);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find(":7D5ED"), std::string::npos) << r.out;
    std::vector<std::string> lines = splitLines(readFile(dir.file("day.csv")));
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0].rfind("Timestamp,", 0), 0u);
    for (std::size_t i = 1; i < lines.size(); ++i) EXPECT_EQ(lines[i].rfind("\"", 0), 0u) << lines[i];
    EXPECT_NE(r.out.find("PID\t0xA042"), std::string::npos);
}

TEST(TryoutFaults, OutputThatCannotBeWrittenIsAnErrorWithItsReason) {
    SimProcess sim({"--frozen"});
    for (std::vector<std::string> mode : {std::vector<std::string>{"-g"}, {"-f"}}) {
        std::vector<std::string> args{"-s", sim.path(), "-o", "/dev/full"};
        args.insert(args.end(), mode.begin(), mode.end());
        ProcessResult r = runSolwatch(args, 20s);
        EXPECT_EQ(r.exitCode, 255) << mode[0];
        EXPECT_NE(r.err.find("No space left on device"), std::string::npos) << mode[0] << r.err;
    }
}

// Stops at random moments, with the watcher's forced end now and then:
// the sanitizer builds see static destructors run under a live main thread.
TEST(TryoutFaults, StopsAtRandomMomentsEndCleanly) {
    std::mt19937 random(20261208);
    std::uniform_int_distribution<int> delayMillis(0, 1500);
    for (int run = 0; run < 8; ++run) {
        std::vector<std::string> options{"--garbage", "3", "--garbage-every", "3"};
        // Odd runs answer so late that a stop lands in a request's wait.
        if (run % 2) options.insert(options.end(), {"--answer-delay-ms", "600"});
        SimProcess sim(options);
        Process solwatch({SOLWATCH_BIN, "-s", sim.path()});
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMillis(random)));  // the moment is the subject
        solwatch.signal(SIGINT);
        ProcessResult r = solwatch.wait(15s);
        EXPECT_FALSE(r.timedOut) << run;
        EXPECT_EQ(r.signal, 0) << run;
        EXPECT_EQ(r.exitCode, 0) << run << r.err;
        EXPECT_EQ(r.err.find("runtime error"), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("Sanitizer"), std::string::npos) << r.err;
    }
}

// A port that the user may not open: the report names the port, and one
// line says which group may and how to join it. Root may open anything, so
// as root the run drops to an unprivileged user.
TEST(TryoutFaults, PortWithoutPermissionNamesItsGroup) {
    ScratchDir dir;
    std::string port = dir.file("ttyLOCKED");
    writeFile(port, "");
    std::vector<std::string> args{SOLWATCH_BIN, "-s", port, "-g"};
    if (::geteuid() == 0) {
        ::chmod(dir.path().c_str(), 0755);
        ::chmod(port.c_str(), 0660);
        args.insert(args.begin(), {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
    } else {
        ::chmod(port.c_str(), 0);  // the group may not either: no usermod hint then
    }
    ProcessResult r = runProcess(args, 20s);
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_NE(r.err.find("open " + port + ": Permission denied"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("ERR.serial: " + port + " belongs to group "), std::string::npos) << r.err;
    if (::geteuid() == 0) {
        EXPECT_NE(r.err.find("sudo usermod -aG root nobody"), std::string::npos);
    }
}
