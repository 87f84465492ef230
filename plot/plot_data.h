// The data files gnuplot reads: only numbers that the table reader parsed,
// written by us, one file per series, with a blank line wherever a line
// must break (a gap in the values, a pause between runs, a device change).
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <limits>
#include <string>
#include <vector>

#include "plot/recording.h"

namespace tessline {

// The usual time between rows (the median step); 1 for the channels table.
double usualStep(const Recording& recording);

// The lowest and highest value of a quantity; low > high when it has none.
struct ValueRange {
    double low = std::numeric_limits<double>::infinity();
    double high = -std::numeric_limits<double>::infinity();
    bool any() const { return low <= high; }
};

// The rows of a span of any length, reduced while they are read to what a
// picture can show. The x axis is cut into columns a power of two seconds
// (or rows) wide, at most `mostColumns` of them: when the rows reach past
// that many, neighbouring columns join into columns twice as wide. So the
// memory stays the same whatever the span, and the line of a quantity is
// drawn from each column's lowest and highest value at their own x, which
// at a column or less a pixel looks as the line through all rows does.
//
// A break in a line (a gap in the values, a pause of more than ten usual
// steps, a new run, a clock that went back) and the edges of the charge
// state bands keep their place to within a column: a column's band is the
// state that held longest in it, unless the time without any state there
// (no rows) is longer.
class PlotData {
public:
    static constexpr std::size_t kMostColumns = 4096;
    explicit PlotData(std::size_t mostColumns = kMostColumns);

    // The rows of the span in time order, a part at a time: a part's first
    // row goes on from the last part's last row unless it starts a run.
    void add(const Recording& part);
    // After the last part, before the data is asked for.
    void finish();

    bool timed() const { return timed_; }
    std::size_t rows() const { return rows_; }
    double first() const { return first_; }  // the lowest x of any row
    double last() const { return last_; }    // the highest
    double columnWidth() const { return width_; }
    std::size_t columns() const { return columns_.size(); }

    ValueRange valueRange(Quantity quantity) const { return ranges_[static_cast<int>(quantity)]; }
    bool hasValues(Quantity quantity) const { return valueRange(quantity).any(); }
    // "x value" lines of one quantity.
    std::string seriesData(Quantity quantity) const;
    // Bands of the charge states: for each state that occurs, in table
    // order, a block of "from to" lines, blocks parted by two blank lines
    // (gnuplot's "index"). `present` gets the states' indexes in block order.
    std::string stateBands(std::vector<int>& present) const;

private:
    // A quantity's lowest and highest value in a column, and where.
    struct Extremes {
        double lowX = 0, highX = 0;
        float low = 0, high = 0;
        bool any = false;
        void add(double x, float value);
        void join(const Extremes& other);
    };
    struct Column {
        std::array<Extremes, kQuantities> values;
        // The line of the quantity does not join this column to the one before.
        std::array<bool, kQuantities> broken{};
        std::array<float, kChargeStates> stateTime{};  // how long each state held here
        void join(const Column& other);
    };

    void reduce(const Recording& rows, std::size_t i);
    void startReducing();
    Column& columnAt(double x);
    void widen();
    void addStateTime(double from, double to, int state);
    int shownState(const Column& column) const;

    std::size_t mostColumns_;
    bool timed_ = true;
    // Until the usual step is known, from the first rows, those rows wait here.
    Recording waiting_;
    double usualStep_ = 0;  // 0: not known yet

    std::size_t rows_ = 0;
    double first_ = std::numeric_limits<double>::infinity(), last_ = -std::numeric_limits<double>::infinity();
    double lastX_ = 0;
    std::array<bool, kQuantities> lineBroken_{};  // since the quantity's last value
    std::array<ValueRange, kQuantities> ranges_;
    // The state of the last row; how long it held is known with the next row.
    int lastState_ = -1;

    std::deque<Column> columns_;
    std::int64_t firstColumn_ = 0;  // the number of columns_.front() from x = 0
    double width_ = 1;
};

// The day records as "x value" lines, x at the middle of each day; for the
// daily yield (kWh) or the daily maximum power (W).
std::string historyData(const DayHistory& history, bool maxPower);

}  // namespace tessline
