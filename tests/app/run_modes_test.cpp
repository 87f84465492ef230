// The whole program against solwatch-sim: identification, the get and dump
// modes, and the output file (the write mode has its own file).
#include <gtest/gtest.h>

#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <ctime>
#include <sstream>
#include <thread>
#include <algorithm>

#include "app/output_name.h"
#include "hex/hex_frame.h"
#include "identity/product_table.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/sim_process.h"

using namespace testing_support;
using namespace std::chrono_literals;

namespace {

const std::string kFastHeader = "Timestamp,State,Ichr[A],Vchr[V],Ipnl[A],Vpnl[V],Ppnl[W],Temp[C],Err";
const std::string kFrozenFastRow = "\"BULK\",4.2,13.45,1.7,35.1,58.2,25.3,0";

std::string getRegisterFrame(std::uint16_t id) {
    tessline::HexMsg msg;
    msg.appendByte(0x07);
    msg.appendWord(id);
    return encodeHexFrame(msg);
}

// The full table's first row comes at the whole minute, or just after its
// polling when that runs past the minute; a test of that row starts well
// clear of the minute.
void startClearOfTheMinute() {
    const int second = static_cast<int>(std::time(nullptr) % 60);
    if (second >= 45) std::this_thread::sleep_for(std::chrono::seconds(61 - second));
}

// Runs solwatch until `rows` lines have come out, then stops it with SIGINT.
ProcessResult runUntilLines(const std::vector<std::string>& args, std::size_t lines,
                            std::chrono::seconds timeout = 20s) {
    std::vector<std::string> argv{SOLWATCH_BIN};
    argv.insert(argv.end(), args.begin(), args.end());
    Process solwatch(argv);
    for (std::size_t i = 0; i < lines; ++i)
        if (solwatch.readLine(timeout).empty() && i + 1 < lines) break;
    solwatch.signal(SIGINT);
    return solwatch.wait(10s);
}

std::string afterTimestamp(const std::string& row) {
    std::size_t comma = row.find("\",");
    return comma == std::string::npos ? row : row.substr(comma + 2);
}

}  // namespace

TEST(GetMode, PrintsTheIdentityAndExitsWithTheProductId) {
    SimProcess sim({});
    ProcessResult r = runSolwatch({"-s", sim.path(), "-g"});
    EXPECT_EQ(r.out, std::string("Manufacturer     Caldane Energy\n") + "Model            " +
                         tessline::lookupProductName(0xA042) +
                         "\n"
                         "Serial number    HQ2042SIM01\n"
                         "Software version 1.16\n");
    EXPECT_EQ(r.exitCode, 0xA042 & 0xFF);
    EXPECT_EQ(r.err, "");
}

TEST(GetMode, ProductMissingFromTheTableIsNamedByTheDevice) {
    ASSERT_EQ(tessline::lookupProductName(0xA07E), nullptr);
    SimProcess sim({"--product-id", "0xA07E", "--model", "SolarUnit  \r\n", "--fw-text", "0119"});
    ProcessResult r = runSolwatch({"-s", sim.path(), "-g"});
    EXPECT_TRUE(hasLine(r.out, "Model            SolarUnit")) << r.out;
    EXPECT_TRUE(hasLine(r.out, "Software version 01.19")) << r.out;
    EXPECT_EQ(r.exitCode, 0x7E);
}

TEST(GetMode, UnparsableProductIdIsUnknownWithoutARegisterRead) {
    for (const char* pid : {"garbage", "0x10000"}) {
        SimProcess sim({"--pid-text", pid});
        ProcessResult r = runSolwatch({"-s", sim.path(), "-g", "-d"});
        EXPECT_NE(r.out.find("Model            unknown\n"), std::string::npos) << pid;
        EXPECT_EQ(r.out.find(getRegisterFrame(0x010B)), std::string::npos) << pid;
        // get device id still runs and its answer sets the exit code
        EXPECT_EQ(r.exitCode, 0xA042 & 0xFF) << pid;
    }
}

TEST(GetMode, MissingSerialNumberIsReadFromTheDevice) {
    // TAM stands in for SER# as the third entry that identification waits for.
    SimProcess sim({"--omit-field", "SER#", "--extra-field", "TAM=1"});
    ProcessResult r = runSolwatch({"-s", sim.path(), "-g", "-d"});
    EXPECT_NE(r.out.find(getRegisterFrame(0x010A)), std::string::npos);
    EXPECT_NE(r.out.find("Serial number    HQ2042SIM01\n"), std::string::npos);
}

