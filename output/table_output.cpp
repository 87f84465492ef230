#include "output/table_output.h"

#include <iostream>

namespace tessline {

namespace {

// A writer into `file`, or onto standard output when there is none.
template <typename Writer>
std::unique_ptr<Writer> tableWriter(std::unique_ptr<TableFile> file) {
    if (file) return std::make_unique<Writer>(std::move(file));
    return std::make_unique<Writer>(std::cout);
}

}  // namespace

TableOutput::TableOutput(TableOutputSettings settings) : settings_(std::move(settings)) {}

void TableOutput::attachStandardOutput() { attach(nullptr); }

void TableOutput::attachFiles(std::function<std::string(const Identity&)> nameFor, const Identity& first) {
    TableFileSettings settings;
    settings.nameFor = std::move(nameFor);
    settings.rotation = settings_.rotation;
    settings.keep = settings_.keep;
    settings.holdRows = settings_.holdRows;
    auto file = std::make_unique<TableFile>(std::move(settings));
    file->openFor(first);
    attach(std::move(file));
}

std::size_t TableOutput::heldRows() const { return writer_ ? writer_->heldRows() : 0; }

// At most one table: the CSV or the JSON lines.
void TableOutput::attach(std::unique_ptr<TableFile> file) {
    switch (settings_.format) {
        case TableFormat::csv: writer_ = tableWriter<CsvTableWriter>(std::move(file)); break;
        case TableFormat::jsonLines: writer_ = tableWriter<JsonLinesWriter>(std::move(file)); break;
        case TableFormat::none: break;
    }
}

}  // namespace tessline
