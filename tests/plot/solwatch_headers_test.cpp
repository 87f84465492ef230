// Every header line that solwatch's channel tables can write reads as a
// header here, with the columns the plot draws found in it.
#include <gtest/gtest.h>

#include <sstream>

#include "dumper/table_items.h"
#include "output/csv_table_writer.h"
#include "dumper/dump_table.h"
#include "plot/table_reader.h"

namespace {

using namespace tessline;

std::string headerLine(DumpVariant variant, const DeviceInfo& info) {
    return csvHeader(DumpTable(tableItems(variant, info)).columns()) + "\n";
}

// A row of gaps under the header, with a time stamp where it has one.
Recording readHeader(const std::string& header) {
    std::size_t columns = static_cast<std::size_t>(std::count(header.begin(), header.end(), ',')) + 1;
    bool timed = header.rfind("Timestamp,", 0) == 0;
    std::string row = timed ? "\"Mon Dec  7 10:00:00 2026\"" : "-";
    for (std::size_t i = 1; i < columns; ++i) row += ",-";
    std::istringstream in(header + row + "\n");
    return readTable(in, "table.csv");
}

DeviceInfo charger(std::uint16_t deviceId, bool load, std::uint8_t history) {
    DeviceInfo info;
    info.deviceId = deviceId;
    info.appVersion = 0x116;
    info.hasPanelCurrent = true;
    info.hasLoadOutput = info.hasLoadCurrent = load;
    info.hasSolarTimer = info.releaseCandidate = true;
    info.hasHistorySupport = history > 0;
    info.historyVersion = history;
    return info;
}

TEST(SolwatchHeaders, EveryTableReadsWithItsColumns) {
    for (DumpVariant variant : {DumpVariant::full, DumpVariant::fast, DumpVariant::channels})
        for (std::uint16_t device : {std::uint16_t{0xA042}, kHexTableDeviceId})
            for (bool load : {false, true})
                for (std::uint8_t history : {0, 4, 6}) {
                    std::string header = headerLine(variant, charger(device, load, history));
                    SCOPED_TRACE(header);
                    Recording r = readHeader(header);
                    bool channels = variant == DumpVariant::channels;
                    EXPECT_EQ(r.timed, !channels);
                    EXPECT_EQ(r.carriesStates, !channels);
                    EXPECT_TRUE(r.carries(Quantity::batteryVoltage));
                    EXPECT_TRUE(r.carries(Quantity::chargeCurrent));
                    EXPECT_TRUE(r.carries(Quantity::panelVoltage));
                    EXPECT_EQ(r.carries(Quantity::panelPower), !channels);
                    EXPECT_EQ(r.carries(Quantity::loadCurrent), load && !channels);
                }
}

TEST(SolwatchHeaders, DayRecordsGiveTheHistory) {
    std::string header = headerLine(DumpVariant::full, charger(0xA042, true, 6));
    std::size_t columns = static_cast<std::size_t>(std::count(header.begin(), header.end(), ',')) + 1;
    // Day 30's yield and maximum power, the rest left empty.
    std::string lastYield = "Day30Yield[kWh]", lastPmax = "Day30Pmax[W]";
    auto columnOf = [&](const std::string& name) {
        std::string before = header.substr(0, header.find("," + name + ","));
        return static_cast<std::size_t>(std::count(before.begin(), before.end(), ',')) + 1;
    };
    std::vector<std::string> cells(columns);
    cells[0] = "\"Mon Dec  7 10:00:00 2026\"";
    cells[columnOf(lastYield)] = "2.50";
    cells[columnOf(lastPmax)] = "321";
    std::string joined;
    for (std::size_t i = 0; i < columns; ++i) joined += (i ? "," : "") + cells[i];
    std::istringstream in(header + joined + "\n");
    Recording r = readTable(in, "table.csv");
    ASSERT_TRUE(r.history.any);
    EXPECT_FLOAT_EQ(r.history.yield[30], 2.5f);
    EXPECT_FLOAT_EQ(r.history.maxPower[30], 321.0f);
}

}  // namespace
