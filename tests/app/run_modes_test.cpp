// The whole program against solwatch-sim: the traffic of identification and
// the output file. The get mode and the dump's tables are scenarios
// (tests/scenarios); the write mode has its own file.
#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>

#include "app/output_name.h"
#include "identity/product_table.h"
#include "tests/support/device_frames.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/sim_process.h"
#include "tests/support/wait_until.h"

using namespace testing_support;
using namespace std::chrono_literals;

namespace {

const std::string kFastHeader = "Timestamp,State,Ichr[A],Vchr[V],Ipnl[A],Vpnl[V],Ppnl[W],Temp[C],Err";
const std::string kFrozenFastRow = "\"BULK\",4.2,13.45,1.7,35.1,58.2,25.3,0";

std::string afterTimestamp(const std::string& row) {
    std::size_t comma = row.find("\",");
    return comma == std::string::npos ? row : row.substr(comma + 2);
}

}  // namespace

// The traffic of the get mode: identification asks for what the TEXT block
// leaves out and for nothing it cannot use; each request stands before its answer.
TEST(GetMode, AsksTheDeviceForWhatTheTextBlockLeavesOut) {
    struct Case {
        std::vector<std::string> sim;
        std::string line;
        std::uint16_t reg;
        bool asked;
    } cases[] = {
        {{"--pid-text", "garbage"}, "Model            unknown\n", 0x010B, false},
        {{"--pid-text", "0x10000"}, "Model            unknown\n", 0x010B, false},
        // TAM stands in for SER# as the third entry that identification waits for.
        {{"--omit-field", "SER#", "--extra-field", "TAM=1"}, "Serial number    HQ2042SIM01\n", 0x010A, true},
    };
    for (const Case& c : cases) {
        SimProcess sim(c.sim);
        ProcessResult r = runSolwatch({"-s", sim.path(), "-g", "-d"});
        EXPECT_NE(r.out.find(c.line), std::string::npos) << c.sim[1] << r.out;
        EXPECT_EQ(r.out.find(testing_support::registerRequestFrame(c.reg)) != std::string::npos, c.asked) << c.sim[1];
        // get device id still runs and its answer sets the exit code
        EXPECT_EQ(r.exitCode, 0xA042 & 0xFF) << c.sim[1];
        const std::size_t ping = r.out.find(":451\n"), answer = r.out.find(":142A0");
        ASSERT_NE(answer, std::string::npos) << c.sim[1];
        EXPECT_LT(ping, answer) << c.sim[1];
    }
}

TEST(OutputFile, TemplateNamesTheFileAndAppendingLeavesOutTheHeader) {
    ScratchDir dir;
    SimProcess sim({"--frozen", "--no-load"});
    const std::string pattern = dir.file("log-%s-%x-%m.txt");
    const std::string name = dir.file(std::string("log-HQ2042SIM01-%x-") + tessline::lookupProductName(0xA042) + ".txt");
    // Two runs of a few rows each, the second appended.
    for (int run = 0; run < 2; ++run) {
        std::vector<std::string> argv{SOLWATCH_BIN, "-s", sim.path(), "-f", "-o", pattern};
        Process solwatch(argv);
        const std::size_t lines = 3 + 2 * run;
        EXPECT_TRUE(waitUntil([&] { return splitLines(readFile(name)).size() >= lines; })) << run;
        solwatch.signal(SIGINT);
        ProcessResult r = solwatch.wait(10s);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.out, "");  // everything went into the file
    }
    auto lines = splitLines(readFile(name));
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0], kFastHeader);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), kFastHeader), 1);
    for (std::size_t i = 1; i < lines.size(); ++i) EXPECT_EQ(afterTimestamp(lines[i]), kFrozenFastRow);
}

// A power cut can leave the file ending inside a row: what comes next
// starts on a line of its own, and a file that ends well is left as it is.
TEST(OutputFile, TornLastRowIsEndedBeforeTheNextRow) {
    struct Case {
        const char* legend;
        std::string before;
        std::string after;
        bool hadContent;
    };
    const std::string header = kFastHeader + "\n";
    const Case cases[] = {
        {"new file", "", "ROW\n", false},
        {"ends well", header, header + "ROW\n", true},
        {"torn row", header + "\"Tue Dec  8 07:00:05 2026\",\"BU", header + "\"Tue Dec  8 07:00:05 2026\",\"BU\nROW\n", true},
        {"torn header", "Timesta", "Timesta\nROW\n", true},
    };
    for (const Case& c : cases) {
        ScratchDir dir;
        if (!c.before.empty()) writeFile(dir.file("day.csv"), c.before);
        {
            tessline::OutputFile output(dir.file("day.csv"));
            EXPECT_EQ(output.hadContent(), c.hadContent) << c.legend;
            output.append("ROW\n");
        }
        EXPECT_EQ(readFile(dir.file("day.csv")), c.after) << c.legend;
    }
}

TEST(OutputFile, JsonLinesAfterATornLineStartOnALineOfTheirOwn) {
    ScratchDir dir;
    SimProcess sim({"--frozen", "--no-load"});
    const std::string torn = "{\"timestamp\":\"2026-12-08T07:00:05+00:00\",\"ti";
    writeFile(dir.file("day.json"), torn);
    Process solwatch({SOLWATCH_BIN, "-s", sim.path(), "-f", "--json", "-o", dir.file("day.json")});
    EXPECT_TRUE(waitUntil([&] { return splitLines(readFile(dir.file("day.json"))).size() >= 3; }));
    solwatch.signal(SIGINT);
    EXPECT_EQ(solwatch.wait(10s).exitCode, 0);
    auto lines = splitLines(readFile(dir.file("day.json")));
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], torn);
    for (std::size_t i = 1; i < lines.size(); ++i) EXPECT_EQ(lines[i].rfind("{\"timestamp\":\"", 0), 0u) << lines[i];
}
