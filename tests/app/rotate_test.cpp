// --rotate and --keep as a user meets them: the built program against the
// simulated charger, writing into today's file.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <thread>

#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <fstream>

#include "tests/support/csv_row.h"
#include "tests/support/notify_socket.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/sim_process.h"
#include "tests/support/time_zone.h"
#include "tests/support/wait_until.h"

using namespace testing_support;
using namespace std::chrono_literals;

namespace {

const std::string kFastHeader = "Timestamp,State,Ichr[A],Vchr[V],Ipnl[A],Vpnl[V],Ppnl[W],Temp[C],Err";

// The name of today's daily file of the simulated charger in `dir`
// (`days` later for another day).
std::string todaysFile(const ScratchDir& dir, int days = 0) {
    std::time_t now = std::time(nullptr) + days * 86400;
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

// Rows go to today's file with one header; of this device's older files
// the newest stays (--keep 2 counts today's), another device's file stays.
TEST(Rotate, DailyFileWithHeaderAndOldFilesPruned) {
    ScratchDir dir;
    writeFile(dir.file("HQ2042SIM01-2020-01-01.csv"), "old\n");
    writeFile(dir.file("HQ2042SIM01-2020-01-02.csv"), "newer\n");
    writeFile(dir.file("HQ9999OTHER-2020-01-01.csv"), "other\n");
    SimProcess sim({"--frozen", "--no-load"});
    Process solwatch({SOLWATCH_BIN, "-s", sim.path(), "-f", "-o", dir.file("%s.csv"), "--rotate", "daily", "--keep",
                      "2"});
    const std::string today = todaysFile(dir);
    waitUntil([&] { return splitLines(readFile(today)).size() >= 3; });
    solwatch.signal(SIGINT);
    ProcessResult r = solwatch.wait(10s);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out, "");
    auto lines = splitLines(readFile(today));
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], kFastHeader);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), kFastHeader), 1);
    EXPECT_FALSE(std::filesystem::exists(dir.file("HQ2042SIM01-2020-01-01.csv")));
    EXPECT_NE(r.err.find("deleted the old file " + dir.file("HQ2042SIM01-2020-01-01.csv")), std::string::npos) << r.err;
    EXPECT_EQ(readFile(dir.file("HQ2042SIM01-2020-01-02.csv")), "newer\n");
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
    EXPECT_NE(r.err.find("cannot write " + todaysFile(dir) + ": No space left on device"), std::string::npos) << r.err;
}

// A zone (TZ) where midnight comes `seconds` from now.
std::string zoneWithMidnightIn(int seconds) {
    long ahead = (2 * 86400 - std::time(nullptr) % 86400 - seconds) % 86400;
    char zone[32];
    std::snprintf(zone, sizeof zone, "LOC-%02ld:%02ld:%02ld", ahead / 3600, ahead / 60 % 60, ahead % 60);
    return zone;
}

// The rows (not headers) of a table file, each checked whole: as many
// cells as the header, the file ending with a line end.
std::vector<std::time_t> rowTimes(const std::string& file) {
    const std::string text = readFile(file);
    EXPECT_TRUE(text.empty() || text.back() == '\n') << "a partial row at the end";
    std::vector<std::time_t> times;
    for (const std::string& line : splitLines(text)) {
        if (line == kFastHeader) continue;
        EXPECT_EQ(csvCells(line).size(), csvCells(kFastHeader).size()) << line;
        times.push_back(csvTime(csvCells(line).at(0)));
    }
    return times;
}

