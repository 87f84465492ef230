#include "http/history_ring.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "fields/field_catalogue.h"
#include "http/row_cells.h"

namespace tessline {

namespace {

constexpr std::int64_t kSecondsPerMinute = 60;

std::int64_t minuteOf(std::int64_t time) {
    // Floor, not truncation: the minute before the epoch is -1.
    return time / kSecondsPerMinute - (time % kSecondsPerMinute < 0 ? 1 : 0);
}

float floatOf(const TableCell& cell) {
    return cell.kind == CellKind::number ? static_cast<float>(cell.number) : NAN;
}

// Seven significant digits: what a float holds, so the CSV's "13.65" comes
// back as 13.65 and not as 13.6499996.
std::string floatJson(float value) {
    if (std::isnan(value)) return "null";
    char text[32];
    std::snprintf(text, sizeof text, "%.7g", value);
    return text;
}

}  // namespace

HistoryRing::HistoryRing(std::size_t capacity)
    : points_(std::max<std::size_t>(capacity, 1)),
      powerColumn_(kNoColumn),
      voltageColumn_(kNoColumn),
      currentColumn_(kNoColumn),
      stateColumn_(kNoColumn),
      stateNames_(allNames(chargeStates())) {}

void HistoryRing::setColumns(const std::vector<TableColumn>& columns) {
    powerColumn_ = findRole(columns, PlotRole::panelPower);
    voltageColumn_ = findRole(columns, PlotRole::batteryVoltage);
    currentColumn_ = findRole(columns, PlotRole::chargeCurrent);
    stateColumn_ = findRole(columns, PlotRole::chargeState);
}

void HistoryRing::add(const TableRow& row) {
    Point point = pointOf(row);
    std::int64_t minute = minuteOf(point.time);
    // The clock went back: the points of the minutes now to come are dropped
    // so that the points stay in order.
    while (count_ > 0 && minuteOf(newest().time) > minute) --count_;
    if (count_ > 0 && minuteOf(newest().time) == minute)
        newest() = point;
    else
        push(point);
}

std::string HistoryRing::json() const {
    std::string out =
        R"({"fields":["time","panel_power_w","battery_voltage_v","charge_current_a","state"],"points":[)";
    bool first = true;
    for (std::size_t age = 0; age < count_; ++age) {
        const Point& point = at(age);
        if (minuteOf(at(count_ - 1).time) - minuteOf(point.time) >= static_cast<std::int64_t>(kMinutes)) continue;
        if (!first) out += ",";
        out += pointJson(point);
        first = false;
    }
    return out + "]}";
}

std::size_t HistoryRing::size() const { return count_; }

HistoryRing::Point HistoryRing::pointOf(const TableRow& row) const {
    return Point{static_cast<std::int64_t>(row.time), floatOf(cellAt(row, powerColumn_)),
                 floatOf(cellAt(row, voltageColumn_)), floatOf(cellAt(row, currentColumn_)),
                 stateOf(cellAt(row, stateColumn_))};
}

std::uint8_t HistoryRing::stateOf(const TableCell& cell) const {
    if (cell.index < 0 || static_cast<std::size_t>(cell.index) >= stateNames_.size()) return kNoState;
    return static_cast<std::uint8_t>(cell.index);
}

HistoryRing::Point& HistoryRing::newest() { return points_[(oldest_ + count_ - 1) % points_.size()]; }

const HistoryRing::Point& HistoryRing::at(std::size_t age) const {
    return points_[(oldest_ + age) % points_.size()];
}

void HistoryRing::push(const Point& point) {
    points_[(oldest_ + count_) % points_.size()] = point;
    if (count_ < points_.size())
        ++count_;
    else
        oldest_ = (oldest_ + 1) % points_.size();  // the oldest point was just overwritten
}

std::string HistoryRing::pointJson(const Point& point) const {
    std::string state = point.state == kNoState ? "null" : "\"" + stateNames_[point.state] + "\"";
    return "[" + std::to_string(point.time) + "," + floatJson(point.panelPower) + "," +
           floatJson(point.batteryVoltage) + "," + floatJson(point.chargeCurrent) + "," + state + "]";
}

}  // namespace tessline
