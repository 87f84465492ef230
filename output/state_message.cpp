#include "output/state_message.h"

#include <algorithm>

#include <nlohmann/json.hpp>

#include "platform/civil_time.h"

namespace tessline {

namespace {

std::string jsonString(const std::string& text) {
    // Device texts may hold bytes that are not UTF-8; they must not end the row.
    return nlohmann::json(text).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

std::string isoLocalTime(std::time_t time) {
    std::tm local{};
    toLocalTime(time, local);
    char text[40];
    std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    std::string iso = std::string(text, length) + utcOffsetText(time);
    // strftime gives "+0100"; ISO 8601's extended form wants "+01:00".
    if (iso.size() >= 5) iso.insert(iso.size() - 2, ":");
    return iso;
}

std::string cellJson(const TableCell& cell) {
    switch (cell.kind) {
    case CellKind::number: return cell.text;
    case CellKind::missing: return "null";
    case CellKind::text:
    case CellKind::word: break;
    }
    return jsonString(cell.text);
}

StateMessageBuilder::StateMessageBuilder(const std::vector<TableColumn>& columns) {
    for (std::size_t i = 0; i < columns.size(); ++i) {
        const TableColumn& column = columns[i];
        if (!column.field) continue;
        std::string key = jsonString(column.field->key) + ":";
        if (column.history == kLiveColumn) {
            // The row's time comes as "timestamp" and "time" in every variant.
            if (column.field->kind != FieldKind::timestamp) live_.push_back({i, key});
        } else if (column.history == kHistoryTotal) {
            total_.push_back({i, key});
        } else if (column.history >= 0) {
            std::size_t day = static_cast<std::size_t>(column.history);
            if (days_.size() <= day) days_.resize(day + 1);
            days_[day].push_back({i, key});
        }
    }
}

void StateMessageBuilder::appendMembers(std::string& out, const std::vector<Slot>& slots, const TableRow& row,
                                        bool first) {
    for (const Slot& slot : slots) {
        if (!first) out += ',';
        first = false;
        out += slot.key;
        out += slot.cell < row.cells.size() ? cellJson(row.cells[slot.cell]) : "null";
    }
}

std::string StateMessageBuilder::timeMembers(const TableRow& row) {
    return "{\"timestamp\":\"" + isoLocalTime(row.time) + "\",\"time\":" + std::to_string(row.time);
}

void StateMessageBuilder::appendHistory(std::string& out, const TableRow& row, std::size_t dayCount) const {
    out += "\"total\":{";
    appendMembers(out, total_, row, true);
    out += "},\"days\":[";
    for (std::size_t day = 0; day < std::min(dayCount, days_.size()); ++day) {
        out += day ? ",{" : "{";
        appendMembers(out, days_[day], row, true);
        out += '}';
    }
    out += ']';
}

std::string StateMessageBuilder::buildWithDays(const TableRow& row, std::size_t dayCount) const {
    std::string out = timeMembers(row);
    appendMembers(out, live_, row, false);
    if (!hasHistory()) return out + '}';
    out += ",\"history\":{";
    appendHistory(out, row, dayCount);
    return out + "}}";
}

std::string StateMessageBuilder::build(const TableRow& row) const { return buildWithDays(row, days_.size()); }

std::string StateMessageBuilder::buildState(const TableRow& row) const { return buildWithDays(row, 1); }

std::string StateMessageBuilder::buildHistory(const TableRow& row) const {
    std::string out = timeMembers(row) + ',';
    appendHistory(out, row, days_.size());
    return out + '}';
}

std::string StateMessageBuilder::pastHistoryCells(const TableRow& row) const {
    std::string cells;
    auto append = [&](const std::vector<Slot>& slots) {
        for (const Slot& slot : slots) {
            cells += slot.cell < row.cells.size() ? row.cells[slot.cell].text : "-";
            cells += ',';
        }
    };
    append(total_);
    for (std::size_t day = 1; day < days_.size(); ++day) append(days_[day]);
    return cells;
}

}  // namespace tessline
