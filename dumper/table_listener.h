// TableListener: an output of the dump (the CSV table, the JSON lines, the
// publisher, the service status). Its calls come on the dump's own thread, so an
// implementation must never block there (no network waits).
#pragma once

#include <string>
#include <vector>

#include "dumper/table_row.h"
#include "identity/device_info.h"
#include "identity/identity.h"

namespace tessline {

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
