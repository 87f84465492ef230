#include "publish/json_lines_writer.h"

#include "dumper/csv_table_writer.h"

namespace tessline {

void JsonLinesWriter::onTableStart(const Identity&, const DeviceInfo&, const std::vector<TableColumn>& columns) {
    builder_ = std::make_unique<StateMessageBuilder>(columns);
}

void JsonLinesWriter::onRow(const TableRow& row) {
    if (!builder_) return;
    if (files_) {
        bool switched = false;
        out_ = &files_->fileFor(row.time, switched).stream();
    }
    writeTableLine(*out_, builder_->build(row));
}

void JsonLinesWriter::onEnd() {
    if (out_) out_->flush();
}

}  // namespace tessline
