// CsvTableWriter: the comma-separated table on standard output or in the
// output file, one line a row, with a header line as the rule below says.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "dumper/table_listener.h"

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
    // `out` outlives the writer. `appended`: the output already holds rows
    // (an output file with content), so the first table has no header.
    CsvTableWriter(std::ostream& out, bool appended) : out_(out), headerDue_(!appended) {}

    // The header rule: the first table has a header unless appended; a
    // later one only when the device is another one.
    void onTableStart(const Identity& identity, const DeviceInfo& info,
                      const std::vector<TableColumn>& columns) override;
    // Both throw as writeTableLine() does.
    void onRow(const TableRow& row) override;
    void onLinkLost(const std::string&) override {}
    void onEnd() override { out_.flush(); }

private:
    std::ostream& out_;
    bool headerDue_;
    bool started_ = false;
    Identity device_;  // of the last table
};

}  // namespace tessline
