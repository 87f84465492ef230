// TableListener: one follower of the dump (an output: the CSV table, the
// JSON lines, MQTT, HTTP; or the run's own progress). Its calls come on the
// dump's own thread, so an implementation must never block there (no
// network waits).
#pragma once

#include <exception>
#include <string>
#include <vector>

#include "identity/device_info.h"
#include "identity/identity.h"
#include "row/table_row.h"

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

// What a listener's failure means for the run, said where it is added.
enum class OnFailure {
    endsRun,  // the failure passes on once the later listeners had the call
    logged,   // logged (once until the listener works again); the run goes on
    // Only a failure that carries its own exit code (a broker's refusal)
    // ends the run; any other is logged.
    endsRunOnlyWithExitCode,
};

// Hands every call to each listener added, in the order added. A listener
// that throws never keeps the call from the later ones; its OnFailure says
// what happens then. Failures at onEnd() are only logged: the run ends anyway.
class TableListeners : public TableListener {
public:
    // `name` says in the log whose failure it was.
    TableListeners& add(TableListener& listener, OnFailure onFailure = OnFailure::endsRun, std::string name = "");

    void onTableStart(const Identity& identity, const DeviceInfo& info,
                      const std::vector<TableColumn>& columns) override;
    void onRow(const TableRow& row) override;
    void onLinkLost(const std::string& reason) override;
    void onEnd() override;

private:
    struct Entry {
        TableListener* listener;
        OnFailure onFailure;
        std::string name;
        std::string lastFailure;  // logged already; "" once a call went through
    };
    template <class Call>
    void forEach(Call call, bool mayEndRun);
    void logFailure(Entry& entry, const std::exception_ptr& failure);

    std::vector<Entry> listeners_;
};

}  // namespace tessline
