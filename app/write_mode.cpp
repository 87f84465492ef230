#include "app/write_mode.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <stdexcept>

#include "app/stop_signals.h"
#include "hex/exit_codes.h"
#include "hex/hex_proto.h"
#include "image/image_file.h"
#include "image/replacing_file.h"
#include "link/tam_serial.h"
#include "log/log.h"
#include "platform/broken_pipe.h"

namespace tessline {

namespace {

constexpr std::uint16_t kEepromBase = 0x8000;
constexpr std::uint16_t kEepromEnd = 0x9200;
constexpr std::uint16_t kEepromBlock = 16;
constexpr std::uint16_t kEepromDataRegister = 0xED90;
constexpr std::size_t kEepromLength = kEepromEnd - kEepromBase;
constexpr int kEepromBlocks = kEepromLength / kEepromBlock;

// The bytes that short answers left out, for one line at the end of the
// run: each of them also has its own "data truncated" line, which alone
// does not say how many or where.
class MissingBytes {
public:
    void add(std::uint16_t address) {
        if (count_++ == 0) first_ = address;
        last_ = address;
    }
    void report() const {
        if (count_ == 0) return;
        logError("solwatch", "data truncated: %u bytes missing, from 0x%04X to 0x%04X", count_, first_, last_);
    }

private:
    unsigned count_ = 0;
    unsigned first_ = 0;
    unsigned last_ = 0;
};

// Reads one block into the image. False when it failed or came short; the
// bytes that did come are kept, the others stay 0.
bool readEepromBlock(HexProto& hex, std::uint16_t address, std::uint8_t* image, MissingBytes& missing) {
    if (!hex.setRegister(address)) {
        logError("solwatch", "setRegister: failed");
        return false;
    }
    std::printf("\rreading %d%%", (address - kEepromBase) * 100 / static_cast<int>(kEepromLength));
    std::fflush(stdout);
    HexMsg answer;
    if (hex.getRegister(kEepromDataRegister, answer) != kHexOk) {
        logError("solwatch", "getRegister: failed");
        return false;
    }
    HexMsg values = answerValueBytes(answer);  // the checksum is not EEPROM data
    bool whole = true;
    for (unsigned j = 0; j < kEepromBlock; ++j) {
        if (values.remaining() == 0) {
            logError("solwatch", "data truncated");
            missing.add(static_cast<std::uint16_t>(address + j));
            whole = false;
            continue;
        }
        image[address - kEepromBase + j] = values.readU8();
    }
    return whole;
}

// Saves an image that is not whole beside the target, which stays as it
// was, and says where it went (or why it could not).
std::string savePartialImage(const std::uint8_t* image, const std::string& fileName, int failed) {
    const std::string partial = partialImageName(fileName);
    std::string report = std::to_string(failed) + " of " + std::to_string(kEepromBlocks) +
                         " EEPROM blocks failed; ";
    errno = 0;
    if (saveImage(image, partial) != 0) return report + "what was read is saved in " + partial;
    const int error = errno;
    return report + "what was read could not be saved in " + partial + " either: " +
           (error ? std::strerror(error) : "nothing written");
}

}  // namespace

int writeMode(TamSerial& link, HexProto& hex, const std::string& fileName, StopRequest& stop) {
    if (!findImageFormat(fileName))
        throw std::runtime_error("cannot write " + fileName + ": unknown image file extension (use one of " +
                                 knownImageExtensions() + ")");
    const std::string problem = saveTargetProblem(fileName);
    if (!problem.empty()) throw std::runtime_error("cannot save image " + fileName + ": " + problem);
    // The progress text is cosmetic: a standard output whose reader has
    // gone must not end the save. Writes there then fail quietly. Other
    // modes keep the default.
    const QuietBrokenPipe quietProgress;
    static std::uint8_t image[kEepromLength];
    // Held for the whole read, so that no other request comes in between.
    std::unique_lock<std::recursive_mutex> hold(link.linkMutex);
    int failed = 0;
    int done = 0;
    MissingBytes missing;
    try {
        for (std::uint16_t address = kEepromBase; address < kEepromEnd; address += kEepromBlock, ++done) {
            if (stop.requested()) return stop.exitCode();
            if (!readEepromBlock(hex, address, image, missing)) ++failed;
        }
    } catch (...) {
        // The device stopped answering: what came so far is kept before the
        // error goes on to its report.
        missing.report();
        logError("solwatch", "%s",
                 savePartialImage(image, fileName, failed + kEepromBlocks - done).c_str());
        throw;
    }
    std::printf("\rreading done\r\n");
    std::fflush(stdout);
    missing.report();
    if (stop.requested()) return stop.exitCode();
    if (failed > 0)
        throw std::runtime_error("cannot save image " + fileName + ": " +
                                 savePartialImage(image, fileName, failed));
    errno = 0;
    if (saveImage(image, fileName) == 0) {
        int error = errno;
        throw std::runtime_error("cannot save image " + fileName + ": " +
                                 (error ? std::strerror(error) : "nothing written"));
    }
    return kExitOk;
}

}  // namespace tessline
