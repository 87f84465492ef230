// What the simulated charger measures and remembers, in the units of the
// registers that carry the values (the TEXT fields are derived from these,
// so both dialects tell the same story).
#pragma once

#include <array>
#include <cstdint>

namespace tessline {

// Charger states, as register 0x0201 and the "CS" field carry them.
enum ChargerState : std::uint8_t { kStateOff = 0, kStateBulk = 3, kStateAbsorption = 4, kStateFloat = 5 };

struct LiveValues {
    std::uint8_t state = kStateOff;
    std::uint16_t batteryCentivolts = 0;      // 0xEDD5, 0.01 V
    std::uint16_t chargerDeciamps = 0;        // 0xEDD7, 0.1 A
    std::uint16_t panelCentivolts = 0;        // 0xEDBB, 0.01 V
    std::uint16_t panelDeciamps = 0;          // 0xEDBD, 0.1 A
    std::uint16_t panelCentiwatts = 0;        // 0xEDBC, 0.01 W
    std::int16_t temperatureCentidegrees = 0; // 0xEDDB, 0.01 degrees C
    std::uint8_t error = 0;                   // 0xEDDA
    bool loadOn = false;                      // 0xEDA8
    std::uint16_t loadDeciamps = 0;           // 0xEDAD, 0.1 A
    bool daylight = false;                    // 0x2030
    std::uint16_t minuteOfDay = 0;            // 0x2031
    std::uint8_t lightPercent = 0;            // 0xEDA6
};

// One day record; `present` false for a day the charger has no record of.
struct HistoryDay {
    bool present = false;
    std::uint32_t yieldHundredthsKwh = 0;
    std::uint32_t consumptionHundredthsKwh = 0;
    std::uint16_t batteryMaxCentivolts = 0;
    std::uint16_t batteryMinCentivolts = 0;
    std::array<std::uint8_t, 4> errors{};
    std::uint16_t minutesBulk = 0;
    std::uint16_t minutesAbsorption = 0;
    std::uint16_t minutesFloat = 0;
    std::uint32_t maxPowerWatts = 0;
    std::uint16_t maxBatteryDeciamps = 0;
    std::uint16_t panelMaxCentivolts = 0;
    std::uint16_t dayNumber = 0;
};

struct HistoryTotal {
    std::array<std::uint8_t, 4> errors{};
    std::uint32_t userYieldHundredthsKwh = 0;
    std::uint32_t systemYieldHundredthsKwh = 0;
    std::uint16_t panelMaxCentivolts = 0;
    std::uint16_t batteryMaxCentivolts = 0;
    std::uint8_t days = 0;
    std::uint16_t batteryMinCentivolts = 0;
};

}  // namespace tessline