TEST(TrafficDump, EachRequestStandsBeforeItsAnswer) {
    SimProcess sim({});
    ProcessResult r = runSolwatch({"-s", sim.path(), "-g", "-d"});
    std::size_t request = r.out.find(":451\n");
    std::size_t answer = r.out.find(":142A0");
    ASSERT_NE(request, std::string::npos);
    ASSERT_NE(answer, std::string::npos);
    EXPECT_LT(request, answer);
}

TEST(DumpMode, FastVariantPrintsHeaderAndARowASecond) {
    SimProcess sim({"--frozen", "--no-load"});
    ProcessResult r = runUntilLines({"-s", sim.path(), "-f"}, 3);
    auto lines = splitLines(r.out);
    ASSERT_GE(lines.size(), 3u) << r.out << r.err;
    EXPECT_EQ(lines[0], kFastHeader);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].front(), '"');
        EXPECT_EQ(afterTimestamp(lines[i]), kFrozenFastRow);
    }
    EXPECT_EQ(r.exitCode, 0);
}

TEST(DumpMode, ChannelsVariantWritesRowsBackToBack) {
    SimProcess sim({"--frozen"});
    std::vector<std::string> argv{SOLWATCH_BIN, "-s", sim.path(), "-c", "-f"};
    Process solwatch(argv);
    ASSERT_TRUE(solwatch.waitForOutput("Vout,Iout1,Iout2,Vpanel,Temp\n", 20s)) << solwatch.errSoFar();
    std::this_thread::sleep_for(2s);
    solwatch.signal(SIGTERM);
    ProcessResult r = solwatch.wait(10s);
    auto lines = splitLines(r.out);
    EXPECT_GT(lines.size(), 10u);  // five 10 ms pauses a row: far more than one row a second
    for (std::size_t i = 1; i < lines.size(); ++i) EXPECT_EQ(lines[i], "13.450,4.200,0.000,35.100,25.3");
    EXPECT_EQ(r.exitCode, 0);
}

TEST(DumpMode, FullVariantPrintsItsFirstRowAtTheWholeMinute) {
    startClearOfTheMinute();
    SimProcess sim({"--frozen"});
    ProcessResult r = runUntilLines({"-s", sim.path()}, 2, 75s);
    auto lines = splitLines(r.out);
    ASSERT_EQ(lines.size(), 2u) << r.err;
    EXPECT_EQ(lines[0].rfind("Timestamp,State,Ibat[A],Vbat[V]", 0), 0u);
    EXPECT_NE(lines[0].find(",Day30Day#"), std::string::npos);
    // "Www Mmm dd hh:mm:ss yyyy": the seconds of the print time are 00.
    ASSERT_GT(lines[1].size(), 20u);
    EXPECT_EQ(lines[1].substr(17, 3), ":00") << lines[1];
    EXPECT_EQ(std::count(lines[1].begin(), lines[1].end(), ','), std::count(lines[0].begin(), lines[0].end(), ','));
    // The simulator's frozen history: the total record, then day 0 and day 30.
    EXPECT_NE(lines[1].find(",0,0,0,0,456.78,456.78,45.0,14.60,45,11.80,"), std::string::npos) << lines[1];
    EXPECT_NE(lines[1].find(",10.00,1.50,14.40,12.50,0,0,0,0,180,60,240,250,15.0,42.0,44,"), std::string::npos);
    EXPECT_NE(lines[1].find(",13.00,1.80,14.40,12.50,0,0,0,0,180,60,240,280,15.0,42.0,14"), std::string::npos);
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
        for (int i = 0; i < 50 && splitLines(readFile(name)).size() < static_cast<std::size_t>(3 + 2 * run); ++i)
            std::this_thread::sleep_for(100ms);
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
    for (int i = 0; i < 100 && splitLines(readFile(dir.file("day.json"))).size() < 3; ++i)
        std::this_thread::sleep_for(100ms);
    solwatch.signal(SIGINT);
    EXPECT_EQ(solwatch.wait(10s).exitCode, 0);
    auto lines = splitLines(readFile(dir.file("day.json")));
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[0], torn);
    for (std::size_t i = 1; i < lines.size(); ++i) EXPECT_EQ(lines[i].rfind("{\"timestamp\":\"", 0), 0u) << lines[i];
}

TEST(OutputFile, FileThatCannotBeOpenedIsReported) {
    SimProcess sim({});
    ProcessResult r = runSolwatch({"-s", sim.path(), "-o", "/nonexistent-dir/out.csv"});
    EXPECT_EQ(r.exitCode, 255);
    EXPECT_NE(r.err.find("cannot open output file /nonexistent-dir/out.csv: No such file or directory====="),
              std::string::npos)
        << r.err;
}
