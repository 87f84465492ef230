// CsvTableWriter: the comma-separated table on standard output or in the
// output file, one line a row, with a header line as the rule below says.
#pragma once

#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "dumper/table_listener.h"
#include "output/output_file.h"
#include "output/rotating_file.h"

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
    explicit CsvTableWriter(std::ostream& out, bool appended = false) : out_(&out), headerDue_(!appended) {}
    // Writes into `file`, which it keeps; a file with content is appended to.
    explicit CsvTableWriter(std::unique_ptr<OutputFile> file)
        : file_(std::move(file)), out_(&file_->stream()), headerDue_(!file_->hadContent()) {}
    // Writes each row into its period's file, which starts with the header
    // when it was new or empty.
    explicit CsvTableWriter(std::unique_ptr<RotatingFile> files) : files_(std::move(files)), headerDue_(false) {}

    // The header rule: the first table has a header unless appended; a
    // later one only when the device is another one.
    void onTableStart(const Identity& identity, const DeviceInfo& info,
                      const std::vector<TableColumn>& columns) override;
    // Both throw as writeTableLine() does.
    void onRow(const TableRow& row) override;
    void onLinkLost(const std::string&) override {}
    void onEnd() override {
        if (out_) out_->flush();
    }

private:
    void writeHeaderIfDue();

    std::unique_ptr<OutputFile> file_;    // null when writing to a stream of the caller's
    std::unique_ptr<RotatingFile> files_;  // set when rotating; out_ follows its current file
    std::ostream* out_ = nullptr;          // null until a rotating writer's first row
    std::string header_;                   // of the last table
    bool headerDue_;
    bool started_ = false;
    Identity device_;  // of the last table
};

}  // namespace tessline
