#include "identity/firmware.h"

#include <cstdio>

namespace tessline {

FirmwareKind firmwareKind(std::uint16_t word) {
    return static_cast<FirmwareKind>(word >> 14);
}

std::string firmwareType(std::uint16_t word) {
    switch (firmwareKind(word)) {
        case FirmwareKind::application: return "application";
        case FirmwareKind::tester: return "tester";
        case FirmwareKind::releaseCandidate: return "release candidate";
        case FirmwareKind::bootCode: break;
    }
    // Boot code tells its variety in bits 13-12.
    switch ((word >> 12) & 0x3) {
        case 1: return "keyloader";
        case 2: return "universal bootloader";
        default: return "bootloader";
    }
}

std::string firmwareVersion(std::uint16_t word) {
    unsigned version = word;
    switch (firmwareKind(word)) {
        case FirmwareKind::bootCode: version &= 0x0FFF; break;
        case FirmwareKind::application:
        case FirmwareKind::tester: version &= 0x3FFF; break;
        // A release candidate keeps its type bits in the major number.
        case FirmwareKind::releaseCandidate: break;
    }
    char text[16];
    std::snprintf(text, sizeof text, "%X.%02X", version >> 8, version & 0xFF);
    return text;
}

std::string firmwareDescription(std::uint16_t word) {
    return firmwareType(word) + " v" + firmwareVersion(word);
}

}  // namespace tessline
