// Reading solwatch tables: cells, headers, runs, device changes, gaps and
// the inputs that are not solwatch tables.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "plot/file_cells.h"
#include "plot/table_reader.h"

namespace {

using namespace tessline;

const std::string kFastHeader = "Timestamp,State,Ichr[A],Vchr[V],Ipnl[A],Vpnl[V],Ppnl[W],Temp[C],Err,Load,Iload[A]\n";

std::string fastRow(const std::string& time, const std::string& state, const std::string& power) {
    std::string stateCell = state == "-" ? state : "\"" + state + "\"";
    return "\"" + time + "\"," + stateCell + ",4.2,13.45,1.7,35.1," + power + ",25.3,0,\"ON\",0.5\n";
}

Recording read(const std::string& text) {
    std::istringstream in(text);
    return readTable(in, "day.csv");
}

std::string errorOf(const std::string& text) {
    try {
        read(text);
    } catch (const plot_error& error) {
        return error.what();
    }
    return "no error";
}

TEST(TableCells, ReadsWhatSolwatchWritesAndNothingElse) {
    struct Case {
        const char* cell;
        bool fits;
        FileCell::Kind kind;
        double value;
    };
    const Case cases[] = {
        {"13.45", true, FileCell::number, 13.45},
        {"-2.5", true, FileCell::number, -2.5},
        {"0", true, FileCell::number, 0},
        {"-", true, FileCell::gap, 0},
        {"", true, FileCell::gap, 0},
        {"nan", true, FileCell::gap, 0},
        {"-inf", true, FileCell::gap, 0},
        {"\"FLOAT\"", true, FileCell::name, 0},
        {"\"--:--\"", true, FileCell::name, 0},
        {"\"Mon Dec  7 20:22:35 2026\"", true, FileCell::name, 0},
        {"1e5", false, FileCell::gap, 0},
        {"+1", false, FileCell::gap, 0},
        {" 1", false, FileCell::gap, 0},
        {"1.2.3", false, FileCell::gap, 0},
        {".", false, FileCell::gap, 0},
        {"FLOAT", false, FileCell::gap, 0},
        {"\"BULK\"; system(\"touch x\")", false, FileCell::gap, 0},
        {"\"a'b\"", false, FileCell::gap, 0},
        {"\"x`id`\"", false, FileCell::gap, 0},
    };
    for (const Case& c : cases) {
        FileCell cell;
        EXPECT_EQ(readCell(c.cell, cell), c.fits) << c.cell;
        if (!c.fits) continue;
        EXPECT_EQ(cell.kind, c.kind) << c.cell;
        if (c.kind == FileCell::number) {
            EXPECT_DOUBLE_EQ(cell.value, c.value) << c.cell;
        }
    }
    std::vector<std::string_view> cells;
    ASSERT_TRUE(splitCells("\"a,b\",1,", cells));
    EXPECT_EQ(cells, (std::vector<std::string_view>{"\"a,b\"", "1", ""}));
    EXPECT_FALSE(splitCells("\"a,1", cells));
}

TEST(TableReader, FindsColumnsByHeaderWhateverTheirOrder) {
    Recording r = read("Vbat[V],Timestamp,Ppnl[W],Unheard[x],State\n"
                       "12.80,\"Mon Dec  7 10:00:00 2026\",55.0,7,\"BULK\"\n");
    ASSERT_EQ(r.rows(), 1u);
    EXPECT_TRUE(r.timed);
    EXPECT_FLOAT_EQ(r.series(Quantity::batteryVoltage)[0], 12.8f);
    EXPECT_FLOAT_EQ(r.series(Quantity::panelPower)[0], 55.0f);
    EXPECT_TRUE(std::isnan(r.series(Quantity::chargeCurrent)[0]));
    EXPECT_FALSE(r.carries(Quantity::chargeCurrent));
    EXPECT_EQ(r.states[0], 3);  // BULK
}

TEST(TableReader, GapsStayGapsAndZerosStayZeros) {
    Recording r = read(kFastHeader + fastRow("Mon Dec  7 10:00:00 2026", "BULK", "0.0") +
                       fastRow("Mon Dec  7 10:00:01 2026", "-", "-") + fastRow("Mon Dec  7 10:00:02 2026", "FLOAT", ""));
    const std::vector<float>& power = r.series(Quantity::panelPower);
    EXPECT_EQ(power[0], 0.0f);
    EXPECT_TRUE(std::isnan(power[1]));
    EXPECT_TRUE(std::isnan(power[2]));
    EXPECT_EQ(r.states, (std::vector<std::int8_t>{3, -1, 5}));
}

TEST(TableReader, AppendedRunsAndADeviceChangeStartNewRuns) {
    const std::string otherDevice = "Timestamp,State,Ichr[A],Vchr[V],Vpnl[V],Ppnl[W],Temp[C],Err\n"
                                    "\"Mon Dec  7 11:00:00 2026\",\"OFF\",0.0,12.60,3.0,0.0,20.1,0\n";
    Recording r = read(kFastHeader + fastRow("Mon Dec  7 10:00:00 2026", "BULK", "58.2") +
                       fastRow("Mon Dec  7 10:00:01 2026", "BULK", "58.3") + otherDevice);
    ASSERT_EQ(r.rows(), 3u);
    EXPECT_EQ(r.headerLines, 2);
    EXPECT_EQ(r.runStart, (std::vector<std::uint8_t>{1, 0, 1}));
    EXPECT_TRUE(std::isnan(r.series(Quantity::loadCurrent)[2]));  // the new device has no load output
    EXPECT_FLOAT_EQ(r.series(Quantity::loadCurrent)[0], 0.5f);
    EXPECT_FLOAT_EQ(r.series(Quantity::batteryVoltage)[2], 12.6f);
    EXPECT_DOUBLE_EQ(r.x[2] - r.x[0], 3600);
}

TEST(TableReader, TakesTheLatestHistoryRow) {
    Recording r = read("Timestamp,State,Day0Yield[kWh],Day0Pmax[W],Day1Yield[kWh],Day1Pmax[W],Day10Yield[kWh]\n"
                       "\"Mon Dec  7 10:00:00 2026\",\"BULK\",0.50,100,1.00,200,-\n"
                       "\"Mon Dec  7 10:01:00 2026\",\"BULK\",0.60,110,-,-,3.25\n"
                       "\"Mon Dec  7 10:02:00 2026\",\"BULK\",-,-,-,-,-\n");
    ASSERT_TRUE(r.history.any);
    EXPECT_DOUBLE_EQ(r.history.today, r.x[1]);
    EXPECT_FLOAT_EQ(r.history.yield[0], 0.6f);
    EXPECT_FLOAT_EQ(r.history.maxPower[0], 110.0f);
    EXPECT_TRUE(std::isnan(r.history.yield[1]));
    EXPECT_FLOAT_EQ(r.history.yield[10], 3.25f);
}

TEST(TableReader, ChannelsTableCountsRows) {
    Recording r = read("Vout,Iout1,Iout2,Vpanel,Temp\n13.450,4.200,0.000,35.100,25.3\n13.460,4.100,0.000,35.000,25.3\n");
    EXPECT_FALSE(r.timed);
    EXPECT_EQ(r.x, (std::vector<double>{1, 2}));
    EXPECT_FLOAT_EQ(r.series(Quantity::panelVoltage)[1], 35.0f);
    EXPECT_FALSE(r.carriesStates);
}

TEST(TableReader, AnUnfinishedLastLineIsLeftOut) {
    Recording r = read(kFastHeader + fastRow("Mon Dec  7 10:00:00 2026", "BULK", "58.2") + "\"Mon Dec  7 10:0");
    EXPECT_EQ(r.rows(), 1u);
}

TEST(TableReader, LinesThatAreNotRowsAreLeftOutAndCounted) {
    const std::string row1 = fastRow("Mon Dec  7 10:00:00 2026", "BULK", "58.2");
    const std::string row2 = fastRow("Mon Dec  7 10:00:01 2026", "FLOAT", "58.3");
    // A row torn by a power cut with the next run's first row glued to it.
    const std::string glued = "\"Mon Dec  7 09:59:59 2026\",\"BU" + row1;
    Recording one = read(kFastHeader + row1 + glued + row2);
    EXPECT_EQ(one.rows(), 2u);
    EXPECT_EQ(one.states, (std::vector<std::int8_t>{3, 5}));
    EXPECT_EQ(skippedLinesWarning(one.skipped), "day.csv:3: a quote is not closed; the line is left out");

    Recording many = read(kFastHeader + row1 + "\"Mon Dec  7 10:0\n" + "\x01\x02garbage\n" + row2 +
                          "\"Mon Dec  7 10:00:02 2026\",\"BULK\",4.2\n" + row1);
    EXPECT_EQ(many.rows(), 3u);
    EXPECT_EQ(many.skipped.count, 3u);
    EXPECT_EQ(skippedLinesWarning(many.skipped),
              "day.csv:3: a quote is not closed; this and 2 more lines that are not rows are left out");

    EXPECT_EQ(read(kFastHeader + row1).skipped.count, 0u);
}

TEST(TableReader, BadInputsGiveOneClearLine) {
    struct Case {
        const char* legend;
        std::string text;
        std::string expected;
    };
    const Case cases[] = {
        {"empty", "", "day.csv: the file is empty"},
        {"blank lines only", "\n\n", "day.csv: the file is empty"},
        {"header only", kFastHeader, "day.csv: a header line but no rows"},
        {"another program's CSV", "name,age\nbob,42\n", "day.csv:1: not a table that solwatch writes"},
        {"rows before any header", fastRow("Mon Dec  7 10:00:00 2026", "BULK", "1.0"),
         "day.csv:1: not a table that solwatch writes"},
        {"a row too short", kFastHeader + "\"Mon Dec  7 10:00:00 2026\",\"BULK\",4.2\n",
         "day.csv:2: a row of 3 values under a header of 11 columns"},
        {"a hostile cell", kFastHeader + fastRow("Mon Dec  7 10:00:00 2026", "BULK", "1';system('id')"),
         "day.csv:2: column Ppnl[W]: \"1';system('id')\" is not a value solwatch writes"},
        {"a name where a number belongs", kFastHeader + fastRow("Mon Dec  7 10:00:00 2026", "BULK", "\"ON\""),
         "day.csv:2: column Ppnl[W]"},
        {"a number as the state", kFastHeader + fastRow("Mon Dec  7 10:00:00 2026", "BULK", "1").replace(27, 6, "3"),
         "day.csv:2: column State"},
        {"a bad time stamp", kFastHeader + fastRow("Mon Dec 32 10:00:00 2026", "BULK", "1.0"),
         "day.csv:2: column Timestamp"},
        {"an open quote", kFastHeader + "\"Mon Dec  7 10:00:00 2026,1\n", "day.csv:2: a quote is not closed"},
        {"binary, no line ends", std::string("\x7F" "ELF\x02\x01\0\0\x89PNG\r\x1a", 14),
         "day.csv:1: not a table that solwatch writes"},
        {"only lines that are not rows", kFastHeader + "\"Mon Dec  7 10:0\n" + "garbage\n",
         "day.csv:2: a quote is not closed"},
        {"channels after a timed table",
         kFastHeader + fastRow("Mon Dec  7 10:00:00 2026", "BULK", "1.0") + "Vout,Iout1,Iout2,Vpanel,Temp\n",
         "day.csv:3: a table with time stamps and one without"},
    };
    for (const Case& c : cases) {
        std::string error = errorOf(c.text);
        EXPECT_EQ(error.rfind(c.expected, 0), 0u) << c.legend << ": " << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << c.legend;
    }
}

}  // namespace
