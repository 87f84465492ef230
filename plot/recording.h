// Recording: what the plot takes from a solwatch table, column by column.
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "plot/column_roles.h"

namespace tessline {

// A file the plot cannot use: the message is the one line the user sees.
class plot_error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

constexpr float kGap = std::numeric_limits<float>::quiet_NaN();

// The daily history of the last row that carried any day record.
struct DayHistory {
    bool any = false;
    double today = 0;  // stamp seconds of that row
    std::array<float, kHistoryDayCount> yield;     // kWh, kGap where none
    std::array<float, kHistoryDayCount> maxPower;  // W, kGap where none
    DayHistory() { yield.fill(kGap), maxPower.fill(kGap); }
};

// Lines left out because they are not rows of the table: a row torn by a
// power cut, garbage.
struct SkippedLines {
    std::size_t count = 0;
    std::string first;  // "NAME:LINE: what is wrong with it"
};

// The stretch of time to draw, in stamp seconds (plot/stamp_time.h): rows
// from `from` on and before `to`.
struct TimeWindow {
    double from = -std::numeric_limits<double>::infinity();
    double to = std::numeric_limits<double>::infinity();
    bool holds(double x) const { return x >= from && x < to; }
    bool cuts() const { return from > -std::numeric_limits<double>::infinity() || to < std::numeric_limits<double>::infinity(); }
};

struct Recording {
    // False for the channels table, whose rows carry no time: x is then the
    // row number.
    bool timed = true;
    std::vector<double> x;
    // 1 for the first row under a header line: another run or another device.
    std::vector<std::uint8_t> runStart;
    std::array<std::vector<float>, kQuantities> values;  // kGap where none
    std::array<bool, kQuantities> carried{};             // some header had the column
    std::vector<std::int8_t> states;                     // index into kChargeStateTable, -1 none
    bool carriesStates = false;
    DayHistory history;
    int headerLines = 0;
    SkippedLines skipped;
    std::size_t outsideWindow = 0;  // rows left out by the TimeWindow
    // The header lines above the first and the last row: a table that goes
    // on in the next file repeats its header there.
    std::string firstRowHeader, lastRowHeader;

    std::size_t rows() const { return x.size(); }
    // Appends the rows of `part`, not its facts.
    void appendRows(const Recording& part) {
        x.insert(x.end(), part.x.begin(), part.x.end());
        runStart.insert(runStart.end(), part.runStart.begin(), part.runStart.end());
        for (int q = 0; q < kQuantities; ++q) values[q].insert(values[q].end(), part.values[q].begin(), part.values[q].end());
        states.insert(states.end(), part.states.begin(), part.states.end());
    }
    void clearRows() {
        x.clear(), runStart.clear(), states.clear();
        for (auto& series : values) series.clear();
    }
    const std::vector<float>& series(Quantity q) const { return values[static_cast<int>(q)]; }
    bool carries(Quantity q) const { return carried[static_cast<int>(q)]; }
};

}  // namespace tessline
