#include "sim/device_registers.h"

#include <initializer_list>

#include "fields/device_scales.h"

namespace tessline {

namespace {

constexpr std::size_t kDayRecordSize = 34;

void put8(RegisterValue& v, std::uint32_t x) { v.push_back(static_cast<std::uint8_t>(x)); }
void put16(RegisterValue& v, std::uint32_t x) {
    put8(v, x);
    put8(v, x >> 8);
}
void put32(RegisterValue& v, std::uint32_t x) {
    put16(v, x);
    put16(v, x >> 16);
}

RegisterValue u8(std::uint32_t x) {
    RegisterValue v;
    put8(v, x);
    return v;
}
RegisterValue u16(std::uint32_t x) {
    RegisterValue v;
    put16(v, x);
    return v;
}
RegisterValue u32(std::uint32_t x) {
    RegisterValue v;
    put32(v, x);
    return v;
}
RegisterValue s16(std::int32_t x) { return u16(static_cast<std::uint32_t>(x)); }
RegisterValue s32(std::int32_t x) { return u32(static_cast<std::uint32_t>(x)); }
RegisterValue text(const std::string& s) { return RegisterValue(s.begin(), s.end()); }

bool needsLoadOutput(std::uint16_t id) { return id == 0xEDA8 || id == 0xEDAD || id == 0xEE84; }

// A live register's number as the measuring channel `channel` counts it.
RegisterValue channelOf(std::uint16_t channel, std::uint16_t from, long long number) {
    return s32(static_cast<std::int32_t>(hexScale(channel).restep(number, hexScale(from))));
}

}  // namespace

RegisterValue encodeHistoryTotal(const HistoryTotal& total, std::uint8_t recordVersion) {
    RegisterValue v;
    put8(v, recordVersion);
    put8(v, 0);  // reserved
    for (auto error : total.errors) put8(v, error);
    put32(v, total.userYield);
    put32(v, total.systemYield);
    put16(v, total.panelMax);
    put16(v, total.batteryMax);
    put8(v, total.days);
    if (recordVersion >= 1) put16(v, total.batteryMin);
    return v;
}

RegisterValue encodeHistoryDay(const HistoryDay& day) {
    // A day without a record answers with every field at its "none" pattern.
    if (!day.present) return RegisterValue(kDayRecordSize, 0xFF);
    RegisterValue v;
    put8(v, 0);  // reserved
    put32(v, day.yield);
    put32(v, day.consumption);
    put16(v, day.batteryMax);
    put16(v, day.batteryMin);
    put8(v, 0);  // reserved
    for (auto error : day.errors) put8(v, error);
    put16(v, day.minutesBulk);
    put16(v, day.minutesAbsorption);
    put16(v, day.minutesFloat);
    put32(v, day.maxPowerWatts);
    put16(v, day.maxBatteryCurrent);
    put16(v, day.panelMax);
    put16(v, day.dayNumber);
    return v;
}

std::optional<RegisterValue> DeviceRegisters::read(std::uint16_t id) const {
    if (profile_.absentRegisters.count(id)) return std::nullopt;
    if (needsLoadOutput(id) && !profile_.loadOutput) return std::nullopt;
    for (auto group : {&DeviceRegisters::identity, &DeviceRegisters::ratings, &DeviceRegisters::liveValue,
                       &DeviceRegisters::clock, &DeviceRegisters::channel, &DeviceRegisters::dailyYield,
                       &DeviceRegisters::historyRecord, &DeviceRegisters::eepromRegister}) {
        if (auto value = (this->*group)(id)) return value;
    }
    return std::nullopt;
}

bool DeviceRegisters::present(std::uint16_t id) const { return read(id).has_value(); }

std::uint8_t DeviceRegisters::write(std::uint16_t id, const RegisterValue& value) {
    if (!present(id)) return kFlagUnknownId;
    if (id != kRegEepromAddress) return kFlagNotSupported;
    if (value.size() != 2) return kFlagParameterError;
    eeprom_.setPointer(static_cast<std::uint16_t>(value[0] | (value[1] << 8)));
    return 0;
}

std::optional<RegisterValue> DeviceRegisters::identity(std::uint16_t id) const {
    switch (id) {
    // An empty text stands for a device that lacks the register.
    case kRegSerial: return profile_.serial.empty() ? std::nullopt : std::optional(text(profile_.serial));
    case kRegModel: return profile_.model.empty() ? std::nullopt : std::optional(text(profile_.model));
    case kRegCapabilities: return u32(profile_.capabilityBits());
    default: return std::nullopt;
    }
}

std::optional<RegisterValue> DeviceRegisters::ratings(std::uint16_t id) const {
    switch (id) {
    case 0xEDCD: return u8(profile_.historyVersion);
    case 0xEDCC: return u8(profile_.streetlightVersion);
    case 0xEDDF: return u16(profile_.maxCurrent);
    case 0xEDCE: return RegisterValue{profile_.minBatteryVolts, profile_.maxBatteryVolts};
    case 0xEDB8: return u16(profile_.maxPanelVoltage);
    default: return std::nullopt;
    }
}

std::optional<RegisterValue> DeviceRegisters::liveValue(std::uint16_t id) const {
    const LiveValues& live = model_.live();
    switch (id) {
    case 0x0201: return u8(live.state);
    case 0xEDD7: return u16(live.chargerCurrent);
    case 0xEDD5: return u16(live.batteryVoltage);
    case 0xEDBD: return u16(live.panelCurrent);
    case 0xEDBB: return u16(live.panelVoltage);
    case 0xEDBC: return u16(live.panelPower);
    case 0xEDDB: return s16(live.temperature);
    case 0xEDDA: return u8(live.error);
    case 0xEDA8: return u8(live.loadOn ? 1 : 0);
    case 0xEDAD: return u16(live.loadCurrent);
    default: return std::nullopt;
    }
}

std::optional<RegisterValue> DeviceRegisters::clock(std::uint16_t id) const {
    const LiveValues& live = model_.live();
    switch (id) {
    case 0x2030: return u8(live.daylight ? 1 : 0);
    case 0x2031: return u16(live.minuteOfDay);
    case 0xEDA6: return u8(live.lightPercent);
    case 0xED96: return u8(1);  // stratum: the clock is set from the sun
    case 0xED95: return u16(DeviceModel::kSunsetMinute);   // expected switch-on
    case 0xED94: return u16(DeviceModel::kSunriseMinute);  // expected switch-off
    case 0xED93: return u16(DeviceModel::kSunriseMinute);  // last switch-off
    case 0xED92: return u16(DeviceModel::kSunsetMinute);   // last switch-on
    default: return std::nullopt;
    }
}

// The measuring channels: the live values in finer steps.
std::optional<RegisterValue> DeviceRegisters::channel(std::uint16_t id) const {
    const LiveValues& live = model_.live();
    switch (id) {
    case 0xEE80: return channelOf(id, 0xEDD5, live.batteryVoltage);
    case 0xEE81: return channelOf(id, 0xEDD7, live.chargerCurrent);
    case 0xEE82: return channelOf(id, 0xEDBB, live.panelVoltage);
    case 0xEE83: return channelOf(id, 0xEDBD, live.panelCurrent);
    case 0xEE84: return channelOf(id, 0xEDAD, live.loadCurrent);
    case 0xEE85: return s32(0);  // second output: not fitted
    default: return std::nullopt;
    }
}

// The counters that the TEXT fields H19 to H23 also carry, from the records.
std::optional<RegisterValue> DeviceRegisters::dailyYield(std::uint16_t id) const {
    auto fromDay = [id](const char* key, std::uint32_t number) {
        return static_cast<std::uint32_t>(hexScale(id).restep(number, recordFieldScale(Record::day, key)));
    };
    switch (id) {
    case 0xEDDC:
        return u32(static_cast<std::uint32_t>(
            hexScale(id).restep(model_.total().userYield, recordFieldScale(Record::total, "yield_user_kwh"))));
    case 0xEDD3: return u16(fromDay("yield_kwh", model_.day(0).yield));
    case 0xEDD2: return u16(fromDay("pmax_w", model_.day(0).maxPowerWatts));
    case 0xEDD1: return u16(fromDay("yield_kwh", model_.day(1).yield));
    case 0xEDD0: return u16(fromDay("pmax_w", model_.day(1).maxPowerWatts));
    default: return std::nullopt;
    }
}

std::optional<RegisterValue> DeviceRegisters::historyRecord(std::uint16_t id) const {
    if (id == kRegHistoryTotal) return encodeHistoryTotal(model_.total(), profile_.totalRecordVersion);
    if (id >= kRegHistoryDay0 && id < kRegHistoryDay0 + DeviceModel::kHistoryDays)
        return encodeHistoryDay(model_.day(id - kRegHistoryDay0));
    return std::nullopt;
}

std::optional<RegisterValue> DeviceRegisters::eepromRegister(std::uint16_t id) const {
    if (id == kRegEepromAddress) return u16(eeprom_.pointer());
    if (id != kRegEepromData) return std::nullopt;
    auto block = eeprom_.readBlock();
    if (block && block->size() > profile_.eepromAnswerBytes) block->resize(profile_.eepromAnswerBytes);
    return block;
}

}  // namespace tessline
