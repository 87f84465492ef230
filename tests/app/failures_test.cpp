// How runs end against a device that does not qualify, fails, or is stopped.
#include <gtest/gtest.h>

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <regex>
#include <sstream>
#include <thread>

#include "tests/support/pty.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/sim_process.h"
#include "tests/support/wait_until.h"

using namespace testing_support;
using namespace std::chrono_literals;

namespace {

// CPU seconds (user + system) that a process has used so far.
double cpuSeconds(int pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14) utime = std::stol(field);
        if (i == 15) stime = std::stol(field);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

std::vector<std::string> solwatchArgs(std::vector<std::string> args) {
    args.insert(args.begin(), SOLWATCH_BIN);
    return args;
}

}  // namespace

TEST(Capabilities, DevicesThatDoNotQualifyEndWithTheirCodes) {
    struct Case {
        std::vector<std::string> sim;
        std::string errorLine;
        int exitCode;
    } cases[] = {
        {{"--firmware", "0x0116"}, "ERR.capabilities: application required to determine capabilities...", 81},
        {{"--firmware", "0x8116"}, "ERR.capabilities: application required to determine capabilities...", 81},
        {{"--product-id", "0xA080"}, "ERR.capabilities: only mppt chargers are supported", 91},
        {{"--product-id", "0x0301"}, "ERR.capabilities: only mppt chargers are supported", 91},
        {{"--ping-without-word"}, "ERR.capabilities: no ping reply", 3},
        {{"--device-id-without-word"}, "ERR.capabilities: no device id reply", 22},
    };
    ScratchDir dir;
    for (const auto& c : cases) {
        SimProcess sim(c.sim);
        ProcessResult r = runSolwatch({"-s", sim.path(), "-o", dir.file("refused.csv")}, 60s);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.errorLine;
        EXPECT_TRUE(hasLine(unstamped(r.err), c.errorLine)) << r.err;
        EXPECT_EQ(r.out, "") << c.errorLine;
        EXPECT_EQ(readFile(dir.file("refused.csv")), "") << c.errorLine;
    }
}

TEST(Failures, DeviceIdWithoutAnswerIsReportedWithTheBanner) {
    SimProcess sim({"--no-device-id"});
    ProcessResult r = runSolwatch({"-s", sim.path(), "-g"}, 60s);
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_EQ(r.err.rfind("========================== ERROR =============================\n"
                          "don't know....\n"
                          "--------------------------------------------------------------\n",
                          0),
              0u)
        << r.err;
    EXPECT_NE(r.err.find("no_response"), std::string::npos);
    // The throw location names the source within the tree, not the folder
    // the program was built in.
    EXPECT_NE(r.err.find("\nhex/hex_proto.cpp("), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find(SOLWATCH_SOURCE_DIR), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
}

// With an output file too: the report used to crash through a standard
// output left pointing into the file's destroyed buffer.
TEST(Failures, PulledCableDuringTheDumpIsReportedAndKeepsTheRows) {
    ScratchDir dir;
    for (bool toFile : {false, true}) {
        SimProcess sim({"--frozen", "--hangup-after", "3"});
        std::vector<std::string> args{"-s", sim.path(), "-f"};
        if (toFile) args.insert(args.end(), {"-o", dir.file("day.csv")});
        ProcessResult r = runSolwatch(args, 60s);
        EXPECT_FALSE(r.timedOut);
        EXPECT_EQ(r.exitCode, 255) << toFile;
        EXPECT_EQ(r.signal, 0) << toFile;
        EXPECT_NE(r.err.find("========================== ERROR ============================="), std::string::npos);
        EXPECT_NE(r.err.find("write: "), std::string::npos) << r.err;
        std::string table = toFile ? readFile(dir.file("day.csv")) : r.out;
        auto lines = splitLines(table);
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(table.back(), '\n');  // no row cut short
        auto commas = std::count(lines[0].begin(), lines[0].end(), ',');
        for (const auto& line : lines) EXPECT_EQ(std::count(line.begin(), line.end(), ','), commas) << line;
    }
}

TEST(Signals, EndTheDumpWithZeroAndKeepEveryRow) {
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
        SimProcess sim({"--frozen"});
        Process solwatch(solwatchArgs({"-s", sim.path(), "-f"}));
        ASSERT_FALSE(solwatch.readLine(20s).empty());
        ASSERT_FALSE(solwatch.readLine(5s).empty());
        solwatch.signal(sig);
        ProcessResult r = solwatch.wait(10s);
        EXPECT_EQ(r.exitCode, 0) << sig;
        EXPECT_EQ(r.signal, 0);
        EXPECT_EQ(r.out.back(), '\n');
        EXPECT_EQ(r.err, "");
    }
    ScratchDir dir;
    SimProcess sim({"--frozen"});
    Process solwatch(solwatchArgs({"-s", sim.path(), "-f", "-o", dir.file("day.csv")}));
    EXPECT_TRUE(waitUntil([&] { return splitLines(readFile(dir.file("day.csv"))).size() >= 2; }));
    solwatch.signal(SIGTERM);
    ProcessResult r = solwatch.wait(10s);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.err, "");
    std::string table = readFile(dir.file("day.csv"));
    ASSERT_FALSE(table.empty());
    EXPECT_EQ(table.back(), '\n');
}

