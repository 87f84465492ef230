// The JSON object of one table row: what BASE/state carries and what --json
// writes a line of.
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "row/table_row.h"

namespace tessline {

// ISO 8601 local time with its UTC offset: "2026-12-07T20:22:35+01:00".
std::string isoLocalTime(std::time_t time);

// A cell as a JSON value: a number its own digits (so "4.20" keeps its
// decimals), a text or a word a string, a missing value null.
std::string cellJson(const TableCell& cell);

// Builds the objects of one table's rows: "timestamp" and "time" first, then
// the live columns by their fields' keys (a column of no field is left out), then the history records in a nested
// "history" object with "total" and "days" (day 0 first).
class StateMessageBuilder {
public:
    explicit StateMessageBuilder(const std::vector<TableColumn>& columns);
    // The whole row, every history day with it.
    std::string build(const TableRow& row) const;
    // The row with today's record alone in "days": the past days change
    // once a day and go in the history message instead.
    std::string buildState(const TableRow& row) const;

    bool hasHistory() const { return !total_.empty() || !days_.empty(); }
    // "timestamp", "time", then "total" and all "days" at the top level.
    std::string buildHistory(const TableRow& row) const;
    // The cells of the total and of the past days (not today's): when they
    // change, the history message is due again.
    std::string pastHistoryCells(const TableRow& row) const;

private:
    struct Slot {
        std::size_t cell;
        std::string key;  // already quoted, with its colon
    };
    static void appendMembers(std::string& out, const std::vector<Slot>& slots, const TableRow& row, bool first);
    static std::string timeMembers(const TableRow& row);
    void appendHistory(std::string& out, const TableRow& row, std::size_t dayCount) const;
    std::string buildWithDays(const TableRow& row, std::size_t dayCount) const;

    std::vector<Slot> live_;
    std::vector<Slot> total_;
    std::vector<std::vector<Slot>> days_;
};

}  // namespace tessline
