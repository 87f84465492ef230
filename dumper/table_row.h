// A row of the dump table as its outputs receive it: typed cells in column
// order, and the columns they belong to.
#pragma once

#include <ctime>
#include <string>
#include <vector>

namespace tessline {

// Where a column's value comes from: a live value, the history's total
// record, or day record N (0 is today).
constexpr int kLiveColumn = -2;
constexpr int kHistoryTotal = -1;

struct TableColumn {
    std::string header;  // one CSV column, e.g. "Ibat[A]" or "Day0Yield[kWh]"
    int history = kLiveColumn;
};

// number: digits a JSON reader takes as they are; text: a name, a clock
// time or a word such as "nan"; missing: no current value.
enum class CellKind { number, text, missing };

struct TableCell {
    std::string text;  // exactly as the CSV prints it: a name with its quotes, "-" when missing
    CellKind kind = CellKind::missing;
};

inline TableCell missingCell() { return TableCell{"-", CellKind::missing}; }
inline TableCell numberCell(std::string text) { return TableCell{std::move(text), CellKind::number}; }
inline TableCell textCell(std::string text) { return TableCell{std::move(text), CellKind::text}; }

// A text cell's text without the CSV's quotes; "" for other cells.
inline std::string cellName(const TableCell& cell) {
    if (cell.kind != CellKind::text) return "";
    const std::string& text = cell.text;
    bool quoted = text.size() >= 2 && text.front() == '"' && text.back() == '"';
    return quoted ? text.substr(1, text.size() - 2) : text;
}

struct TableRow {
    std::time_t time = 0;          // when the row was written
    std::vector<TableCell> cells;  // one per column
};

}  // namespace tessline
