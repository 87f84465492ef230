#include "publish/json_lines_writer.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace tessline {

void JsonLinesWriter::onTableStart(const Identity&, const DeviceInfo&, const std::vector<TableColumn>& columns) {
    builder_ = std::make_unique<StateMessageBuilder>(columns);
}

void JsonLinesWriter::onRow(const TableRow& row) {
    if (!builder_) return;
    errno = 0;
    out_ << builder_->build(row) << '\n' << std::flush;
    if (!out_) {
        int error = errno;
        throw std::runtime_error(std::string("cannot write the table: ") +
                                 (error ? std::strerror(error) : "output stream failed"));
    }
}

void JsonLinesWriter::onEnd() { out_.flush(); }

}  // namespace tessline
