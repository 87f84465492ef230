#include <algorithm>
#include <map>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "dumper/table_items.h"
#include "output/csv_table_writer.h"
#include "dumper/dump_table.h"
#include "dumper/history_records.h"
#include "dumper/value_format.h"
#include "tests/dumper/dump_test_support.h"

namespace {

using namespace tessline;
using namespace dumper_test;

std::string row(DumpTable& table) {
    std::ostringstream out;
    CsvTableWriter csv(out, true);
    table.dumpData(csv);
    return out.str();
}

std::string header(const DumpTable& table) { return csvHeader(table.columns()) + "\n"; }

// The printed row keyed by column header.
std::map<std::string, std::string> rowByHeader(DumpTable& table) {
    auto headers = splitFields(splitLines(header(table)).at(0));
    auto fields = splitFields(splitLines(row(table)).at(0));
    std::map<std::string, std::string> byHeader;
    for (std::size_t i = 0; i < headers.size() && i < fields.size(); ++i) byHeader[headers[i]] = fields[i];
    return byHeader;
}

bool contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

DumpItem textItem(const char* header, const char* label, DumpItem::Parser parser, DumpItem::Formatter formatter) {
    return DumpItem(-1, label, 0, header, DumpItem::U16, std::move(parser), std::move(formatter));
}

DumpItem hexItem(const char* header, int id, std::uint8_t type, DumpItem::Parser parser,
                 DumpItem::Formatter formatter) {
    return DumpItem(id, "", DumpItem::HEX_REGISTER, header, type, std::move(parser), std::move(formatter));
}

const std::atomic<bool> kGoOn{false};

TEST(DumpTable, FastExampleHeaderAndRow) {
    FakeClock clock(1705312830);
    DeviceInfo info = plainCharger();
    info.hasPanelCurrent = true;
    DumpTable table;
    table.setItems(tableItems(DumpVariant::fast, info));
    FakeRegisters device;
    device.set(0x0201, 3, 1);
    device.set(0xEDD7, 42, 2);
    device.set(0xEDD5, 1345, 2);
    device.set(0xEDBD, 17, 2);
    device.set(0xEDBB, 3510, 2);
    device.set(0xEDBC, 5820, 2);
    device.set(0xEDDB, 2530, 2);
    device.set(0xEDDA, 0, 1);

    table.pollOnce(device.reader(), kGoOn);

    EXPECT_EQ(header(table), "Timestamp,State,Ichr[A],Vchr[V],Ipnl[A],Vpnl[V],Ppnl[W],Temp[C],Err\n");
    EXPECT_EQ(row(table), "\"Mon Jan 15 10:00:30 2024\",\"BULK\",4.2,13.45,1.7,35.1,58.2,25.3,0\n");
}

TEST(DumpTable, StaleValuePrintsOnceMoreWithTheMissingLineThenDash) {
    FakeClock clock(1000);
    LogCapture log;
    DumpTable table({textItem("Vbat[V]", "V", parseHundredths, formatFixed2)});
    table.onText("V", "1345");
    const struct {
        std::int64_t at;
        const char* row;
        bool missingLine;
    } steps[] = {
        {1030, "13.45\n", false},
        {1060, "13.45\n", false},
        {1061, "13.45\n", true},
        {1062, "-\n", false},
        {1300, "-\n", false},
    };
    for (const auto& step : steps) {
        clock.setSeconds(step.at);
        std::size_t linesBefore = log.lines().size();
        EXPECT_EQ(row(table), step.row) << step.at;
        bool logged = contains(log.lines(), "INF.dumper: dumpData() missing item Vbat[V]");
        EXPECT_EQ(logged && log.lines().size() > linesBefore, step.missingLine) << step.at;
    }
    auto lines = log.lines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "INF.dumper: dumpData() missing item Vbat[V]"), 1);
    table.onText("V", "1290");
    EXPECT_EQ(row(table), "12.90\n");
}

TEST(DumpTable, HiddenItemsAgeButNeverPrint) {
    FakeClock clock(1000);
    LogCapture log;
    DumpItem hidden = textItem("Secret", "S", parseNumber, formatInt);
    hidden.flags = DumpItem::HIDDEN;
    DumpTable table({textItem("A", "A", parseNumber, formatInt), hidden,
                               textItem("B", "B", parseNumber, formatInt)});
    table.onText("A", "1");
    table.onText("S", "2");
    table.onText("B", "3");
    EXPECT_EQ(header(table), "A,B\n");
    EXPECT_EQ(row(table), "1,3\n");
    clock.setSeconds(1061);
    EXPECT_EQ(row(table), "1,3\n");
    EXPECT_TRUE(contains(log.lines(), "INF.dumper: dumpData() missing item Secret"));
    EXPECT_EQ(row(table), "-,-\n");
}

