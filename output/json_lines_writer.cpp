#include "output/json_lines_writer.h"

namespace tessline {

void JsonLinesWriter::onTableStart(const Identity& identity, const DeviceInfo&,
                                   const std::vector<TableColumn>& columns) {
    builder_ = std::make_unique<StateMessageBuilder>(columns);
    destination_.startTable(identity, "");
}

void JsonLinesWriter::onRow(const TableRow& row) {
    if (!builder_) return;
    destination_.writeRow(row.time, builder_->build(row));
}

}  // namespace tessline
