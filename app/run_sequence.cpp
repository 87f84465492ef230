#include "app/run_sequence.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iostream>
#include <memory>
#include <stdexcept>

#include <boost/thread/lock_guard.hpp>
#include <boost/thread/locks.hpp>

#include "app/finish.h"
#include "app/identification.h"
#include "app/output_file.h"
#include "app/stop_signals.h"
#include "app/write_mode.h"
#include "dumper/dumper.h"
#include "hex/hex_proto.h"
#include "link/tam_serial.h"
#include "log/log.h"
#include "reader/tam_get_parser.h"
#include "reader/tam_reader.h"
#include "reader/tam_value.h"

namespace tessline {

namespace po = boost::program_options;

namespace {

// Identification starts once the device has announced this many wanted fields.
constexpr std::size_t kIdentityEntries = 3;

enum class Mode { get, write, dump };

Mode chooseMode(const po::variables_map& options) {
    if (options.count("get")) return Mode::get;
    if (options.count("write")) return Mode::write;
    return Mode::dump;
}

// Collects the identity while holding the link: the get-info parser and the
// register reader run until the device has announced enough fields. Returns
// false when a stop request ended the wait for the device.
bool identifyDevice(TamSerial& link, HexProto& hex, StopRequest& stop, Identity& identity,
                    std::uint16_t& productId) {
    boost::lock_guard<boost::recursive_mutex> lock(link.linkMutex);
    ValueDictionary values;
    TamGetParser parser(&link, values);
    TamReader reader(&link);
    reader.start();
    bool complete;
    {
        StopRequest::Waker waker(stop, [&values] { values.interrupt(); });
        complete = !stop.requested() && values.waitForSize(kIdentityEntries);
    }
    if (complete) identify(values, hex, identity, productId);
    reader.stop();
    return complete;
}

[[noreturn]] void getMode(const Identity& identity, std::uint16_t productId) {
    std::cout << "Manufacturer     " << identity.manufacturer << std::endl;
    std::cout << "Model            " << identity.model << std::endl;
    std::cout << "Serial number    " << identity.serialNumber << std::endl;
    std::cout << "Software version " << identity.softwareVersion << std::endl;
    finish(productId);
}

[[noreturn]] void dumpMode(TamSerial& link, Dumper& dumper, const po::variables_map& options, bool printHeader,
                           std::unique_ptr<OutputFile>& output, StopRequest& stop) {
    DumpVariant variant = options.count("channels") ? DumpVariant::channels
                          : options.count("fast")   ? DumpVariant::fast
                                                    : DumpVariant::full;
    {
        StopRequest::Waker waker(stop, [&dumper] { dumper.requestStop(); });
        if (stop.requested()) dumper.requestStop();
        dumper.run(variant, printHeader, std::cout);
    }
    if (output) {
        output->restore();
        output->close();
    }
    setOpenLink(nullptr);
    link.close();
    if (link.joinable()) link.join();
    finish(0);
}

}  // namespace

void runSequence(TamSerial& link, const po::variables_map& options, StopRequest& stop) {
    const Mode mode = chooseMode(options);
    stop.setSignalIsNormalEnd(mode == Mode::dump);
    Identity identity;
    std::uint16_t productId = 0xFFFF;
    bool printHeader = true;
    std::unique_ptr<OutputFile> output;

    Dumper dumper(link);
    HexProto hex(&link);
    if (!identifyDevice(link, hex, stop, identity, productId)) finish(stop.exitCode());

    if (options.count("output")) {
        std::string name = expandOutputTemplate(options["output"].as<std::string>(), identity, std::time(nullptr));
        output = std::make_unique<OutputFile>(name);
        printHeader = !output->hadContent();
        output->redirect(std::cout);
    }
    switch (mode) {
        case Mode::get: getMode(identity, productId);
        case Mode::write: writeMode(link, hex, options["write"].as<std::string>(), stop);
        case Mode::dump: dumpMode(link, dumper, options, printHeader, output, stop);
    }
    finish(0);
}

}  // namespace tessline
