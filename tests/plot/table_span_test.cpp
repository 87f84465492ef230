// Several files drawn as one span: the time window of --from and --to, the
// files' time order, where their lines join, and one charger per picture.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "plot/plot_data.h"
#include "plot/plot_options.h"
#include "plot/plot_title.h"
#include "plot/stamp_time.h"
#include "plot/table_reader.h"
#include "plot/table_span.h"

namespace {

using namespace tessline;

const std::string kHeader = "Timestamp,State,Vchr[V],Ppnl[W]\n";
const std::string kOtherHeader = "Timestamp,State,Ichr[A],Vchr[V],Ppnl[W]\n";

double stamp(const char* text) {
    double seconds = -1;
    EXPECT_TRUE(parseStamp(text, seconds)) << text;
    return seconds;
}

std::string row(const char* time) { return std::string("\"") + time + "\",\"BULK\",13.45,58.2\n"; }

Recording table(const std::string& text, const TimeWindow& window = TimeWindow()) {
    std::istringstream in(text);
    return readTable(in, "a.csv", window);
}

// Tables of (name, text) read as one span in the time order of their heads.
struct Span {
    std::vector<std::string> names;
    Recording facts, rows;
    PlotData data;
};

Span readSpan(const std::vector<std::pair<std::string, std::string>>& tables, const TimeWindow& window = TimeWindow()) {
    std::vector<TableHead> heads;
    for (const auto& table : tables) {
        std::istringstream in(table.second);
        heads.push_back(readTableHead(in, table.first));
    }
    putInTimeOrder(heads);
    Span span;
    TableSpan reader([&](Recording& part) { span.rows.appendRows(part), span.data.add(part); });
    for (const TableHead& head : heads) {
        auto table = std::find_if(tables.begin(), tables.end(), [&](const auto& t) { return t.first == head.name; });
        std::istringstream in(table->second);
        reader.read(in, head.name, window);
        span.names.push_back(head.name);
    }
    span.data.finish();
    span.facts = reader.facts();
    return span;
}

TEST(PlotOptions, FromAndToTakeLocalDaysAndMinutes) {
    struct Case {
        const char* option;
        const char* time;
        const char* edge;
    };
    const Case cases[] = {
        {"--from", "2026-12-07", "Mon Dec  7 00:00:00 2026"},
        {"--to", "2026-12-07", "Tue Dec  8 00:00:00 2026"},
        {"--from", "2026-12-07 12:30", "Mon Dec  7 12:30:00 2026"},
        {"--to", "2026-12-07 12:30", "Mon Dec  7 12:31:00 2026"},
        {"--to", "2028-02-29 23:59", "Wed Mar  1 00:00:00 2028"},
    };
    for (const Case& c : cases) EXPECT_EQ(windowEdge(c.option, c.time), stamp(c.edge)) << c.option << " " << c.time;
    for (const char* bad : {"2026-12-7", "2026-02-30", "2027-02-29", "2026-13-01", "2026-12-07 24:00",
                            "2026-12-07T12:00", "2026-12-07 12:3", "yesterday", ""})
        EXPECT_THROW(windowEdge("--from", bad), plot_error) << bad;

    PlotOptions options = parsePlotOptions({"a.csv", "--from", "2026-12-07", "--to=2026-12-07 18:00"});
    EXPECT_EQ(options.window.from, stamp("Mon Dec  7 00:00:00 2026"));
    EXPECT_EQ(options.window.to, stamp("Mon Dec  7 18:01:00 2026"));
    EXPECT_EQ(options.windowText, "--from 2026-12-07 --to 2026-12-07 18:00");
    for (std::vector<std::string> bad : {std::vector<std::string>{"a.csv", "--from", "2026-12-08", "--to", "2026-12-07"},
                                         {"a.csv", "--from"}, {"a.csv", "--to", "12:00"}})
        EXPECT_THROW(parsePlotOptions(bad), plot_error);
}

TEST(TableSpan, TheWindowLeavesOutRowsAndMayLeaveNone) {
    TimeWindow window{stamp("Mon Dec  7 10:00:00 2026"), stamp("Mon Dec  7 10:01:00 2026")};
    std::string text = kHeader + row("Mon Dec  7 09:59:59 2026") + row("Mon Dec  7 10:00:00 2026") +
                       row("Mon Dec  7 10:00:59 2026") + row("Mon Dec  7 10:01:00 2026");
    Recording r = table(text, window);
    EXPECT_EQ(r.x, (std::vector<double>{window.from, window.from + 59}));
    EXPECT_EQ(r.runStart, (std::vector<std::uint8_t>{1, 0}));
    EXPECT_EQ(r.outsideWindow, 2u);

    // A file of another day: no rows in the window, and no error.
    Recording none = table(kHeader + row("Tue Dec  8 10:00:00 2026"), window);
    EXPECT_EQ(none.rows(), 0u);
    EXPECT_EQ(none.outsideWindow, 1u);
}

TEST(TableSpan, FilesJoinInTimeOrderWithGapsKept) {
    Span span = readSpan({{"08.csv", kHeader + row("Tue Dec  8 00:00:00 2026") + row("Tue Dec  8 00:01:00 2026")},
                          {"05.csv", kHeader + row("Sat Dec  5 23:58:00 2026") + row("Sat Dec  5 23:59:00 2026")},
                          {"06.csv", kHeader + row("Sun Dec  6 00:00:00 2026") + row("Sun Dec  6 00:01:00 2026")}});
    EXPECT_EQ(span.names, (std::vector<std::string>{"05.csv", "06.csv", "08.csv"}));
    const Recording& r = span.rows;
    ASSERT_EQ(r.rows(), 6u);
    EXPECT_TRUE(std::is_sorted(r.x.begin(), r.x.end()));
    EXPECT_EQ(r.x.front(), stamp("Sat Dec  5 23:58:00 2026"));
    EXPECT_EQ(span.facts.headerLines, 3);
    // The day files go on under the same header: only the missing day breaks.
    EXPECT_EQ(r.runStart, (std::vector<std::uint8_t>{1, 0, 0, 0, 0, 0}));
    std::string power = span.data.seriesData(Quantity::panelPower);
    EXPECT_EQ(power.find("\n\n"), power.rfind("\n\n"));
    EXPECT_NE(power.find("\n\n"), std::string::npos);
}

TEST(TableSpan, AnotherHeaderAtTheFileStartIsANewRun) {
    Span span = readSpan({{"a.csv", kHeader + row("Sat Dec  5 23:59:00 2026")},
                          {"b.csv", kOtherHeader + "\"Sun Dec  6 00:00:00 2026\",\"BULK\",4.2,13.45,58.2\n"},
                          {"c.csv", kHeader + row("Sun Dec  6 00:01:00 2026")}});
    EXPECT_EQ(span.rows.runStart, (std::vector<std::uint8_t>{1, 1, 1}));
    EXPECT_TRUE(span.facts.carries(Quantity::chargeCurrent));
}

TEST(TableSpan, TheHistoryIsTheLatestFilesAndFilesWithoutRowsGoLast) {
    const std::string historyHeader = "Timestamp,State,Day0Yield[kWh]\n";
    Span span = readSpan({{"none.csv", kHeader + row("Mon Dec  7 10:00:00 2026")},
                          {"09.csv", historyHeader + "\"Wed Dec  9 10:00:00 2026\",\"BULK\",0.90\n"},
                          {"08.csv", historyHeader + "\"Tue Dec  8 10:00:00 2026\",\"BULK\",0.80\n"}},
                         TimeWindow{stamp("Tue Dec  8 00:00:00 2026"), stamp("Thu Dec 10 00:00:00 2026")});
    EXPECT_EQ(span.facts.outsideWindow, 1u);
    ASSERT_TRUE(span.facts.history.any);
    EXPECT_EQ(span.facts.history.today, stamp("Wed Dec  9 10:00:00 2026"));
    EXPECT_FLOAT_EQ(span.facts.history.yield[0], 0.9f);
    std::vector<TableHead> heads{{"header only"}, {"a", 1}};
    putInTimeOrder(heads);
    EXPECT_EQ(heads.back().name, "header only");
}

TEST(TableSpan, OneChargerPerPicture) {
    using Paths = std::vector<std::string>;
    for (const Paths& one : {Paths{"HQ2042SIM01-2026-12-06.csv", "x/HQ2042SIM01-2026-12-08.csv", "day.csv"},
                             Paths{"a.csv", "b.csv"}, Paths{"HQ2042SIM01.csv"}})
        EXPECT_NO_THROW(requireOneCharger(one)) << one.front();
    // The message is checked end to end (PlotProgram.SeveralTablesThatCannotShareAPictureLeaveNone).
    EXPECT_THROW(requireOneCharger({"day.csv", "HQ2042SIM01-2026-12-06.csv", "log-HQ2043SIM02.csv"}), plot_error);
    EXPECT_EQ(pictureTitle({"a/day.csv", "b/day2.csv", "c.csv"}, readSpan({{"a", kHeader + row("Mon Dec  7 10:00:00 2026")}}).data),
              "day.csv and 2 more: Mon 7 Dec 2026, 10:00:00 to 10:00:00");
}

}  // namespace
