#include "output/csv_table_writer.h"

namespace tessline {

namespace {

// No cell or header holds a comma: texts are single words or clock times
// and the time stamp has none.
template <typename Part, typename AppendText>
std::string joined(const std::vector<Part>& parts, AppendText appendText) {
    std::string line;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i) line += ',';
        appendText(line, parts[i]);
    }
    return line;
}

}  // namespace

std::string csvLine(const std::vector<TableCell>& cells) {
    return joined(cells, [](std::string& line, const TableCell& cell) {
        bool quoted = cell.kind == CellKind::text;
        if (quoted) line += '"';
        line += cell.text;
        if (quoted) line += '"';
    });
}

std::string csvHeader(const std::vector<TableColumn>& columns) {
    return joined(columns, [](std::string& line, const TableColumn& column) { line += column.header; });
}

void CsvTableWriter::onTableStart(const Identity& identity, const DeviceInfo&,
                                  const std::vector<TableColumn>& columns) {
    destination_.startTable(identity, csvHeader(columns));
}

void CsvTableWriter::onRow(const TableRow& row) { destination_.writeRow(row.time, csvLine(row.cells)); }

}  // namespace tessline
