// The data files gnuplot reads: only numbers that the table reader parsed,
// written by us, one file per series, with a blank line wherever a line
// must break (a gap in the values, a pause between runs, a device change).
#pragma once

#include <limits>
#include <string>
#include <vector>

#include "plot/recording.h"

namespace tessline {

// For each row, whether the lines must not join it to the row before: the
// first row of a run, a pause of more than ten usual steps, a clock that
// went back.
std::vector<bool> lineBreaks(const Recording& recording);

// The usual time between rows (the median step); 1 for the channels table.
double usualStep(const Recording& recording);

// "x value" lines of one quantity. Beyond 4 points per bucket the points of
// each of `buckets` equal slices of the x range shrink to their lowest and
// highest, in time order: the drawn line looks the same at that width, and
// a week of rows a second draws in little time.
std::string seriesData(const Recording& recording, Quantity quantity, const std::vector<bool>& breaks,
                       int buckets);
bool hasValues(const Recording& recording, Quantity quantity);

// The lowest and highest value of a quantity; low > high when it has none.
struct ValueRange {
    double low = std::numeric_limits<double>::infinity();
    double high = -std::numeric_limits<double>::infinity();
};
ValueRange valueRange(const Recording& recording, Quantity quantity);

// Bands of the charge states: for each state that occurs, in table order, a
// block of "from to" lines, blocks parted by two blank lines (gnuplot's
// "index"). `present` gets the states' indexes in block order.
std::string stateBands(const Recording& recording, const std::vector<bool>& breaks, std::vector<int>& present);

// The day records as "x value" lines, x at the middle of each day; for the
// daily yield (kWh) or the daily maximum power (W).
std::string historyData(const DayHistory& history, bool maxPower);

}  // namespace tessline
