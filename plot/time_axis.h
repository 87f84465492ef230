// The time axis for a span: from a few minutes to weeks of a running service.
#pragma once

#include <string>

namespace tessline {

struct TimeAxis {
    double from = 0;       // stamp seconds (plot/stamp_time.h)
    double to = 0;
    double firstTick = 0;  // the first whole step at or after `from`
    double step = 0;       // seconds between ticks
    std::string format;    // gnuplot time format of the tick labels
    std::string label;     // the axis label, e.g. "local time, Mon 7 Dec 2026"
};

// At most about eight ticks on whole minutes, hours or days.
TimeAxis chooseTimeAxis(double first, double last);

// "Mon 7 Dec 2026".
std::string dateText(double seconds);

// "Mon 7 Dec 2026, 20:22 to 21:40", or with both dates when they differ;
// seconds for a span under ten minutes.
std::string spanText(double first, double last);

}  // namespace tessline
