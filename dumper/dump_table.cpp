#include "dumper/dump_table.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <stdexcept>

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

// A full disk would otherwise lose every later row without a word. The
// reason is the one of the write that failed: a stream that failed before
// writes nothing more and sets no errno, so the header is checked too.
void writeTableLine(std::ostream& out, const std::string& line) {
    errno = 0;
    out << line << '\n' << std::flush;
    if (!out) {
        int error = errno;
        throw std::runtime_error(std::string("cannot write the table: ") +
                                 (error ? std::strerror(error) : "output stream failed"));
    }
}

// A row's cells. No cell holds a comma: texts are single words in quotes,
// the time stamp has none, and a history record joins its fields with them.
std::vector<std::string> splitCells(const std::string& line) {
    std::vector<std::string> cells;
    std::size_t start = 0;
    for (std::size_t comma = line.find(','); comma != std::string::npos; comma = line.find(',', start)) {
        cells.push_back(line.substr(start, comma - start));
        start = comma + 1;
    }
    cells.push_back(line.substr(start));
    return cells;
}

int historyOf(const DumpItem& item) {
    if (item.type != DumpItem::RAW) return kLiveColumn;
    if (item.registerId == kHistoryTotalRegister) return kHistoryTotal;
    int day = item.registerId - kHistoryDay0Register;
    return day >= 0 && day < kHistoryDays ? day : kLiveColumn;
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

void DumpTable::writeHeader(std::ostream& out) const {
    std::string line;
    bool written = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        for (const DumpItem& item : items_) {
            if (item.flags & DumpItem::HIDDEN) continue;
            if (written) line += ",";
            if (item.header.empty()) continue;
            line += item.header;
            written = true;
        }
    }
    writeTableLine(out, line);
}

void DumpTable::dumpData(std::ostream& out, TableListener* listener) {
    std::string row;
    std::time_t rowTime = static_cast<std::time_t>(dumpClock().now());
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::int64_t limit = rowTime - kStaleAfterSeconds;
        bool first = true;
        for (DumpItem& item : items_) {
            if (!(item.flags & DumpItem::HIDDEN)) {
                if (!first) row += ",";
                row += item.format();
                first = false;
            }
            if (item.updatedAt >= limit) continue;
            if (item.updatedAt != 0) logInfo("dumper", "dumpData() missing item %s", item.header.c_str());
            item.updatedAt = 0;
        }
    }
    // Written outside the lock: a slow output must not hold up TEXT reception.
    writeTableLine(out, row);
    if (listener) listener->onRow(TableRow{rowTime, splitCells(row)});
}

std::vector<TableColumn> DumpTable::columns() const {
    std::vector<TableColumn> columns;
    std::lock_guard<std::mutex> lock(mutex_);
    for (const DumpItem& item : items_) {
        if (item.flags & DumpItem::HIDDEN) continue;
        int history = historyOf(item);
        for (const std::string& header : splitCells(item.header)) columns.push_back(TableColumn{header, history});
    }
    return columns;
}

}  // namespace tessline
