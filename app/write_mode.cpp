#include "app/write_mode.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include <boost/thread/locks.hpp>

#include "app/finish.h"
#include "app/stop_signals.h"
#include "hex/hex_proto.h"
#include "image/image_file.h"
#include "link/tam_serial.h"
#include "log/log.h"

namespace tessline {

namespace {

constexpr std::uint16_t kEepromBase = 0x8000;
constexpr std::uint16_t kEepromEnd = 0x9200;
constexpr std::uint16_t kEepromBlock = 16;
constexpr std::uint16_t kEepromDataRegister = 0xED90;
constexpr std::size_t kEepromLength = kEepromEnd - kEepromBase;

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

}  // namespace

void writeMode(TamSerial& link, HexProto& hex, const std::string& fileName, StopRequest& stop) {
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

}  // namespace tessline
