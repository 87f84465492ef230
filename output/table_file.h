// TableFile: the file side of a table's output. It names each row's file
// from the device and the period, keeps the header rule, notices a file
// moved away, and holds rows that the file cannot take when asked to.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "identity/identity.h"
#include "output/output_file.h"
#include "output/rotating_file.h"

namespace tessline {

struct TableFileSettings {
    // The file name for a device: the expanded --output template.
    std::function<std::string(const Identity&)> nameFor;
    std::optional<Rotation> rotation;
    int keep = 0;  // > 0: period files kept, the current one counted
    // Rows that cannot be written wait in memory (the oldest dropped beyond
    // the limit) instead of ending the run.
    bool holdRows = false;
    std::size_t holdLimitBytes = 16 << 20;
};

class TableFile {
public:
    explicit TableFile(TableFileSettings settings) : settings_(std::move(settings)) {}

    // Opens the device's file at once, so that a name that cannot be opened
    // ends the run before the dump (without rotation, where the file does
    // not depend on the row). Throws OutputError.
    void openFor(const Identity& identity);
    // A table starts. `header` ("" for none) goes before its first row
    // unless the file's last header is the same; another device than the
    // last table's gets a header in any case, and a file of its own when
    // the template names one.
    void startTable(const Identity& identity, const std::string& header);
    // Appends the row's line. When the file cannot take it: throws
    // OutputError, or with holdRows keeps it for later.
    void writeRow(std::time_t time, const std::string& line);
    // The run ends: a last try for the rows held, and a word on those left.
    void end();

    std::size_t heldRows() const { return held_.size(); }

private:
    struct Table {
        std::string name;    // the template expanded for the device
        std::string header;  // "" for a table without one
        bool anotherDevice;  // than the table before
    };
    struct Row {
        std::time_t time;
        std::string line;
        std::shared_ptr<const Table> table;
    };

    void writeHeld();
    void writeOne(const Row& row);
    // The open file for the row; true in `opened` when opened for it.
    OutputFile& fileFor(const Row& row, bool& opened);
    void open(const std::string& name);
    void hold(Row row);
    void noteFailure(const std::string& reason);
    void noteResumed();

    TableFileSettings settings_;
    std::shared_ptr<const Table> table_;    // the current table
    std::shared_ptr<const Table> written_;  // the table of the last row written
    Identity device_;                       // of the current table
    std::unique_ptr<OutputFile> file_;
    std::string lastHeader_;  // the last header line in file_
    // Rows not written yet, oldest first; only with holdRows does one stay
    // here beyond a writeRow() call.
    std::deque<Row> held_;
    std::size_t heldBytes_ = 0;
    std::uint64_t dropped_ = 0;
    bool failing_ = false;
};

}  // namespace tessline
