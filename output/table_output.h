// The table of the dump as the command line asks for it: CSV or --json
// lines (none with --no-table), on standard output or into the files of
// --output, by period with --rotate and --keep.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <boost/program_options/variables_map.hpp>

#include "output/csv_table_writer.h"
#include "output/json_lines_writer.h"
#include "output/table_file.h"

namespace tessline {

class TableOutput {
public:
    // Checks the table's options before anything else happens; throws
    // std::invalid_argument with the reason.
    explicit TableOutput(const boost::program_options::variables_map& options);

    // The table goes to standard output. Call it or attachFiles() once,
    // before the dump starts.
    void attachStandardOutput();
    // The table goes into the files that `nameFor` names for a device (the
    // expanded --output), by period with --rotate. Without it, the first
    // device's file opens at once (throws OutputError when it cannot).
    void attachFiles(std::function<std::string(const Identity&)> nameFor, const Identity& first);
    // The writer once attached; null with --no-table. Its file layer throws
    // only when the run is to end (without --reconnect).
    TableListener* writer() const { return writer_.get(); }
    bool rotates() const { return rotation_.has_value(); }
    // Rows that wait for a file that cannot take them (with --reconnect).
    std::size_t heldRows() const;

private:
    void attach(std::unique_ptr<TableFile> file);

    bool csv_ = true;
    bool json_ = false;
    std::optional<Rotation> rotation_;
    int keep_ = 0;
    bool holdRows_ = false;
    std::unique_ptr<TableWriter> writer_;
};

}  // namespace tessline
