// TableListener: follows a dump besides its table output (a publisher, a
// JSON writer). Its calls come on the dump's own thread, so an
// implementation must never block there (no network waits).
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "identity/device_info.h"
#include "identity/identity.h"

namespace tessline {

// Where a column's value comes from: a live value, the history's total
// record, or day record N (0 is today).
constexpr int kLiveColumn = -2;
constexpr int kHistoryTotal = -1;

struct TableColumn {
    std::string header;  // one CSV column, e.g. "Ibat[A]" or "Day0Yield[kWh]"
    int history = kLiveColumn;
};

struct TableRow {
    std::time_t time = 0;            // when the row was written
    std::vector<std::string> cells;  // one per column, exactly as the CSV prints it
};

class TableListener {
public:
    virtual ~TableListener() = default;
    // A table starts: after each identification of a device (the first
    // one and each after a reconnection).
    virtual void onTableStart(const Identity& identity, const DeviceInfo& info,
                              const std::vector<TableColumn>& columns) = 0;
    virtual void onRow(const TableRow& row) = 0;
    // The link to the charger is lost; rows stop until the next table starts.
    virtual void onLinkLost(const std::string& reason) = 0;
    // The run ends (any way out that unwinds); flush what can be flushed
    // within a short bound.
    virtual void onEnd() = 0;
};

// Hands every call to each listener added, in the order added.
class TableListeners : public TableListener {
public:
    void add(TableListener& listener) { listeners_.push_back(&listener); }

    void onTableStart(const Identity& identity, const DeviceInfo& info,
                      const std::vector<TableColumn>& columns) override {
        for (TableListener* l : listeners_) l->onTableStart(identity, info, columns);
    }
    void onRow(const TableRow& row) override {
        for (TableListener* l : listeners_) l->onRow(row);
    }
    void onLinkLost(const std::string& reason) override {
        for (TableListener* l : listeners_) l->onLinkLost(reason);
    }
    void onEnd() override {
        for (TableListener* l : listeners_) l->onEnd();
    }

private:
    std::vector<TableListener*> listeners_;
};

}  // namespace tessline
