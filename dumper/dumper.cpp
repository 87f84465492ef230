#include "dumper/dumper.h"

#include <mutex>

#include "dumper/dump_clock.h"
#include "dumper/dump_loop.h"
#include "hex/hex_proto.h"
#include "hex/text_field_source.h"
#include "identity/capabilities.h"

namespace tessline {

namespace {

using TextSignal = decltype(TextFieldSource::rxTextField);

// Rows at set times: the request's own wait keeps the pause after it, one
// wakeup instead of two. The channels table, which runs as fast as the line
// allows, takes each answer as it comes and pauses after it.
void placePauseAfterRequests(DumpVariant variant, HexProto& hex, DumpTable& table) {
    const bool inRequest = variant != DumpVariant::channels;
    hex.setPauseAfterAnswer(std::chrono::milliseconds(inRequest ? kPauseAfterRequest.count() : 0));
    table.setPauseAfterRequest(inRequest ? std::chrono::milliseconds(0) : kPauseAfterRequest);
}

// Leaves no items behind, however the run ends.
class RunState {
public:
    explicit RunState(DumpTable& table) : table_(table) {}
    ~RunState() { table_.clear(); }
    RunState(const RunState&) = delete;
    RunState& operator=(const RunState&) = delete;

private:
    DumpTable& table_;
};

}  // namespace

Dumper::Dumper(HexLink& link, TextFieldSource& text) : link_(&link) {
    DumpTable* table = table_.get();
    TextSignal::slot_type slot(
        [table](const std::string& label, const std::string& value) { table->onText(label, value); });
    slot.track_foreign(std::weak_ptr<DumpTable>(table_));
    textConnection_ = text.rxTextField.connect(slot);
}

Dumper::~Dumper() { textConnection_.disconnect(); }

void Dumper::onText(const std::string& label, const std::string& value) { table_->onText(label, value); }

void Dumper::requestStop() {
    stopRequested_ = true;
    dumpClock().wake();
}

int Dumper::run(DumpVariant variant) {
    if (stopRequested_) return 0;
    return runTable(capabilitiesReport(*link_, refusalLog_), variant);
}

int Dumper::runTable(const DeviceInfo& info, DumpVariant variant) {
    std::lock_guard<std::recursive_mutex> hold(link_->linkMutex);
    RunState state(*table_);
    buildTable(variant, info);
    listener().onTableStart(identity_, info, table_->columns());
    HexProto hex(link_);
    placePauseAfterRequests(variant, hex, *table_);
    runDumpLoop(*table_, variant, hex.registerReader(), stopRequested_, listener());
    return 0;
}

void Dumper::buildTable(DumpVariant variant, const DeviceInfo& info) {
    table_->setItems(tableItems(variant, info));
}

void Dumper::pollOnce(HexProto& hex) { table_->pollOnce(hex.registerReader(), stopRequested_); }

void Dumper::dumpData() { table_->dumpData(listener()); }

TableListener& Dumper::listener() {
    // A list of no listeners takes the rows and does nothing with them.
    static TableListeners nowhere;
    return listener_ ? *listener_ : nowhere;
}

}  // namespace tessline
