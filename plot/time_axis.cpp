#include "plot/time_axis.h"

#include <cmath>

#include "plot/stamp_time.h"

namespace tessline {

namespace {

constexpr double kMinute = 60;
constexpr double kHour = 3600;
constexpr int kMostTicks = 8;
// A single row still gets a readable axis around it.
constexpr double kLeastSpan = 60;
constexpr double kShortSpan = 10 * kMinute;

const double kSteps[] = {1,          2,          5,          10,         15,         30,
                         kMinute,    2 * kMinute, 5 * kMinute, 10 * kMinute, 15 * kMinute, 30 * kMinute,
                         kHour,      2 * kHour,  3 * kHour,  6 * kHour,  12 * kHour, kSecondsPerDay,
                         2 * kSecondsPerDay, 7 * kSecondsPerDay, 14 * kSecondsPerDay, 28 * kSecondsPerDay};

double stepFor(double span) {
    for (double step : kSteps)
        if (span / step <= kMostTicks) return step;
    return std::ceil(span / kMostTicks / (28 * kSecondsPerDay)) * 28 * kSecondsPerDay;
}

bool sameDay(double a, double b) { return dayStart(a) == dayStart(b); }

}  // namespace

std::string dateText(double seconds) {
    // "%e" pads the day with a blank; a title reads better without it.
    std::string text = stampText(seconds, "%a %e %b %Y");
    std::size_t doubled = text.find("  ");
    if (doubled != std::string::npos) text.erase(doubled, 1);
    return text;
}

TimeAxis chooseTimeAxis(double first, double last) {
    TimeAxis axis;
    axis.from = first;
    axis.to = last;
    if (axis.to - axis.from < kLeastSpan) {
        double middle = (first + last) / 2;
        axis.from = middle - kLeastSpan / 2;
        axis.to = middle + kLeastSpan / 2;
    }
    axis.step = stepFor(axis.to - axis.from);
    axis.firstTick = std::ceil(axis.from / axis.step) * axis.step;
    bool oneDay = sameDay(axis.from, axis.to);
    if (axis.step < kMinute) axis.format = "%H:%M:%S";
    else if (axis.step < kSecondsPerDay) axis.format = oneDay ? "%H:%M" : "%H:%M\\n%a %d %b";
    else axis.format = axis.step < 7 * kSecondsPerDay ? "%a %d %b" : "%d %b %Y";
    axis.label = oneDay ? "local time, " + dateText(axis.from) : "local time";
    return axis;
}

std::string spanText(double first, double last) {
    const char* clock = last - first < kShortSpan ? "%H:%M:%S" : "%H:%M";
    std::string from = dateText(first) + ", " + stampText(first, clock);
    if (sameDay(first, last)) return from + " to " + stampText(last, clock);
    return from + " to " + dateText(last) + ", " + stampText(last, clock);
}

}  // namespace tessline
