// --rotate and --keep as a user meets them: the built program against the
// simulated charger, writing into today's file.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <thread>

#include "tests/support/scratch_dir.h"
#include "tests/support/sim_process.h"

using namespace testing_support;
using namespace std::chrono_literals;

namespace {

const std::string kFastHeader = "Timestamp,State,Ichr[A],Vchr[V],Ipnl[A],Vpnl[V],Ppnl[W],Temp[C],Err";

// The name of today's daily file of the simulated charger in `dir`.
std::string todaysFile(const ScratchDir& dir) {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char date[16];
    std::strftime(date, sizeof date, "%Y-%m-%d", &local);
    return dir.file(std::string("HQ2042SIM01-") + date + ".csv");
}

TEST(Rotate, OptionErrors) {
    const struct {
        std::vector<std::string> args;
        std::string message;
    } cases[] = {
        {{"--rotate", "daily"}, "--rotate needs -o: the rows go to files"},
        {{"-o", "x.csv", "--keep", "3"}, "--keep needs --rotate"},
        {{"-o", "x.csv", "--rotate", "weekly"}, "--rotate weekly: use daily or monthly"},
        {{"-o", "x.csv", "--rotate", "daily", "--keep", "0"}, "--keep must be at least 1"},
    };
    for (const auto& c : cases) {
        std::vector<std::string> args{"-s", "/dev/solwatch-no-such-port"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        ProcessResult r = runSolwatch(args);
        EXPECT_EQ(r.exitCode, 255) << c.message;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("solwatch-no-such-port"), std::string::npos) << "checked before the port opens";
    }
}

// Rows go to today's file with one header; an old file of this device
// goes, another device's file of the same day stays.
TEST(Rotate, DailyFileWithHeaderAndOldFilesPruned) {
    ScratchDir dir;
    writeFile(dir.file("HQ2042SIM01-2020-01-01.csv"), "old\n");
    writeFile(dir.file("HQ9999OTHER-2020-01-01.csv"), "other\n");
    SimProcess sim({"--frozen", "--no-load"});
    Process solwatch({SOLWATCH_BIN, "-s", sim.path(), "-f", "-o", dir.file("%s.csv"), "--rotate", "daily", "--keep",
                      "2"});
    const std::string today = todaysFile(dir);
    for (int i = 0; i < 100 && splitLines(readFile(today)).size() < 3; ++i) std::this_thread::sleep_for(100ms);
    solwatch.signal(SIGINT);
    ProcessResult r = solwatch.wait(10s);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "");
    auto lines = splitLines(readFile(today));
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], kFastHeader);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), kFastHeader), 1);
    EXPECT_FALSE(std::filesystem::exists(dir.file("HQ2042SIM01-2020-01-01.csv")));
    EXPECT_EQ(readFile(dir.file("HQ9999OTHER-2020-01-01.csv")), "other\n");
    EXPECT_FALSE(std::filesystem::exists(dir.file("HQ2042SIM01.csv"))) << "the template's own name is not written";
}

// A period file on a full disk gets the report of any output that fails.
TEST(Rotate, FullDiskIsReported) {
    ScratchDir dir;
    std::filesystem::create_symlink("/dev/full", todaysFile(dir));
    SimProcess sim({"--frozen", "--no-load"});
    ProcessResult r = runSolwatch({"-s", sim.path(), "-f", "-o", dir.file("%s.csv"), "--rotate", "daily"}, 30s);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_NE(r.err.find("========================== ERROR ============================="), std::string::npos);
    EXPECT_NE(r.err.find("cannot write the table: No space left on device"), std::string::npos) << r.err;
}

}  // namespace
