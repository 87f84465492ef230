#include "plot/table_reader.h"

#include <algorithm>
#include <string_view>

#include "plot/stamp_time.h"
#include "plot/file_cells.h"

namespace tessline {

namespace {

constexpr std::size_t kShownLength = 40;
// Rows handed on at a time by readTableInParts: large enough that handing on
// costs nothing, small enough that a part's memory does not count.
constexpr std::size_t kPartRows = 4096;

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

// One row as read, before it joins the recording.
struct Row {
    double x = 0;
    std::int8_t state = -1;
    float values[kQuantities];
    DayHistory days;
    Row() { std::fill(values, values + kQuantities, kGap); }
};

class TableReader {
public:
    TableReader(const std::string& name, const TimeWindow& window, const TakeRows& take = nullptr)
        : name_(name), window_(window), take_(take) {}

    // Throws plot_error for a file that is not a solwatch table. A line that
    // is not a row is left out: counted when `finished`, silently when it is
    // the unfinished last line that solwatch may be writing right now.
    void readLine(std::string_view line, bool finished);
    Recording finish();
    std::size_t lineNumber = 0;
    std::size_t rowCount() const { return rowCount_; }
    const Recording& facts() const { return recording_; }

private:
    void startTable(std::string_view line);
    // What makes the line not a row; empty for a row, which is kept.
    std::string readRow();
    // False for a cell that is not a value solwatch writes in its column.
    bool readCell(std::size_t column, Row& row);
    void addRow(const Row& row);
    void handOnRows();
    void skip(const std::string& what);
    std::string at() const { return name_ + ":" + std::to_string(lineNumber) + ": "; }
    [[noreturn]] void fail(const std::string& what) const { throw plot_error(at() + what); }

    std::string name_;
    TimeWindow window_;
    std::vector<std::string_view> cells_;
    std::vector<std::string> headers_;
    std::string headerLine_;
    std::vector<ColumnRole> roles_;
    Row row_;
    bool runStart_ = false;
    TakeRows take_;           // none: the rows stay in recording_
    std::size_t rowCount_ = 0;  // kept so far, handed on or not
    Recording recording_;
};

void TableReader::readLine(std::string_view line, bool finished) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) return;
    bool closed = splitCells(line, cells_);
    if (closed && isHeaderLine(cells_)) return startTable(line);
    if (headers_.empty()) fail("not a table that solwatch writes (it starts with no header line)");
    std::string problem = closed ? readRow() : "a quote is not closed";
    if (!problem.empty() && finished) skip(problem);
}

void TableReader::skip(const std::string& what) {
    if (recording_.skipped.count++ == 0) recording_.skipped.first = at() + what;
}

void TableReader::startTable(std::string_view line) {
    headers_.assign(cells_.begin(), cells_.end());
    headerLine_ = line;
    roles_.clear();
    bool timed = false;
    for (const std::string& header : headers_) {
        ColumnRole role = columnRole(header);
        roles_.push_back(role);
        if (role.kind == ColumnRole::time) timed = true;
        if (role.kind == ColumnRole::quantity) recording_.carried[role.index] = true;
        if (role.kind == ColumnRole::state) recording_.carriesStates = true;
    }
    if (recording_.headerLines > 0 && timed != recording_.timed)
        fail("a table with time stamps and one without (the channels variant) cannot share a picture");
    recording_.timed = timed;
    ++recording_.headerLines;
    runStart_ = true;
}

bool TableReader::readCell(std::size_t column, Row& row) {
    const ColumnRole role = roles_[column];
    FileCell cell;
    bool fits = tessline::readCell(cells_[column], cell);
    if (fits && role.kind == ColumnRole::time)
        fits = cell.kind == FileCell::name && parseStamp(cell.text, row.x);
    else if (fits && role.kind == ColumnRole::state)
        fits = cell.kind != FileCell::number;
    else if (fits && role.kind != ColumnRole::unused)
        fits = cell.kind != FileCell::name;
    if (!fits) return false;
    if (role.kind == ColumnRole::state && cell.kind == FileCell::name) row.state = chargeStateIndex(cell.text);
    if (cell.kind != FileCell::number) return true;
    float value = static_cast<float>(cell.value);
    if (role.kind == ColumnRole::quantity) row.values[role.index] = value;
    if (role.kind == ColumnRole::dayYield) row.days.yield[role.index] = value, row.days.any = true;
    if (role.kind == ColumnRole::dayMaxPower) row.days.maxPower[role.index] = value, row.days.any = true;
    return true;
}

