// Dumper: the dump mode. It takes TEXT fields from the link at all times,
// and during run() polls the charger's registers and prints the rows.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include <boost/signals2/connection.hpp>

#include "dumper/table_items.h"
#include "dumper/dump_table.h"
#include "row/table_listener.h"
#include "identity/capabilities.h"

namespace tessline {

class HexLink;
class HexProto;
class TextFieldSource;
struct DeviceInfo;

class Dumper {
public:
    // Polls through `link`; subscribes to the TEXT fields of `text` (the
    // same serial link in a run) at once.
    Dumper(HexLink& link, TextFieldSource& text);
    ~Dumper();
    Dumper(const Dumper&) = delete;
    Dumper& operator=(const Dumper&) = delete;

    // The TEXT slot; the link calls it on its reader thread.
    void onText(const std::string& label, const std::string& value);

    // Runs the capabilities report, then polls and hands rows to the
    // listener for ever, holding the link's linkMutex. It returns 0 only
    // after requestStop(); any exception (a port write error, say) releases
    // the lock and the items and passes on to the caller, which reports it.
    int run(DumpVariant variant);
    // Who logs the report's refusal (set before run()): the report, by default.
    void setRefusalLog(RefusalLog refusalLog) { refusalLog_ = refusalLog; }
    // run() after the capabilities report, for a charger described by `info`.
    int runTable(const DeviceInfo& info, DumpVariant variant);
    // Ends run() at its next request, or at once while it waits for a row's
    // time; safe to call from any thread (not from a signal handler).
    void requestStop();

    // Takes the table that run() starts (told `identity` with it) and
    // every row: the outputs. Set before run(); the listener outlives the
    // run. Without one, the rows go nowhere.
    void setListener(TableListener* listener, const Identity& identity) {
        listener_ = listener;
        identity_ = identity;
    }

    void buildTable(DumpVariant variant, const DeviceInfo& info);
    // One polling pass over the HEX_REGISTER items.
    void pollOnce(HexProto& hex);
    // One row to the listener.
    void dumpData();

private:
    TableListener& listener();

    boost::signals2::scoped_connection textConnection_;
    HexLink* link_;
    // Shared with the TEXT slot, which keeps it alive while a call is under way.
    std::shared_ptr<DumpTable> table_ = std::make_shared<DumpTable>();
    std::atomic<bool> stopRequested_{false};
    TableListener* listener_ = nullptr;
    RefusalLog refusalLog_ = RefusalLog::here;
    Identity identity_;
};

}  // namespace tessline
