#include "http/row_cells.h"

namespace tessline {

std::size_t findRole(const std::vector<TableColumn>& columns, PlotRole role) {
    for (std::size_t i = 0; i < columns.size(); ++i)
        if (columns[i].history == kLiveColumn && columns[i].field && columns[i].field->plot == role) return i;
    return kNoColumn;
}

const TableCell& cellAt(const TableRow& row, std::size_t column) {
    static const TableCell missing = missingCell();
    return column < row.cells.size() ? row.cells[column] : missing;
}

}  // namespace tessline
