#include "output/table_output.h"

#include <iostream>
#include <stdexcept>

namespace tessline {

namespace {

// A writer into `file`, or onto standard output when there is none.
template <typename Writer>
std::unique_ptr<Writer> tableWriter(std::unique_ptr<TableFile> file) {
    if (file) return std::make_unique<Writer>(std::move(file));
    return std::make_unique<Writer>(std::cout);
}

}  // namespace

TableOutput::TableOutput(const boost::program_options::variables_map& options) {
    const bool json = options.count("json") > 0;
    const bool noTable = options.count("no-table") > 0;
    if (json && noTable) throw std::invalid_argument("--json and --no-table exclude each other");
    if (noTable && !options.count("mqtt"))
        throw std::invalid_argument("--no-table needs --mqtt: the rows would go nowhere");
    if (options.count("rotate")) {
        if (!options.count("output")) throw std::invalid_argument("--rotate needs -o: the rows go to files");
        rotation_ = parseRotation(options["rotate"].as<std::string>());
    }
    if (options.count("keep")) {
        if (!rotation_) throw std::invalid_argument("--keep needs --rotate");
        keep_ = options["keep"].as<int>();
        if (keep_ < 1) throw std::invalid_argument("--keep must be at least 1");
    }
    // A service run holds rows that its file cannot take for now; any
    // other run ends on such a failure.
    holdRows_ = options.count("reconnect") > 0;
    csv_ = !json && !noTable;
    json_ = json;
}

void TableOutput::attachStandardOutput() { attach(nullptr); }

void TableOutput::attachFiles(std::function<std::string(const Identity&)> nameFor, const Identity& first) {
    TableFileSettings settings;
    settings.nameFor = std::move(nameFor);
    settings.rotation = rotation_;
    settings.keep = keep_;
    settings.holdRows = holdRows_;
    auto file = std::make_unique<TableFile>(std::move(settings));
    file->openFor(first);
    attach(std::move(file));
}

std::size_t TableOutput::heldRows() const { return writer_ ? writer_->heldRows() : 0; }

// At most one table: the CSV and --json exclude each other.
void TableOutput::attach(std::unique_ptr<TableFile> file) {
    if (csv_) writer_ = tableWriter<CsvTableWriter>(std::move(file));
    else if (json_) writer_ = tableWriter<JsonLinesWriter>(std::move(file));
}

}  // namespace tessline
