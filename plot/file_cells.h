// Cells of one line of a solwatch table: split at the commas outside quotes,
// then read as solwatch writes them (a number, a gap or a quoted name).
#pragma once

#include <string_view>
#include <vector>

namespace tessline {

// A cell as read back from a table file; the dump's own cells, which are
// linked into the same programs, are TableCell.
struct FileCell {
    enum Kind { number, gap, name };
    Kind kind = gap;
    double value = 0;       // for a number
    std::string_view text;  // for a name: between its quotes
};

// Splits `line` at the commas outside double quotes into `cells` (views into
// `line`); false when a quote is left open.
bool splitCells(std::string_view line, std::vector<std::string_view>& cells);

// Reads one cell of a row; false for anything solwatch never writes there.
// "-", an empty cell and a number printf gives for no number ("nan", "inf")
// are gaps.
bool readCell(std::string_view cell, FileCell& out);

// Whether the cell can be a column header: a name such as "Vbat[V]",
// "Light[%]", "#Days" or "Day30Day#", never quoted, never a number.
bool isHeaderName(std::string_view cell);

}  // namespace tessline
