#include "publish/json_lines_writer.h"

#include "dumper/csv_table_writer.h"

namespace tessline {

void JsonLinesWriter::onTableStart(const Identity&, const DeviceInfo&, const std::vector<TableColumn>& columns) {
    builder_ = std::make_unique<StateMessageBuilder>(columns);
}

void JsonLinesWriter::onRow(const TableRow& row) {
    if (!builder_) return;
    bool switched = false;
    writeTableLine(destination_.streamFor(row.time, switched), builder_->build(row));
}

}  // namespace tessline
