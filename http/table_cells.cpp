#include "http/table_cells.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace tessline {

std::size_t findColumn(const std::vector<TableColumn>& columns, const std::string& header, int history) {
    for (std::size_t i = 0; i < columns.size(); ++i)
        if (columns[i].header == header && columns[i].history == history) return i;
    return kNoColumn;
}

const TableCell& cellAt(const TableRow& row, std::size_t column) {
    static const TableCell missing = missingCell();
    return column < row.cells.size() ? row.cells[column] : missing;
}

std::optional<double> cellNumber(const TableCell& cell) {
    if (cell.kind != CellKind::number || cell.text.empty()) return std::nullopt;
    const char* begin = cell.text.c_str();
    char* end = nullptr;
    errno = 0;
    double value = std::strtod(begin, &end);
    if (end != begin + cell.text.size() || errno == ERANGE || !std::isfinite(value)) return std::nullopt;
    return value;
}

}  // namespace tessline