TEST(Signals, SilentDeviceKeepsTheProgramWaitingWithoutCpuUntilASignal) {
    SimProcess sim({"--silent"});
    Process solwatch(solwatchArgs({"-s", sim.path(), "-g", "-v"}));
    ASSERT_TRUE(solwatch.waitForErr("INF.reader: thread start", 10s)) << solwatch.errSoFar();
    double before = cpuSeconds(solwatch.pid());
    // Time is the subject: the CPU that two seconds of waiting use.
    std::this_thread::sleep_for(2s);
    double used = cpuSeconds(solwatch.pid()) - before;
    EXPECT_LT(used, 0.1) << "busy waiting";
    // The one sign of life: printed without -v too, since it is an error line.
    EXPECT_TRUE(solwatch.waitForErr("ERR.solwatch: no data from " + sim.path() +
                                         " yet (check power / correct serial port)", 6s))
        << solwatch.errSoFar();
    solwatch.signal(SIGTERM);
    ProcessResult r = solwatch.wait(10s);
    EXPECT_EQ(r.exitCode, 128 + SIGTERM);
    EXPECT_EQ(r.out, "");
}

// Bytes that never make a valid TEXT block (noise, the wrong port or line
// speed): every mode says so after a few seconds, and not again soon.
TEST(Failures, GarbledLineGetsOneHintInEveryMode) {
    ScratchDir dir;
    struct Case {
        std::vector<std::string> sim;
        std::vector<std::string> mode;
    } cases[] = {
        {{"--garbage", "40"}, {"-g"}},
        {{"--corrupt-text-every", "1"}, {"-w", dir.file("image.hex")}},
        {{"--corrupt-text-every", "1"}, {"-f"}},
    };
    // All at once: each waits for its hint, then long enough for a second.
    std::vector<std::unique_ptr<SimProcess>> sims;
    std::vector<std::unique_ptr<Process>> runs;
    for (const auto& c : cases) {
        sims.push_back(std::make_unique<SimProcess>(c.sim));
        std::vector<std::string> args{"-s", sims.back()->path()};
        args.insert(args.end(), c.mode.begin(), c.mode.end());
        runs.push_back(std::make_unique<Process>(solwatchArgs(args)));
    }
    const std::string hintStart = "ERR.solwatch: bytes arrive on ";
    for (std::size_t i = 0; i < runs.size(); ++i)
        ASSERT_TRUE(runs[i]->waitForErr(hintStart, 10s)) << cases[i].mode[0] << runs[i]->errSoFar();
    // Time is the subject: no second hint comes within these seconds.
    std::this_thread::sleep_for(6s);
    for (std::size_t i = 0; i < runs.size(); ++i) {
        runs[i]->signal(SIGTERM);
        ProcessResult r = runs[i]->wait(10s);
        const std::string& mode = cases[i].mode[0];
        std::vector<std::string> hints;
        for (const auto& line : splitLines(unstamped(r.err)))
            if (line.rfind(hintStart, 0) == 0) hints.push_back(line);
        ASSERT_EQ(hints.size(), 1u) << mode << r.err;
        const std::regex hint("ERR\\.solwatch: bytes arrive on " + sims[i]->path() +
                              ", but no TEXT block has passed its checksum \\([1-9][0-9]{2,} bytes so far\\): "
                              "the wrong port or line speed\\?");
        EXPECT_TRUE(std::regex_match(hints[0], hint)) << mode << hints[0];
        EXPECT_EQ(r.out, "") << mode;
    }
}