std::string TableReader::readRow() {
    if (cells_.size() != headers_.size())
        return "a row of " + std::to_string(cells_.size()) + " values under a header of " +
               std::to_string(headers_.size()) + " columns";
    // The whole row is read before any of it is kept: a bad cell must not
    // leave half a row behind. One Row serves every line: most tables have
    // no day records to clear.
    row_.x = static_cast<double>(rowCount_ + 1);
    row_.state = -1;
    std::fill(row_.values, row_.values + kQuantities, kGap);
    if (row_.days.any) row_.days = DayHistory();
    for (std::size_t column = 0; column < cells_.size(); ++column)
        if (!readCell(column, row_))
            return "column " + shown(headers_[column]) + ": \"" + shown(cells_[column]) +
                   "\" is not a value solwatch writes";
    if (recording_.timed && !window_.holds(row_.x)) ++recording_.outsideWindow;
    else addRow(row_);
    return "";
}

void TableReader::addRow(const Row& row) {
    if (recording_.rows() == 0) recording_.firstRowHeader = headerLine_;
    recording_.lastRowHeader = headerLine_;
    recording_.x.push_back(row.x);
    recording_.runStart.push_back(runStart_ ? 1 : 0);
    runStart_ = false;
    for (int q = 0; q < kQuantities; ++q) recording_.values[q].push_back(row.values[q]);
    recording_.states.push_back(row.state);
    if (row.days.any) {
        recording_.history = row.days;
        recording_.history.today = row.x;
    }
    ++rowCount_;
    if (take_ && recording_.rows() >= kPartRows) handOnRows();
}

void TableReader::handOnRows() {
    if (recording_.rows() == 0) return;
    take_(recording_);
    recording_.clearRows();
}

Recording TableReader::finish() {
    if (recording_.headerLines == 0) throw plot_error(name_ + ": the file is empty");
    // With no row to draw, the first line left out is what went wrong.
    if (rowCount_ == 0 && recording_.outsideWindow > 0) return std::move(recording_);
    if (rowCount_ == 0 && recording_.skipped.count > 0) throw plot_error(recording_.skipped.first);
    if (rowCount_ == 0) throw plot_error(name_ + ": a header line but no rows");
    if (take_) handOnRows();
    return std::move(recording_);
}

// Feeds the reader the file's lines; with `headOnly`, only up to its first row.
void readLines(std::istream& in, const std::string& name, TableReader& reader, bool headOnly = false) {
    std::string line;
    while (!(headOnly && reader.rowCount() > 0) && std::getline(in, line)) {
        ++reader.lineNumber;
        // At the end of the file without a line end: solwatch may be writing this row right now.
        reader.readLine(line, !in.eof());
    }
    if (in.bad()) throw plot_error(name + ": cannot read the file");
}

}  // namespace

Recording readTable(std::istream& in, const std::string& name, const TimeWindow& window) {
    TableReader reader(name, window);
    readLines(in, name, reader);
    return reader.finish();
}

Recording readTableInParts(std::istream& in, const std::string& name, const TimeWindow& window,
                           const TakeRows& take) {
    TableReader reader(name, window, take);
    readLines(in, name, reader);
    return reader.finish();
}

TableHead readTableHead(std::istream& in, const std::string& name) {
    TableReader reader(name, TimeWindow());
    readLines(in, name, reader, true);
    TableHead head{name};
    head.timed = reader.facts().timed;
    if (reader.rowCount() > 0) head.firstX = reader.facts().x.front();
    return head;
}

std::string skippedLinesWarning(const SkippedLines& skipped) {
    if (skipped.count == 1) return skipped.first + "; the line is left out";
    return skipped.first + "; this and " + std::to_string(skipped.count - 1) +
           " more lines that are not rows are left out";
}

}  // namespace tessline
