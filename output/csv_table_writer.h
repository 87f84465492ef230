// CsvTableWriter: the comma-separated table on standard output or in the
// output file, one line a row, with a header line as its destination's
// rule says.
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "row/table_listener.h"
#include "output/table_destination.h"

namespace tessline {

// The texts of `cells`, a text cell's in double quotes, (or the headers of
// `columns`) joined by commas.
std::string csvLine(const std::vector<TableCell>& cells);
std::string csvHeader(const std::vector<TableColumn>& columns);

class CsvTableWriter : public TableWriter {
public:
    // `out` outlives the writer. `appended`: the output already holds rows,
    // so the first table has no header.
    explicit CsvTableWriter(std::ostream& out, bool appended = false)
        : TableWriter(TableDestination(out, appended)) {}
    // Writes into the table's files.
    explicit CsvTableWriter(std::unique_ptr<TableFile> file) : TableWriter(TableDestination(std::move(file))) {}

    void onTableStart(const Identity& identity, const DeviceInfo& info,
                      const std::vector<TableColumn>& columns) override;
    // Both throw as TableDestination does.
    void onRow(const TableRow& row) override;
};

}  // namespace tessline