TEST(Signals, InterruptedWriteLeavesNoImageFile) {
    ScratchDir dir;
    std::string file = dir.file("image.hex");
    SimProcess sim({}, /*paced=*/true);
    Process solwatch(solwatchArgs({"-s", sim.path(), "-w", file}));
    ASSERT_TRUE(solwatch.waitForOutput("reading 1%", 30s)) << solwatch.errSoFar();
    solwatch.signal(SIGINT);
    ProcessResult r = solwatch.wait(10s);
    EXPECT_EQ(r.exitCode, 128 + SIGINT);
    EXPECT_EQ(::access(file.c_str(), F_OK), -1);
    EXPECT_EQ(r.out.find("reading done"), std::string::npos);
}

TEST(Failures, SecondRunOnABusyPortIsRefused) {
    Pty pty;
    Process first(solwatchArgs({"-s", pty.slavePath(), "-v"}));
    ASSERT_TRUE(first.waitForErr("INF.serial: port open", 10s)) << first.errSoFar();
    ProcessResult second = runSolwatch({"-s", pty.slavePath()});
    EXPECT_EQ(second.exitCode, 255);
    EXPECT_NE(second.err.find("open " + pty.slavePath() + ": Device or resource busy"), std::string::npos)
        << second.err;
    first.signal(SIGTERM);
    EXPECT_EQ(first.wait(10s).exitCode, 0);
}

namespace {

// A fast dump with every log line and the traffic, stopped after its first row.
ProcessResult dumpOneRow(const std::vector<std::string>& simOptions) {
    SimProcess sim(simOptions);
    Process solwatch(solwatchArgs({"-s", sim.path(), "-f", "-v", "-d"}));
    // The first row's time stamp: the traffic dump beside it has no quote,
    // but may leave its last line open before the row.
    EXPECT_TRUE(solwatch.waitForOutput("\"", 30s)) << "no row";
    solwatch.signal(SIGINT);
    return solwatch.wait(10s);
}

std::string getRegisterRequest(unsigned id) {
    char text[16];
    std::snprintf(text, sizeof text, ":7%02X%02X", id & 0xFF, id >> 8);
    return text;
}

}  // namespace

TEST(Capabilities, ModernChargerReadsItsRegistersAndLogsItsFlags) {
    ProcessResult r = dumpOneRow({});
    std::string log = unstamped(r.err);
    EXPECT_EQ(r.exitCode, 0);
    for (unsigned reg : {0x0140u, 0xEDCDu, 0xEDCCu, 0xEDDFu, 0xEDCEu, 0xEDB8u})
        EXPECT_NE(r.out.find(getRegisterRequest(reg)), std::string::npos) << std::hex << reg;
    EXPECT_TRUE(hasLine(log, "INF.capabilities: deviceId=0xA042, app=0x0116")) << log;
    EXPECT_TRUE(hasLine(log, "INF.capabilities: history version=6"));
    EXPECT_TRUE(hasLine(log, "INF.capabilities: KZ_REG_CAPABILITIES1_HAS_LOAD_OUTPUT"));
    EXPECT_FALSE(hasLine(log, "ERR.capabilities: mppt charger model unknown..."));
}

TEST(Capabilities, OlderChargerTakesItsRatingsFromItsModelRow) {
    ProcessResult r = dumpOneRow({"--product-id", "0x0300"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_NE(r.out.find(getRegisterRequest(0xEDCD)), std::string::npos);
    for (unsigned reg : {0xEDDFu, 0xEDCEu, 0xEDB8u})
        EXPECT_EQ(r.out.find(getRegisterRequest(reg)), std::string::npos) << std::hex << reg;
    EXPECT_TRUE(hasLine(unstamped(r.err), "INF.capabilities: deviceId=0x0300, app=0x0116"));
}

TEST(Capabilities, ChargerWithoutModelRowOnOldFirmwareIsUnknown) {
    ProcessResult r = dumpOneRow({"--product-id", "0xA07E", "--firmware", "0x4111"});
    std::string log = unstamped(r.err);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(hasLine(log, "INF.capabilities: min voltage=0V, max voltage=0V")) << log;
    EXPECT_TRUE(hasLine(log, "INF.capabilities: max current=0A"));
    EXPECT_TRUE(hasLine(log, "ERR.capabilities: mppt charger model unknown..."));
    EXPECT_EQ(r.out.find(getRegisterRequest(0x0140)), std::string::npos);  // too old to ask
}
