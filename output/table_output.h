// The table of the dump as the program's settings ask for it: CSV or JSON
// lines (or none), on standard output or into the files of a name pattern,
// by period and with a number of them kept.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "output/csv_table_writer.h"
#include "output/json_lines_writer.h"
#include "output/table_file.h"

namespace tessline {

enum class TableFormat { csv, jsonLines, none };

struct TableOutputSettings {
    TableFormat format = TableFormat::csv;
    std::optional<Rotation> rotation;  // none: one file
    int keep = 0;                      // with a rotation: the newest files kept (0: all)
    // A service run holds rows that its file cannot take for now; any
    // other run ends on such a failure.
    bool holdRows = false;
};

class TableOutput {
public:
    explicit TableOutput(TableOutputSettings settings);

    // The table goes to standard output. Call it or attachFiles() once,
    // before the dump starts.
    void attachStandardOutput();
    // The table goes into the files that `nameFor` names for a device, by
    // period with a rotation. Without one, the first device's file opens at
    // once (throws OutputError when it cannot).
    void attachFiles(std::function<std::string(const Identity&)> nameFor, const Identity& first);
    // The writer once attached; null without a table. Its file layer throws
    // only when the run is to end (when rows are not held).
    TableListener* writer() const { return writer_.get(); }
    bool rotates() const { return settings_.rotation.has_value(); }
    // Rows that wait for a file that cannot take them (when rows are held).
    std::size_t heldRows() const;

private:
    void attach(std::unique_ptr<TableFile> file);

    const TableOutputSettings settings_;
    std::unique_ptr<TableWriter> writer_;
};

}  // namespace tessline
