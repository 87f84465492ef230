// Finding the cells of a table row by what their columns mean, for the
// outputs that show some of them other than as the CSV's text.
#pragma once

#include <cstddef>
#include <vector>

#include "row/table_row.h"
#include "fields/field.h"

namespace tessline {

constexpr std::size_t kNoColumn = static_cast<std::size_t>(-1);

// The first live column whose field plays `role` (of the charts), or kNoColumn.
std::size_t findRole(const std::vector<TableColumn>& columns, PlotRole role);

// The row's cell of a column; a missing cell for kNoColumn or a short row.
const TableCell& cellAt(const TableRow& row, std::size_t column);

}  // namespace tessline
