// JsonLinesWriter: the table output of --json, one state object a line and
// no header, for jq, Telegraf, Vector or Fluent Bit.
#pragma once

#include <memory>
#include <ostream>

#include "dumper/table_listener.h"
#include "output/output_file.h"
#include "output/rotating_file.h"
#include "publish/state_message.h"

namespace tessline {

class JsonLinesWriter : public TableListener {
public:
    // `out` outlives the writer.
    explicit JsonLinesWriter(std::ostream& out) : out_(&out) {}
    // Writes into `file`, which it keeps.
    explicit JsonLinesWriter(std::unique_ptr<OutputFile> file) : file_(std::move(file)), out_(&file_->stream()) {}
    // Writes each row into its period's file.
    explicit JsonLinesWriter(std::unique_ptr<RotatingFile> files) : files_(std::move(files)) {}

    void onTableStart(const Identity& identity, const DeviceInfo& info,
                      const std::vector<TableColumn>& columns) override;
    // Throws std::runtime_error when the line cannot be written, as the CSV
    // table does: a full disk must not lose rows without a word.
    void onRow(const TableRow& row) override;
    void onLinkLost(const std::string&) override {}
    void onEnd() override;

private:
    std::unique_ptr<OutputFile> file_;    // null when writing to a stream of the caller's
    std::unique_ptr<RotatingFile> files_;  // set when rotating; out_ follows its current file
    std::ostream* out_ = nullptr;          // null until a rotating writer's first row
    std::unique_ptr<StateMessageBuilder> builder_;
};

}  // namespace tessline
