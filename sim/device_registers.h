// DeviceRegisters: the HEX registers of the simulated charger, encoded in the
// widths and scales that the program reads them with (all little-endian).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "sim/device_model.h"
#include "sim/device_profile.h"
#include "sim/eeprom_window.h"

namespace tessline {

// Flags of a register answer; any nonzero value means "no value".
constexpr std::uint8_t kFlagUnknownId = 0x01;
constexpr std::uint8_t kFlagNotSupported = 0x02;  // e.g. a write to a read-only register
constexpr std::uint8_t kFlagParameterError = 0x04;

constexpr std::uint16_t kRegSerial = 0x010A;
constexpr std::uint16_t kRegModel = 0x010B;
constexpr std::uint16_t kRegCapabilities = 0x0140;
constexpr std::uint16_t kRegHistoryTotal = 0x104F;
constexpr std::uint16_t kRegHistoryDay0 = 0x1050;
constexpr std::uint16_t kRegEepromData = 0xED90;
constexpr std::uint16_t kRegEepromAddress = 0xED91;

using RegisterValue = std::vector<std::uint8_t>;

class DeviceRegisters {
public:
    DeviceRegisters(const DeviceProfile& profile, const DeviceModel& model, EepromWindow& eeprom)
        : profile_(profile), model_(model), eeprom_(eeprom) {}

    // The value bytes of a register; none when the device lacks it.
    std::optional<RegisterValue> read(std::uint16_t id) const;
    // The flags of the answer to a write: 0 when the value was taken.
    std::uint8_t write(std::uint16_t id, const RegisterValue& value);

private:
    std::optional<RegisterValue> identity(std::uint16_t id) const;
    std::optional<RegisterValue> ratings(std::uint16_t id) const;
    std::optional<RegisterValue> liveValue(std::uint16_t id) const;
    std::optional<RegisterValue> clock(std::uint16_t id) const;
    std::optional<RegisterValue> channel(std::uint16_t id) const;
    std::optional<RegisterValue> dailyYield(std::uint16_t id) const;
    std::optional<RegisterValue> historyRecord(std::uint16_t id) const;
    std::optional<RegisterValue> eepromRegister(std::uint16_t id) const;
    bool present(std::uint16_t id) const;

    const DeviceProfile& profile_;
    const DeviceModel& model_;
    EepromWindow& eeprom_;
};

// The record layouts of the history registers.
RegisterValue encodeHistoryTotal(const HistoryTotal& total, std::uint8_t recordVersion);
RegisterValue encodeHistoryDay(const HistoryDay& day);

}  // namespace tessline
