#include "http/history_ring.h"

#include <gtest/gtest.h>

#include "tests/support/typed_row.h"

namespace tessline {
namespace {

constexpr std::time_t kStart = 1796692380;  // on a minute's start
const char* const kFields =
    R"({"fields":["time","panel_power_w","battery_voltage_v","charge_current_a","state"],"points":[)";

using testing_support::catalogueColumns;
using testing_support::typedRow;

const std::vector<TableColumn> kFull =
    catalogueColumns({"Timestamp", "State", "Ibat[A]", "Vbat[V]", "Vpnl[V]", "Ppnl[W]"});

// A row of kFull with the panel power as its mark.
TableRow fullRow(std::time_t time, const std::string& power) {
    return typedRow(time, kFull, "\"x\",\"FLOAT\",4.20,13.65,38.1," + power);
}

HistoryRing fullRing(std::size_t capacity = HistoryRing::kMinutes) {
    HistoryRing ring(capacity);
    ring.setColumns(kFull);
    return ring;
}

std::string point(std::time_t time, const std::string& power) {
    return "[" + std::to_string(time) + "," + power + ",13.65,4.2,\"FLOAT\"]";
}

TEST(HistoryRing, KeepsTheLastRowOfEachMinute) {
    HistoryRing ring = fullRing();
    EXPECT_EQ(ring.json(), std::string(kFields) + "]}");
    ring.add(fullRow(kStart + 5, "1.0"));
    ring.add(fullRow(kStart + 59, "57.0"));
    ring.add(fullRow(kStart + 60, "60.5"));
    EXPECT_EQ(ring.size(), 2u);
    EXPECT_EQ(ring.json(), kFields + point(kStart + 59, "57") + "," + point(kStart + 60, "60.5") + "]}");
}

TEST(HistoryRing, DropsTheOldestPointsAtCapacity) {
    HistoryRing ring = fullRing(3);
    for (int minute = 0; minute < 5; ++minute) ring.add(fullRow(kStart + 60 * minute, std::to_string(minute)));
    EXPECT_EQ(ring.size(), 3u);
    EXPECT_EQ(ring.json(), kFields + point(kStart + 120, "2") + "," + point(kStart + 180, "3") + "," +
                               point(kStart + 240, "4") + "]}");
}

TEST(HistoryRing, ShowsOnlyTheLast48Hours) {
    HistoryRing ring = fullRing();
    constexpr std::time_t k48Hours = 48 * 3600;
    ring.add(fullRow(kStart, "1"));
    ring.add(fullRow(kStart + 60, "2"));
    ring.add(fullRow(kStart + k48Hours + 30, "3"));  // 48 hours after the first point's minute
    EXPECT_EQ(ring.size(), 3u);
    EXPECT_EQ(ring.json(), kFields + point(kStart + 60, "2") + "," + point(kStart + k48Hours + 30, "3") + "]}");
}

TEST(HistoryRing, ClockGoingBackDropsThePointsAfterIt) {
    HistoryRing ring = fullRing();
    for (int minute = 0; minute < 4; ++minute) ring.add(fullRow(kStart + 60 * minute, std::to_string(minute)));
    ring.add(fullRow(kStart + 70, "9"));
    EXPECT_EQ(ring.json(), kFields + point(kStart, "0") + "," + point(kStart + 70, "9") + "]}");
}

TEST(HistoryRing, MissingValuesAreNull) {
    HistoryRing ring = fullRing();
    ring.add(typedRow(kStart, kFull, "\"x\",-,4.2,nan,38.1,-"));
    ring.add(typedRow(kStart + 60, kFull, "\"x\",\"UNAVAILABLE\""));  // a short row
    ring.add(typedRow(kStart + 120, kFull, "\"x\",\"NEW_STATE\""));
    EXPECT_EQ(ring.json(), std::string(kFields) + "[1796692380,null,null,4.2,null]," +
                               "[1796692440,null,null,null,\"UNAVAILABLE\"]," +
                               "[1796692500,null,null,null,\"UNKNOWN\"]]}");
}

TEST(HistoryRing, NewColumnsKeepThePoints) {
    HistoryRing ring = fullRing();
    ring.add(fullRow(kStart, "57.0"));
    // The fast table after a reconnection: charger columns in other places.
    const std::vector<TableColumn> fast = catalogueColumns({"State", "Ppnl[W]", "Vchr[V]", "Ichr[A]"});
    ring.setColumns(fast);
    ring.add(typedRow(kStart + 60, fast, "\"BULK\",45.7,13.42,12.3"));
    EXPECT_EQ(ring.json(), kFields + point(kStart, "57") + ",[1796692440,45.7,13.42,12.3,\"BULK\"]]}");
}

}  // namespace
}  // namespace tessline
