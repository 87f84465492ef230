// Reads a table that solwatch wrote (any variant, appended runs, a device
// change with its new header) into a Recording.
#pragma once

#include <istream>
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

// The one warning line about the lines left out: the first, and how many.
std::string skippedLinesWarning(const SkippedLines& skipped);

}  // namespace tessline
