// DumpTable: the item list of a dump with the lock that keeps TEXT updates
// (the link's reader thread) apart from polling and printing (the dump loop).
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <list>
#include <mutex>
#include <string>
#include <vector>

#include "dumper/dump_item.h"
#include "row/table_listener.h"
#include "hex/hex_proto.h"

namespace tessline {

// The device gets this quiet time after every request of a dump.
constexpr std::chrono::milliseconds kPauseAfterRequest{10};

// setItems, clear, pollOnce and dumpData belong to one thread;
// onText may be called from any other.
class DumpTable {
public:
    DumpTable() = default;
    explicit DumpTable(std::list<DumpItem> items) : items_(std::move(items)) {}

    void setItems(std::list<DumpItem> items);
    void clear() { setItems({}); }

    // Every item whose label matches, whatever the letter case, takes the value.
    void onText(const std::string& label, const std::string& value);
    // Reads every HEX_REGISTER item once, with a pause after each request;
    // returns early once `stop` is set.
    void pollOnce(const RegisterReader& readRegister, const std::atomic<bool>& stop);
    // A reader that keeps the pause itself, in its wait for the answer,
    // saves a wakeup per request: then the table pauses no more (0).
    void setPauseAfterRequest(std::chrono::milliseconds pause) { pauseAfterRequest_ = pause; }

    // Hands one row to `listener` and ages the items: a value older than
    // 60 s prints once more, then "-" until it is refreshed.
    void dumpData(TableListener& listener);

    // The printed columns, one per cell of a row (a history record's item
    // gives several), with the record each comes from.
    std::vector<TableColumn> columns() const;

private:
    TableRow takeRow();
    void pollItem(DumpItem& item, const RegisterReader& readRegister);

    mutable std::mutex mutex_;
    std::list<DumpItem> items_;
    std::chrono::milliseconds pauseAfterRequest_ = kPauseAfterRequest;  // pollOnce's thread only
};

}  // namespace tessline
