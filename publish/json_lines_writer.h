// JsonLinesWriter: the table output of --json, one state object a line and
// no header, for jq, Telegraf, Vector or Fluent Bit.
#pragma once

#include <memory>
#include <ostream>

#include "dumper/table_listener.h"
#include "output/table_destination.h"
#include "publish/state_message.h"

namespace tessline {

class JsonLinesWriter : public TableListener {
public:
    // `out` outlives the writer.
    explicit JsonLinesWriter(std::ostream& out) : destination_(out) {}
    // Writes into `file`, which it keeps.
    explicit JsonLinesWriter(std::unique_ptr<OutputFile> file) : destination_(std::move(file)) {}
    // Writes each row into its period's file.
    explicit JsonLinesWriter(std::unique_ptr<RotatingFile> files) : destination_(std::move(files)) {}

    void onTableStart(const Identity& identity, const DeviceInfo& info,
                      const std::vector<TableColumn>& columns) override;
    // Throws std::runtime_error when the line cannot be written, as the CSV
    // table does: a full disk must not lose rows without a word.
    void onRow(const TableRow& row) override;
    void onLinkLost(const std::string&) override {}
    void onEnd() override { destination_.flush(); }

private:
    TableDestination destination_;
    std::unique_ptr<StateMessageBuilder> builder_;
};

}  // namespace tessline
