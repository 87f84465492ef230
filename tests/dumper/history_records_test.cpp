#include <gtest/gtest.h>

#include "output/csv_table_writer.h"
#include "dumper/history_records.h"
#include "tests/dumper/dump_test_support.h"

namespace {

using namespace tessline;
using Bytes = std::vector<std::uint8_t>;
using dumper_test::littleEndian;

Bytes operator+(Bytes left, const Bytes& right) {
    left.insert(left.end(), right.begin(), right.end());
    return left;
}

Bytes le(std::uint32_t number, unsigned width) { return littleEndian(number, width); }

// A record item as the dump table keeps it after a successful read.
DumpItem recordItem(std::uint16_t id, const Bytes& record, DumpItem::RecordFormatter formatter) {
    DumpItem item(id, DumpItem::HEX_REGISTER, "", std::move(formatter));
    dumper_test::FakeClock clock(5000);
    item.setFromHex(dumper_test::registerAnswer(id, record));
    return item;
}

// The record's cells as the CSV prints them; every field is a number or
// missing.
std::string csvCells(DumpItem& item) {
    std::vector<tessline::TableCell> cells;
    item.appendCells(cells);
    for (const tessline::TableCell& cell : cells)
        EXPECT_EQ(cell.kind, cell.text == "-" ? CellKind::missing : CellKind::number) << cell.text;
    return csvLine(cells);
}

std::string dashes(int count) {
    std::string text = "-";
    for (int i = 1; i < count; ++i) text += ",-";
    return text;
}

// Reserved, yield, consumption, Vbat max/min, reserved, four errors, times, Pmax, Ibat max, Vpnl max, day.
const Bytes kDayRecord = Bytes{0x00} + le(12345, 4) + le(100, 4) + le(1345, 2) + le(1190, 2) + Bytes{0x00} +
                         Bytes{0, 1, 2, 0xFF} + le(90, 2) + le(60, 2) + le(0xFFFF, 2) + Bytes{0x10, 0x27, 0, 0} +
                         Bytes{0x7B, 0x00} + le(3510, 2) + le(7, 2);

struct RecordCase {
    const char* legend;
    Bytes record;
    std::string expected;
};

TEST(HistoryRecords, DayRecords) {
    const RecordCase cases[] = {
        {"full record", kDayRecord, "123.45,1.00,13.45,11.90,0,1,2,-,90,60,-,10000,12.3,35.1,7"},
        {"all bytes 0xFF", Bytes(34, 0xFF), "-,-,-,-,-,-,-,-,-,-,-,-,-,-,-"},
        {"all bytes zero", Bytes(34, 0x00), "0.00,0.00,0.00,0.00,0,0,0,0,0,0,0,0,0.0,0.0,0"},
        {"cut after the yield", Bytes(kDayRecord.begin(), kDayRecord.begin() + 5),
         "123.45,-,-,-,-,-,-,-,-,-,-,-,-,-,-"},
        // The checksum byte that follows a short record is not taken for data.
        {"last byte missing", Bytes(kDayRecord.begin(), kDayRecord.end() - 1),
         "123.45,1.00,13.45,11.90,0,1,2,-,90,60,-,10000,12.3,35.1,-"},
        {"empty record", Bytes{}, "-,-,-,-,-,-,-,-,-,-,-,-,-,-,-"},
        {"longer record, extra bytes ignored", kDayRecord + Bytes{1, 2, 3},
         "123.45,1.00,13.45,11.90,0,1,2,-,90,60,-,10000,12.3,35.1,7"},
    };
    for (const RecordCase& c : cases) {
        DumpItem item = recordItem(0x1050, c.record, formatHistoryDay);
        EXPECT_EQ(csvCells(item), c.expected) << c.legend;
    }
}

// Version, reserved, four errors, yields, Vpnl max, Vbat max, days.
const Bytes kTotalHead = Bytes{0x00, 0x00} + Bytes{0, 3, 0xFF, 0} + le(987654, 4) + le(0xFFFFFFFF, 4) + le(9876, 2) +
                         le(1450, 2) + Bytes{42};

Bytes withVersion(std::uint8_t version, Bytes record) {
    record[0] = version;
    return record;
}

TEST(HistoryRecords, TotalRecords) {
    const RecordCase cases[] = {
        {"version 1 with Vbat_min", withVersion(1, kTotalHead + le(1105, 2)),
         "0,3,-,0,9876.54,-,98.8,14.50,42,11.05"},
        {"version 0 ignores the bytes after #Days", withVersion(0, kTotalHead + le(1105, 2)),
         "0,3,-,0,9876.54,-,98.8,14.50,42,-"},
        {"version 0 ending at #Days", withVersion(0, kTotalHead), "0,3,-,0,9876.54,-,98.8,14.50,42,-"},
        {"version 2 without the Vbat_min bytes", withVersion(2, kTotalHead), "0,3,-,0,9876.54,-,98.8,14.50,42,-"},
        {"all bytes 0xFF", Bytes(21, 0xFF), dashes(10)},
        {"only the version byte", Bytes{1}, dashes(10)},
        {"empty record", Bytes{}, dashes(10)},
    };
    for (const RecordCase& c : cases) {
        DumpItem item = recordItem(0x104F, c.record, formatHistoryTotal);
        EXPECT_EQ(csvCells(item), c.expected) << c.legend;
    }
}

TEST(HistoryRecords, Headers) {
    EXPECT_EQ(historyTotalHeader(),
              "Err[0],Err[1],Err[2],Err[3],Yield_user[kWh],Yield_sys[kWh],Vpnl_max[V],Vbat_max[V],#Days,Vbat_min[V]");
    EXPECT_EQ(historyDayHeader(0),
              "Day0Yield[kWh],Day0Cons[kWh],Day0Vbat_max[V],Day0Vbat_min[V],Day0Err[0],Day0Err[1],Day0Err[2],"
              "Day0Err[3],Day0TimeBulk[min],Day0TimeAbs[min],Day0TimeFloat[min],Day0Pmax[W],Day0Ibat_max[A],"
              "Day0Vpnl_max[V],Day0Day#");
    std::string day30 = historyDayHeader(30);
    EXPECT_EQ(day30.substr(0, 16), "Day30Yield[kWh],");
    EXPECT_EQ(day30.substr(day30.size() - 10), ",Day30Day#");
    EXPECT_EQ(dumper_test::splitFields(day30).size(), 15u);
}

}  // namespace
