// A row of the CSV that solwatch writes, as the end-to-end tests read it.
#pragma once

#include <ctime>
#include <string>
#include <vector>

namespace testing_support {

// A CSV line as its cells (a text cell keeps its quotes).
std::vector<std::string> csvCells(const std::string& line);

// The CSV's "Tue Dec  8 01:13:00 2026", local time, as Unix seconds (0 if
// the cell is not a time stamp).
std::time_t csvTime(const std::string& cell);

}  // namespace testing_support
