// What the simulated charger measures and remembers, as the registers that
// carry the values count them (their steps are in fields/device_scales.h;
// the TEXT fields are derived from these, so both dialects tell the same
// story).
#pragma once

#include <array>
#include <cstdint>

namespace tessline {

// Charger states, as register 0x0201 and the "CS" field carry them.
enum ChargerState : std::uint8_t { kStateOff = 0, kStateBulk = 3, kStateAbsorption = 4, kStateFloat = 5 };

struct LiveValues {
    std::uint8_t state = kStateOff;
    std::uint16_t batteryVoltage = 0;  // 0xEDD5
    std::uint16_t chargerCurrent = 0;  // 0xEDD7
    std::uint16_t panelVoltage = 0;    // 0xEDBB
    std::uint16_t panelCurrent = 0;    // 0xEDBD
    std::uint16_t panelPower = 0;      // 0xEDBC
    std::int16_t temperature = 0;      // 0xEDDB
    std::uint8_t error = 0;            // 0xEDDA
    bool loadOn = false;               // 0xEDA8
    std::uint16_t loadCurrent = 0;     // 0xEDAD
    bool daylight = false;             // 0x2030
    std::uint16_t minuteOfDay = 0;     // 0x2031
    std::uint8_t lightPercent = 0;     // 0xEDA6
};

// One day record, as the record register counts its fields; `present`
// false for a day the charger has no record of.
struct HistoryDay {
    bool present = false;
    std::uint32_t yield = 0;
    std::uint32_t consumption = 0;
    std::uint16_t batteryMax = 0;
    std::uint16_t batteryMin = 0;
    std::array<std::uint8_t, 4> errors{};
    std::uint16_t minutesBulk = 0;
    std::uint16_t minutesAbsorption = 0;
    std::uint16_t minutesFloat = 0;
    std::uint32_t maxPowerWatts = 0;
    std::uint16_t maxBatteryCurrent = 0;
    std::uint16_t panelMax = 0;
    std::uint16_t dayNumber = 0;
};

struct HistoryTotal {
    std::array<std::uint8_t, 4> errors{};
    std::uint32_t userYield = 0;
    std::uint32_t systemYield = 0;
    std::uint16_t panelMax = 0;
    std::uint16_t batteryMax = 0;
    std::uint8_t days = 0;
    std::uint16_t batteryMin = 0;
};

}  // namespace tessline
