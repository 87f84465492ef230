#include "dumper/dumper.h"

#include <boost/thread/lock_guard.hpp>

#include "dumper/dump_clock.h"
#include "dumper/dump_loop.h"
#include "hex/hex_proto.h"
#include "identity/capabilities.h"
#include "link/tam_serial.h"

namespace tessline {

namespace {

using TextSignal = decltype(TamSerial::rxTextField);

// Rows at set times: the request's own wait keeps the pause after it, one
// wakeup instead of two. The channels table, which runs as fast as the line
// allows, takes each answer as it comes and pauses after it.
void placePauseAfterRequests(DumpVariant variant, HexProto& hex, DumpTable& table) {
    const bool inRequest = variant != DumpVariant::channels;
    hex.setPauseAfterAnswer(boost::chrono::milliseconds(inRequest ? kPauseAfterRequest.count() : 0));
    table.setPauseAfterRequest(inRequest ? std::chrono::milliseconds(0) : kPauseAfterRequest);
}

// Leaves no items and no borrowed stream behind, however the run ends.
class RunState {
public:
    RunState(DumpTable& table, std::ostream*& out, std::ostream& runOut) : table_(table), out_(out) {
        out_ = &runOut;
    }
    ~RunState() {
        table_.clear();
        out_ = &std::cout;
    }
    RunState(const RunState&) = delete;
    RunState& operator=(const RunState&) = delete;

private:
    DumpTable& table_;
    std::ostream*& out_;
};

}  // namespace

Dumper::Dumper(TamSerial& link) : link_(&link) {
    DumpTable* table = table_.get();
    TextSignal::slot_type slot(
        [table](const std::string& label, const std::string& value) { table->onText(label, value); });
    slot.track_foreign(std::weak_ptr<DumpTable>(table_));
    textConnection_ = link.rxTextField.connect(slot);
}

Dumper::~Dumper() { textConnection_.disconnect(); }

void Dumper::onText(const std::string& label, const std::string& value) { table_->onText(label, value); }

void Dumper::requestStop() {
    stopRequested_ = true;
    dumpClock().wake();
}

int Dumper::run(DumpVariant variant, bool printHeader, std::ostream& out) {
    if (stopRequested_) return 0;
    return runTable(capabilitiesReport(*link_), variant, printHeader, out);
}

int Dumper::runTable(const DeviceInfo& info, DumpVariant variant, bool printHeader, std::ostream& out) {
    boost::lock_guard<boost::recursive_mutex> hold(link_->linkMutex);
    RunState state(*table_, out_, out);
    buildTable(variant, info);
    if (printHeader) writeHeader();
    if (listener_) listener_->onTableStart(identity_, info, table_->columns());
    HexProto hex(link_);
    placePauseAfterRequests(variant, hex, *table_);
    runDumpLoop(*table_, variant, hex.registerReader(), out, stopRequested_, listener_);
    return 0;
}

void Dumper::buildTable(DumpVariant variant, const DeviceInfo& info) {
    table_->setItems(channelTable(variant, info));
}

void Dumper::pollOnce(HexProto& hex) { table_->pollOnce(hex.registerReader(), stopRequested_); }

void Dumper::writeHeader() { table_->writeHeader(*out_); }

void Dumper::dumpData() { table_->dumpData(*out_, listener_); }

}  // namespace tessline
