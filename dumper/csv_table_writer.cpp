#include "dumper/csv_table_writer.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

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

void writeTableLine(std::ostream& out, const std::string& line) {
    // The reason is the one of the write that failed: a stream that failed
    // before writes nothing more and sets no errno.
    errno = 0;
    out << line << '\n' << std::flush;
    if (!out) {
        int error = errno;
        throw std::runtime_error(std::string("cannot write the table: ") +
                                 (error ? std::strerror(error) : "output stream failed"));
    }
}

std::string csvLine(const std::vector<TableCell>& cells) {
    return joined(cells, [](const TableCell& cell) -> const std::string& { return cell.text; });
}

std::string csvHeader(const std::vector<TableColumn>& columns) {
    return joined(columns, [](const TableColumn& column) -> const std::string& { return column.header; });
}

void CsvTableWriter::onTableStart(const Identity& identity, const DeviceInfo&,
                                  const std::vector<TableColumn>& columns) {
    if (started_ && !sameDevice(identity, device_)) headerDue_ = true;
    started_ = true;
    device_ = identity;
    header_ = csvHeader(columns);
    // A rotating writer knows its file only with the first row.
    if (!destination_.rotating()) writeHeaderIfDue(*destination_.current());
}

void CsvTableWriter::onRow(const TableRow& row) {
    bool switched = false;
    std::ostream& out = destination_.streamFor(row.time, switched);
    if (destination_.rotating()) {
        if (switched) headerDue_ = !destination_.hadContent();
        writeHeaderIfDue(out);
    }
    writeTableLine(out, csvLine(row.cells));
}

void CsvTableWriter::writeHeaderIfDue(std::ostream& out) {
    if (!headerDue_) return;
    writeTableLine(out, header_);
    headerDue_ = false;
}

}  // namespace tessline
