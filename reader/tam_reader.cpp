#include "reader/tam_reader.h"

#include <exception>
#include <string>
#include <utility>

#include <boost/chrono.hpp>

#include "hex/hex_frame.h"
#include "hex/hex_proto.h"
#include "log/log.h"

namespace tessline {

namespace {

const boost::chrono::milliseconds kPassPause(1000);

}  // namespace

TamReader::TamReader(HexLink* link, std::vector<std::uint32_t> registers, std::ostream& out)
    : registers_(std::move(registers)), link_(link), out_(out) {}

TamReader::~TamReader() { stop(); }

void TamReader::start() {
    if (thread_.joinable()) return;
    logInfo("reader", "reader start");
    stopRequested_ = false;  // a stopped reader may be started again
    running_ = false;
    bodyBegun_ = false;
    thread_ = boost::thread([this] { run(); });
    while (!bodyBegun_) boost::this_thread::yield();
}

void TamReader::stop() {
    if (!thread_.joinable()) return;
    stopRequested_ = true;
    thread_.interrupt();
    thread_.join();
}

void TamReader::run() {
    logInfo("reader", "thread start");
    running_ = true;
    bodyBegun_ = true;
    try {
        HexProto proto(link_);
        while (!stopRequested_) {
            readPass(proto);
            boost::this_thread::sleep_for(kPassPause);
        }
        logInfo("reader", "thread stop");
    } catch (const boost::thread_interrupted&) {
        logInfo("reader", "thread stop (int)");
    } catch (const std::exception& e) {
        // A port error in a request: an exception that left this thread
        // would end the process, so the reader ends alone.
        logError("reader", "thread stop (%s)", e.what());
    }
    running_ = false;
}

// A failed read is not reported here: whatever answer is held gets printed.
void TamReader::readPass(HexProto& proto) {
    for (std::uint32_t id : registers_) {
        HexMsg answer;
        proto.getRegister(static_cast<std::uint16_t>(id), answer);
        printAnswer(answer);
        boost::this_thread::interruption_point();
    }
}

// One write per line, so the front end's output cannot land inside it.
void TamReader::printAnswer(const HexMsg& answer) {
    out_ << ("<" + encodeHexFrame(answer) + "\n") << std::flush;
}

}  // namespace tessline
