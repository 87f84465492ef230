// A reconnecting dump against a simulator that goes away and comes back:
// the rows before and after stay whole, a header comes only with another
// device, and a stop ends every wait.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <optional>

#include "tests/support/scratch_dir.h"
#include "tests/support/sim_process.h"
#include "tests/support/wait_until.h"

using namespace testing_support;
using namespace std::chrono_literals;

namespace {

struct Table {
    std::vector<std::string> headers;
    std::vector<std::string> rows;
};

// Every line is a header or a whole row with as many cells as its header.
Table checkedTable(const std::string& text) {
    Table table;
    std::size_t cells = 0;
    EXPECT_TRUE(text.empty() || text.back() == '\n') << "a row cut short";
    for (const std::string& line : splitLines(text)) {
        std::size_t count = std::count(line.begin(), line.end(), ',') + 1;
        if (line.rfind("Timestamp,", 0) == 0) {
            table.headers.push_back(line);
            cells = count;
        } else {
            EXPECT_EQ(line.front(), '"') << line;
            EXPECT_EQ(count, cells) << line;
            table.rows.push_back(line);
        }
    }
    return table;
}

// Waits until the file holds at least `rows` lines.
bool waitForRows(const std::string& file, std::size_t rows, std::chrono::seconds timeout) {
    return waitUntil(
        [&] {
            std::string text = readFile(file);
            return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) >= rows;
        },
        timeout);
}

std::vector<std::string> withSim(std::vector<std::string> options, const std::string& link) {
    options.insert(options.end(), {"--frozen", "--link", link});
    return options;
}

// solwatch -f --reconnect on the port `link`, appending to `file`.
std::unique_ptr<Process> reconnectingDump(const std::string& link, const std::string& file,
                                          std::vector<std::string> more = {}) {
    std::vector<std::string> args{SOLWATCH_BIN, "-s", link, "-f", "-o", file, "--reconnect"};
    args.insert(args.end(), more.begin(), more.end());
    return std::make_unique<Process>(args);
}

ProcessResult stopped(Process& solwatch) {
    solwatch.signal(SIGTERM);
    return solwatch.wait(10s);
}

}  // namespace

TEST(Reconnect, HangUpMidDumpAndThePortComesBackUnderItsName) {
    ScratchDir dir;
    std::string link = dir.file("port"), file = dir.file("day.csv");
    SimProcess sim(withSim({"--hangup-after", "4", "--hangup-for", "1.5"}, link));
    auto solwatch = reconnectingDump(link, file);
    ASSERT_TRUE(solwatch->waitForErr("ERR.solwatch: link lost: ", 20s)) << solwatch->errSoFar();
    // The hang-up shows on whichever of a read or a write comes first.
    const std::string& err = solwatch->errSoFar();
    EXPECT_TRUE(err.find("link lost: read: ") != std::string::npos ||
                err.find("link lost: write: ") != std::string::npos)
        << err;
    std::size_t before = checkedTable(readFile(file)).rows.size();
    ASSERT_TRUE(waitForRows(file, before + 3, 20s)) << solwatch->errSoFar();
    ProcessResult r = stopped(*solwatch);
    EXPECT_EQ(r.exitCode, 0) << r.err;
    Table table = checkedTable(readFile(file));
    EXPECT_EQ(table.headers.size(), 1u) << r.err << readFile(file);
    EXPECT_GE(before, 1u);
    EXPECT_EQ(r.out, "");
}

TEST(Reconnect, SilenceBeyondTheTimeoutIsALossAndTextBringsTheRowsBack) {
    ScratchDir dir;
    std::string link = dir.file("port"), file = dir.file("day.csv");
    SimProcess sim(withSim({"--silent-after", "2", "--silent-for", "4"}, link));
    auto solwatch = reconnectingDump(link, file, {"--silence-timeout", "2"});
    ASSERT_TRUE(solwatch->waitForErr("ERR.solwatch: link lost: no data for 2 s", 20s)) << solwatch->errSoFar();
    std::size_t before = checkedTable(readFile(file)).rows.size();
    ASSERT_TRUE(waitForRows(file, before + 3, 30s)) << solwatch->errSoFar();
    ProcessResult r = stopped(*solwatch);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(checkedTable(readFile(file)).headers.size(), 1u);
}

// A line that turns to noise is lost like a silent one, and the port is
// opened again, which shows the noise again.
TEST(Reconnect, BlocksThatAllFailTheirChecksumAreALoss) {
    ScratchDir dir;
    std::string link = dir.file("port"), file = dir.file("day.csv");
    SimProcess sim(withSim({"--noise-after", "4"}, link));
    auto solwatch = reconnectingDump(link, file, {"--silence-timeout", "2"});
    ASSERT_TRUE(solwatch->waitForErr("ERR.solwatch: link lost: no valid TEXT block for 2 s", 20s))
        << solwatch->errSoFar();
    ASSERT_TRUE(solwatch->waitForErr("ERR.solwatch: cannot reach the device: no valid TEXT block for 2 s", 20s))
        << solwatch->errSoFar();
    ProcessResult r = stopped(*solwatch);
    EXPECT_EQ(r.exitCode, 0);
    Table table = checkedTable(readFile(file));
    EXPECT_EQ(table.headers.size(), 1u);
    EXPECT_GE(table.rows.size(), 1u);
}

