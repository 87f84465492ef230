// Table columns and rows as the dump makes them, from the CSV's headers and
// lines, for the tests of the outputs that read typed cells.
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "row/table_row.h"

namespace testing_support {

// The columns of these CSV headers, each with its catalogue field and day.
std::vector<tessline::TableColumn> catalogueColumns(const std::vector<std::string>& headers);

// The cells of a CSV line as the dump types them for `columns`: a quoted
// text a text cell (an enumeration's with its index), "-" missing, a number
// a number cell, any other word a word; the columns after the line missing.
tessline::TableRow typedRow(std::time_t time, const std::vector<tessline::TableColumn>& columns,
                            const std::string& line);

}  // namespace testing_support
