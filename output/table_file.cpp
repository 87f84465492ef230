#include "output/table_file.h"

#include "log/log.h"

namespace tessline {

void TableFile::openFor(const Identity& identity) {
    if (!settings_.rotation) open(settings_.nameFor(identity));
}

void TableFile::startTable(const Identity& identity, const std::string& header) {
    const bool anotherDevice = table_ && !sameDevice(identity, device_);
    // The same device keeps its name (a %t in the template would give
    // each reconnection a file of its own otherwise).
    std::string name = table_ && !anotherDevice ? table_->name : settings_.nameFor(identity);
    table_ = std::make_shared<const Table>(Table{std::move(name), header, anotherDevice});
    device_ = identity;
}

void TableFile::writeRow(std::time_t time, const std::string& line) {
    if (!table_) return;
    hold(Row{time, line, table_});
    writeHeld();
}

void TableFile::end() {
    if (held_.empty()) return;
    writeHeld();
    if (!held_.empty())
        logError("output", "%zu rows not written to %s", held_.size(), held_.front().table->name.c_str());
}

void TableFile::hold(Row row) {
    heldBytes_ += row.line.size();
    held_.push_back(std::move(row));
    while (heldBytes_ > settings_.holdLimitBytes && held_.size() > 1) {
        if (dropped_++ == 0)
            logError("output", "row buffer full (%zu MiB): dropping the oldest rows until the file takes them",
                     settings_.holdLimitBytes >> 20);
        heldBytes_ -= held_.front().line.size();
        held_.pop_front();
    }
}

void TableFile::writeHeld() {
    while (!held_.empty()) {
        try {
            writeOne(held_.front());
        } catch (const OutputError& error) {
            if (!settings_.holdRows) {
                held_.clear();
                heldBytes_ = 0;
                throw;
            }
            noteFailure(error.what());
            return;
        }
        heldBytes_ -= held_.front().line.size();
        held_.pop_front();
    }
    noteResumed();
}

void TableFile::writeOne(const Row& row) {
    bool opened = false;
    OutputFile& file = fileFor(row, opened);
    // Another device's table in the same file starts with its header.
    if (row.table != written_ && row.table->anotherDevice && !opened) lastHeader_.clear();
    const std::string& header = row.table->header;
    const bool headerDue = !header.empty() && header != lastHeader_;
    // The header and the row in one write: a file never ends on a header
    // whose row failed.
    file.append(headerDue ? header + "\n" + row.line + "\n" : row.line + "\n");
    if (headerDue) lastHeader_ = header;
    written_ = row.table;
}

OutputFile& TableFile::fileFor(const Row& row, bool& opened) {
    const std::string& name = row.table->name;
    std::string wanted = settings_.rotation ? periodFileName(name, *settings_.rotation, row.time) : name;
    opened = false;
    if (file_ && file_->name() == wanted) {
        if (file_->stillAtPath()) return *file_;
        logNotice("output", "%s was moved or deleted: writing a new one", wanted.c_str());
    } else if (file_) {
        file_->sync();  // a period's file left for good is on the disk
    }
    file_.reset();
    open(wanted);
    opened = true;
    if (settings_.rotation && settings_.keep > 0) prunePeriodFiles(name, *settings_.rotation, wanted, settings_.keep);
    return *file_;
}

void TableFile::open(const std::string& name) {
    file_ = std::make_unique<OutputFile>(name);
    lastHeader_ = file_->lastHeaderLine();
}

void TableFile::noteFailure(const std::string& reason) {
    if (failing_) return;
    failing_ = true;
    logError("output", "%s: holding the rows until it can be written", reason.c_str());
}

void TableFile::noteResumed() {
    if (!failing_) return;
    failing_ = false;
    logNotice("output", "writing %s again", file_ ? file_->name().c_str() : "the table");
    if (dropped_ > 0)
        logError("output", "%llu rows dropped while the file could not be written",
                 static_cast<unsigned long long>(dropped_));
    dropped_ = 0;
}

}  // namespace tessline
