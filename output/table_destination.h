// TableDestination: where a table writer's lines go: a stream of the
// caller's (standard output), or the table's files.
#pragma once

#include <ctime>
#include <memory>
#include <ostream>
#include <string>

#include "row/table_listener.h"
#include "identity/identity.h"
#include "output/table_file.h"

namespace tessline {

// Writes `line` and a line end and flushes; throws std::runtime_error
// ("cannot write the table: " and the system's reason) when the stream
// fails, so that a full disk does not lose rows without a word.
void writeTableLine(std::ostream& out, const std::string& line);

class TableDestination {
public:
    // `out` outlives the destination. `appended`: it already holds rows, so
    // the first table has no header.
    explicit TableDestination(std::ostream& out, bool appended = false) : out_(&out), appended_(appended) {}
    explicit TableDestination(std::unique_ptr<TableFile> file) : file_(std::move(file)) {}

    // A table starts with `header` ("" for none). On a stream, the header
    // comes at once for the first table (unless appended), for another
    // device, and for other columns; a file decides with its first row.
    void startTable(const Identity& identity, const std::string& header);
    // Throws as writeTableLine() does, or as TableFile::writeRow().
    void writeRow(std::time_t time, const std::string& line);
    void end();
    // Rows waiting for a file that cannot take them.
    std::size_t heldRows() const { return file_ ? file_->heldRows() : 0; }

private:
    std::ostream* out_ = nullptr;
    std::unique_ptr<TableFile> file_;
    bool appended_ = false;
    bool started_ = false;
    Identity device_;         // of the last table on the stream
    std::string lastHeader_;  // the last header written on the stream
};

// A table written line by line into its destination: the CSV table or the
// JSON lines. The link's loss changes nothing in the rows.
class TableWriter : public TableListener {
public:
    void onLinkLost(const std::string&) override {}
    void onEnd() override { destination_.end(); }
    std::size_t heldRows() const { return destination_.heldRows(); }

protected:
    explicit TableWriter(TableDestination destination) : destination_(std::move(destination)) {}
    TableDestination destination_;
};

}  // namespace tessline