TEST(DumpTable, RowThatCannotBeWrittenIsAnError) {
    FakeClock clock(1000);
    DumpTable table({textItem("A", "A", parseNumber, formatInt)});
    std::ostringstream out;
    out.setstate(std::ios::badbit);  // as a stream on a full disk ends up
    CsvTableWriter csv(out, true);
    EXPECT_THROW(table.dumpData(csv), std::runtime_error);
}

TEST(DumpTable, TextLabelsMatchWhateverTheLetterCase) {
    FakeClock clock(1000);
    const struct {
        const char* label;
        const char* row;
    } cases[] = {
        {"CS", "\"FLOAT\",-\n"}, {"cs", "\"FLOAT\",-\n"}, {"Cs", "\"FLOAT\",-\n"},
        {"C", "-,-\n"},          {"CSX", "-,-\n"},        {"", "-,-\n"},  // the unlabelled item takes nothing
    };
    for (const auto& c : cases) {
        DumpTable table({textItem("State", "CS", parseNumber, formatState),
                         DumpItem(-1, "", 0, "NoLabel", DumpItem::U8, parseNumber, formatInt)});
        table.onText(c.label, "5");
        EXPECT_EQ(row(table), c.row) << c.label;
    }
}

TEST(DumpTable, OneFieldFeedsEveryItemOfItsLabel) {
    FakeClock clock(1000);
    DumpTable table({textItem("Vbat[V]", "V", parseHundredths, formatFixed2),
                               textItem("Vraw", "v", parseNumber, formatInt)});
    table.onText("V", "1345");
    EXPECT_EQ(row(table), "13.45,1345\n");
}

struct ScaleCase {
    const char* legend;
    DeviceInfo info;
    const char* column;
    const char* textLabel;  // null: fed by its register
    std::uint16_t registerId;
    unsigned width;
    std::uint32_t number;
    const char* expected;
};

// Register and TEXT values of one item pass through the same parser.
TEST(DumpTable, ScalesOfTextAndRegisterValues) {
    LogCapture quiet;
    const ScaleCase cases[] = {
        {"0x0300 Ibat by TEXT", plainCharger(0x0300), "Ibat[A]", "I", 0, 0, 42, "4.2"},
        {"0x0300 Ibat by register", plainCharger(0x0300), "Ibat[A]", nullptr, 0xEDD7, 2, 42, "4.2"},
        {"0x0300 Ppnl by TEXT", plainCharger(0x0300), "Ppnl[W]", "PPV", 0, 0, 5820, "58.2"},
        {"0x0300 Ppnl by register", plainCharger(0x0300), "Ppnl[W]", nullptr, 0xEDBC, 2, 5820, "58.2"},
        {"0x0300 Err by TEXT", plainCharger(0x0300), "Err", "ERR", 0, 0, 17, "17"},
        {"mixed Ibat by TEXT", plainCharger(), "Ibat[A]", "I", 0, 0, 4200, "4.2"},
        {"mixed Ppnl by TEXT, in whole watts", plainCharger(), "Ppnl[W]", "PPV", 0, 0, 58, "58.0"},
        {"mixed Vbat by TEXT", plainCharger(), "Vbat[V]", "V", 0, 0, 13450, "13.45"},
        {"mixed temperature below zero", plainCharger(), "Temp[C]", nullptr, 0xEDDB, 2, 0xFD44, "-7.0"},
        {"history text yield", [] {
             DeviceInfo info = plainCharger();
             info.hasHistorySupport = true;
             info.historyVersion = 4;
             return info;
         }(), "Yield_today[kWh]", "H20", 0, 0, 123, "1.2"},
    };
    for (const ScaleCase& c : cases) {
        FakeClock clock(1000);
        DumpTable table;
        table.setItems(tableItems(DumpVariant::full, c.info));
        FakeRegisters device;
        if (c.textLabel) {
            table.onText(c.textLabel, std::to_string(c.number));
        } else {
            device.set(c.registerId, c.number, c.width);
            table.pollOnce(device.reader(), kGoOn);
        }
        EXPECT_EQ(rowByHeader(table)[c.column], c.expected) << c.legend;
    }
}

