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
#include "dumper/dumper.h"
#include "hex/hex_proto.h"
#include "image/image_file.h"
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
constexpr std::uint16_t kEepromBase = 0x8000;
constexpr std::uint16_t kEepromEnd = 0x9200;
constexpr std::uint16_t kEepromBlock = 16;
constexpr std::uint16_t kEepromDataRegister = 0xED90;
constexpr std::size_t kEepromLength = kEepromEnd - kEepromBase;

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

void readEepromBlock(HexProto& hex, std::uint16_t address, std::uint8_t* image) {
    if (!hex.setRegister(address)) {
        logError("solwatch", "setRegister: failed");
        return;
    }
    std::printf("\rreading %d%%", (address - kEepromBase) * 100 / static_cast<int>(kEepromLength));
    std::fflush(stdout);
    HexMsg answer;
    if (hex.getRegister(kEepromDataRegister, answer) != kHexOk) {
        logError("solwatch", "getRegister: failed");
        return;
    }
    HexMsg values = answerValueBytes(answer);  // the checksum is not EEPROM data
    for (unsigned j = 0; j < kEepromBlock; ++j) {
        if (values.remaining() == 0) {
            logError("solwatch", "data truncated");
            continue;
        }
        image[address - kEepromBase + j] = values.readU8();
    }
}

[[noreturn]] void writeMode(TamSerial& link, HexProto& hex, const std::string& fileName, StopRequest& stop) {
    if (!findImageFormat(fileName))
        throw std::runtime_error("cannot write " + fileName + ": unknown image file extension (use one of " +
                                 knownImageExtensions() + ")");
    static std::uint8_t image[kEepromLength];
    // Held to the end of the run (finish does not unwind); released only
    // when an exception unwinds to the handlers.
    boost::unique_lock<boost::recursive_mutex> hold(link.linkMutex);
    for (std::uint16_t address = kEepromBase; address < kEepromEnd; address += kEepromBlock) {
        if (stop.requested()) finish(stop.exitCode());
        readEepromBlock(hex, address, image);
    }
    std::printf("\rreading done\r\n");
    std::fflush(stdout);
    if (stop.requested()) finish(stop.exitCode());
    errno = 0;
    if (saveImage(image, fileName) == 0) {
        int error = errno;
        throw std::runtime_error("cannot save image " + fileName + ": " +
                                 (error ? std::strerror(error) : "nothing written"));
    }
    finish(0);
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