// The first charger goes, a refused one takes its port, then another
// charger: the refusal is retried and logged like an absence (one line for
// the first try, none for the next), and the other charger gets its header.
TEST(Reconnect, RefusalIsRetriedLoggedOnceAndAnotherDeviceGetsItsOwnHeader) {
    ScratchDir dir;
    std::string link = dir.file("port"), file = dir.file("day.csv");
    std::optional<SimProcess> sim;
    sim.emplace(withSim({}, link));
    auto solwatch = reconnectingDump(link, file, {"-v"});
    ASSERT_TRUE(waitForRows(file, 3, 20s)) << solwatch->errSoFar();
    sim.emplace(withSim({"--ping-without-word"}, link));
    // The first charger's opening and four more: the refusal was tried at
    // least three times.
    const std::string opening = "INF.serial: port open";
    for (std::size_t from = 0, seen = 0; seen < 5; ++seen) {
        ASSERT_TRUE(solwatch->waitForErr(opening, 40s, from)) << solwatch->errSoFar();
        from = solwatch->errSoFar().find(opening, from) + opening.size();
    }
    std::size_t before = checkedTable(readFile(file)).rows.size();
    sim.emplace(withSim({"--no-load", "--serial", "HQ2042SIM02"}, link));
    ASSERT_TRUE(waitForRows(file, before + 2 + 2, 40s)) << solwatch->errSoFar();
    ProcessResult r = stopped(*solwatch);
    EXPECT_EQ(r.exitCode, 0);
    Table table = checkedTable(readFile(file));
    ASSERT_EQ(table.headers.size(), 2u);
    EXPECT_NE(table.headers[0], table.headers[1]);  // no load columns on the second charger
    const std::string log = unstamped(r.err);
    // Absent for a moment or refused at once: either way a single line.
    EXPECT_EQ(occurrences(log, "ERR.solwatch: cannot reach the device: "), 1u) << log;
    EXPECT_LE(occurrences(log, "device refused: no ping reply"), 1u) << log;
    EXPECT_EQ(occurrences(log, "ERR.capabilities: "), 0u) << log;
    EXPECT_TRUE(hasLine(log, "INF.solwatch: device reachable again: Alder 15A mid HQ2042SIM02")) << log;
    EXPECT_TRUE(hasLine(log, "ERR.solwatch: device changed: Alder 15A mid HQ2042SIM01, now Alder 15A mid HQ2042SIM02"))
        << log;
}

TEST(Reconnect, SameDeviceAfterALossGetsNoSecondHeader) {
    ScratchDir dir;
    std::string link = dir.file("port"), file = dir.file("day.csv");
    std::optional<SimProcess> sim;
    sim.emplace(withSim({}, link));
    auto solwatch = reconnectingDump(link, file);
    ASSERT_TRUE(waitForRows(file, 3, 20s)) << solwatch->errSoFar();
    sim.reset();
    ASSERT_TRUE(solwatch->waitForErr("ERR.solwatch: cannot reach the device: ", 10s)) << solwatch->errSoFar();
    sim.emplace(withSim({}, link));
    std::size_t before = checkedTable(readFile(file)).rows.size();
    ASSERT_TRUE(waitForRows(file, before + 1 + 2, 30s)) << solwatch->errSoFar();
    ProcessResult r = stopped(*solwatch);
    EXPECT_EQ(checkedTable(readFile(file)).headers.size(), 1u);
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(hasLine(unstamped(r.err), "INF.solwatch: device reachable again: Alder 15A mid HQ2042SIM01")) << r.err;
}

TEST(Reconnect, StopWhileWaitingToRetryEndsAtOnce) {
    ScratchDir dir;
    std::string link = dir.file("port"), file = dir.file("day.csv");
    SimProcess sim(withSim({"--hangup-after", "1.5"}, link));  // never back
    auto solwatch = reconnectingDump(link, file);
    // The stop comes within the 2 s pause after the first failed try.
    ASSERT_TRUE(solwatch->waitForErr("ERR.solwatch: cannot reach the device: ", 20s)) << solwatch->errSoFar();
    const auto stopped = std::chrono::steady_clock::now();
    solwatch->signal(SIGTERM);
    ProcessResult r = solwatch->wait(5s);
    EXPECT_LT(std::chrono::steady_clock::now() - stopped, 1500ms) << "it waited out the pause";
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitCode, 0);
    checkedTable(readFile(file));
}
