// The last 48 hours of a dump at one point a minute (the last row of each
// minute), in a ring of fixed size, for the page's chart and for scripts.
// Pure: no clock, no threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "dumper/table_row.h"

namespace tessline {

class HistoryRing {
public:
    static constexpr std::size_t kMinutes = 48 * 60;

    explicit HistoryRing(std::size_t capacity = kMinutes);

    // Which cells of the rows to come feed the points: panel power, battery
    // (or charger) voltage, charge current, charge state. Keeps the points.
    void setColumns(const std::vector<TableColumn>& columns);
    // Adds the row's point, or replaces the point of the same minute.
    void add(const TableRow& row);
    // {"fields":["time","panel_power_w","battery_voltage_v","charge_current_a","state"],
    //  "points":[[1796692380,57.0,13.65,4.2,"FLOAT"],...]} oldest first, time
    // in seconds since the epoch, null for a missing value; only points of
    // the 48 hours up to the newest one.
    std::string json() const;
    std::size_t size() const;
};

}  // namespace tessline
