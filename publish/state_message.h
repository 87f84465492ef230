// The JSON object of one table row: what BASE/state carries and what --json
// writes a line of.
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "dumper/table_listener.h"

namespace tessline {

// ISO 8601 local time with its UTC offset: "2026-12-07T20:22:35+01:00".
std::string isoLocalTime(std::time_t time);

// A CSV cell as a JSON value: "-" is null, a quoted name a string, a number
// its own digits (so "4.20" keeps its decimals), anything else a string.
std::string cellJson(const std::string& cell);

// Builds the objects of one table's rows: "timestamp" and "time" first, then
// the live columns by their keys, then the history records in a nested
// "history" object with "total" and "days" (day 0 first).
class StateMessageBuilder {
public:
    explicit StateMessageBuilder(const std::vector<TableColumn>& columns);
    std::string build(const TableRow& row) const;

private:
    struct Slot {
        std::size_t cell;
        std::string key;  // already quoted, with its colon
    };
    static void appendMembers(std::string& out, const std::vector<Slot>& slots, const TableRow& row, bool first);

    std::vector<Slot> live_;
    std::vector<Slot> total_;
    std::vector<std::vector<Slot>> days_;
};

}  // namespace tessline
