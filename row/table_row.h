// A row of the dump table as its outputs receive it: typed cells in column
// order, and the columns they belong to.
#pragma once

#include <cmath>
#include <ctime>
#include <string>
#include <vector>

#include "fields/field.h"

namespace tessline {

// Where a column's value comes from: a live value, the history's total
// record, or day record N (0 is today).
constexpr int kLiveColumn = -2;
constexpr int kHistoryTotal = -1;

struct TableColumn {
    std::string header;  // one CSV column, e.g. "Ibat[A]" or "Day0Yield[kWh]"
    int history = kLiveColumn;
    const Field* field = nullptr;  // from the catalogue; the header is made from it
};

// number: digits a JSON reader takes as they are; text: a name, a clock
// time or a time stamp, which the CSV prints in double quotes; word: a word
// such as "nan" in place of a number, printed as it is; missing: no current
// value, "-".
enum class CellKind { number, text, word, missing };

// A cell as the dump read it: its text as the outputs print it (the CSV
// adds the quotes of a text cell), and its value for the outputs that
// compute with it, so that none of them reads the text back.
struct TableCell {
    std::string text;
    CellKind kind = CellKind::missing;
    const Field* field = nullptr;  // nullptr for a cell of no catalogue field
    // A number cell's value as its text shows it (the field's decimals); NaN otherwise.
    double number = NAN;
    // An enumeration's index into allNames() of its field's names; -1 otherwise.
    int index = -1;
};

inline TableCell missingCell() { return TableCell{"-", CellKind::missing}; }
inline TableCell numberCell(std::string text, double number) {
    return TableCell{std::move(text), CellKind::number, nullptr, number};
}
inline TableCell textCell(std::string text) { return TableCell{std::move(text), CellKind::text}; }
inline TableCell wordCell(std::string word) { return TableCell{std::move(word), CellKind::word}; }
inline TableCell nameCell(std::string name, int index) {
    return TableCell{std::move(name), CellKind::text, nullptr, NAN, index};
}

struct TableRow {
    std::time_t time = 0;          // when the row was written
    std::vector<TableCell> cells;  // one per column
};

}  // namespace tessline
