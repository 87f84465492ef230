// CsvTableWriter: the comma-separated table on standard output or in the
// output file, one line a row, with a header line as the rule below says.
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "dumper/table_listener.h"
#include "output/table_destination.h"

namespace tessline {

// Writes `line` and a line end and flushes; throws std::runtime_error
// ("cannot write the table: " and the system's reason) when the stream
// fails, so that a full disk does not lose rows without a word.
void writeTableLine(std::ostream& out, const std::string& line);

// The texts of `cells` (or the headers of `columns`) joined by commas.
std::string csvLine(const std::vector<TableCell>& cells);
std::string csvHeader(const std::vector<TableColumn>& columns);

class CsvTableWriter : public TableListener {
public:
    // `out` outlives the writer. `appended`: the output already holds rows,
    // so the first table has no header.
    explicit CsvTableWriter(std::ostream& out, bool appended = false)
        : destination_(out), headerDue_(!appended) {}
    // Writes into `file`, which it keeps; a file with content is appended to.
    explicit CsvTableWriter(std::unique_ptr<OutputFile> file)
        : destination_(std::move(file)), headerDue_(!destination_.hadContent()) {}
    // Writes each row into its period's file, which starts with the header
    // when it was new or empty.
    explicit CsvTableWriter(std::unique_ptr<RotatingFile> files)
        : destination_(std::move(files)), headerDue_(false) {}

    // The header rule: the first table has a header unless appended; a
    // later one only when the device is another one.
    void onTableStart(const Identity& identity, const DeviceInfo& info,
                      const std::vector<TableColumn>& columns) override;
    // Both throw as writeTableLine() does.
    void onRow(const TableRow& row) override;
    void onLinkLost(const std::string&) override {}
    void onEnd() override { destination_.flush(); }

private:
    void writeHeaderIfDue(std::ostream& out);

    TableDestination destination_;
    std::string header_;                   // of the last table
    bool headerDue_;
    bool started_ = false;
    Identity device_;  // of the last table
};

}  // namespace tessline