// The day's switch into a name that cannot be opened (a folder took it):
// a service run holds the rows and writes them once the name is free; a
// run without --reconnect ends with the reason. Neither crashes.
TEST(Rotate, SwitchToAFileThatCannotBeOpened) {
    for (bool reconnect : {true, false}) {
        ScratchDir dir;
        TimeZoneGuard zone(zoneWithMidnightIn(8));  // this process's and its children's
        const std::string today = todaysFile(dir), tomorrow = todaysFile(dir, 1);
        std::filesystem::create_directory(tomorrow);
        SimProcess sim({"--frozen", "--no-load"});
        std::vector<std::string> argv{SOLWATCH_BIN, "-s", sim.path(), "-f", "-o", dir.file("%s.csv"), "--rotate", "daily"};
        if (reconnect) argv.push_back("--reconnect");
        Process solwatch(argv);
        const std::string reason = "cannot open output file " + tomorrow + ": Is a directory";
        ASSERT_TRUE(solwatch.waitForErr(reason, 20s)) << solwatch.errSoFar();
        if (reconnect) {
            // Rows held for a while, which nothing shows but the clock.
            std::this_thread::sleep_for(2s);
            std::filesystem::remove(tomorrow);
            EXPECT_TRUE(waitUntil([&] { return rowTimes(tomorrow).size() >= 4; }));
            solwatch.signal(SIGINT);
        }
        ProcessResult r = solwatch.wait(10s);
        EXPECT_EQ(r.signal, 0);
        EXPECT_EQ(r.exitCode, reconnect ? 0 : 255) << r.err;
        EXPECT_FALSE(rowTimes(today).empty());
        if (!reconnect) continue;
        std::vector<std::time_t> held = rowTimes(tomorrow);
        for (std::size_t i = 1; i < held.size(); ++i) EXPECT_LE(held[i] - held[i - 1], 2) << "rows held in order";
    }
}

// A file moved away (logrotate without copytruncate) or deleted is noticed
// at the next row: the name gets a new file with its header, and the moved
// file keeps what it had.
TEST(Rotate, MovedOrDeletedFileIsWrittenAnew) {
    ScratchDir dir;
    const std::string file = dir.file("day.csv");
    SimProcess sim({"--frozen", "--no-load"});
    Process solwatch({SOLWATCH_BIN, "-s", sim.path(), "-f", "-o", file});
    ASSERT_TRUE(waitUntil([&] { return rowTimes(file).size() >= 2; }));
    std::filesystem::rename(file, file + ".1");
    const std::string moved = readFile(file + ".1");
    ASSERT_TRUE(waitUntil([&] { return rowTimes(file).size() >= 2; }));
    std::filesystem::remove(file);
    ASSERT_TRUE(waitUntil([&] { return rowTimes(file).size() >= 1; }));
    solwatch.signal(SIGINT);
    ProcessResult r = solwatch.wait(10s);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(readFile(file + ".1"), moved);
    EXPECT_EQ(splitLines(readFile(file)).at(0), kFastHeader);
    EXPECT_NE(r.err.find(file + " was moved or deleted: writing a new one"), std::string::npos) << r.err;
}

// A full disk in a service run: the rows wait, and they all come in order
// once there is room again. (The file is moved away first, so that its
// new start needs room at once; a file's last page would take rows for a
// minute.)
TEST(Rotate, FullDiskHoldsTheRowsUntilThereIsRoom) {
    ScratchDir dir;
    if (mount("tmpfs", dir.path().c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a small file system here: " << std::strerror(errno);
    const std::string file = dir.file("day.csv"), filler = dir.file("filler");
    ScratchDir notifyDir;  // off the small file system that fills up
    NotifySocket systemd(notifyDir.file("notify"));  // its status counts the held rows
    {
        SimProcess sim({"--frozen", "--no-load"});
        Process solwatch({SOLWATCH_BIN, "-s", sim.path(), "-f", "--reconnect", "-o", file});
        ASSERT_TRUE(waitUntil([&] { return rowTimes(file).size() >= 2; }));
        {
            std::ofstream fill(filler, std::ios::binary);
            const std::string block(1024, 'x');
            while (fill.write(block.data(), block.size()) && fill.flush()) {}
        }
        std::filesystem::rename(file, file + ".1");
        EXPECT_TRUE(solwatch.waitForErr("cannot write " + file + ": No space left on device", 20s)) << solwatch.errSoFar();
        ASSERT_TRUE(systemd.waitFor(" 2 held: the file cannot be written"));
        std::filesystem::remove(filler);
        ASSERT_TRUE(waitUntil([&] { return rowTimes(file).size() >= 6; }));
        solwatch.signal(SIGINT);
        EXPECT_EQ(solwatch.wait(10s).exitCode, 0);
        std::vector<std::time_t> times = rowTimes(file + ".1"), after = rowTimes(file);
        times.insert(times.end(), after.begin(), after.end());
        for (std::size_t i = 1; i < times.size(); ++i) EXPECT_LE(times[i] - times[i - 1], 2) << "no row lost";
    }
    umount(dir.path().c_str());
}

}  // namespace
