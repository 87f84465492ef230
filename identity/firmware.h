// Decoding of the firmware word that the device sends in its ping reply.
#pragma once

#include <cstdint>
#include <string>

namespace tessline {

// Bits 15-14 of the firmware word.
enum class FirmwareKind { bootCode = 0, application = 1, tester = 2, releaseCandidate = 3 };

FirmwareKind firmwareKind(std::uint16_t word);

// "bootloader", "universal bootloader", "keyloader", "application", "tester"
// or "release candidate".
std::string firmwareType(std::uint16_t word);
// Version number in hexadecimal digits, e.g. "1.23".
std::string firmwareVersion(std::uint16_t word);
// firmwareType + " v" + firmwareVersion, e.g. "application v1.23".
std::string firmwareDescription(std::uint16_t word);

}  // namespace tessline
