#include "plot/table_reader.h"

#include <algorithm>
#include <string_view>

#include "plot/stamp_time.h"
#include "plot/table_cells.h"

namespace tessline {

namespace {

constexpr std::size_t kShownLength = 40;

// A cell as an error line may show it: printable, and not too long.
std::string shown(std::string_view cell) {
    std::string text;
    for (char c : cell.substr(0, kShownLength))
        text += (c >= 0x20 && c < 0x7F) ? c : '?';
    if (cell.size() > kShownLength) text += "...";
    return text;
}

bool isHeaderLine(const std::vector<std::string_view>& cells) {
    bool ours = false;
    for (std::string_view cell : cells) {
        if (!isHeaderName(cell)) return false;
        if (cell == "Timestamp" || cell == "Vout") ours = true;
    }
    return ours;
}

class TableReader {
public:
    explicit TableReader(const std::string& name) : name_(name) {}

    // Throws plot_error for a line that is not what solwatch writes.
    void readLine(std::string_view line);
    Recording finish();
    std::size_t lineNumber = 0;

private:
    void startTable();
    void readRow();
    void readCells(double& x, std::int8_t& state, float* values, DayHistory& days, bool& hasDays);
    [[noreturn]] void fail(const std::string& what) const {
        throw plot_error(name_ + ":" + std::to_string(lineNumber) + ": " + what);
    }

    std::string name_;
    std::vector<std::string_view> cells_;
    std::vector<std::string> headers_;
    std::vector<ColumnRole> roles_;
    int timeColumn_ = -1;
    bool runStart_ = false;
    Recording recording_;
};

void TableReader::readLine(std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) return;
    if (!splitCells(line, cells_)) fail("a quote is not closed");
    if (isHeaderLine(cells_)) return startTable();
    if (headers_.empty()) fail("not a table that solwatch writes (it starts with no header line)");
    readRow();
}

void TableReader::startTable() {
    headers_.assign(cells_.begin(), cells_.end());
    roles_.clear();
    timeColumn_ = -1;
    for (std::size_t i = 0; i < headers_.size(); ++i) {
        ColumnRole role = columnRole(headers_[i]);
        roles_.push_back(role);
        if (role.kind == ColumnRole::time) timeColumn_ = static_cast<int>(i);
        if (role.kind == ColumnRole::quantity) recording_.carried[role.index] = true;
        if (role.kind == ColumnRole::state) recording_.carriesStates = true;
    }
    bool timed = timeColumn_ >= 0;
    if (recording_.headerLines > 0 && timed != recording_.timed)
        fail("a table with time stamps and one without (the channels variant) cannot share a picture");
    recording_.timed = timed;
    ++recording_.headerLines;
    runStart_ = true;
}

void TableReader::readCells(double& x, std::int8_t& state, float* values, DayHistory& days, bool& hasDays) {
    TableCell cell;
    for (std::size_t i = 0; i < cells_.size(); ++i) {
        const ColumnRole role = roles_[i];
        bool fits = readCell(cells_[i], cell);
        if (fits && role.kind == ColumnRole::time)
            fits = cell.kind == TableCell::name && parseStamp(cell.text, x);
        else if (fits && role.kind == ColumnRole::state)
            fits = cell.kind != TableCell::number;
        else if (fits && role.kind != ColumnRole::unused)
            fits = cell.kind != TableCell::name;
        if (!fits) fail("column " + shown(headers_[i]) + ": \"" + shown(cells_[i]) + "\" is not a value solwatch writes");
        bool number = cell.kind == TableCell::number;
        switch (role.kind) {
        case ColumnRole::state: state = cell.kind == TableCell::name ? chargeStateIndex(cell.text) : -1; break;
        case ColumnRole::quantity: values[role.index] = number ? static_cast<float>(cell.value) : kGap; break;
        case ColumnRole::dayYield: if (number) days.yield[role.index] = static_cast<float>(cell.value), hasDays = true; break;
        case ColumnRole::dayMaxPower: if (number) days.maxPower[role.index] = static_cast<float>(cell.value), hasDays = true; break;
        default: break;
        }
    }
}

void TableReader::readRow() {
    if (cells_.size() != headers_.size())
        fail("a row of " + std::to_string(cells_.size()) + " values under a header of " +
             std::to_string(headers_.size()) + " columns");
    // Read the whole row first: a bad cell must not leave half a row behind.
    double x = static_cast<double>(recording_.rows() + 1);
    std::int8_t state = -1;
    float values[kQuantities];
    std::fill(values, values + kQuantities, kGap);
    DayHistory days;
    bool hasDays = false;
    readCells(x, state, values, days, hasDays);

    recording_.x.push_back(x);
    recording_.runStart.push_back(runStart_ ? 1 : 0);
    runStart_ = false;
    for (int q = 0; q < kQuantities; ++q) recording_.values[q].push_back(values[q]);
    recording_.states.push_back(state);
    if (hasDays) {
        days.any = true;
        days.today = x;
        recording_.history = days;
    }
}

Recording TableReader::finish() {
    if (recording_.headerLines == 0) throw plot_error(name_ + ": the file is empty");
    if (recording_.rows() == 0) throw plot_error(name_ + ": a header line but no rows");
    return std::move(recording_);
}

}  // namespace

Recording readTable(std::istream& in, const std::string& name) {
    TableReader reader(name);
    std::string line;
    while (std::getline(in, line)) {
        ++reader.lineNumber;
        if (!in.eof()) {
            reader.readLine(line);
            continue;
        }
        // No line end: solwatch may be writing this row right now.
        try {
            reader.readLine(line);
        } catch (const plot_error&) {
        }
    }
    if (in.bad()) throw plot_error(name + ": cannot read the file");
    return reader.finish();
}

}  // namespace tessline
