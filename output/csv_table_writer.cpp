#include "output/csv_table_writer.h"

namespace tessline {

namespace {

// No cell or header holds a comma: texts are single words in quotes and the
// time stamp has none.
template <typename Part, typename TextOf>
std::string joined(const std::vector<Part>& parts, TextOf textOf) {
    std::string line;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (i) line += ',';
        line += textOf(parts[i]);
    }
    return line;
}

}  // namespace

std::string csvLine(const std::vector<TableCell>& cells) {
    return joined(cells, [](const TableCell& cell) -> const std::string& { return cell.text; });
}

std::string csvHeader(const std::vector<TableColumn>& columns) {
    return joined(columns, [](const TableColumn& column) -> const std::string& { return column.header; });
}

void CsvTableWriter::onTableStart(const Identity& identity, const DeviceInfo&,
                                  const std::vector<TableColumn>& columns) {
    destination_.startTable(identity, csvHeader(columns));
}

void CsvTableWriter::onRow(const TableRow& row) { destination_.writeRow(row.time, csvLine(row.cells)); }

}  // namespace tessline
