// The last 48 hours of a dump at one point a minute (the last row of each
// minute), in a ring of fixed size, for the page's chart and for scripts.
// Pure: no clock, no threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "row/table_row.h"

namespace tessline {

class HistoryRing {
public:
    static constexpr std::size_t kMinutes = 48 * 60;

    explicit HistoryRing(std::size_t capacity = kMinutes);

    // Which cells of the rows to come feed the points: the columns of the
    // chart roles panel power, battery voltage, charge current and charge
    // state. Keeps the points.
    void setColumns(const std::vector<TableColumn>& columns);
    // Adds the row's point, or replaces the point of the same minute.
    void add(const TableRow& row);
    // {"fields":["time","panel_power_w","battery_voltage_v","charge_current_a","state"],
    //  "points":[[1796692380,57.0,13.65,4.2,"FLOAT"],...]} oldest first, time
    // in seconds since the epoch, null for a missing value; only points of
    // the 48 hours up to the newest one.
    std::string json() const;
    std::size_t size() const;

private:
    struct Point {
        std::int64_t time;   // of the minute's last row
        float panelPower;    // NaN: missing
        float batteryVoltage;
        float chargeCurrent;
        std::uint8_t state;  // index into stateNames_ (the charge states), or kNoState
    };
    static constexpr std::uint8_t kNoState = 0xFF;
    // 48 hours of points in under 70 KB.
    static_assert(sizeof(Point) <= 24, "a point of the ring grew");

    Point pointOf(const TableRow& row) const;
    std::uint8_t stateOf(const TableCell& cell) const;
    Point& newest();
    const Point& at(std::size_t age) const;  // 0: the oldest
    void push(const Point& point);
    std::string pointJson(const Point& point) const;

    std::vector<Point> points_;  // the ring, sized once
    std::size_t oldest_ = 0;
    std::size_t count_ = 0;
    std::size_t powerColumn_;
    std::size_t voltageColumn_;
    std::size_t currentColumn_;
    std::size_t stateColumn_;
    std::vector<std::string> stateNames_;
};

}  // namespace tessline
