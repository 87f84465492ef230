// Reading the typed cells of a table row back into values, for the outputs
// that show them other than as the CSV's text.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "dumper/table_row.h"

namespace tessline {

constexpr std::size_t kNoColumn = static_cast<std::size_t>(-1);

// The index of the column with this header and history place, or kNoColumn.
std::size_t findColumn(const std::vector<TableColumn>& columns, const std::string& header, int history = kLiveColumn);

// The row's cell of a column; a missing cell for kNoColumn or a short row.
const TableCell& cellAt(const TableRow& row, std::size_t column);

// A number cell's value; nothing for a missing cell, a word such as "nan"
// or text that is not a whole finite number.
std::optional<double> cellNumber(const TableCell& cell);

}  // namespace tessline
