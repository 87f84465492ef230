// DeviceProfile: who the simulated charger says it is and which of its
// registers and TEXT fields exist. The defaults describe a modern charger
// with a load output whose capabilities are read from its registers.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "sim/text_block.h"

namespace tessline {

// Capability register bits that the default profile sets: load output,
// history, equalising, remote on/off, solar timer, alternative TX function,
// user load switch, load current and panel current.
constexpr std::uint32_t kDefaultCapabilities = 0x3F65;
// The bits among them that only make sense with a load output.
constexpr std::uint32_t kLoadCapabilities = 0x1A01;

struct DeviceProfile {
    std::uint16_t productId = 0xA042;
    std::uint16_t firmwareWord = 0x4116;      // application v1.16
    std::optional<std::uint32_t> capabilities;  // none: derived from loadOutput
    bool loadOutput = true;
    std::uint8_t historyVersion = 6;
    std::uint8_t streetlightVersion = 2;
    std::uint8_t totalRecordVersion = 1;      // first byte of the total record
    std::string serial = "HQ2042SIM01";
    std::string model = "SolarUnit 15A mid";
    // Ratings, as their registers count them.
    std::uint16_t maxCurrent = 150;
    std::uint8_t minBatteryVolts = 12;
    std::uint8_t maxBatteryVolts = 24;
    std::uint16_t maxPanelVoltage = 10000;

    std::set<std::uint16_t> absentRegisters;  // answered with nonzero flags
    unsigned eepromAnswerBytes = 16;          // value bytes of a 0xED90 answer

    // TEXT: exact texts instead of the derived ones, fields left out or added.
    std::optional<std::string> pidText;
    std::optional<std::string> fwText;
    std::set<std::string> omittedFields;
    std::vector<TextField> extraFields;

    // HEX identity answers.
    bool answerPing = true;
    bool pingWord = true;       // false: ping answered with the code alone
    bool answerDeviceId = true;
    bool deviceIdWord = true;   // false: device id answered with the code alone

    std::uint32_t capabilityBits() const {
        if (capabilities) return *capabilities;
        return loadOutput ? kDefaultCapabilities : kDefaultCapabilities & ~kLoadCapabilities;
    }
    // The firmware's version number, as the "FW" field shows it.
    std::uint16_t firmwareVersion() const { return firmwareWord & 0x0FFF; }
};

}  // namespace tessline
