// JsonLinesWriter: the table output of --json, one state object a line and
// no header, for jq, Telegraf, Vector or Fluent Bit.
#pragma once

#include <memory>
#include <ostream>

#include "row/table_listener.h"
#include "output/table_destination.h"
#include "output/state_message.h"

namespace tessline {

class JsonLinesWriter : public TableWriter {
public:
    // `out` outlives the writer.
    explicit JsonLinesWriter(std::ostream& out) : TableWriter(TableDestination(out)) {}
    // Writes into the table's files.
    explicit JsonLinesWriter(std::unique_ptr<TableFile> file) : TableWriter(TableDestination(std::move(file))) {}

    void onTableStart(const Identity& identity, const DeviceInfo& info,
                      const std::vector<TableColumn>& columns) override;
    // Throws when the line cannot be written, as the CSV table does: a full
    // disk must not lose rows without a word.
    void onRow(const TableRow& row) override;

private:
    std::unique_ptr<StateMessageBuilder> builder_;
};

}  // namespace tessline
