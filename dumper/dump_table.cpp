#include "dumper/dump_table.h"

#include <chrono>
#include <ctime>

#include <boost/algorithm/string/predicate.hpp>
#include <boost/lexical_cast.hpp>

#include "dumper/dump_clock.h"
#include "dumper/history_records.h"
#include "log/log.h"

namespace tessline {

namespace {

constexpr std::int64_t kStaleAfterSeconds = 60;

// Day records 1 to 30 are often not there yet; their failures are expected.
bool failureExpected(int registerId) {
    return registerId > kHistoryDay0Register && registerId < kHistoryDay0Register + kHistoryDays;
}

int historyOf(const DumpItem& item) {
    if (item.type != DumpItem::RAW) return kLiveColumn;
    if (item.registerId == kHistoryTotalRegister) return kHistoryTotal;
    int day = item.registerId - kHistoryDay0Register;
    return day >= 0 && day < kHistoryDays ? day : kLiveColumn;
}

// A history record's item gives a column per field of its record.
std::vector<TableColumn> itemColumns(const DumpItem& item, int history) {
    if (!item.recordFormatter || history == kLiveColumn) return {TableColumn{item.header, kLiveColumn, item.field}};
    return history == kHistoryTotal ? historyTotalColumns() : historyDayColumns(history);
}

}  // namespace

void DumpTable::setItems(std::list<DumpItem> items) {
    std::lock_guard<std::mutex> lock(mutex_);
    items_.swap(items);
}

void DumpTable::onText(const std::string& label, const std::string& value) {
    std::lock_guard<std::mutex> lock(mutex_);
    for (DumpItem& item : items_) {
        if (item.textLabel.empty() || !boost::algorithm::iequals(item.textLabel, label)) continue;
        try {
            item.setFromText(value);
        } catch (const boost::bad_lexical_cast& error) {
            // One bad field must not end reception on the reader thread.
            logError("dumper", "text field %s value \"%s\" is not a number: %s", label.c_str(), value.c_str(),
                     error.what());
        }
    }
}

void DumpTable::pollOnce(const RegisterReader& readRegister, const std::atomic<bool>& stop) {
    // The list itself only changes on this thread, so walking it needs no lock;
    // the lock is taken per update, never across a request, so that TEXT
    // fields keep flowing while a request waits for its answer.
    for (DumpItem& item : items_) {
        if (stop) return;
        if (item.hexRegister() == -1) continue;
        pollItem(item, readRegister);
        if (pauseAfterRequest_.count() > 0) dumpClock().sleepFor(pauseAfterRequest_);
    }
}

void DumpTable::pollItem(DumpItem& item, const RegisterReader& readRegister) {
    int id = item.hexRegister();
    HexMsg answer;
    if (readRegister(static_cast<std::uint16_t>(id), answer) == 0) {
        std::lock_guard<std::mutex> lock(mutex_);
        item.setFromHex(answer);
    } else if (!failureExpected(id)) {
        logError("dumper", "hex.getRegister() failed on 0x%04X", static_cast<unsigned>(id));
    }
}

TableRow DumpTable::takeRow() {
    TableRow row;
    row.time = static_cast<std::time_t>(dumpClock().now());
    std::lock_guard<std::mutex> lock(mutex_);
    std::int64_t limit = row.time - kStaleAfterSeconds;
    for (DumpItem& item : items_) {
        if (!(item.flags & DumpItem::HIDDEN)) item.appendCells(row.cells);
        if (item.updatedAt >= limit) continue;
        if (item.updatedAt != 0) logInfo("dumper", "dumpData() missing item %s", item.header.c_str());
        item.updatedAt = 0;
    }
    return row;
}

void DumpTable::dumpData(TableListener& listener) {
    // Handed on outside the lock: a slow output must not hold up TEXT reception.
    listener.onRow(takeRow());
}

std::vector<TableColumn> DumpTable::columns() const {
    std::vector<TableColumn> columns;
    std::lock_guard<std::mutex> lock(mutex_);
    for (const DumpItem& item : items_) {
        if (item.flags & DumpItem::HIDDEN) continue;
        for (TableColumn& column : itemColumns(item, historyOf(item))) columns.push_back(std::move(column));
    }
    return columns;
}

}  // namespace tessline
