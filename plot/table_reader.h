// Reads a table that solwatch wrote (any variant, appended runs, a device
// change with its new header) into a Recording.
#pragma once

#include <functional>
#include <istream>
#include <limits>
#include <string>

#include "plot/recording.h"

namespace tessline {

// Throws plot_error, naming `name` and the line, for an empty file, a file
// that does not start with a solwatch header, a timed table mixed with the
// channels table, and a table without rows. A line that is not a row (a row
// torn by a power cut, a cell solwatch never writes, garbage) is left out and
// counted in `skipped`; with no row at all, it is the error. An unfinished
// last line (no line end: solwatch is writing it) is left out silently.
// Timed rows outside `window` are left out and counted in `outsideWindow`;
// a table whose rows all lie outside gives a Recording without rows.
Recording readTable(std::istream& in, const std::string& name, const TimeWindow& window = TimeWindow());

// Takes a part of a table's rows; the part is the callee's to change.
using TakeRows = std::function<void(Recording& part)>;

// As readTable, for a table of any length: the rows go to `take` in parts of
// a few thousand, in the file's order, each part with the header lines above
// its first and last row; what is returned holds the table's facts and no
// rows.
Recording readTableInParts(std::istream& in, const std::string& name, const TimeWindow& window,
                           const TakeRows& take);

// What the start of a table tells: its first row's time (infinity for a
// table without rows) and whether it has time stamps. Throws plot_error for
// a file that does not start as a solwatch table.
struct TableHead {
    std::string name;
    double firstX = std::numeric_limits<double>::infinity();
    bool timed = true;
};
TableHead readTableHead(std::istream& in, const std::string& name);

// The one warning line about the lines left out: the first, and how many.
std::string skippedLinesWarning(const SkippedLines& skipped);

}  // namespace tessline