TEST(DumpTable, TextThatIsNotANumberIsLoggedAndChangesNothing) {
    FakeClock clock(1000);
    LogCapture log;
    DumpTable table({textItem("Vbat[V]", "V", parseHundredths, formatFixed2),
                               textItem("Load", "V", parseOnOff, formatOnOff)});
    table.onText("V", "12x");
    EXPECT_EQ(row(table), "-,\"UNKNOWN\"\n");
    EXPECT_TRUE(contains(log.lines(), "ERR.dumper: text field V value \"12x\" is not a number: bad lexical cast: "
                                      "source type value could not be interpreted as target"));

    table.onText("V", "1345");
    clock.setSeconds(1061);
    table.onText("V", "abc");  // must not count as a refresh
    EXPECT_EQ(row(table), "13.45,\"UNKNOWN\"\n");
    EXPECT_TRUE(contains(log.lines(), "INF.dumper: dumpData() missing item Vbat[V]"));
    EXPECT_EQ(row(table), "-,\"UNKNOWN\"\n");
}

TEST(DumpTable, FailedReadsAreLoggedExceptForDayRecordsOneToThirty) {
    const struct {
        int id;
        bool logged;
    } cases[] = {
        {0xEDD5, true}, {0x104F, true}, {0x1050, true}, {0x1051, false}, {0x1060, false}, {0x106E, false},
    };
    for (const auto& c : cases) {
        FakeClock clock(1000);
        LogCapture log;
        DumpTable table({hexItem("Item", c.id, DumpItem::RAW, nullptr, formatFixed3)});
        FakeRegisters device;
        table.pollOnce(device.reader(), kGoOn);
        char expected[64];
        std::snprintf(expected, sizeof expected, "ERR.dumper: hex.getRegister() failed on 0x%04X", c.id);
        EXPECT_EQ(contains(log.lines(), expected), c.logged) << std::hex << c.id;
        EXPECT_EQ(device.asked, std::vector<std::uint16_t>{static_cast<std::uint16_t>(c.id)});
    }
}

TEST(DumpTable, FailedReadKeepsTheLastValueUntilItGoesStale) {
    LogCapture quiet;
    FakeClock clock(1000);
    DumpTable table({hexItem("Vbat[V]", 0xEDD5, DumpItem::U16, parseHundredths, formatFixed2),
                               DumpItem(0x1051, DumpItem::HEX_REGISTER, "Day1", formatHistoryDay)});
    FakeRegisters device;
    device.set(0xEDD5, 1345, 2);
    device.values[0x1051] = std::vector<std::uint8_t>(34, 0x00);
    table.pollOnce(device.reader(), kGoOn);
    std::string first = row(table);
    EXPECT_EQ(first, "13.45,0.00,0.00,0.00,0.00,0,0,0,0,0,0,0,0,0.0,0.0,0\n");

    device.values.clear();
    const struct {
        std::int64_t at;
        std::string row;
    } steps[] = {
        {1030, first},
        {1061, first},
        {1062, "-,-,-,-,-,-,-,-,-,-,-,-,-,-,-,-\n"},
    };
    for (const auto& step : steps) {
        clock.setSeconds(step.at);
        table.pollOnce(device.reader(), kGoOn);
        EXPECT_EQ(row(table), step.row) << step.at;
    }
}

TEST(DumpTable, PollingStopsBetweenRequestsOnRequest) {
    FakeClock clock(1000);
    DumpTable table({hexItem("A", 0xEDD5, DumpItem::U16, parseNumber, formatInt),
                               hexItem("B", 0xEDD7, DumpItem::U16, parseNumber, formatInt),
                               hexItem("C", 0xEDDA, DumpItem::U8, parseNumber, formatInt)});
    std::atomic<bool> stop{false};
    std::vector<std::uint16_t> requested;
    table.pollOnce(
        [&](std::uint16_t id, HexMsg& answer) {
            requested.push_back(id);
            answer = registerAnswer(id, {7, 0});
            if (requested.size() == 2) stop = true;
            return 0;
        },
        stop);
    EXPECT_EQ(requested, (std::vector<std::uint16_t>{0xEDD5, 0xEDD7}));
    EXPECT_EQ(row(table), "7,7,-\n");
}

// Run under the ThreadSanitizer build: TEXT updates race with polling and rows.
TEST(DumpTable, TextUpdatesFromAnotherThreadWhilePollingAndPrinting) {
    FakeClock clock(1000);
    DumpTable table({textItem("Vraw", "V", parseNumber, formatInt),
                               hexItem("Err", 0xEDDA, DumpItem::U8, parseNumber, formatInt)});
    FakeRegisters device;
    device.set(0xEDDA, 2, 1);
    constexpr int kFields = 2000;
    std::atomic<bool> done{false};
    std::thread reader([&] {
        for (int i = 1; i <= kFields; ++i) table.onText("V", std::to_string(i));
        done = true;
    });
    int rows = 0;
    while (!done || rows == 0) {
        table.pollOnce(device.reader(), kGoOn);
        row(table);
        ++rows;
    }
    reader.join();
    EXPECT_EQ(row(table), std::to_string(kFields) + ",2\n");
}

}  // namespace
