// Reads a table that solwatch wrote (any variant, appended runs, a device
// change with its new header) into a Recording.
#pragma once

#include <istream>
#include <string>

#include "plot/recording.h"

namespace tessline {

// Throws plot_error, naming `name` and the line, for an empty file, a file
// that does not start with a solwatch header, a row that does not fit its
// header or holds a cell solwatch never writes, and a table without rows.
// An unfinished last line (no line end: solwatch is writing it) is left out
// when it does not read as a row.
Recording readTable(std::istream& in, const std::string& name);

}  // namespace tessline
